// A snap-in's options page: modified state, saving and reloading, and the calculation request.
#include "ui/snapin_property_page.h"

#include "app/customizer_doc.h"
#include "app/file_util.h"
#include "app/messages.h"
#include "app/profile_database.h"
#include "lang/ids.h"
#include "snapins/customizer.h"
#include "snapins/space_man.h"
#include "ui/options_host.h"

IMPLEMENT_DYNAMIC(CSnapinPropertyPage, CPropertyPage)

namespace {

constexpr DWORD kCalculateMode = 2;
constexpr int kPanelInset = 10;

}  // namespace

CSnapinPropertyPage::CSnapinPropertyPage() : m_common(this, nullptr) {}

CSnapinPropertyPage::CSnapinPropertyPage(UINT templateId, CCustomizer* snapin)
    : CPropertyPage(templateId), m_common(this, snapin), m_snapin(snapin) {}

CSnapinPropertyPage::~CSnapinPropertyPage() = default;

BOOL CSnapinPropertyPage::OnInitDialog() {
  if (m_common.Create(IDD_SNAPIN_COMMON, this)) {
    if (CWnd* place = GetDlgItem(IDC_PAGE_COMMON_PLACE)) {
      CRect rect;
      place->GetWindowRect(&rect);
      ScreenToClient(&rect);
      m_common.SetWindowPos(nullptr, rect.left, rect.top, rect.Width() - kPanelInset, rect.Height() - kPanelInset,
                            SWP_NOZORDER);
    }
    m_common.ShowWindow(SW_SHOW);
  }
  replaceUiPlaceholders(m_hWnd);
  CPropertyPage::OnInitDialog();
  m_initialised = true;
  m_profile = getProfileDatabase().getThisComputerProfile();
  CCustomizerDoc* doc = optionsHost().document();
  if (m_profile == nullptr || m_snapin == nullptr) {
    showMessageById(IDS_OPTIONS_NO_COMPUTER_SETTINGS);
    return TRUE;
  }
  if (doc != nullptr) m_spaceRecord = doc->getSpaceMan().findSpaceRecord(m_profile, m_snapin->getName());
  if (m_spaceRecord != nullptr) {
    m_common.setPlannedBytes(m_spaceRecord->plannedBytes);
    m_common.setDeviceBytes(static_cast<LONGLONG>(m_spaceRecord->deviceBytes));
  }
  return TRUE;
}

void CSnapinPropertyPage::setModified() {
  m_modified = true;
  SetModified(TRUE);
  if (CCustomizerDoc* doc = optionsHost().document()) doc->markPrefsChanged(m_profile);
  pullCommon();
  recalculate();
}

void CSnapinPropertyPage::refreshCommon() {}

void CSnapinPropertyPage::pullCommon() { m_common.pull(); }

void CSnapinPropertyPage::recalculate() {
  if (m_spaceRecord != nullptr) m_common.setPlannedBytes(0);
  CCustomizerDoc* doc = optionsHost().document();
  if (doc == nullptr) return;
  const std::vector<CCustomizer*> all = doc->getCustomizerPointers();
  doc->getSpaceMan().requestCalculation(kCalculateMode, m_profile, &all);
}

BOOL CSnapinPropertyPage::OnApply() {
  if (m_modified && m_profile != nullptr && m_snapin != nullptr) m_snapin->savePrefs(m_profile);
  m_modified = false;
  return CPropertyPage::OnApply();
}

void CSnapinPropertyPage::OnCancel() {
  if (m_modified && m_profile != nullptr && m_snapin != nullptr) {
    m_snapin->loadPrefs(m_profile);
    m_modified = false;
  }
  if (m_common.m_hWnd != nullptr) m_common.DestroyWindow();
  CPropertyPage::OnCancel();
}

BOOL CSnapinPropertyPage::OnSetActive() { return CPropertyPage::OnSetActive(); }

BOOL CSnapinPropertyPage::OnKillActive() { return CPropertyPage::OnKillActive(); }

BOOL CSnapinPropertyPage::DestroyWindow() {
  if (m_common.m_hWnd != nullptr) m_common.DestroyWindow();
  return CPropertyPage::DestroyWindow();
}
