// MAPI's start and stop, sessions, profiles and message services.
#include "outlook/mapi_util.h"

#include <cstring>
#include <string>

#include "app/customizer_exception.h"
#include "app/log.h"
#include "app/messages.h"
#include "app/registry.h"
#include "app/structured_exception.h"
#include "lang/ids.h"
#include "outlook/mapi_internal.h"
#include "outlook/mapi_loader.h"
#include "outlook/outlook_install.h"
#include "platform/afx/app.h"
#include "platform/afx/exception.h"
#include "platform/base/codepage.h"
#include "platform/base/text.h"

namespace mapilayer {

void reportCaught(const char16_t* name) {
  try {
    throw;
  } catch (const NoLoader&) {
  } catch (CCustomizerException* e) {
    showMessage(u"%s", e->getMessage());
    e->Delete();
  } catch (CException* e) {
    writeLog(u"%s", exceptionErrorText(e));
    e->Delete();
  } catch (const CSE& e) {
    describeStructuredException(e, CString(name), false);
  } catch (...) {
    writeLog(u"{%s}: Caught undefined exception.", CString(name));
  }
}

CMAPILoader& loader() {
  CMAPILoader* l = mapiLoaderReference();
  if (!l || !l->isLoaded()) throw NoLoader{};
  return *l;
}

std::string ansi(const CString& text) { return platform::text::wideToAnsi(text.view()); }

std::string profileAnsi(const CString& name) { return ansi(name.GetLength() > 255 ? name.Left(255) : name); }

}  // namespace mapilayer

namespace {

using namespace mapilayer;
using platform::com::Ptr;

constexpr ULONG kMapiSubsystem = MAPI_SUBSYSTEM;
constexpr ULONG kServiceDefaultStore = SERVICE_DEFAULT_STORE;
constexpr char kExchangeService[] = "MSEMS";

HWND mainWindow() {
  CWnd* main = AfxGetMainWnd();
  return main ? main->GetSafeHwnd() : nullptr;
}

}  // namespace

bool CMapiUtil::isNullUid(const MAPIUID& uid) {
  static const MAPIUID zero{};
  return std::memcmp(&uid, &zero, sizeof uid) == 0;
}

bool CMapiUtil::initializeMapi() {
  return guarded(u"initializeMapi", false, [this] {
    mapilayer::g_loaderReference = getMapiLoader();
    if (!mapilayer::g_loaderReference) return false;
    MAPIINIT_0 init{0, MAPI_MULTITHREAD_NOTIFICATIONS};
    if (FAILED(loader().MAPIInitialize(&init))) return false;
    return getProfileCount() > 0;
  });
}

int CMapiUtil::getProfileCount() {
  return guarded(u"getProfileCount", -1, [] {
    Ptr<IProfAdmin> admin;
    if (FAILED(loader().MAPIAdminProfiles(0, admin.put())) || !admin) return -1;
    Ptr<IMAPITable> table;
    if (FAILED(admin->GetProfileTable(0, table.put())) || !table) return -1;
    SizedSPropTagArray(1, columns) = {1, {PR_DISPLAY_NAME_W}};
    if (FAILED(table->SetColumns(reinterpret_cast<LPSPropTagArray>(&columns), 0))) return -1;
    ULONG count = 0;
    if (FAILED(table->GetRowCount(0, &count))) return -1;
    return static_cast<int>(count);
  });
}

bool CMapiUtil::uninitializeMapi() {
  return guarded(u"uninitializeMapi", false, [this] {
    const bool internetMailOnly = getOutlookVersion() == 3 && isOutlook2000InternetMailOnly();
    if (mapilayer::g_loaderReference) {
      if (internetMailOnly && m_skipUninitialize)
        m_skipUninitialize = false;
      else
        loader().MAPIUninitialize();
    }
    return true;
  });
}

HRESULT CMapiUtil::logon(Session& session, const CString& profileName) {
  try {
    std::string name = profileAnsi(profileName);
    ULONG flags = MAPI_EXTENDED | MAPI_NEW_SESSION | MAPI_LOGON_UI;
    if (!name.empty()) flags |= MAPI_EXPLICIT_PROFILE;
    LPMAPISESSION opened = nullptr;
    const HRESULT hr = loader().MAPILogonEx(reinterpret_cast<ULONG_PTR>(mainWindow()),
                                            name.empty() ? nullptr : name.data(), nullptr, flags, &opened);
    Ptr<IMAPISession> result;
    *result.put() = opened;
    if (hr == MAPI_E_USER_CANCEL) return hr;
    if (hr == MAPI_E_NOT_INITIALIZED) throw new CMapiException(CMapiException::kNotInitialized, hr);
    session = result;
    return hr;
  } catch (CMapiException*) {
    throw;
  } catch (...) {
    reportCaught(u"logon");
  }
  return E_FAIL;
}

void CMapiUtil::closeMapiSession(Session& session) {
  guarded(u"closeMapiSession", 0, [&session] {
    session.reset();
    return 0;
  });
}

CString CMapiUtil::getProfileName(IMAPISession* session) {
  return guarded(u"getProfileName", CString(), [session] {
    if (!session) return CString();
    Ptr<IMAPITable> table;
    if (FAILED(session->GetStatusTable(0, table.put())) || !table) return CString();
    ULONG count = 0;
    if (FAILED(table->GetRowCount(0, &count)) || count == 0) return CString();
    SizedSPropTagArray(2, columns) = {2, {PR_RESOURCE_TYPE, PR_DISPLAY_NAME_A}};
    Rows rows;
    if (FAILED(loader().HrQueryAllRows(table.get(), reinterpret_cast<LPSPropTagArray>(&columns), nullptr, nullptr, 0,
                                       rows.put())))
      return CString();
    for (ULONG i = 0; i < rows.count(); ++i)
      if (rows.at(i, 0).ulPropTag == PR_RESOURCE_TYPE && rows.at(i, 0).Value.l == kMapiSubsystem &&
          isString8(rows.at(i, 1), PR_DISPLAY_NAME_A))
        return CString(rows.at(i, 1).Value.lpszA);
    return CString();
  });
}

void CMapiUtil::getMapiProfAdmin(ProfAdmin& admin) {
  guarded(u"getMapiProfAdmin", 0, [&admin] {
    ProfAdmin made;
    if (FAILED(loader().MAPIAdminProfiles(0, made.put()))) made.reset();
    admin = made;
    return 0;
  });
}

bool CMapiUtil::MAPIProfileExists(const CString& name, bool& exists) {
  exists = false;
  return guarded(u"MAPIProfileExists", false, [&] {
    Ptr<IProfAdmin> admin;
    if (FAILED(loader().MAPIAdminProfiles(0, admin.put())) || !admin) return false;
    Ptr<IMAPITable> table;
    if (FAILED(admin->GetProfileTable(0, table.put())) || !table) return false;
    SizedSPropTagArray(1, columns) = {1, {PR_DISPLAY_NAME_A}};
    if (FAILED(table->SetColumns(reinterpret_cast<LPSPropTagArray>(&columns), 0))) return false;
    ULONG count = 0;
    if (FAILED(table->GetRowCount(0, &count))) return false;
    if (count == 0) return true;
    Rows rows;
    if (FAILED(table->QueryRows(static_cast<LONG>(count), 0, rows.put()))) return false;
    const std::string wanted = profileAnsi(name);
    for (ULONG i = 0; i < rows.count(); ++i)
      if (isString8(rows.at(i, 0), PR_DISPLAY_NAME_A) && wanted == rows.at(i, 0).Value.lpszA) {
        exists = true;
        break;
      }
    return true;
  });
}

bool CMapiUtil::createMAPIProfile(const CString& name) {
  return guarded(u"createMAPIProfile", false, [&name] {
    Ptr<IProfAdmin> admin;
    if (FAILED(loader().MAPIAdminProfiles(0, admin.put())) || !admin) return false;
    std::string n = profileAnsi(name);
    return SUCCEEDED(admin->CreateProfile(n.data(), nullptr, 0, 0));
  });
}

bool CMapiUtil::deleteMAPIProfile(const CString& name) {
  return guarded(u"deleteMAPIProfile", false, [&name] {
    Ptr<IProfAdmin> admin;
    if (FAILED(loader().MAPIAdminProfiles(0, admin.put())) || !admin) return false;
    std::string n = profileAnsi(name);
    return SUCCEEDED(admin->DeleteProfile(n.data(), 0));
  });
}

bool CMapiUtil::recreateProductProfile(const CString& name) {
  bool exists = false;
  if (!MAPIProfileExists(name, exists)) {
    writeLog(u"{MapiFunction}: Failed to determine if Kipo MAPI profile exists.");
    return false;
  }
  if (exists) deleteMAPIProfile(name);
  return createMAPIProfile(name);
}

bool CMapiUtil::setDefaultProfile(const CString& name) {
  return guarded(u"setDefaultProfile", false, [&name] {
    CRegistry key(getOutlookProfilesRegkey(), true, true);
    return key.setString(u"DefaultProfile", name);
  });
}

HRESULT CMapiUtil::createExchangeProfile(const CString& profileName, const CString& server, const CString& mailbox) {
  bool created = false;
  const HRESULT hr = guarded(u"createExchangeProfile", HRESULT(E_FAIL), [&]() -> HRESULT {
    ProfAdmin admin;
    getMapiProfAdmin(admin);
    if (!admin) return E_FAIL;
    std::string name = profileAnsi(profileName);
    HRESULT result = admin->CreateProfile(name.data(), nullptr, 0, 0);
    if (FAILED(result)) return result;
    created = true;
    ServiceAdmin services;
    result = admin->AdminServices(name.data(), nullptr, 0, 0, services.put());
    if (FAILED(result)) return result;
    char service[] = "MSEMS";
    result = services->CreateMsgService(service, nullptr, 0, 0);
    if (FAILED(result)) return result;
    Ptr<IMAPITable> table;
    result = services->GetMsgServiceTable(0, table.put());
    if (FAILED(result)) return result;
    SizedSPropTagArray(2, columns) = {2, {PR_SERVICE_NAME_W, PR_SERVICE_UID}};
    result = table->SetColumns(reinterpret_cast<LPSPropTagArray>(&columns), 0);
    if (FAILED(result)) return result;
    SPropValue wanted{};
    wanted.ulPropTag = PR_SERVICE_NAME_A;
    wanted.Value.lpszA = service;
    SRestriction restriction{};
    restriction.rt = RES_CONTENT;
    restriction.res.resContent = {FL_FULLSTRING, PR_SERVICE_NAME_A, &wanted};
    result = table->FindRow(&restriction, BOOKMARK_BEGINNING, 0);
    if (FAILED(result)) return result;
    Rows rows;
    result = table->QueryRows(1, 0, rows.put());
    if (FAILED(result)) return result;
    if (rows.count() == 0 || rows.at(0, 1).ulPropTag != PR_SERVICE_UID ||
        rows.at(0, 1).Value.bin.cb != sizeof(MAPIUID))
      return MAPI_E_NOT_FOUND;
    MAPIUID uid{};
    std::memcpy(&uid, rows.at(0, 1).Value.bin.lpb, sizeof uid);
    std::string mailboxText = ansi(mailbox), serverText = ansi(server);
    SPropValue values[2]{};
    values[0].ulPropTag = PR_PROFILE_UNRESOLVED_NAME;
    values[0].Value.lpszA = mailboxText.data();
    values[1].ulPropTag = PR_PROFILE_UNRESOLVED_SERVER;
    values[1].Value.lpszA = serverText.data();
    result = services->ConfigureMsgService(&uid, 0, 0, 2, values);
    if (FAILED(result)) return result;
    // The global profile section tells the Exchange service how to start; its result is not needed.
    MAPIUID global{{0x13, 0xDB, 0xB0, 0xC8, 0xAA, 0x05, 0x10, 0x1A, 0x9B, 0xB0, 0x00, 0xAA, 0x00, 0x2F, 0xC4, 0x5A}};
    Ptr<IProfSect> section;
    if (SUCCEEDED(services->OpenProfileSection(&global, nullptr, MAPI_MODIFY, section.put())) && section) {
      SPropValue flags{};
      flags.ulPropTag = PR_PROFILE_CONFIG_FLAGS;
      flags.Value.l = 12;
      section->SetProps(1, &flags, nullptr);
    }
    return result;
  });
  // Only a profile this call made is removed: one of that name that was there before is not ours.
  if (FAILED(hr) && created) deleteMAPIProfile(profileName);
  return hr;
}

bool CMapiUtil::getDefaultServiceAndDeleteOthers(IMAPISession* session, MAPIUID& uid, bool deleteOthers) {
  return guarded(u"getDefaultServiceAndDeleteOthers", false, [&] {
    if (!session) return false;
    ServiceAdmin admin;
    if (FAILED(session->AdminServices(0, admin.put())) || !admin) return false;
    Ptr<IMAPITable> table;
    if (FAILED(admin->GetMsgServiceTable(0, table.put())) || !table) return false;
    ULONG count = 0;
    if (FAILED(table->GetRowCount(0, &count)) || count == 0) return false;
    SizedSPropTagArray(2, columns) = {2, {PR_RESOURCE_FLAGS, PR_SERVICE_UID}};
    if (FAILED(table->SetColumns(reinterpret_cast<LPSPropTagArray>(&columns), 0))) return false;
    Rows rows;
    if (FAILED(table->QueryRows(static_cast<LONG>(count), 0, rows.put()))) return false;
    bool found = false;
    for (ULONG i = 0; i < rows.count(); ++i) {
      const SPropValue& flags = rows.at(i, 0);
      const SPropValue& id = rows.at(i, 1);
      if (id.ulPropTag != PR_SERVICE_UID || id.Value.bin.cb != sizeof(MAPIUID)) continue;
      MAPIUID rowUid{};
      std::memcpy(&rowUid, id.Value.bin.lpb, sizeof rowUid);
      if (flags.ulPropTag == PR_RESOURCE_FLAGS && (flags.Value.l & kServiceDefaultStore)) {
        copyMapiUid(uid, rowUid);
        found = true;
      } else if (deleteOthers) {
        deleteMessageService(admin.get(), &rowUid);
      }
    }
    return found;
  });
}

CString CMapiUtil::getDefaultServiceName(IMAPISession* session) {
  return guarded(u"getDefaultServiceName", CString(), [&] {
    if (!session) return CString();
    ServiceAdmin admin;
    if (FAILED(session->AdminServices(0, admin.put())) || !admin) return CString();
    Ptr<IMAPITable> table;
    if (FAILED(admin->GetMsgServiceTable(0, table.put())) || !table) return CString();
    ULONG count = 0;
    if (FAILED(table->GetRowCount(0, &count)) || count == 0) return CString();
    SizedSPropTagArray(2, columns) = {2, {PR_RESOURCE_FLAGS, PR_SERVICE_NAME_A}};
    if (FAILED(table->SetColumns(reinterpret_cast<LPSPropTagArray>(&columns), 0))) return CString();
    Rows rows;
    if (FAILED(table->QueryRows(static_cast<LONG>(count), 0, rows.put()))) return CString();
    for (ULONG i = 0; i < rows.count(); ++i)
      if (rows.at(i, 0).ulPropTag == PR_RESOURCE_FLAGS && (rows.at(i, 0).Value.l & kServiceDefaultStore))
        return isString8(rows.at(i, 1), PR_SERVICE_NAME_A) ? CString(rows.at(i, 1).Value.lpszA) : CString();
    return CString();
  });
}

bool CMapiUtil::isDefaultServiceExchange(IMAPISession* session) {
  return getDefaultServiceName(session).CompareNoCase(CString(kExchangeService)) == 0;
}

bool CMapiUtil::isOneOfServiceExchange(IMAPISession* session) {
  return guarded(u"isOneOfServiceExchange", false, [&] {
    if (!session) return true;
    ServiceAdmin admin;
    if (FAILED(session->AdminServices(0, admin.put())) || !admin) return false;
    Ptr<IMAPITable> table;
    if (FAILED(admin->GetMsgServiceTable(0, table.put())) || !table) return false;
    ULONG count = 0;
    if (FAILED(table->GetRowCount(0, &count))) return false;
    if (count == 0) return false;
    SizedSPropTagArray(2, columns) = {2, {PR_RESOURCE_FLAGS, PR_SERVICE_NAME_A}};
    if (FAILED(table->SetColumns(reinterpret_cast<LPSPropTagArray>(&columns), 0))) return false;
    Rows rows;
    if (FAILED(table->QueryRows(static_cast<LONG>(count), 0, rows.put()))) return false;
    for (ULONG i = 0; i < rows.count(); ++i)
      if (isString8(rows.at(i, 1), PR_SERVICE_NAME_A) &&
          CString(rows.at(i, 1).Value.lpszA).CompareNoCase(CString(kExchangeService)) == 0)
        return true;
    return false;
  });
}

bool CMapiUtil::deleteMessageService(IMsgServiceAdmin* admin, MAPIUID* uid) {
  return guarded(u"deleteMessageService", false, [&] {
    if (!admin || !uid) return false;
    const HRESULT hr = admin->DeleteMsgService(uid);
    *uid = MAPIUID{};
    return SUCCEEDED(hr);
  });
}

bool CMapiUtil::configureMessageService(IMsgServiceAdmin* admin, MAPIUID* uid, LPSPropValue values, ULONG count) {
  return guarded(u"configureMessageService", false, [&] {
    if (!admin || !uid || !values) return false;
    const HRESULT hr = admin->ConfigureMsgService(uid, 0, 0, count, values);
    if (hr == MAPI_E_NOT_ENOUGH_RESOURCES) {
      writeLog(u"configureMessageService() reports MAPI_E_NOT_ENOUGH_RESOURCES. Message service already configured?");
      return true;
    }
    if (FAILED(hr)) {
      writeLog(u"{Mapi Manager}: Failed to configureMessageService with code %x", static_cast<unsigned>(hr));
      return false;
    }
    return true;
  });
}

bool CMapiUtil::configureMessageService(IMsgServiceAdmin* admin, MAPIUID* uid, const CString& displayName,
                                        const CString& filePath) {
  return guarded(u"configureMessageService", false, [&] {
    if (!admin || !uid || displayName.IsEmpty()) return false;
    std::string name = ansi(displayName), path = ansi(filePath);
    SPropValue values[2]{};
    values[0].ulPropTag = PR_DISPLAY_NAME_A;
    values[0].Value.lpszA = name.data();
    values[1].ulPropTag = PR_PST_PATH;
    values[1].Value.lpszA = path.data();
    if (configureMessageService(admin, uid, values, 2)) return true;
    writeLog(u"configureMessageService() failed\nserviceDisplayName: %s serviceFilepath: %s", displayName, filePath);
    return false;
  });
}

void CMapiUtil::copyMapiUid(MAPIUID& destination, const MAPIUID& source) {
  std::memcpy(&destination, &source, sizeof destination);
}

bool CMapiUtil::isMsmapi32Installed() {
  return guarded(u"isMsmapi32Installed", false, [] {
    if (getOutlookVersion() == 3 && isOutlook2000InternetMailOnly()) return false;
    CString path = getMapiInstallationPath();
    path.MakeLower();
    return path.Find(u"msmapi32.dll") >= 0;
  });
}

void CMapiUtil::showMapiError(const MAPIERROR* error) {
  guarded(u"showMapiError", 0, [error] {
    if (error && error->ulLowLevelError != 0)
      showMessage(u"-- Outlook --\nVersion: %d\nMessage: %s\nComponent: %s\nulLowLevelError: %x\nulContext: %d",
                  static_cast<int>(error->ulVersion), CString(error->lpszError), CString(error->lpszComponent),
                  static_cast<unsigned>(error->ulLowLevelError), static_cast<int>(error->ulContext));
    else
      showMessageById(IDS_OUTLOOK_ERROR_NO_MESSAGE);
    return 0;
  });
}
