// The general options page: the program-wide options and the actions on synchronized computers.
#include "ui/general_property_page.h"

#include "app/app_messages.h"
#include "app/customizer_doc.h"
#include "app/customizer_exception.h"
#include "app/document_host_services.h"
#include "app/file_operation.h"
#include "app/file_util.h"
#include "app/folder_lookup.h"
#include "app/messages.h"
#include "app/preference_file.h"
#include "app/profile_database.h"
#include "app/secure_drive_services.h"
#include "app/system_profile.h"
#include "lang/ids.h"
#include "platform/win32/win32.h"
#include "snapins/space_man.h"
#include "ui/change_password_dialog.h"
#include "ui/dialog_support.h"
#include "ui/options_dialog.h"
#include "ui/options_host.h"

IMPLEMENT_DYNAMIC(CGeneralPropertyPage, CPropertyPage)

namespace {

constexpr const char16_t* kShowLogoutButton = u"showLogoutButton";
constexpr const char16_t* kAllowLoginThisComputer = u"allowLoginThisComputer";
constexpr const char16_t* kAutoCheckSoftwareUpdates = u"autoCheckSoftwareUpdates";
constexpr const char16_t* kNicknameSet = u"nicknameSet";
constexpr int kSecureDriveKind = 7;

bool readBool(CPreferenceFile& store, LPCWSTR name, bool fallback) {
  bool value = fallback;
  return store.getBool(name, value) ? value : fallback;
}

}  // namespace

BEGIN_MESSAGE_MAP(CGeneralPropertyPage, CPropertyPage)
  ON_BN_CLICKED(IDC_GENERAL_LOGOUT_BUTTON, OnOptionClicked)
  ON_BN_CLICKED(IDC_GENERAL_AUTO_UPDATE, OnOptionClicked)
  ON_BN_CLICKED(IDC_GENERAL_AUTOSTART, OnOptionClicked)
  ON_BN_CLICKED(IDC_GENERAL_COMPUTER_USED, OnComputerUsed)
  ON_BN_CLICKED(IDC_GENERAL_CHANGE_PASSWORD, OnChangePassword)
  ON_BN_CLICKED(IDC_GENERAL_RENAME, OnRename)
  ON_BN_CLICKED(IDC_GENERAL_DISCONNECT, OnDisconnect)
END_MESSAGE_MAP()

CGeneralPropertyPage::CGeneralPropertyPage() : CPropertyPage(IDD_GENERAL_PAGE) {}

void CGeneralPropertyPage::DoDataExchange(CDataExchange* pDX) {
  CPropertyPage::DoDataExchange(pDX);
  DDX_Control(pDX, IDC_GENERAL_CHANGE_PASSWORD, m_passwordButton);
  DDX_Control(pDX, IDC_GENERAL_COMPUTERS, m_computers);
  DDX_Check(pDX, IDC_GENERAL_LOGOUT_BUTTON, m_showLogoutButton);
  DDX_Check(pDX, IDC_GENERAL_AUTO_UPDATE, m_checkForUpdates);
  DDX_Check(pDX, IDC_GENERAL_AUTOSTART, m_startWithWindows);
}

BOOL CGeneralPropertyPage::OnInitDialog() {
  CPropertyPage::OnInitDialog();
  COptionsHost& host = optionsHost();
  if (CWnd* updates = GetDlgItem(IDC_GENERAL_AUTO_UPDATE)) updates->ShowWindow(SW_HIDE);
  const bool u3 = host.isU3Customization();
  if (u3) {
    if (CWnd* autostart = GetDlgItem(IDC_GENERAL_AUTOSTART)) autostart->ShowWindow(SW_HIDE);
  }
  replaceUiPlaceholders(m_hWnd);
  CPreferenceFile& store = getDevicePrefs();
  store.openRoot();
  m_showLogoutButton = readBool(store, kShowLogoutButton, true);
  m_allowLoginThisComputer = readBool(store, kAllowLoginThisComputer, false);
  m_checkForUpdates = readBool(store, kAutoCheckSoftwareUpdates, true);
  m_startWithWindows = !u3 && host.isAutostartEnabled();
  UpdateData(FALSE);
  fillComputerList();
  // The drive password can be changed only through the drive's library object; on the one kind
  // of drive that has one the button stays hidden too, as the product has always done.
  if (secureDriveServices().getDeviceSdk() == nullptr || host.deviceKind() == kSecureDriveKind)
    m_passwordButton.ShowWindow(SW_HIDE);
  m_initialised = true;
  return TRUE;
}

void CGeneralPropertyPage::fillComputerList() {
  m_computers.ResetContent();
  CCustomizerDoc* doc = optionsHost().document();
  CProfileDatabase& database = getProfileDatabase();
  for (auto& profile : database.profiles()) {
    if (!profile) continue;
    if (profile->deviceFolderExists() || (doc != nullptr && doc->isPrefsChanged(profile.get())))
      m_computers.AddString(profile->m_nickname);
  }
  m_computers.SetCurSel(0);
  CSystemProfile* self = database.getThisComputerProfile();
  if (self != nullptr && m_computers.FindStringExact(-1, self->m_nickname) == CB_ERR &&
      optionsHost().isThisComputerKnown()) {
    m_computers.SetCurSel(m_computers.AddString(self->m_nickname));
  }
  const BOOL any = m_computers.GetCount() > 0;
  if (CWnd* button = GetDlgItem(IDC_GENERAL_DISCONNECT)) button->EnableWindow(any);
  if (CWnd* button = GetDlgItem(IDC_GENERAL_RENAME)) button->EnableWindow(any);
}

BOOL CGeneralPropertyPage::OnApply() {
  UpdateData(TRUE);
  CPreferenceFile& store = getDevicePrefs();
  store.openRoot();
  store.setBool(kShowLogoutButton, m_showLogoutButton != FALSE);
  store.setBool(kAllowLoginThisComputer, m_allowLoginThisComputer);
  store.setBool(kAutoCheckSoftwareUpdates, m_checkForUpdates != FALSE);
  if (m_startWithWindows)
    documentHostServices().enableAutostart();
  else
    documentHostServices().disableAutostart();
  return CPropertyPage::OnApply();
}

void CGeneralPropertyPage::OnOptionClicked() { SetModified(TRUE); }

void CGeneralPropertyPage::OnComputerUsed() {
  optionsHost().runComputerSetup(m_hWnd);
  getDevicePrefs().save();
  m_startWithWindows = !optionsHost().isU3Customization() && optionsHost().isAutostartEnabled();
  CheckDlgButton(IDC_GENERAL_AUTOSTART, m_startWithWindows ? BST_CHECKED : BST_UNCHECKED);
}

void CGeneralPropertyPage::OnChangePassword() {
  CChangePasswordDialog dialog(CChangePasswordDialog::kChangeMode, this);
  dialog.DoModal();
}

CString CGeneralPropertyPage::chosenNickname() {
  CString nickname;
  const int chosen = m_computers.GetCurSel();
  if (chosen != CB_ERR) m_computers.GetLBText(chosen, nickname);
  return nickname;
}

void CGeneralPropertyPage::OnRename() {
  const CString nickname = chosenNickname();
  CSystemProfile* profile = getProfileDatabase().findByNickname(nickname);
  if (profile == nullptr) {
    showMessageById(IDS_GENERAL_NO_PROFILE_RENAME, nickname);
    return;
  }
  if (optionsHost().runNicknameDialog(profile, this) != IDOK) return;
  fillComputerList();
  m_computers.SelectString(-1, profile->m_nickname);
}

bool CGeneralPropertyPage::isInsideSynchronizedComputers(const CString& folder) {
  CString parent = CFolderLookup::getSynchronizedComputersPath();
  if (parent.IsEmpty()) return false;
  if (parent.Right(1) != u"\\") parent += u"\\";
  if (folder.GetLength() <= parent.GetLength()) return false;
  if (CString(folder.Left(parent.GetLength())).CompareNoCase(parent) != 0) return false;
  // "a\b\" or "a\b\..": nothing that names the parent itself or climbs out of it.
  const CString rest = folder.Mid(parent.GetLength());
  if (rest.Find(u"..") >= 0 || rest == u"." || rest.Left(1) == u"\\") return false;
  return true;
}

void CGeneralPropertyPage::OnDisconnect() {
  CCustomizerDoc* doc = optionsHost().document();
  if (doc != nullptr && doc->getSpaceMan().isRunning()) {
    // With a request already pending the click is dropped (see the options dialog's OK).
    if (!doc->getSpaceMan().hasPendingRequest())
      doc->getSpaceMan().setPendingRequest(m_hWnd, WM_COMMAND, IDC_GENERAL_DISCONNECT, 0);
    return;
  }
  CWnd* sheet = GetParent();
  auto* options = dynamic_cast<COptionsDialog*>(sheet != nullptr ? sheet->GetParent() : nullptr);
  if (options == nullptr) throw new CCustomizerException(loadResString(IDS_GENERAL_NO_OPTIONS_DIALOG));
  const CString nickname = chosenNickname();
  if (!askYesNoById(IDS_GENERAL_DISCONNECT_SURE, deviceDisplayName(), nickname)) return;
  if (doc != nullptr && doc->isPersonalized()) {
    if (!askYesNoById(IDS_GENERAL_LOGOUT_FIRST)) return;
    optionsHost().logout();
    if (doc->isPersonalized()) return;
  }
  CProfileDatabase& database = getProfileDatabase();
  CSystemProfile* profile = database.findByNickname(nickname);
  if (profile == nullptr) {
    showMessageById(IDS_GENERAL_NO_PROFILE, nickname);
    return;
  }
  // A profile whose key is empty would name "Synchronized Computers" itself: every computer's
  // folder would go. Refused before anything of the computer is removed.
  const CString folder = profile->getDeviceFolder();
  if (!isInsideSynchronizedComputers(folder)) {
    showMessageById(IDS_GENERAL_DISCONNECT_FAILED, nickname);
    return;
  }
  if (doc != nullptr) doc->removeProfileData(profile);
  if (directoryExists(folder) && !shellInterface().deleteFolder(folder, true)) {
    showMessageById(IDS_GENERAL_DISCONNECT_FAILED, nickname);
    return;
  }
  CPreferenceFile& computerPrefs = openComputerPrefs(*profile);
  computerPrefs.setBool(kNicknameSet, false);
  computerPrefs.setBool(kFrequentUseComputerValue, false);
  deleteComputerPrefKeys(profile);
  database.removeProfile(profile);
  if (doc != nullptr) doc->getSpaceMan().buildSpaceRecords();
  if (!database.writeSystemProfiles()) showMessageById(IDS_GENERAL_PROFILES_NOT_WRITTEN);
  // The login window takes value 0 as "the list of computers changed"; the options stay open.
  auto* changed = new CAppMessage;
  changed->value = 0;
  documentHostServices().sendAppMessage(changed);
  showMessageById(IDS_GENERAL_DISCONNECTED, nickname);
  fillComputerList();
}
