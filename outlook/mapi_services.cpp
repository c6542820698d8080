// Adding message services to a named profile (personal folders, address book) and listing its
// Internet mail services.
#include <cstring>
#include <vector>

#include "app/log.h"
#include "outlook/mapi_internal.h"
#include "outlook/mapi_table.h"
#include "outlook/mapi_util.h"

namespace {

using namespace mapilayer;
using platform::com::Ptr;

// The ids of the profile's services, in table order.
bool serviceIds(IMsgServiceAdmin* admin, SBinaryVector& out) {
  SizedSPropTagArray(1, columns) = {1, {PR_SERVICE_UID}};
  return CMapiTable::createServiceTable(admin).getPropertyVector(reinterpret_cast<LPSPropTagArray>(&columns), 0, out);
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
    SBinaryVector before, after;
    if (!serviceIds(services.get(), before)) {
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
    if (!serviceIds(services.get(), after)) {
      writeLog(u"Failed to get the vector");
      return false;
    }
    const int added = findNewEntry(before, after);
    if (added < 0 || after[added]->cb != sizeof(MAPIUID)) return false;
    if (uid) copyMapiUid(*uid, *reinterpret_cast<const MAPIUID*>(after[added]->lpb));
    return true;
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
    // Outlook names the service "Internet E-mail - ", the account writer "Internet Email - ": an
    // account is known by its name under either.
    constexpr std::string_view prefixes[] = {"Internet E-mail - ", "Internet Email - "};
    for (ULONG i = 0; i < rows.count(); ++i) {
      if (!isString8(rows.at(i, 0), PR_SERVICE_NAME_A) || CString(rows.at(i, 0).Value.lpszA).CompareNoCase(u"IMAIL") != 0)
        continue;
      std::string_view display = isString8(rows.at(i, 1), PR_DISPLAY_NAME_A) ? rows.at(i, 1).Value.lpszA : "";
      for (std::string_view prefix : prefixes)
        if (display.substr(0, prefix.size()) == prefix) {
          display.remove_prefix(prefix.size());
          break;
        }
      names.push_back(CString(std::string(display).c_str()));
    }
    return true;
  });
}
