// Drawing an image list's image (ImageList_Draw), apart from commctrl.h so that only its users
// depend on it. The list keeps the handles it was given (it copies nothing), so a bitmap must live
// as long as its image is drawn.
#pragma once

#include "platform/win32/controls/commctrl.h"

#define ILD_NORMAL 0x0000

// Draws image i with its top left corner at (x, y) of hdcDst: a bitmap image is copied (SRCCOPY)
// at the list's image size from its top left corner, an icon drawn at that size. Only ILD_NORMAL
// is drawn; any other style, an invalid list, index or DC, or an image whose bitmap or icon is
// gone gives FALSE and draws nothing.
BOOL ImageList_Draw(HIMAGELIST himl, int i, HDC hdcDst, int x, int y, UINT fStyle);
