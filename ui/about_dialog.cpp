// The about box: caption and version line from the language library, filled with the product's
// name and the program file's own version, and the maker's and the customer's logo links.
#include "ui/about_dialog.h"

#include "app/file_util.h"
#include "app/messages.h"
#include "app/module_version.h"
#include "app/program_texts.h"
#include "lang/ids.h"
#include "platform/win32/win32.h"
#include "ui/dialog_support.h"
#include "ui/login_host.h"

namespace {

constexpr UINT kLinkId = 0xFFFF;

}  // namespace

CAboutDialog::CAboutDialog(CWnd* parent) : CDialog(IDD_ABOUT, parent) {}

bool CAboutDialog::placeLink(CAutosizeBitmapHLinkCtrl& link, CToolTipCtrl& tip, int placeId, const CString& url) {
  CWnd* place = GetDlgItem(placeId);
  if (!place) return false;
  CRect area;
  place->GetWindowRect(&area);
  ScreenToClient(&area);
  if (!link.Create(u"", WS_CHILD | WS_VISIBLE | WS_TABSTOP | SS_CENTER, area, this, kLinkId)) return false;
  link.SetFont(static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT)));
  link.setURL(url);
  link.ShowWindow(SW_SHOW);
  if (tip.Create(this)) {
    tip.SendMessage(TTM_ACTIVATE, TRUE, 0);
    tip.AddTool(&link, url);
  }
  return true;
}

BOOL CAboutDialog::OnInitDialog() {
  CDialog::OnInitDialog();
  setDialogBigIcon(*this);
  SetWindowText(formatMessageText(loadResString(IDS_ABOUT_CAPTION), kProductName));
  int a = 0, b = 0, c = 0, d = 0;
  getOwnExeVersion(a, b, c, d);
  SetDlgItemText(IDC_ABOUT_VERSION, formatMessageText(loadResString(IDS_ABOUT_VERSION), kProductName, a, b, c, d));

  if (placeLink(m_makerLink, m_makerTip, IDC_ABOUT_MAKER_LOGO, CString(kMakerWebSite)))
    m_makerLink.setBitmap(IDB_MAKER_LOGO);

  const CString customerUrl = g_makerWebAddress.IsEmpty() ? CString(kMakerWebSite) : g_makerWebAddress;
  if (placeLink(m_customerLink, m_customerTip, IDC_ABOUT_CUSTOMER_LOGO, customerUrl)) {
    const CString logo = loginHost().customerLogoFile();
    HANDLE image = logo.IsEmpty() ? nullptr : LoadImageW(nullptr, logo, IMAGE_BITMAP, 0, 0, LR_LOADFROMFILE);
    if (image)
      m_customerLink.setBitmapHandle(static_cast<HBITMAP>(image));
    else
      m_customerLink.setBitmap(IDB_CUSTOMER_LOGO);
  }
  replaceUiPlaceholders(m_hWnd);
  return TRUE;
}
