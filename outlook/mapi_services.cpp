// Adding message services to a named profile (personal folders, address book) and listing its
// Internet mail services.
#include <cstring>
#include <vector>

#include "app/log.h"
#include "outlook/mapi_internal.h"
#include "outlook/mapi_util.h"

namespace {

using namespace mapilayer;
using platform::com::Ptr;

// The ids of the profile's services, in table order.
HRESULT serviceIds(IMsgServiceAdmin* admin, std::vector<MAPIUID>& out) {
  out.clear();
  Ptr<IMAPITable> table;
  HRESULT hr = admin->GetMsgServiceTable(0, table.put());
  if (FAILED(hr)) return hr;
  SizedSPropTagArray(1, columns) = {1, {PR_SERVICE_UID}};
  Rows rows;
  hr = loader().HrQueryAllRows(table.get(), reinterpret_cast<LPSPropTagArray>(&columns), nullptr, nullptr, 0, rows.put());
  if (FAILED(hr)) return hr;
  for (ULONG i = 0; i < rows.count(); ++i) {
    const SPropValue& v = rows.at(i, 0);
    if (v.ulPropTag != PR_SERVICE_UID || v.Value.bin.cb != sizeof(MAPIUID)) continue;
    MAPIUID uid{};
    std::memcpy(&uid, v.Value.bin.lpb, sizeof uid);
    out.push_back(uid);
  }
  return S_OK;
}

}  // namespace

bool CMapiUtil::addServiceToProfile(IProfAdmin* admin, const CString& profile, const CString& service,
                                    const CString& displayName, MAPIUID* uid) {
  return guarded(u"addServiceToProfile", false, [&] {
    if (!admin) return false;
    std::string name = profileAnsi(profile), serviceName = ansi(service), display = ansi(displayName);
    ServiceAdmin services;
    HRESULT hr = admin->AdminServices(name.data(), nullptr, 0, 0, services.put());
    if (FAILED(hr)) {
      writeLog(u"Failed AdminServices in addServiceToProfile.  The failure code is %x", static_cast<unsigned>(hr));
      return false;
    }
    std::vector<MAPIUID> before, after;
    if (FAILED(serviceIds(services.get(), before))) {
      writeLog(u"Failed to get the vector");
      return false;
    }
    hr = services->CreateMsgService(serviceName.data(), display.empty() ? nullptr : display.data(), 0, 0);
    if (FAILED(hr)) {
      writeLog(u"Failed to CreateMsgService - error code is %x", static_cast<unsigned>(hr));
      return false;
    }
    services.reset();
    hr = admin->AdminServices(name.data(), nullptr, 0, 0, services.put());
    if (FAILED(hr)) {
      writeLog(u"Failed the second call to AdminServices - error code is %x", static_cast<unsigned>(hr));
      return false;
    }
    if (FAILED(serviceIds(services.get(), after))) {
      writeLog(u"Failed to get the vector");
      return false;
    }
    for (const MAPIUID& candidate : after) {
      bool seen = false;
      for (const MAPIUID& old : before) seen = seen || std::memcmp(&old, &candidate, sizeof old) == 0;
      if (!seen) {
        if (uid) copyMapiUid(*uid, candidate);
        return true;
      }
    }
    return false;
  });
}

bool CMapiUtil::createAndConfigureService(IProfAdmin* admin, const CString& profile, const CString& service,
                                          const CString& filePath, const CString& displayName, MAPIUID* uid) {
  return guarded(u"createAndConfigureService", false, [&] {
    MAPIUID created{};
    if (!addServiceToProfile(admin, profile, service, displayName, &created)) return false;
    if (uid) copyMapiUid(*uid, created);
    std::string name = profileAnsi(profile);
    ServiceAdmin services;
    if (FAILED(admin->AdminServices(name.data(), nullptr, 0, 0, services.put()))) return false;
    if (configureMessageService(services.get(), &created, displayName, filePath)) return true;
    // Unconfigured, the service would stay in the profile beside whatever the caller tries next.
    deleteMessageService(services.get(), &created);
    if (uid) *uid = MAPIUID{};
    return false;
  });
}

bool CMapiUtil::addPstMessageServiceToProfile(IProfAdmin* admin, const CString& profile, const CString& filePath,
                                              const CString& displayName, MAPIUID* uid) {
  return createAndConfigureService(admin, profile, CString(u"MSPST MS"), filePath, displayName, uid);
}

bool CMapiUtil::addInterstorMessageServiceToProfile(IProfAdmin* admin, const CString& profile,
                                                    const CString& filePath, const CString& displayName, MAPIUID* uid) {
  return createAndConfigureService(admin, profile, CString(u"INTERSTOR"), filePath, displayName, uid);
}

bool CMapiUtil::addContabMessageServiceToProfile(IProfAdmin* admin, const CString& profile,
                                                 const CString& displayName, MAPIUID* uid) {
  return guarded(u"addPstMessageServiceToProfile", false,
                 [&] { return addServiceToProfile(admin, profile, CString(u"CONTAB"), displayName, uid); });
}

bool CMapiUtil::getImailMessageServiceList(IProfAdmin* admin, const CString& profile, std::vector<CString>& names) {
  names.clear();
  return guarded(u"getImailMessageServiceList", false, [&] {
    if (!admin) return false;
    std::string name = profileAnsi(profile);
    ServiceAdmin services;
    if (FAILED(admin->AdminServices(name.data(), nullptr, 0, 0, services.put()))) return true;
    Ptr<IMAPITable> table;
    if (FAILED(services->GetMsgServiceTable(0, table.put()))) return true;
    ULONG count = 0;
    if (FAILED(table->GetRowCount(0, &count)) || count == 0) return true;
    SizedSPropTagArray(3, columns) = {3, {PR_SERVICE_NAME_A, PR_DISPLAY_NAME_A, PR_PROVIDER_DISPLAY_A}};
    if (FAILED(table->SetColumns(reinterpret_cast<LPSPropTagArray>(&columns), 0))) return true;
    Rows rows;
    if (FAILED(table->QueryRows(static_cast<LONG>(count), 0, rows.put()))) return true;
    constexpr std::string_view prefix = "Internet E-mail - ";
    for (ULONG i = 0; i < rows.count(); ++i) {
      if (!isString8(rows.at(i, 0), PR_SERVICE_NAME_A) || CString(rows.at(i, 0).Value.lpszA).CompareNoCase(u"IMAIL") != 0)
        continue;
      std::string_view display = isString8(rows.at(i, 1), PR_DISPLAY_NAME_A) ? rows.at(i, 1).Value.lpszA : "";
      if (display.substr(0, prefix.size()) == prefix) display.remove_prefix(prefix.size());
      names.push_back(CString(std::string(display).c_str()));
    }
    return true;
  });
}
