// How the standard controls draw themselves in the classic style of Windows XP's "Windows
// Classic" theme: 3D faces and edges in the system colours, check marks and radio dots, texts in
// the control's font. Each function draws one control's whole client area on a paint DC.
#pragma once

#include <string>
#include <vector>

#include "platform/win32/gdi.h"
#include "platform/win32/window.h"

namespace platform::controls::classic {

// Text of a window as it is now.
std::u16string windowText(HWND hwnd);

void pushButton(HDC hdc, HWND hwnd, bool pushed, bool isDefault, bool focused);
// kind: 0 check box, 1 radio button; check: BST_* state.
void checkBox(HDC hdc, HWND hwnd, int kind, UINT check, bool pushed);
void groupBox(HDC hdc, HWND hwnd);
void staticText(HDC hdc, HWND hwnd, DWORD style);
void edit(HDC hdc, HWND hwnd, const std::u16string& text, WCHAR passwordChar);

// A list of text rows: box with a sunken edge, rows from `top` of `rowHeight`, `selected` rows
// highlighted.
struct Rows {
  std::vector<std::u16string> texts;
  std::vector<bool> selected;
  int top = 0;
  int rowHeight = 13;
  int firstY = 0;  // where the first row starts (below a header)
};
void listBox(HDC hdc, HWND hwnd, const Rows& rows, bool border);
void comboBox(HDC hdc, HWND hwnd, const std::u16string& current);
// The closed field of a combo box: its font's height and a margin, at most the window's height.
RECT comboField(HWND hwnd);
void progressBar(HDC hdc, HWND hwnd, int low, int high, int pos);
// Tab headers with the selected one raised over the panel.
void tabs(HDC hdc, HWND hwnd, const std::vector<std::u16string>& labels, int selected);

// A report list: column headers (when headerHeight > 0) as raised buttons, then rows of cells.
struct Report {
  std::vector<std::u16string> headers;
  std::vector<int> widths;
  std::vector<std::vector<std::u16string>> cells;  // per row, per column
  std::vector<bool> selected;
  int top = 0;
  int headerHeight = 17;
  int rowHeight = 17;
};
void listView(HDC hdc, HWND hwnd, const Report& report);

// A tree's visible rows: each label at its indent, with its expand button when it has one.
struct TreeRow {
  std::u16string text;
  int labelLeft = 0;
  bool button = false;
  bool expanded = false;
  bool selected = false;
};
void treeView(HDC hdc, HWND hwnd, const std::vector<TreeRow>& rows, int rowHeight, int indent);

}  // namespace platform::controls::classic
