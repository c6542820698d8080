// Shared pieces of the drive dialogs.
#include "ui/dialog_support.h"

#include <algorithm>

#include "app/program_texts.h"
#include "app/windows_helpers.h"
#include "app/windows_helpers.h"
#include "lang/ids.h"
#include "platform/win32/controls/commctrl.h"
#include "platform/win32/win32.h"

namespace {

constexpr char16_t kPasswordFace[] = u"Symbol";
constexpr LONG kPasswordFontHeight = -14;
constexpr WCHAR kPasswordChar = 183;

}  // namespace

void setDialogBigIcon(CWnd& dialog) {
  HICON icon = LoadIconW(AfxGetResourceHandle(), MAKEINTRESOURCEW(IDI_KIPO_DIALOG));
  if (icon == nullptr) icon = LoadIconW(AfxGetInstanceHandle(), MAKEINTRESOURCEW(IDI_KIPO_DIALOG));
  if (icon != nullptr) dialog.SetIcon(icon, TRUE);
}

CString deviceDisplayName() { return g_deviceName; }

CPasswordFont::~CPasswordFont() {
  if (m_font != nullptr) DeleteObject(m_font);
}

void CPasswordFont::apply(CWnd& dialog, int id) {
  if (!isWindowsXP()) return;
  CWnd* edit = dialog.GetDlgItem(id);
  if (edit == nullptr) return;
  if (m_font == nullptr) {
    LOGFONTW font{};
    HFONT dialogFont = dialog.GetFontHandle();
    if (dialogFont == nullptr || GetObjectW(dialogFont, sizeof font, &font) == 0) font = LOGFONTW{};
    font.lfHeight = kPasswordFontHeight;
    font.lfWeight = FW_HEAVY;
    std::fill(std::begin(font.lfFaceName), std::end(font.lfFaceName), WCHAR{0});
    std::copy(std::begin(kPasswordFace), std::end(kPasswordFace), font.lfFaceName);
    m_font = CreateFontIndirectW(&font);
  }
  if (m_font != nullptr) edit->SendMessage(WM_SETFONT, reinterpret_cast<WPARAM>(m_font), TRUE);
  edit->SendMessage(EM_SETPASSWORDCHAR, kPasswordChar, 0);
}
