// Small pieces the drive dialogs share: the program's big icon, the password edits' look on
// Windows XP, and the device's display name as the messages show it.
#pragma once

#include "app/windows_helpers.h"
#include "platform/afx/afxwin.h"

// Sets icon 939 as the dialog's big icon (nothing when the program has no such icon).
void setDialogBigIcon(CWnd& dialog);
// The device's display name shown in messages.
CString deviceDisplayName();

// The font of password edits on Windows XP ("Symbol", height -14, weight 900, from the dialog's
// font) with the password character 183. Owns the font it made.
class CPasswordFont {
 public:
  CPasswordFont() = default;
  ~CPasswordFont();
  CPasswordFont(const CPasswordFont&) = delete;
  CPasswordFont& operator=(const CPasswordFont&) = delete;

  // Gives the edit `id` of `dialog` the font and the password character, on Windows XP only.
  void apply(CWnd& dialog, int id);
  HFONT handle() const { return m_font; }

 private:
  HFONT m_font = nullptr;
};
