// The intro movie: the player's movie, and the start-up choice stored by Continue.
#include "ui/flash_dialog.h"

#include "app/file_util.h"
#include "app/folder_lookup.h"
#include "app/registry.h"
#include "lang/ids.h"
#include "platform/afx/ddx.h"
#include "ui/dialog_support.h"

namespace {

constexpr const char16_t* kProductKey = u"HKEY_CURRENT_USER\\Software\\Brackwater\\Kipo";
constexpr const char16_t* kShowIntroMovieValue = u"showIntroMovie";
constexpr const char16_t* kMovieName = u"intro.swf";

}  // namespace

CFlashDialog::CFlashDialog(CWnd* parent) : CDialog(IDD_INTRO_MOVIE, parent) {}

void CFlashDialog::DoDataExchange(CDataExchange* pDX) {
  CDialog::DoDataExchange(pDX);
  DDX_Control(pDX, IDC_INTRO_PLAYER, m_player);
  DDX_Check(pDX, IDC_INTRO_SHOW_AT_START, m_showAtStart);
}

CString CFlashDialog::moviePath() { return joinPath(CFolderLookup::getProductAppDataPath(), kMovieName); }

BOOL CFlashDialog::OnInitDialog() {
  CDialog::OnInitDialog();
  setDialogBigIcon(*this);
  replaceUiPlaceholders(m_hWnd);
  // A movie that is missing leaves the player empty; Continue still works.
  try {
    m_player.SetMovie(moviePath());
  } catch (CException* e) {
    e->Delete();
  }
  return TRUE;
}

void CFlashDialog::OnOK() {
  if (!UpdateData(TRUE)) return;
  CRegistry product{CString(kProductKey), true, true};
  if (product.isOpen()) product.setDword(kShowIntroMovieValue, m_showAtStart ? 1 : 0);
  CDialog::OnOK();
}
