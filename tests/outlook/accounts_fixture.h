// What the tests of the account records, the account stores and the e-mail accounts and address
// book snap-ins share: the snap-in host with this computer (ALPHA) and the login computer BETA,
// a document holding a stand-in for the Outlook snap-in ("Outlook", reached through its link, with
// the MAPI layer's singletons as the profile manager makes them), registry helpers, and the
// host's registry as a comparable state.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "app/customizer_doc.h"
#include "app/registry.h"
#include "outlook/account_outlook_link.h"
#include "outlook/mapi_loader.h"
#include "outlook/mapi_util.h"
#include "outlook/outlook_install.h"
#include "snapins/factory_context.h"
#include "tests/snapins/session_fixture.h"
#include "tests/snapins/snapin_fixture.h"

namespace accountstest {

using snapintest::utf8;

// The Outlook snap-in as the two snap-ins see it: its state set by the test, MAPI through the
// process-wide objects, and the message manager recorded.
class FakeOutlook : public CCustomizer, public COutlookSnapinLink {
 public:
  FakeOutlook() : CCustomizer(CString(u"Outlook")) {}
  ~FakeOutlook() override {
    source.reset();
    personalizeSession.reset();
  }

  int getSourceState() override { return sourceState; }
  bool drivePstExists(CSystemProfile*) override { return pstExists; }
  bool isExchangeMode() override { return exchangeMode; }
  bool isExchangeEnabled() override { return exchangeEnabled; }
  bool isSynchronizerReady() override { return synchronizerReady; }
  bool isSupportedOutlookVersion() override { return ::isSupportedOutlookVersion(); }
  CMapiUtil* getMapiUtil() override { return ::getMapiUtil(); }
  CMAPILoader* getMapiLoader() override { return ::getMapiLoader(); }
  bool isMsmapiInstalled() override { return ::getMapiUtil() && ::getMapiUtil()->isMsmapi32Installed(); }
  CString getSourceProfileName() override { return sourceProfile; }
  CString getAccountsProfileName() override { return accountsProfile; }
  void getSourceMapiSession(CMapiUtil::Session& session) override {
    if (!source && ::getMapiUtil()) ::getMapiUtil()->logon(source, sourceProfile);
    session = source;
  }
  void openDefaultMessageStore(CMapiUtil::Store& store) override {
    CMapiUtil::Session session;
    getSourceMapiSession(session);
    if (session) ::getMapiUtil()->openDefaultMessageStore(store, session.get());
  }
  void openSyncMessageStore(CMapiUtil::Store& store) override { openDefaultMessageStore(store); }
  void openPersonalizeMessageStore(CMapiUtil::Store& store) override {
    if (!personalizeSession && ::getMapiUtil()) ::getMapiUtil()->logon(personalizeSession, CString(u"Kipo"));
    if (personalizeSession) ::getMapiUtil()->openMessageStore(store, CString(u"Kipo"), personalizeSession.get(), false);
  }
  bool personalizeMessageManager(IMsgStore* store, const CString& profile) override {
    calls.push_back(std::string("personalize ") + (store ? "store " : "none ") + utf8(profile));
    return messageManagerWorks;
  }
  bool synchronizeMessageManager(IMsgStore* from, IMsgStore* to) override {
    calls.push_back(std::string("synchronize ") + (from ? "store " : "none ") + (to ? "store" : "none"));
    return messageManagerWorks;
  }

  int sourceState = kSourcePresent;
  bool pstExists = true;
  bool exchangeMode = false;
  bool exchangeEnabled = true;
  bool synchronizerReady = true;
  bool messageManagerWorks = true;
  CString sourceProfile = CString(u"Outlook");
  CString accountsProfile = CString(u"Kipo");
  std::vector<std::string> calls;
  CMapiUtil::Session source;
  CMapiUtil::Session personalizeSession;
};

inline constexpr const char16_t* kOmi = u"HKEY_CURRENT_USER\\Software\\Microsoft\\Office\\Outlook\\OMI Account Manager";
inline constexpr const char16_t* kOmiAccounts =
    u"HKEY_CURRENT_USER\\Software\\Microsoft\\Office\\Outlook\\OMI Account Manager\\Accounts";
inline constexpr const char16_t* kProfiles =
    u"HKEY_CURRENT_USER\\Software\\Microsoft\\Windows NT\\CurrentVersion\\Windows Messaging Subsystem\\Profiles";
inline constexpr const char16_t* kPop3 = u"{ED475411-B0D6-11D2-8C3B-00104B2A6676}";
inline constexpr const char16_t* kImap = u"{ED475412-B0D6-11D2-8C3B-00104B2A6676}";
inline constexpr const char16_t* kHttp = u"{4DB5CBF0-3B77-4852-BC8E-BB81908861F3}";
inline constexpr const char16_t* kList = u"{ED475418-B0D6-11D2-8C3B-00104B2A6676}";

// The account key of a profile's Outlook 2002/2003 store.
inline CString profileStore(const char16_t* profile) {
  return CString(kProfiles) + u"\\" + profile + u"\\9375CFF0413111d3B88A00104B2A6676";
}

// Registry values written as Outlook writes them.
inline void setSz(const CString& key, const char16_t* name, const char16_t* text) {
  CRegistry{key}.setString(name, CString(text), REG_SZ);
}
inline void setDword(const CString& key, const char16_t* name, DWORD value) { CRegistry{key}.setDword(name, value); }
// A text as Outlook 2002/2003 keeps it: UTF-16 with its NUL in a binary value.
inline void setBinText(const CString& key, const char16_t* name, const char16_t* text) {
  const std::u16string s(text);
  CRegistry{key}.setValue(name, s.c_str(), static_cast<DWORD>((s.size() + 1) * 2), REG_BINARY);
}
inline void setBytes(const CString& key, const char16_t* name, const std::vector<BYTE>& bytes) {
  CRegistry{key}.setValue(name, bytes.data(), static_cast<DWORD>(bytes.size()), REG_BINARY);
}
inline void setIds(const CString& key, const std::vector<DWORD>& ids) {
  std::vector<BYTE> bytes;
  for (DWORD id : ids)
    for (int shift = 0; shift < 32; shift += 8) bytes.push_back(static_cast<BYTE>(id >> shift));
  setBytes(key, kList, bytes);
}
inline std::vector<DWORD> idsOf(const CString& key) {
  CRegistry r(key);
  std::vector<BYTE> bytes;
  std::vector<DWORD> ids;
  if (!r.getBytes(kList, bytes)) return {0xDEADBEEF};
  for (std::size_t at = 0; at + 4 <= bytes.size(); at += 4)
    ids.push_back(bytes[at] | bytes[at + 1] << 8 | bytes[at + 2] << 16 | static_cast<DWORD>(bytes[at + 3]) << 24);
  if (bytes.size() % 4) ids.push_back(0xBADB1725);
  return ids;
}
inline bool exists(const CString& key) {
  CRegistry r(key);
  return r.isOpen();
}
inline bool hasValue(const CString& key, const char16_t* name) {
  CRegistry r(key);
  return r.valueExists(name);
}
inline std::string sz(const CString& key, const char16_t* name) {
  CRegistry r(key);
  CString value;
  return r.getString(name, value) ? utf8(value) : "<none>";
}
inline long dword(const CString& key, const char16_t* name) {
  CRegistry r(key);
  DWORD value = 0;
  return r.getDword(name, value) ? static_cast<long>(value) : -1;
}
// A binary text value read back ("<none>" when missing).
inline std::string binText(const CString& key, const char16_t* name) {
  CRegistry r(key);
  std::vector<BYTE> bytes;
  if (!r.getBytes(name, bytes)) return "<none>";
  std::u16string text;
  for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
    const char16_t c = static_cast<char16_t>(bytes[i] | bytes[i + 1] << 8);
    if (!c) break;
    text += c;
  }
  return platform::text::toUtf8(text);
}

// A host with drive E:, ALPHA (this computer) and BETA (the login computer, "Home"), and a
// document whose first snap-in is the Outlook stand-in.
class AccountsTest : public snapintest::SnapinTest {
 protected:
  AccountsTest() {
    auto beta = std::make_unique<CSystemProfile>();
    beta->m_computerName = CString(u"BETA");
    beta->m_nickname = CString(u"Home");
    this->beta = beta.get();
    getProfileDatabase().profiles().push_back(std::move(beta));
    this->beta->setLoginComputer(true);
    auto fake = std::make_unique<FakeOutlook>();
    outlook = fake.get();
    doc.addCustomizer(std::move(fake));
  }
  ~AccountsTest() override {
    doc.deleteCustomizers();
    destroyMapiUtil();
    destroyMapiLoader();
  }

  static void tool(const std::vector<std::string>& args) {
    std::string err;
    ASSERT_EQ(kipotest::runTool(args, nullptr, &err), 0) << err;
  }
  static void setOutlook(const char* version) { tool({"outlook", "set", "--version", version}); }
  // MAPI started as the profile manager starts it.
  CMapiUtil& startMapi() {
    createMapiLoader();
    if (!getMapiLoader()->isLoaded()) destroyMapiLoader();
    createMapiUtil();
    return *getMapiUtil();
  }

  // The product's profile "Kipo" over a personal folders file whose store is named "Kipo", as the
  // profile manager makes it at login (MAPI started).
  static void makeKipoProfile(const char16_t* pst = u"E:\\Kipo.pst") {
    CMapiUtil* util = getMapiUtil();
    ASSERT_TRUE(util && util->recreateProductProfile(CString(u"Kipo")));
    CMapiUtil::ProfAdmin admin;
    util->getMapiProfAdmin(admin);
    ASSERT_TRUE(admin);
    ASSERT_TRUE(util->addPstMessageServiceToProfile(admin.get(), CString(u"Kipo"), CString(pst), CString(u"Kipo")));
  }

  // A snap-in made by the document's factory, as the document makes it.
  template <class T>
  T* make() {
    std::unique_ptr<T> made;
    {
      const CFactoryDocumentScope scope(&doc);
      made = std::make_unique<T>();
    }
    T* raw = made.get();
    doc.addCustomizer(std::move(made));
    return raw;
  }

  // The login computer's and this computer's Outlook values in the device pref store.
  CString betaOutlook() { return outlookPrefsKeyFor(beta); }
  CString alphaOutlook() { return outlookPrefsKeyFor(self()); }

  CCustomizerDoc doc;
  FakeOutlook* outlook = nullptr;
  CSystemProfile* beta = nullptr;
};

}  // namespace accountstest
