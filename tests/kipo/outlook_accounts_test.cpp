// "Kipo.exe" carrying the user's Outlook Internet-mail accounts end to end, for each Outlook
// generation: a synchronization run copies the accounts of the host's mail profile to the drive
// without a single password; a login writes them into the host's account store (Outlook 2000's
// own store, or the "Kipo" profile's from 2002 on) without passwords; the logout puts the host's
// account store and MAPI profiles back byte for byte. With Outlook 2003 an account that leaves
// mail on the server also takes the hidden message-manager message along: the run replaces the
// drive store's old copies with the host's one, and the login stamps it with the "Kipo" profile.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "outlook/mapi_loader.h"
#include "outlook/mapi_util.h"
#include "tests/kipo/kipo_fixture.h"

namespace {

using namespace kipo;

constexpr char16_t kPrefsKey[] = u"Software\\Brackwater\\Kipo\\Prefs";
constexpr char16_t kProfiles[] = u"Software\\Microsoft\\Windows NT\\CurrentVersion\\Windows Messaging Subsystem\\Profiles";
constexpr char16_t kOmi[] = u"Software\\Microsoft\\Office\\Outlook\\OMI Account Manager";
constexpr char16_t kOffice9Preferences[] = u"Software\\Microsoft\\Office\\9.0\\Outlook\\Preferences";
constexpr char16_t kProfileStore[] = u"9375CFF0413111d3B88A00104B2A6676";
constexpr char16_t kPop3[] = u"{ED475411-B0D6-11D2-8C3B-00104B2A6676}";
constexpr char16_t kHttp[] = u"{4DB5CBF0-3B77-4852-BC8E-BB81908861F3}";
constexpr char16_t kList[] = u"{ED475418-B0D6-11D2-8C3B-00104B2A6676}";
constexpr char kDevicePst[] = "E:\\Synchronized Computers\\ALPHA\\Outlook\\Kipo.pst";

// Every password the host's accounts hold; none may reach the drive in any form.
const std::vector<std::string> kSecrets = {"pop-secret-home", "smtp-secret-home", "pop-secret-club",
                                           "http-secret-web", "pop-secret-stale", "pop-secret-neighbour"};

std::string utf16(const std::string& ascii) {
  std::string out;
  for (char c : ascii) out += std::string{c, '\0'};
  return out;
}

// ---- the host's registry, written and read as Outlook does ----

void setValue(const std::u16string& path, const char16_t* name, DWORD type, const void* data, DWORD size) {
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr),
            ERROR_SUCCESS);
  ASSERT_EQ(RegSetValueExW(key, name, 0, type, static_cast<const BYTE*>(data), size), ERROR_SUCCESS);
  RegCloseKey(key);
}
void setSz(const std::u16string& path, const char16_t* name, const std::u16string& text) {
  setValue(path, name, REG_SZ, text.c_str(), static_cast<DWORD>((text.size() + 1) * 2));
}
// A text as Outlook 2002/2003 keeps it: UTF-16 with its NUL in a binary value.
void setBinText(const std::u16string& path, const char16_t* name, const std::u16string& text) {
  setValue(path, name, REG_BINARY, text.c_str(), static_cast<DWORD>((text.size() + 1) * 2));
}
void setBytes(const std::u16string& path, const char16_t* name, const std::string& bytes) {
  setValue(path, name, REG_BINARY, bytes.data(), static_cast<DWORD>(bytes.size()));
}
void setDword(const std::u16string& path, const char16_t* name, DWORD value) {
  setValue(path, name, REG_DWORD, &value, sizeof value);
}

// A value's raw bytes; false when it is missing.
bool readValue(const std::u16string& path, const char16_t* name, std::string& bytes) {
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
  DWORD type = 0, size = 0;
  LONG rc = RegQueryValueExW(key, name, nullptr, &type, nullptr, &size);
  if (rc == ERROR_SUCCESS) {
    bytes.assign(size, '\0');
    rc = RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(bytes.data()), &size);
  }
  RegCloseKey(key);
  return rc == ERROR_SUCCESS;
}
bool hasValue(const std::u16string& path, const char16_t* name) {
  std::string bytes;
  return readValue(path, name, bytes);
}
// A text value of either form (REG_SZ or Outlook 2002/2003's binary), "<missing>" when absent.
std::string text(const std::u16string& path, const char16_t* name) {
  std::string bytes;
  if (!readValue(path, name, bytes)) return "<missing>";
  std::u16string out;
  for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
    const char16_t c = static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) | static_cast<unsigned char>(bytes[i + 1]) << 8);
    if (!c) break;
    out += c;
  }
  return toUtf8(out);
}
long dword(const std::u16string& path, const char16_t* name) {
  std::string bytes;
  if (!readValue(path, name, bytes) || bytes.size() != 4) return -1;
  DWORD value = 0;
  std::memcpy(&value, bytes.data(), 4);
  return static_cast<long>(value);
}
std::vector<DWORD> accountList(const std::u16string& root) {
  std::string bytes;
  std::vector<DWORD> ids;
  if (!readValue(root, kList, bytes)) return ids;
  for (std::size_t at = 0; at + 4 <= bytes.size(); at += 4) {
    DWORD id = 0;
    std::memcpy(&id, bytes.data() + at, 4);
    ids.push_back(id);
  }
  return ids;
}
std::vector<std::u16string> subkeys(const std::u16string& path) { return subkeyNames(HKEY_CURRENT_USER, path); }

// The accounts of a store's accounts key as "key name" lines, in key order.
std::vector<std::string> accountNames(const std::u16string& accountsKey) {
  std::vector<std::string> names;
  for (const std::u16string& key : subkeys(accountsKey))
    names.push_back(toUtf8(key) + " " + text(accountsKey + u"\\" + key, u"Account Name"));
  return names;
}

// Which of the password values any account key under `accountsKey` still holds.
std::vector<std::string> passwordValuesIn(const std::u16string& accountsKey) {
  std::vector<std::string> found;
  for (const std::u16string& key : subkeys(accountsKey))
    for (const char16_t* name : {u"POP3 Password", u"SMTP Password", u"HTTP Password", u"POP3 Password2",
                                 u"SMTP Password2"})
      if (hasValue(accountsKey + u"\\" + key, name)) found.push_back(toUtf8(key + u" " + name));
  return found;
}

struct Generation {
  const char* version;
  // Whether the host's mail file and the drive's Outlook file carry message-manager messages and
  // an account leaves mail on the server.
  bool messageManager;
};
void PrintTo(const Generation& generation, std::ostream* out) { *out << "Outlook " << generation.version; }

class KipoOutlookAccountsTest : public KipoTest, public ::testing::WithParamInterface<Generation> {
 protected:
  void SetUp() override {
    KipoTest::SetUp();
    std::string err;
    ASSERT_EQ(kipotest::runTool({"boot"}, nullptr, &err), 0) << err;
    ASSERT_EQ(kipotest::runTool({"outlook", "set", "--version", GetParam().version}, nullptr, &err), 0) << err;
    std::string work = "folder Inbox\nitem IPM.Note At work\n";
    if (GetParam().messageManager) work += "associated IPM.MessageManager Outlook 10 Message Manager (Work)\n";
    ASSERT_NO_FATAL_FAILURE(makeStore("C:\\work.pst", work));
    ASSERT_EQ(kipotest::runTool({"mapi", "profile", "add", "Work", "--pst", "C:\\work.pst", "--default"}, nullptr, &err), 0)
        << err;
    // This computer was synchronized before: the start-up does not synchronize by itself.
    fs::create_directories(drive_ / "Synchronized Computers" / "ALPHA" / "Outlook");
  }

  void makeStore(const std::string& windowsPath, const std::string& description) {
    const fs::path file = host_.c("store.txt");
    std::ofstream(file) << description;
    std::string err;
    ASSERT_EQ(kipotest::runTool({"mapi", "make", windowsPath, "--from", file.string()}, nullptr, &err), 0) << err;
  }

  static bool outlook2000() { return std::string(GetParam().version) == "2000"; }
  static std::u16string profileStore(const char16_t* profile) {
    return std::u16string(kProfiles) + u"\\" + profile + u"\\" + kProfileStore;
  }

  // The host's accounts in the Work profile's store, as Outlook 2002/2003 keeps them: two POP3
  // accounts and a web-mail account, every password remembered; Club is the default.
  void writeOutlook2002Accounts() {
    const std::u16string root = profileStore(u"Work");
    struct Pop3 {
      const char16_t* id;
      const char16_t* name;
      const char* pop3Password;
      const char* smtpPassword;
      DWORD leaveOnServer;
    };
    for (const Pop3& a : {Pop3{u"00000001", u"Home", "pop-secret-home", "smtp-secret-home", GetParam().messageManager ? 1u : 0u},
                          Pop3{u"00000002", u"Club", "pop-secret-club", nullptr, 0u}}) {
      const std::u16string key = root + u"\\" + a.id;
      setSz(key, u"clsid", kPop3);
      setBinText(key, u"Account Name", a.name);
      setBinText(key, u"POP3 Server", u"pop." + std::u16string(a.name) + u".example");
      setBinText(key, u"POP3 User", u"robin");
      setBytes(key, u"POP3 Password", a.pop3Password);
      setDword(key, u"POP3 Remember Passwd", 1);
      setBinText(key, u"SMTP Server", u"smtp.example");
      if (a.smtpPassword) {
        setBytes(key, u"SMTP Password", a.smtpPassword);
        setDword(key, u"SMTP Remember Passwd", 1);
      }
      setDword(key, u"Leave on Server", a.leaveOnServer);
    }
    const std::u16string web = root + u"\\00000003";
    setSz(web, u"clsid", kHttp);
    setBinText(web, u"Account Name", u"Web");
    setBinText(web, u"HTTP Server URL", u"http://mail.example/");
    setBinText(web, u"HTTP Password", u"http-secret-web");
    const BYTE list[] = {2, 0, 0, 0, 1, 0, 0, 0, 3, 0, 0, 0};
    setValue(root, kList, REG_BINARY, list, sizeof list);
    setDword(root, u"NextAccountID", 4);
  }

  // The host's accounts in Outlook 2000's one store: Home and Club belong to the Work profile
  // (its Internet mail services, under both spellings of the prefix), Stale to no profile, and a
  // directory service that is no mail account. Club is the default.
  void writeOutlook2000Accounts() {
    const std::u16string accounts = std::u16string(kOmi) + u"\\Accounts";
    struct Pop3 {
      const char16_t* id;
      const char16_t* name;
      const char* secret;
    };
    for (const Pop3& a : {Pop3{u"00000001", u"Home", "pop-secret-home"}, Pop3{u"00000002", u"Club", "pop-secret-club"},
                          Pop3{u"00000003", u"Stale", "pop-secret-stale"}}) {
      const std::u16string key = accounts + u"\\" + a.id;
      setSz(key, u"Account Name", a.name);
      setSz(key, u"POP3 Server", u"pop." + std::u16string(a.name) + u".example");
      setSz(key, u"POP3 User Name", u"robin");
      setBytes(key, u"POP3 Password2", a.secret);
      setDword(key, u"POP3 Prompt for Password", 0);
      setSz(key, u"SMTP Server", u"smtp.example");
    }
    setBytes(accounts + u"\\00000001", u"SMTP Password2", "smtp-secret-home");
    setDword(accounts + u"\\00000001", u"SMTP Prompt for Password", 0);
    setSz(accounts + u"\\00000004", u"Account Name", u"Directory");
    setSz(accounts + u"\\00000004", u"LDAP Server", u"ldap.example");
    setDword(kOmi, u"Account Name", 5);
    setSz(kOmi, u"Default Mail Account", u"00000002");
    setDword(kOffice9Preferences, u"AddSigToReplyNote", 1);

    createMapiLoader();
    createMapiUtil();
    CMapiUtil* util = getMapiUtil();
    ASSERT_TRUE(util && util->initializeMapi());
    CMapiUtil::ProfAdmin admin;
    util->getMapiProfAdmin(admin);
    ASSERT_TRUE(admin);
    for (const char16_t* display : {u"Internet E-mail - Home", u"Internet Email - Club"})
      EXPECT_TRUE(util->addServiceToProfile(admin.get(), CString(u"Work"), CString(u"IMAIL"), CString(display)));
    admin.reset();
    util->uninitializeMapi();
    destroyMapiUtil();
    destroyMapiLoader();
  }

  // A key of the host's registry as `kipo-host reg export` writes it ("<no key>" when missing).
  std::string exportKey(const std::u16string& key) {
    if (!keyExists(HKEY_CURRENT_USER, key)) return "<no key>";
    const fs::path file = host_.c("export.reg");
    fs::remove(file);
    std::string err;
    EXPECT_EQ(kipotest::runTool({"reg", "export", "HKCU\\" + toUtf8(key), file.string()}, nullptr, &err), 0) << err;
    return slurp(file);
  }

  // The message-manager messages of a store file, by subject, in order.
  static std::vector<std::string> hidden(const std::string& store) {
    std::vector<std::string> subjects;
    std::istringstream lines(tool({"mapi", "dump", store}));
    for (std::string line; std::getline(lines, line);)
      if (contains(line, "IPM.MessageManager")) subjects.push_back(line.substr(line.find("Outlook 10")));
    return subjects;
  }

  // The tray's Synchronize with the Outlook Inbox chosen in the synchronize dialog (a computer
  // that synchronizes no Outlook folder keeps no Outlook file on the drive).
  bool synchronizeWithInbox() {
    openTrayMenu();
    if (pickMenuCommand(344) != 0) return false;
    HWND dialog = waitForSynchronizeSearch();
    if (!dialog) return false;
    const std::string window = utf8(kSynchronizeCaption);
    if (kipotest::runTool({"ui", "check", "--window", window, "--control", "1081", "--state", "1"}) != 0) return false;
    return runSynchronizeDialog(dialog);
  }
};

TEST_P(KipoOutlookAccountsTest, AccountsTravelWithoutPasswordsAndTheLogoutPutsTheHostsBack) {
  if (outlook2000()) {
    ASSERT_NO_FATAL_FAILURE(writeOutlook2000Accounts());
  } else {
    ASSERT_NO_FATAL_FAILURE(writeOutlook2002Accounts());
  }
  // The drive's Outlook file as an earlier session left it, with old message-manager copies.
  std::string carried = "folder Inbox\nitem IPM.Note Carried along\n"
                        "associated IPM.Microsoft.FolderDesign.NamedView Settings\n";
  if (GetParam().messageManager)
    for (int i = 0; i < 3; ++i) carried += "associated IPM.MessageManager Outlook 10 Message Manager (Old)\n";
  ASSERT_NO_FATAL_FAILURE(makeStore(kDevicePst, carried));
  const std::string profilesBefore = exportKey(kProfiles);
  const std::string office9Before = exportKey(kOffice9Preferences);

  Started kipo = startKipo(u"/handoff E:\\");
  ASSERT_NE(waitForFrame(kipo), nullptr) << log();
  ASSERT_TRUE(waitForTrayBalloon()) << trayText();
  // The notice about accounts that leave mail on the server is not this test's business.
  setString(HKEY_CURRENT_USER, kPrefsKey, u"alertUserToLMOS", u"false");

  // The run carries the host's accounts to the drive, none of their passwords.
  ASSERT_TRUE(synchronizeWithInbox()) << log();
  const std::string prefs = exportKey(kPrefsKey);
  for (const char* value : {"\"POP3 Password\"=", "\"SMTP Password\"=", "\"HTTP Password\"=", "Password2\"="})
    EXPECT_FALSE(contains(prefs, utf16(value))) << value;
  const std::string carriedAccounts = outlook2000() ? "\\Outlook\\OMI Account Manager\\Accounts\\" : "\\Outlook\\Accounts\\";
  EXPECT_TRUE(contains(prefs, utf16(carriedAccounts + "00000002]"))) << "the accounts are on the drive";
  if (outlook2000()) {
    EXPECT_FALSE(contains(prefs, utf16(carriedAccounts + "00000003]"))) << "an account of no carried profile stays";
  }
  if (GetParam().messageManager) {
    EXPECT_EQ(hidden(kDevicePst), std::vector<std::string>{"Outlook 10 Message Manager (Work)"}) << log();
  }

  // Outlook 2000's one store also gets an account of another user of the host after the run: the
  // login makes way for the user's accounts, and the logout brings it back.
  if (outlook2000()) {
    const std::u16string neighbour = std::u16string(kOmi) + u"\\Accounts\\00000007";
    setSz(neighbour, u"Account Name", u"Neighbour");
    setSz(neighbour, u"POP3 Server", u"pop.neighbour.example");
    setBytes(neighbour, u"POP3 Password2", "pop-secret-neighbour");
  }
  const std::string omiBefore = exportKey(kOmi);

  logIn();
  // The user's POP3 accounts are in the host's store the login's Outlook reads, without passwords.
  if (outlook2000()) {
    const std::u16string accounts = std::u16string(kOmi) + u"\\Accounts";
    EXPECT_EQ(accountNames(accounts),
              (std::vector<std::string>{"00000004 Directory", "00000005 Home", "00000006 Club"}))
        << log();
    EXPECT_EQ(text(kOmi, u"Default Mail Account"), "00000006");
    EXPECT_EQ(dword(accounts + u"\\00000005", u"POP3 Prompt for Password"), 1);
    EXPECT_EQ(passwordValuesIn(accounts), std::vector<std::string>{});
  } else {
    const std::u16string store = profileStore(u"Kipo");
    EXPECT_EQ(accountNames(store), (std::vector<std::string>{"00000001 Home", "00000002 Club"})) << log();
    EXPECT_EQ(accountList(store), (std::vector<DWORD>{2, 1}));
    EXPECT_EQ(dword(store + u"\\00000001", u"POP3 Remember Passwd"), 0);
    EXPECT_EQ(dword(store + u"\\00000001", u"SMTP Remember Passwd"), 0);
    EXPECT_EQ(passwordValuesIn(store), std::vector<std::string>{});
    // The Work profile's own accounts are left alone.
    std::string kept;
    EXPECT_TRUE(readValue(profileStore(u"Work") + u"\\00000001", u"POP3 Password", kept) && kept == "pop-secret-home");
  }
  if (GetParam().messageManager) {
    EXPECT_EQ(dword(profileStore(u"Kipo") + u"\\00000001", u"Leave on Server"), 1);
    EXPECT_EQ(hidden(kDevicePst), std::vector<std::string>{"Outlook 10 Message Manager (Kipo)"}) << log();
  }

  logOut();
  EXPECT_EQ(exportKey(kProfiles), profilesBefore) << log();
  EXPECT_EQ(exportKey(kOmi), omiBefore);
  EXPECT_EQ(exportKey(kOffice9Preferences), office9Before);
  ASSERT_TRUE(closeKipo(kipo));

  // No password reached the drive, in any file, in either encoding.
  for (const auto& entry : fs::recursive_directory_iterator(drive_)) {
    if (!entry.is_regular_file()) continue;
    const std::string bytes = slurp(entry.path());
    for (const std::string& secret : kSecrets) {
      EXPECT_FALSE(contains(bytes, secret)) << secret << " in " << entry.path();
      EXPECT_FALSE(contains(bytes, utf16(secret))) << secret << " in " << entry.path();
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Generations, KipoOutlookAccountsTest,
                         ::testing::Values(Generation{"2000", false}, Generation{"2002", false},
                                           Generation{"2003", true}),
                         [](const auto& info) { return std::string("Outlook") + info.param.version; });

}  // namespace

