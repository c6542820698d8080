// The address book snap-in (address_book_customizer.h).
#include "outlook/address_book_customizer.h"

#include <cstring>
#include <memory>
#include <string>

#include "app/log.h"
#include "app/profile_database.h"
#include "app/program_texts.h"
#include "outlook/account_outlook_link.h"
#include "outlook/entry_id.h"
#include "outlook/mapi_internal.h"
#include "outlook/mapi_loader.h"
#include "outlook/mapi_restriction.h"
#include "outlook/outlook_folder.h"
#include "outlook/outlook_install.h"
#include "snapins/factory_context.h"

namespace {

using platform::com::Ptr;

constexpr const char16_t* kSnapinName = u"Outlook Address Book";
constexpr const char16_t* kPersonalizeProfile = u"Kipo";
constexpr const char16_t* kServiceDisplayName = u"Kipo Address Book";
constexpr char kServiceName[] = "CONTAB";
constexpr char kProviderName[] = "CONTABP";
constexpr const char16_t* kContactsClass = u"IPF.Contact";

// The provider's values, one per contacts folder for the first seven.
constexpr ULONG kFolderEntryIds = 0x66201102;
constexpr ULONG kStoreNames = 0x6622101E;
constexpr ULONG kFolderNames = 0x6623101E;
constexpr ULONG kFolderNamesAgain = 0x6624101E;
constexpr ULONG kFolderStates = 0x66211003;
constexpr ULONG kFolderFlags = 0x66251003;
constexpr ULONG kStoreEntryIds = 0x66261102;
constexpr LONG kFolderStateValue = static_cast<LONG>(0x8004010F);

constexpr const char16_t* kLogNoSession = u"{Outlook Customizer}: Failed to open personalize Mapi session.";
constexpr const char16_t* kLogNotAdded = u"{OutlookProfileManager}: Failed to add address book service to MAPI profile.";
constexpr const char16_t* kLogServiceNotAdded =
    u"{Outlook Customizer}: Failed to add address book message service to %s MAPI profile.";
constexpr const char16_t* kLogNotConfigured = u"{Outlook Customizer}: Failed to create and configure %s address book.";
constexpr const char16_t* kLogNoStoreProps =
    u"{OutlookABCustomizer}: Failed to get store properties setupValueArrayForContactsFolders.";

// The eight provider values and the storage they point into.
class CContactsValueArray {
 public:
  explicit CContactsValueArray(std::size_t count)
      : m_folderIds(count), m_storeIds(count), m_storeNames(count), m_names(count), m_states(count, kFolderStateValue),
        m_flags(count, 1), m_folderIdBytes(count), m_storeIdBytes(count), m_storeNameText(count), m_nameText(count) {}

  void setFolder(std::size_t i, const COutlookFolder& folder) {
    bytesFromHex(folder.entryId.getId(), m_folderIdBytes[i]);
    m_nameText[i] = mapilayer::ansi(folder.displayName);
  }
  void setStore(std::size_t i, const SPropValue* name, const SPropValue* id) {
    if (name) m_storeNameText[i] = name->Value.lpszA;
    if (id) m_storeIdBytes[i].assign(id->Value.bin.lpb, id->Value.bin.lpb + id->Value.bin.cb);
  }

  // Points the values at the storage; valid while this object lives.
  SPropValue* values() {
    const std::size_t n = m_folderIds.size();
    for (std::size_t i = 0; i < n; ++i) {
      m_folderIds[i] = {static_cast<ULONG>(m_folderIdBytes[i].size()), m_folderIdBytes[i].data()};
      m_storeIds[i] = {static_cast<ULONG>(m_storeIdBytes[i].size()), m_storeIdBytes[i].data()};
      m_storeNames[i] = m_storeNameText[i].data();
      m_names[i] = m_nameText[i].data();
    }
    const ULONG count = static_cast<ULONG>(n);
    m_values[0].ulPropTag = kFolderEntryIds;
    m_values[0].Value.MVbin = {count, m_folderIds.data()};
    m_values[1].ulPropTag = kStoreNames;
    m_values[1].Value.MVszA = {count, m_storeNames.data()};
    m_values[2].ulPropTag = kFolderNames;
    m_values[2].Value.MVszA = {count, m_names.data()};
    m_values[3].ulPropTag = kFolderNamesAgain;
    m_values[3].Value.MVszA = {count, m_names.data()};
    m_values[4].ulPropTag = kFolderStates;
    m_values[4].Value.MVl = {count, m_states.data()};
    m_values[5].ulPropTag = kFolderFlags;
    m_values[5].Value.MVl = {count, m_flags.data()};
    m_values[6].ulPropTag = kStoreEntryIds;
    m_values[6].Value.MVbin = {count, m_storeIds.data()};
    m_serviceName = mapilayer::ansi(CString(kServiceDisplayName));
    m_values[7].ulPropTag = PR_DISPLAY_NAME_A;
    m_values[7].Value.lpszA = m_serviceName.data();
    return m_values;
  }

 private:
  std::vector<SBinary> m_folderIds, m_storeIds;
  std::vector<LPSTR> m_storeNames, m_names;
  std::vector<LONG> m_states, m_flags;
  std::vector<EntryIdBytes> m_folderIdBytes, m_storeIdBytes;
  std::vector<std::string> m_storeNameText, m_nameText;
  std::string m_serviceName;
  SPropValue m_values[8] = {};
};

// Every folder below `parent`, in tree order (a folder before its subfolders).
void collectFolders(CMapiUtil& util, IMsgStore* store, COutlookFolder& parent, IMAPIFolder* opened,
                    std::vector<const COutlookFolder*>& out) {
  if (FAILED(util.getSubfolders(parent, store, opened)) || !parent.children) return;
  for (const auto& child : *parent.children) {
    out.push_back(child.get());
    if (child->hasSubfolders) collectFolders(util, store, *child, nullptr, out);
  }
}

}  // namespace

COutlookABCustomizer::COutlookABCustomizer()
    : CCustomizer(CString(kSnapinName)), m_document(factoryDocument()), m_outlookVersion(getOutlookVersion()) {}

COutlookABCustomizer::~COutlookABCustomizer() { m_session.reset(); }

CCustomizer* COutlookABCustomizer::findOutlookCustomizer() { return findOutlookSnapin(m_document); }

void COutlookABCustomizer::getPersonalizeSession(CMapiUtil::Session& session) {
  if (!m_session && m_util) {
    try {
      m_util->logon(m_session, CString(kPersonalizeProfile));
    } catch (CMapiException* e) {
      // MAPI is not started: no session, as for a logon that failed.
      e->Delete();
      m_session.reset();
    }
    if (!m_session) writeLog(kLogNoSession);
  }
  session = m_session;
}

bool COutlookABCustomizer::personalize() {
  if (CCustomizer* outlook = findOutlookCustomizer()) {
    COutlookSnapinLink* link = outlookLinkOf(outlook);
    if (!link || outlook->getSourceState() < kSourceCarry || !outlook->isPersonalized() ||
        !link->drivePstExists(getProfileDatabase().getLoginProfile()) || !link->isSupportedOutlookVersion() ||
        link->isExchangeMode())
      return true;
    m_util = link->getMapiUtil();
  } else {
    m_util = getMapiUtil();
  }
  if (!m_util) return true;
  setPersonalized(true);
  if (m_outlookVersion < 3 || !m_util->isMsmapi32Installed()) return true;

  CMapiUtil::Session session;
  getPersonalizeSession(session);
  CMapiUtil::Store store;
  if (session) m_util->openDefaultMessageStore(store, session.get());
  if (!store) return false;

  Ptr<IMAPIFolder> top;
  auto root = std::make_unique<COutlookFolder>();
  std::vector<const COutlookFolder*> folders;
  if (SUCCEEDED(m_util->openIpmSubtree(store.get(), top)) && top)
    collectFolders(*m_util, store.get(), *root, top.get(), folders);
  std::vector<const COutlookFolder*> contacts;
  for (const COutlookFolder* folder : folders)
    if (folder->containerClass.Find(kContactsClass) >= 0 && folder->itemCount > 0) contacts.push_back(folder);

  if (addAddressBookService(CString(kPersonalizeProfile), contacts)) {
    if (!contacts.empty()) {
      // The session opened before the service existed does not show it.
      m_session.reset();
      getPersonalizeSession(session);
      if (session) m_util->setAddressBookSearchPath(session.get());
    }
  } else {
    writeLog(kLogNotAdded);
  }
  root->freeChildren();
  return true;
}

bool COutlookABCustomizer::depersonalize() {
  m_serviceId = MAPIUID{};
  m_session.reset();
  return true;
}

bool COutlookABCustomizer::addAddressBookService(const CString& profileName,
                                                 const std::vector<const COutlookFolder*>& contacts) {
  if (contacts.empty() || hasService()) return true;
  if (!m_util) return false;
  CMapiUtil::ProfAdmin admin;
  m_util->getMapiProfAdmin(admin);
  if (!admin) return false;
  if (!m_util->addContabMessageServiceToProfile(admin.get(), profileName, CString(kServiceDisplayName), &m_serviceId)) {
    m_serviceId = MAPIUID{};
    writeLog(kLogServiceNotAdded, CString(kProductName));
    return false;
  }
  CMapiUtil::Session session;
  getPersonalizeSession(session);
  if (!configureAddressBook(session.get(), contacts)) {
    writeLog(kLogNotConfigured, CString(kProductName));
    return false;
  }
  return true;
}

bool COutlookABCustomizer::configureAddressBook(IMAPISession* session, const std::vector<const COutlookFolder*>& contacts) {
  if (!session || !m_util) return false;
  return mapilayer::guarded(u"COutlookABCustomizer::configureAddressBook", false, [&] {
    CMapiUtil::Store store;
    m_util->openDefaultMessageStore(store, session);
    if (!store) return false;
    CMapiUtil::ServiceAdmin services;
    Ptr<IMAPITable> table;
    if (FAILED(session->AdminServices(0, services.put())) || !services ||
        FAILED(services->GetMsgServiceTable(0, table.put())) || !table)
      return false;
    SizedSPropTagArray(2, columns) = {2, {PR_SERVICE_NAME_A, PR_SERVICE_UID}};
    SPropValue wanted{};
    wanted.ulPropTag = PR_SERVICE_NAME_A;
    std::string name = kServiceName;
    wanted.Value.lpszA = name.data();
    CMAPIPropRestriction restriction(wanted, PR_SERVICE_NAME_A, RELOP_EQ);
    mapilayer::Rows rows;
    if (FAILED(mapilayer::loader().HrQueryAllRows(table.get(), reinterpret_cast<LPSPropTagArray>(&columns),
                                                   restriction.getRestriction(), nullptr, 0, rows.put())) ||
        rows.count() == 0)
      return false;
    // The service this run added; the first one when the table does not show it.
    ULONG chosen = 0;
    for (ULONG i = 0; i < rows.count(); ++i) {
      const SPropValue& uid = rows.at(i, 1);
      if (uid.ulPropTag == PR_SERVICE_UID && uid.Value.bin.cb == sizeof(MAPIUID) &&
          std::memcmp(uid.Value.bin.lpb, m_serviceId.ab, sizeof(MAPIUID)) == 0)
        chosen = i;
    }
    const SPropValue& uid = rows.at(chosen, 1);
    if (uid.ulPropTag != PR_SERVICE_UID || uid.Value.bin.cb != sizeof(MAPIUID)) return false;
    MAPIUID service;
    std::memcpy(service.ab, uid.Value.bin.lpb, sizeof(MAPIUID));
    Ptr<IProviderAdmin> providers;
    if (FAILED(services->AdminProviders(&service, 0, providers.put())) || !providers) return false;

    CContactsValueArray values(contacts.size());
    for (std::size_t i = 0; i < contacts.size(); ++i) values.setFolder(i, *contacts[i]);
    SizedSPropTagArray(2, storeColumns) = {2, {PR_DISPLAY_NAME_A, PR_ENTRYID}};
    ULONG count = 0;
    LPSPropValue storeProps = nullptr;
    if (FAILED(store->GetProps(reinterpret_cast<LPSPropTagArray>(&storeColumns), 0, &count, &storeProps))) {
      writeLog(kLogNoStoreProps);
    } else {
      const SPropValue* display = count > 0 && storeProps[0].ulPropTag == PR_DISPLAY_NAME_A ? &storeProps[0] : nullptr;
      const SPropValue* id = count > 1 && storeProps[1].ulPropTag == PR_ENTRYID ? &storeProps[1] : nullptr;
      for (std::size_t i = 0; i < contacts.size(); ++i) values.setStore(i, display, id);
    }
    if (storeProps) mapilayer::loader().MAPIFreeBuffer(storeProps);

    deleteAllProviders(providers.get());
    std::string provider = kProviderName;
    MAPIUID created{};
    return SUCCEEDED(providers->CreateProvider(provider.data(), 8, values.values(), 0, 0, &created));
  });
}

bool COutlookABCustomizer::deleteAllProviders(IProviderAdmin* admin) {
  if (!admin) return false;
  return mapilayer::guarded(u"COutlookABCustomizer::deleteAllProviders", false, [&] {
    Ptr<IMAPITable> table;
    if (FAILED(admin->GetProviderTable(0, table.put())) || !table) return false;
    SizedSPropTagArray(1, columns) = {1, {PR_PROVIDER_UID}};
    mapilayer::Rows rows;
    if (FAILED(mapilayer::loader().HrQueryAllRows(table.get(), reinterpret_cast<LPSPropTagArray>(&columns), nullptr,
                                                   nullptr, 0, rows.put())))
      return false;
    bool ok = true;
    for (ULONG i = 0; i < rows.count(); ++i) {
      const SPropValue& uid = rows.at(i, 0);
      if (uid.ulPropTag != PR_PROVIDER_UID || uid.Value.bin.cb != sizeof(MAPIUID)) {
        ok = false;
        continue;
      }
      MAPIUID provider;
      std::memcpy(provider.ab, uid.Value.bin.lpb, sizeof(MAPIUID));
      if (FAILED(admin->DeleteProvider(&provider))) ok = false;
    }
    return ok;
  });
}
