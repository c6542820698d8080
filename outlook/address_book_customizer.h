// COutlookABCustomizer, the snap-in "Outlook Address Book": once the user's Outlook is in place
// on the host through the product's MAPI profile "Kipo", it adds an Outlook address book service
// to that profile that shows every non-empty contacts folder of the profile's default store as an
// address list, and puts those lists on the address book's search path. The profile goes with the
// Outlook snap-in's restore, so there is nothing to back up, restore or synchronize here.
#pragma once

#include <vector>

#include "outlook/mapi_util.h"
#include "snapins/customizer.h"

class CCustomizerDoc;
class COutlookFolder;

class COutlookABCustomizer : public CCustomizer {
 public:
  COutlookABCustomizer();
  ~COutlookABCustomizer() override;

  // Adds and configures the service (once per run). False only when the profile's default store
  // cannot be opened; a service that cannot be added or configured is logged.
  bool personalize() override;
  // Forgets the service of this run and releases the session.
  bool depersonalize() override;
  ULONGLONG getDeviceSpace(CSpaceRecord*) override { return 0; }
  int getSourceState() override { return kSourcePresent; }

  // The document's snap-in named "Outlook", or none.
  CCustomizer* findOutlookCustomizer();
  // The cached session on "Kipo", else a new logon kept for later; empty when none opens.
  void getPersonalizeSession(CMapiUtil::Session& session);
  // The service "CONTAB" ("Kipo Address Book") added to the profile and configured with the
  // folders; true with nothing done for no folders or when this run added it already.
  bool addAddressBookService(const CString& profileName, const std::vector<const COutlookFolder*>& contacts);
  // A "CONTABP" provider with the folders' eight values replaces every provider of the profile's
  // address book service.
  bool configureAddressBook(IMAPISession* session, const std::vector<const COutlookFolder*>& contacts);
  bool deleteAllProviders(IProviderAdmin* admin);

  bool hasService() const { return !CMapiUtil::isNullUid(m_serviceId); }

 private:
  CCustomizerDoc* m_document = nullptr;
  MAPIUID m_serviceId{};
  CMapiUtil::Session m_session;
  int m_outlookVersion = 0;
  CMapiUtil* m_util = nullptr;
};
