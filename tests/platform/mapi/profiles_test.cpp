// MAPI profiles in the host registry: the layout the product reads and writes directly, profile
// administration, message services and their configuration, providers, profile sections, and
// damaged registry data.
#include <cstring>

#include "tests/platform/mapi/mapi_fixture.h"
#include "tests/support/faults.h"

namespace {

using mapitest::MapiTest;
using mapitest::regText;
using platform::com::Ptr;

constexpr char16_t kProfiles[] =
    u"Software\\Microsoft\\Windows NT\\CurrentVersion\\Windows Messaging Subsystem\\Profiles";

std::u16string hex(const BYTE* b, std::size_t n) {
  static const char16_t digits[] = u"0123456789abcdef";
  std::u16string out;
  for (std::size_t i = 0; i < n; ++i) out += {digits[b[i] >> 4], digits[b[i] & 15]};
  return out;
}

// The bytes of a REG_BINARY value, or "<missing>".
std::string regBinary(const std::u16string& path, const char16_t* name) {
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return "<missing>";
  BYTE data[1024];
  DWORD type = 0, size = sizeof data;
  const LONG rc = RegQueryValueExW(key, name, nullptr, &type, data, &size);
  RegCloseKey(key);
  if (rc != ERROR_SUCCESS || type != REG_BINARY) return "<missing>";
  return std::string(reinterpret_cast<char*>(data), size);
}

void setBinary(const std::u16string& path, const char16_t* name, const std::string& bytes) {
  ASSERT_EQ(SHSetValueW(HKEY_CURRENT_USER, path.c_str(), name, REG_BINARY, bytes.data(), static_cast<DWORD>(bytes.size())),
            ERROR_SUCCESS);
}

SPropValue text(ULONG tag, const char* value) {
  SPropValue v{};
  v.ulPropTag = tag;
  v.Value.lpszA = const_cast<LPSTR>(value);
  return v;
}

class Profiles : public MapiTest {
 protected:
  void SetUp() override {
    MapiTest::SetUp();
    admin = profAdmin();
  }
  // The objects go before the module that made them is unloaded.
  void TearDown() override {
    table.reset();
    admin.reset();
    MapiTest::TearDown();
  }
  std::vector<std::string> profileTable(std::vector<bool>* defaults = nullptr) {
    Ptr<IMAPITable> table;
    EXPECT_EQ(admin->GetProfileTable(0, table.put()), S_OK);
    SizedSPropTagArray(2, columns) = {2, {PR_DISPLAY_NAME_A, PR_DEFAULT_PROFILE}};
    LPSRowSet rows = nullptr;
    EXPECT_EQ(mapi.queryAllRows(table.get(), reinterpret_cast<LPSPropTagArray>(&columns), nullptr, nullptr, 0, &rows), S_OK);
    auto names = firstColumn(rows);
    if (defaults)
      for (ULONG i = 0; i < rows->cRows; ++i) defaults->push_back(rows->aRow[i].lpProps[1].Value.b != 0);
    mapi.freeProws(rows);
    return names;
  }
  Ptr<IMsgServiceAdmin> services(const char* profile) {
    Ptr<IMsgServiceAdmin> s;
    EXPECT_EQ(admin->AdminServices(const_cast<LPSTR>(profile), nullptr, 0, 0, s.put()), S_OK);
    return s;
  }
  struct Service {
    std::string name, display;
    LONG flags;
    MAPIUID uid;
  };
  std::vector<Service> serviceTable(IMsgServiceAdmin* s) {
    Ptr<IMAPITable> table;
    EXPECT_EQ(s->GetMsgServiceTable(0, table.put()), S_OK);
    SizedSPropTagArray(4, columns) = {4, {PR_SERVICE_NAME_A, PR_DISPLAY_NAME_A, PR_RESOURCE_FLAGS, PR_SERVICE_UID}};
    LPSRowSet rows = nullptr;
    EXPECT_EQ(mapi.queryAllRows(table.get(), reinterpret_cast<LPSPropTagArray>(&columns), nullptr, nullptr, 0, &rows), S_OK);
    std::vector<Service> out;
    for (ULONG i = 0; rows && i < rows->cRows; ++i) {
      const LPSPropValue p = rows->aRow[i].lpProps;
      Service one{p[0].Value.lpszA, p[1].Value.lpszA, p[2].Value.l, {}};
      EXPECT_EQ(p[3].Value.bin.cb, 16u);
      std::memcpy(one.uid.ab, p[3].Value.bin.lpb, 16);
      out.push_back(one);
    }
    mapi.freeProws(rows);
    return out;
  }
  Ptr<IMAPITable> table;
  Ptr<IProfAdmin> admin;
};

TEST_F(Profiles, ACreatedProfileIsAKeyWithItsSectionAndTheFirstBecomesTheDefault) {
  ASSERT_EQ(admin->CreateProfile(const_cast<LPSTR>("KipoSync"), nullptr, 0, 0), S_OK);
  const std::string key =
      regBinary(std::u16string(kProfiles) + u"\\KipoSync\\8503020000000000c000000000000046", u"0102300b");
  EXPECT_EQ(key.size(), 16u);
  EXPECT_EQ(regText(HKEY_CURRENT_USER, kProfiles, u"DefaultProfile"), u"KipoSync");
  ASSERT_EQ(admin->CreateProfile(const_cast<LPSTR>("Kipo"), nullptr, 0, 0), S_OK);
  // Each profile gets its own 16 new bytes.
  EXPECT_NE(regBinary(std::u16string(kProfiles) + u"\\Kipo\\8503020000000000c000000000000046", u"0102300b"), key);
  std::vector<bool> defaults;
  EXPECT_EQ(profileTable(&defaults), (std::vector<std::string>{"Kipo", "KipoSync"}));
  EXPECT_EQ(defaults, (std::vector<bool>{false, true}));

  // The product writes the default profile's name itself; the table follows the registry.
  const char16_t name[] = u"Kipo";
  ASSERT_EQ(SHSetValueW(HKEY_CURRENT_USER, kProfiles, u"DefaultProfile", REG_SZ, name, sizeof name), ERROR_SUCCESS);
  defaults.clear();
  profileTable(&defaults);
  EXPECT_EQ(defaults, (std::vector<bool>{true, false}));

  // A name that exists already, or one that is not a name, is refused; nothing changes.
  EXPECT_EQ(admin->CreateProfile(const_cast<LPSTR>("Kipo"), nullptr, 0, 0), MAPI_E_NO_ACCESS);
  EXPECT_EQ(admin->CreateProfile(const_cast<LPSTR>(""), nullptr, 0, 0), MAPI_E_INVALID_PARAMETER);
  EXPECT_EQ(admin->CreateProfile(const_cast<LPSTR>("a\\b"), nullptr, 0, 0), MAPI_E_INVALID_PARAMETER);
  EXPECT_EQ(profileTable(), (std::vector<std::string>{"Kipo", "KipoSync"}));
}

TEST_F(Profiles, DeletingCopyingAndSettingTheDefault) {
  makeProfiles({"One", "Two"});
  ASSERT_EQ(admin->SetDefaultProfile(const_cast<LPSTR>("Two"), 0), S_OK);
  EXPECT_EQ(regText(HKEY_CURRENT_USER, kProfiles, u"DefaultProfile"), u"Two");
  EXPECT_EQ(admin->SetDefaultProfile(const_cast<LPSTR>("Three"), 0), MAPI_E_NOT_FOUND);
  EXPECT_EQ(regText(HKEY_CURRENT_USER, kProfiles, u"DefaultProfile"), u"Two");

  ASSERT_EQ(services("Two")->CreateMsgService(const_cast<LPSTR>("MSPST MS"), const_cast<LPSTR>("Personal"), 0, 0), S_OK);
  ASSERT_EQ(admin->CopyProfile(const_cast<LPSTR>("Two"), nullptr, const_cast<LPSTR>("Copy"), 0, 0), S_OK);
  EXPECT_EQ(serviceTable(services("Copy").get()).size(), 1u);
  EXPECT_EQ(admin->CopyProfile(const_cast<LPSTR>("Two"), nullptr, const_cast<LPSTR>("One"), 0, 0), MAPI_E_NO_ACCESS);
  EXPECT_EQ(admin->CopyProfile(const_cast<LPSTR>("None"), nullptr, const_cast<LPSTR>("New"), 0, 0), MAPI_E_NOT_FOUND);

  // Deleting the default profile removes its key and the default with it.
  ASSERT_EQ(admin->DeleteProfile(const_cast<LPSTR>("Two"), 0), S_OK);
  HKEY key = nullptr;
  EXPECT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, (std::u16string(kProfiles) + u"\\Two").c_str(), 0, KEY_READ, &key),
            ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(regText(HKEY_CURRENT_USER, kProfiles, u"DefaultProfile"), u"");
  EXPECT_EQ(admin->DeleteProfile(const_cast<LPSTR>("Two"), 0), MAPI_E_NOT_FOUND);
  EXPECT_EQ(profileTable(), (std::vector<std::string>{"Copy", "One"}));
  Ptr<IMsgServiceAdmin> gone;
  EXPECT_EQ(admin->AdminServices(const_cast<LPSTR>("Two"), nullptr, 0, 0, gone.put()), MAPI_E_NOT_FOUND);
}

TEST_F(Profiles, CopyingTheRegistryKeyCarriesTheWholeProfile) {
  makeProfiles({"Source"});
  auto s = services("Source");
  ASSERT_EQ(s->CreateMsgService(const_cast<LPSTR>("CONTAB"), const_cast<LPSTR>("Kipo Address Book"), 0, 0), S_OK);
  HKEY target = nullptr;
  ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, (std::u16string(kProfiles) + u"\\Copied").c_str(), 0, nullptr, 0,
                            KEY_ALL_ACCESS, nullptr, &target, nullptr),
            ERROR_SUCCESS);
  ASSERT_EQ(SHCopyKeyW(HKEY_CURRENT_USER, (std::u16string(kProfiles) + u"\\Source").c_str(), target, 0), ERROR_SUCCESS);
  RegCloseKey(target);
  const auto copied = serviceTable(services("Copied").get());
  ASSERT_EQ(copied.size(), 1u);
  EXPECT_EQ(copied[0].name, "CONTAB");
  EXPECT_EQ(copied[0].display, "Kipo Address Book");
  EXPECT_EQ(profileTable(), (std::vector<std::string>{"Copied", "Source"}));
}

TEST_F(Profiles, ServicesByNameWithTheirTableColumnsAndTheDefaultStore) {
  makeProfiles({"P"});
  auto s = services("P");
  for (const char* name : {"CONTAB", "MSPST MS", "MSEMS", "IMAIL", "INTERSTOR"})
    ASSERT_EQ(s->CreateMsgService(const_cast<LPSTR>(name), nullptr, 0, 0), S_OK) << name;
  EXPECT_EQ(s->CreateMsgService(const_cast<LPSTR>("NOSUCH"), nullptr, 0, 0), MAPI_E_NOT_FOUND);
  EXPECT_EQ(s->CreateMsgService(nullptr, nullptr, 0, 0), MAPI_E_INVALID_PARAMETER);
  auto table = serviceTable(s.get());
  ASSERT_EQ(table.size(), 5u);
  std::vector<std::string> names;
  for (const auto& row : table) names.push_back(row.name);
  EXPECT_EQ(names, (std::vector<std::string>{"CONTAB", "MSPST MS", "MSEMS", "IMAIL", "INTERSTOR"}));
  // Only the first store service holds the default store.
  std::vector<LONG> flags;
  for (const auto& row : table) flags.push_back(row.flags & SERVICE_DEFAULT_STORE);
  EXPECT_EQ(flags, (std::vector<LONG>{0, SERVICE_DEFAULT_STORE, 0, 0, 0}));

  // The flags are the registry's: a test can mark a second store default there.
  const std::u16string section = std::u16string(kProfiles) + u"\\P\\" + hex(table[2].uid.ab, 16);
  setBinary(section, u"00033009", std::string("\x01\x00\x00\x00", 4));
  EXPECT_EQ(serviceTable(s.get())[2].flags, SERVICE_DEFAULT_STORE);
  // A damaged value (three bytes for a long) reads as missing, not as a number.
  setBinary(section, u"00033009", std::string("\x01\x00\x00", 3));
  Ptr<IMAPITable> t;
  ASSERT_EQ(s->GetMsgServiceTable(0, t.put()), S_OK);
  SizedSPropTagArray(1, columns) = {1, {PR_RESOURCE_FLAGS}};
  LPSRowSet rows = nullptr;
  ASSERT_EQ(mapi.queryAllRows(t.get(), reinterpret_cast<LPSPropTagArray>(&columns), nullptr, nullptr, 0, &rows), S_OK);
  EXPECT_EQ(rows->aRow[2].lpProps[0].ulPropTag, PROP_TAG(PT_ERROR, PROP_ID(PR_RESOURCE_FLAGS)));
  EXPECT_EQ(rows->aRow[2].lpProps[0].Value.err, MAPI_E_NOT_FOUND);
  mapi.freeProws(rows);

  MAPIUID uid = table[0].uid;
  ASSERT_EQ(s->DeleteMsgService(&uid), S_OK);
  EXPECT_EQ(s->DeleteMsgService(&uid), MAPI_E_NOT_FOUND);
  EXPECT_EQ(serviceTable(s.get()).size(), 4u);
  EXPECT_EQ(regBinary(std::u16string(kProfiles) + u"\\P\\" + hex(uid.ab, 16), u"001e3d09"), "<missing>");
}

TEST_F(Profiles, ConfiguringAServiceKeepsItsPropertiesInItsSection) {
  makeProfiles({"P"});
  auto s = services("P");
  ASSERT_EQ(s->CreateMsgService(const_cast<LPSTR>("MSPST MS"), nullptr, 0, 0), S_OK);
  MAPIUID uid = serviceTable(s.get())[0].uid;
  // Personal folders without a file cannot be configured without a dialog.
  EXPECT_EQ(s->ConfigureMsgService(&uid, 0, 0, 0, nullptr), MAPI_E_UNCONFIGURED);
  SPropValue props[] = {text(PR_DISPLAY_NAME_A, "Kipo Folders"), text(PR_PST_PATH, "C:\\kipo.pst")};
  ASSERT_EQ(s->ConfigureMsgService(&uid, 0, 0, 2, props), S_OK);
  const std::u16string section = std::u16string(kProfiles) + u"\\P\\" + hex(uid.ab, 16);
  EXPECT_EQ(regBinary(section, u"001e6700"), std::string("C:\\kipo.pst\0", 12));
  EXPECT_EQ(regBinary(section, u"001e3001"), std::string("Kipo Folders\0", 13));
  EXPECT_EQ(serviceTable(s.get())[0].display, "Kipo Folders");
  MAPIUID unknown{};
  EXPECT_EQ(s->ConfigureMsgService(&unknown, 0, 0, 2, props), MAPI_E_NOT_FOUND);

  // The global profile section, as the Exchange profile's set-up writes it.
  Ptr<IProfSect> global;
  MAPIUID globalId = kGlobalProfileSection;
  ASSERT_EQ(s->OpenProfileSection(&globalId, nullptr, 0, global.put()), S_OK);
  SPropValue flags{};
  flags.ulPropTag = PR_PROFILE_CONFIG_FLAGS;
  flags.Value.l = 12;
  EXPECT_EQ(global->SetProps(1, &flags, nullptr), MAPI_E_NO_ACCESS) << "opened without MAPI_MODIFY";
  ASSERT_EQ(s->OpenProfileSection(&globalId, nullptr, MAPI_MODIFY, global.put()), S_OK);
  ASSERT_EQ(global->SetProps(1, &flags, nullptr), S_OK);
  EXPECT_EQ(regBinary(std::u16string(kProfiles) + u"\\P\\13dbb0c8aa05101a9bb000aa002fc45a", u"00036601"),
            std::string("\x0c\x00\x00\x00", 4));
}

TEST_F(Profiles, ProvidersAreListedByIdCreatedWithTheirPropertiesAndDeleted) {
  makeProfiles({"P"});
  auto s = services("P");
  ASSERT_EQ(s->CreateMsgService(const_cast<LPSTR>("CONTAB"), const_cast<LPSTR>("Kipo Address Book"), 0, 0), S_OK);
  MAPIUID service = serviceTable(s.get())[0].uid;
  Ptr<IProviderAdmin> providers;
  ASSERT_EQ(s->AdminProviders(&service, 0, providers.put()), S_OK);

  // The address book's private properties, multi-valued, one value per contacts folder.
  BYTE id1[] = {1, 2, 3}, id2[] = {4, 5};
  SBinary ids[] = {{3, id1}, {2, id2}};
  LPSTR names[] = {const_cast<LPSTR>("Contacts"), const_cast<LPSTR>("Friends")};
  LONG codes[] = {static_cast<LONG>(0x8004010F), 1};
  SPropValue props[3]{};
  props[0].ulPropTag = 0x66201102;
  props[0].Value.MVbin = {2, ids};
  props[1].ulPropTag = 0x6623101E;
  props[1].Value.MVszA = {2, names};
  props[2].ulPropTag = 0x66211003;
  props[2].Value.MVl = {2, codes};
  MAPIUID created{};
  ASSERT_EQ(providers->CreateProvider(const_cast<LPSTR>("CONTABP"), 3, props, 0, 0, &created), S_OK);

  Ptr<IMAPITable> table;
  ASSERT_EQ(providers->GetProviderTable(0, table.put()), S_OK);
  SizedSPropTagArray(1, columns) = {1, {PR_PROVIDER_UID}};
  LPSRowSet rows = nullptr;
  ASSERT_EQ(mapi.queryAllRows(table.get(), reinterpret_cast<LPSPropTagArray>(&columns), nullptr, nullptr, 0, &rows), S_OK);
  ASSERT_EQ(rows->cRows, 2u);  // the service's own provider and the new one
  EXPECT_EQ(std::memcmp(rows->aRow[1].lpProps[0].Value.bin.lpb, created.ab, 16), 0);

  Ptr<IProfSect> section;
  ASSERT_EQ(providers->OpenProfileSection(&created, nullptr, 0, section.put()), S_OK);
  SizedSPropTagArray(3, tags) = {3, {0x66201102, 0x6623101E, 0x66211003}};
  ULONG count = 0;
  LPSPropValue values = nullptr;
  ASSERT_EQ(section->GetProps(reinterpret_cast<LPSPropTagArray>(&tags), 0, &count, &values), S_OK);
  ASSERT_EQ(values[0].Value.MVbin.cValues, 2u);
  EXPECT_EQ(values[0].Value.MVbin.lpbin[1].cb, 2u);
  EXPECT_EQ(values[0].Value.MVbin.lpbin[1].lpb[1], 5);
  ASSERT_EQ(values[1].Value.MVszA.cValues, 2u);
  EXPECT_STREQ(values[1].Value.MVszA.lppszA[1], "Friends");
  ASSERT_EQ(values[2].Value.MVl.cValues, 2u);
  EXPECT_EQ(values[2].Value.MVl.lpl[0], static_cast<LONG>(0x8004010F));
  mapi.freeBuffer(values);

  // Every row's id deletes its provider.
  for (ULONG i = 0; i < rows->cRows; ++i) {
    MAPIUID uid;
    std::memcpy(uid.ab, rows->aRow[i].lpProps[0].Value.bin.lpb, 16);
    EXPECT_EQ(providers->DeleteProvider(&uid), S_OK);
    EXPECT_EQ(providers->DeleteProvider(&uid), MAPI_E_NOT_FOUND);
  }
  mapi.freeProws(rows);
  ASSERT_EQ(providers->GetProviderTable(0, table.put()), S_OK);
  ULONG left = 99;
  EXPECT_EQ(table->GetRowCount(0, &left), S_OK);
  EXPECT_EQ(left, 0u);
}

TEST_F(Profiles, DamagedMultiValuedDataReadsAsMissing) {
  makeProfiles({"P"});
  const std::u16string section = std::u16string(kProfiles) + u"\\P\\0102030405060708090a0b0c0d0e0f10";
  const std::string cases[] = {
      std::string("\xff\xff\xff\x7f", 4),                           // a count far beyond the data
      std::string("\x01\x00\x00\x00\x09\x00\x00\x00" "abc", 11),    // a length beyond the data
      std::string("\x01\x00\x00\x00\x01\x00\x00\x00" "ab", 10),     // bytes left over
      std::string("\x01\x00", 2),                                   // no room for the count
  };
  MAPIUID uid = {{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16}};
  Ptr<IProfSect> s;
  ASSERT_EQ(services("P")->OpenProfileSection(&uid, nullptr, 0, s.put()), S_OK);
  for (const std::string& bytes : cases) {
    setBinary(section, u"11026620", bytes);
    LPSPropValue value = nullptr;
    EXPECT_EQ(mapi.getOneProp(s.get(), 0x66201102, &value), MAPI_E_NOT_FOUND) << bytes.size();
    EXPECT_EQ(value, nullptr);
  }
}

TEST_F(Profiles, WriteCallsFailAtTheirFaultPointsAndWriteNothing) {
  makeProfiles({"P"});
  auto s = services("P");
  kipotest::failCall("IMsgServiceAdmin::CreateMsgService", static_cast<DWORD>(MAPI_E_NOT_ENOUGH_DISK), u"", 1, 1);
  EXPECT_EQ(s->CreateMsgService(const_cast<LPSTR>("MSPST MS"), nullptr, 0, 0), MAPI_E_NOT_ENOUGH_DISK);
  EXPECT_TRUE(serviceTable(s.get()).empty());
  ASSERT_EQ(s->CreateMsgService(const_cast<LPSTR>("MSPST MS"), nullptr, 0, 0), S_OK);
  MAPIUID uid = serviceTable(s.get())[0].uid;
  kipotest::failCall("IMsgServiceAdmin::ConfigureMsgService", static_cast<DWORD>(MAPI_E_NETWORK_ERROR), u"MSPST", 1, 1);
  SPropValue path = text(PR_PST_PATH, "C:\\a.pst");
  EXPECT_EQ(s->ConfigureMsgService(&uid, 0, 0, 1, &path), MAPI_E_NETWORK_ERROR);
  EXPECT_EQ(regBinary(std::u16string(kProfiles) + u"\\P\\" + hex(uid.ab, 16), u"001e6700"), "<missing>");
  EXPECT_EQ(s->ConfigureMsgService(&uid, 0, 0, 1, &path), S_OK);
}

}  // namespace
