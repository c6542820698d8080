// The options dialog: its pages, the meter, deferred OK and Cancel, and the one-at-a-time rule.
#include "ui/options_dialog.h"

#include "app/customizer_doc.h"
#include "app/customizer_exception.h"
#include "app/file_util.h"
#include "app/log.h"
#include "app/messages.h"
#include "app/preference_file.h"
#include "app/profile_database.h"
#include "app/system_profile.h"
#include "lang/ids.h"
#include "outlook/outlook_customizer.h"
#include "platform/win32/win32.h"
#include "snapins/file_customizer.h"
#include "snapins/space_man.h"
#include "ui/dialog_support.h"
#include "ui/file_property_page.h"
#include "ui/general_property_page.h"
#include "ui/login_host.h"
#include "ui/options_host.h"
#include "ui/outlook_property_page.h"

namespace {

COptionsDialog* g_shown = nullptr;

constexpr DWORD kCalculateMode = 2;
constexpr int kSheetX = 5;
constexpr int kSheetY = 50;
constexpr int kExtraWidth = 10;
constexpr int kExtraHeight = 60;
constexpr DWORD kSheetStyle = WS_CHILD | WS_VISIBLE | DS_CONTROL;

}  // namespace

COptionsDialog* COptionsDialog::shown() { return g_shown; }

COptionsDialog::COptionsDialog(CCustomizerDoc* doc, int page, CWnd* parent)
    : CDialog(IDD_OPTIONS, parent), m_sheet(u"", this), m_doc(doc) {
  m_sheet.setOptionsDialog(this);
  m_generalPage = std::make_unique<CGeneralPropertyPage>();
  m_sheet.AddPage(m_generalPage.get());
  // Without this computer's profile the snap-in pages have nothing to edit.
  CSystemProfile* profile = getProfileDatabase().getThisComputerProfile();
  if (profile == nullptr || m_doc == nullptr) return;
  if (!profile->deviceFolderExists() && !optionsHost().isSynchronizeDialogShown()) return;
  if (auto* files = dynamic_cast<CFileCustomizer*>(m_doc->findCustomizer(kFileCustomizerName))) {
    m_filePage = std::make_unique<CFilePropertyPage>(files);
    m_sheet.AddPage(m_filePage.get());
  }
  if (auto* outlook = dynamic_cast<COutlookCustomizer*>(m_doc->findCustomizer(kOutlookCustomizerName))) {
    m_outlookPage = std::make_unique<COutlookPropertyPage>(outlook);
    m_sheet.AddPage(m_outlookPage.get());
  }
  if (page >= 0 && page < m_sheet.GetPageCount()) m_sheet.SetActivePage(page);
}

COptionsDialog::~COptionsDialog() {
  if (m_listening) loginHost().removeListener(this);
  if (g_shown == this) g_shown = nullptr;
}

INT_PTR COptionsDialog::DoModal() {
  if (g_shown != nullptr) {
    if (g_shown->m_hWnd != nullptr) g_shown->SetForegroundWindow();
    return IDCANCEL;
  }
  g_shown = this;
  INT_PTR result = IDCANCEL;
  try {
    result = CDialog::DoModal();
  } catch (CCustomizerException* e) {
    e->ReportError();
    e->Delete();
    result = IDCANCEL;
  } catch (CException* e) {
    writeLog(u"{OptionsDialog}: Caught exception.");
    e->Delete();
    result = IDCANCEL;
  }
  g_shown = nullptr;
  return result;
}

BOOL COptionsDialog::OnInitDialog() {
  CDialog::OnInitDialog();
  ModifyStyle(0, WS_THICKFRAME);
  m_meter = optionsHost().createMeter();
  if (m_meter) {
    CRect place;
    if (CWnd* placeholder = GetDlgItem(IDC_OPTIONS_METER_PLACE)) {
      placeholder->GetWindowRect(&place);
      ScreenToClient(&place);
    }
    if (!m_meter->create(this, place)) m_meter.reset();
  }
  setDialogBigIcon(*this);
  replaceUiPlaceholders(m_hWnd);
  if (m_sheet.Create(this, kSheetStyle, 0)) {
    CRect sheetRect;
    m_sheet.GetWindowRect(&sheetRect);
    m_sheet.SetWindowPos(nullptr, kSheetX, kSheetY, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    CRect window(0, 0, sheetRect.Width() + kExtraWidth, sheetRect.Height() + kExtraHeight);
    AdjustWindowRectEx(&window, GetStyle(), FALSE, GetExStyle());
    SetWindowPos(nullptr, 0, 0, window.Width(), window.Height(), SWP_NOMOVE | SWP_NOZORDER);
  }
  m_listening = loginHost().addListener(this);
  CSystemProfile* profile = getProfileDatabase().getThisComputerProfile();
  if (profile != nullptr && m_doc != nullptr) {
    bool frequent = false;
    openThisComputerPrefs().getBool(kFrequentUseComputerValue, frequent);
    if (frequent) {
      const std::vector<CCustomizer*> all = m_doc->getCustomizerPointers();
      m_doc->getSpaceMan().requestCalculation(kCalculateMode, profile, &all);
    }
  }
  return TRUE;
}

void COptionsDialog::onMessage(CAppMessage* message) {
  if (message != nullptr && message->value == 1 && m_hWnd != nullptr) EndDialog(kEndedBySwitchboard);
}

bool COptionsDialog::deferWhileCalculating(WPARAM command) {
  if (m_doc == nullptr) return false;
  CSpaceMan& spaceMan = m_doc->getSpaceMan();
  if (!spaceMan.isRunning()) return false;
  // With a request already pending the click is not handed on (the coordinator would take the
  // command id for a request to delete); the user can press again once the run has stopped.
  if (!spaceMan.hasPendingRequest()) spaceMan.setPendingRequest(m_hWnd, WM_COMMAND, command, 0);
  return true;
}

void COptionsDialog::saveDevicePrefs() {
  if (!getDevicePrefs().save()) showMessageById(IDS_OPTIONS_PREFS_NOT_SAVED, deviceDisplayName());
}

void COptionsDialog::OnOK() {
  if (deferWhileCalculating(IDOK)) return;
  saveDevicePrefs();
  EndDialog(IDOK);
}

void COptionsDialog::OnCancel() {
  if (deferWhileCalculating(IDCANCEL)) return;
  // Every page with changes goes back to what is stored, not only the one in front.
  for (int i = 0; i < m_sheet.GetPageCount(); ++i) {
    if (auto* page = dynamic_cast<CSnapinPropertyPage*>(m_sheet.GetPage(i))) page->OnCancel();
  }
  saveDevicePrefs();
  EndDialog(IDCANCEL);
}

BOOL COptionsDialog::DestroyWindow() {
  if (m_meter) m_meter->destroy();
  if (m_listening) loginHost().removeListener(this);
  m_listening = false;
  return CDialog::DestroyWindow();
}

void COptionsDialog::removeExtraPages() {
  while (m_sheet.GetPageCount() > 1) m_sheet.RemovePage(m_sheet.GetPageCount() - 1);
}

bool COptionsDialog::choicesExceedCapacity() { return m_meter && m_meter->exceedsCapacity(); }
