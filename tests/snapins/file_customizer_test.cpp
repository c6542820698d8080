// The file snap-in: its preference records in the pref store (defaults, a round trip of every
// label, damaged records that keep what can be read), the overlap test of a new record, the
// desktop and favorites switches, the records as the synchronizer gets them; and a whole session
// on a host with Explorer running: a synchronization, a login as another computer with the
// desktop, My Documents and Favorites shown from the drive, and a logout after which the host's
// registry and files are as before, but for the differences the snap-in makes on purpose.
#include "snapins/file_customizer.h"

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <iterator>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "app/customization.h"
#include "app/customizer_doc.h"
#include "app/customizer_exception.h"
#include "app/file_util.h"
#include "app/folder_lookup.h"
#include "app/preference_file.h"
#include "app/profile_database.h"
#include "app/registry.h"
#include "app/shortcut.h"
#include "lang/ids.h"
#include "platform/com/runtime.h"
#include "platform/win32/controls/commctrl.h"
#include "platform/win32/win32.h"
#include "tests/snapins/snapin_fixture.h"
#include "tests/support/test_host.h"
#include "tests/support/test_windows.h"

namespace {

namespace fs = std::filesystem;
using snapintest::SnapinTest;

const char16_t* const kAlphaFiles =
    u"HKEY_CURRENT_USER\\Software\\Brackwater\\Kipo\\Prefs\\Synchronized Computers\\ALPHA\\Files";

CString recordKey(int i) {
  CString key;
  key.Format(u"%s\\FileSyncPref%d", CString(kAlphaFiles), i);
  return key;
}

class FileCustomizerTest : public SnapinTest {
 protected:
  FileCustomizerTest() {
    CoInitialize(nullptr);
    fs::create_directories(computersFolder());
    // The store reads from the registry only while the drive has its pref file.
    writeBytes(computersFolder() / "customizer.pref", "");
  }
  ~FileCustomizerTest() override {
    kipotest::destroyThreadWindows();
    CoUninitialize();
  }

  static CFileSyncPref record(const char16_t* path, const CString& label, bool include = true, bool recursive = true,
                              bool sync = true, bool recent = false, DWORD days = 0) {
    CFileSyncPref r{CString(path)};
    r.label = label;
    r.includeFileTypes = include;
    r.recursive = recursive;
    r.synchronize = sync;
    r.includeRecentFiles = recent;
    r.daysOld = days;
    return r;
  }
  static std::vector<CFileSyncPref> copies(const CFileSyncPrefList& list) {
    std::vector<CFileSyncPref> out;
    for (const auto& r : list) out.push_back(*r);
    return out;
  }
  static ULONGLONG storedNumber(int i) {
    CRegistry key(recordKey(i));
    DWORD type = 0, size = 0;
    key.getValueType(u"fileTypes", type);
    key.getValueSize(u"fileTypes", size);
    ULONGLONG n = 0;
    if (type != REG_BINARY || size != 8 || !key.getUInt64(u"fileTypes", n)) return 0xBAD;
    return n;
  }
};

// A computer whose prefs were never written reads as the three templates, and so does one whose
// count is missing; the templates are what isDefault compares with.
TEST_F(FileCustomizerTest, PrefsNeverWrittenAreTheDefaults) {
  CFileCustomizer files(nullptr);
  ASSERT_TRUE(files.loadPrefs(self()));
  const std::vector<CFileSyncPref> got = copies(files.fileSyncPrefs(self()));
  ASSERT_EQ(got.size(), 3u);
  EXPECT_EQ(utf8(got[0].path), "Desktop");
  EXPECT_EQ(utf8(got[1].path), "Favorites");
  EXPECT_EQ(utf8(got[1].label), "Url");
  EXPECT_EQ(utf8(got[2].path), "My Documents");
  EXPECT_EQ(utf8(got[0].label), utf8(loadResString(IDS_CATEGORY_ALL_FILES)));
  EXPECT_TRUE(files.hasDefaultPrefs(self()));
  files.setFavoritesSync(self(), false);
  EXPECT_FALSE(files.hasDefaultPrefs(self()));
  files.setDefaultPrefs(self());
  EXPECT_TRUE(files.hasDefaultPrefs(self()));
}

// Every label is stored as its string's id (8 bytes REG_BINARY) and reads back to the same label;
// a text of no category is stored as "all files".
TEST_F(FileCustomizerTest, RecordsRoundTrip) {
  const std::vector<CFileSyncPref> written = {
      record(u"Desktop", loadResString(IDS_CATEGORY_OFFICE_FILES), true, false, true, true, 30),
      record(u"C:\\Data", loadResString(IDS_CATEGORY_EDITING_FILES), false, true, false, false, 0),
      record(u"C:\\Music", loadResString(IDS_CATEGORY_AUDIO_FILES)),
      record(u"My Documents\\Pictures", loadResString(IDS_CATEGORY_PICTURE_FILES), true, true, true, true, 0xFFFFFFFF),
      record(u"Favorites", CString(u"Url")),
      record(u"\\\\server\\share\\notes.txt", loadResString(IDS_CATEGORY_ALL_FILES)),
  };
  const ULONGLONG numbers[] = {695, 729, 398, 600, 932, 380};
  {
    CFileCustomizer files(nullptr);
    CFileSyncPrefList& list = files.fileSyncPrefs(self());
    list.clear();
    for (const CFileSyncPref& r : written) list.push_back(std::make_unique<CFileSyncPref>(r));
    list.push_back(std::make_unique<CFileSyncPref>(record(u"C:\\Other", CString(u"Something else"))));
    ASSERT_TRUE(files.savePrefs(self()));
  }
  for (int i = 0; i < 6; ++i) EXPECT_EQ(storedNumber(i), numbers[i]) << i;
  EXPECT_EQ(storedNumber(6), 380u);
  EXPECT_EQ(regText(kAlphaFiles, u"synchronize"), "true");

  CFileCustomizer reader(nullptr);
  ASSERT_TRUE(reader.loadAllPrefs());
  const std::vector<CFileSyncPref> got = copies(reader.fileSyncPrefs(self()));
  ASSERT_EQ(got.size(), 7u);
  for (size_t i = 0; i < written.size(); ++i) {
    EXPECT_TRUE(got[i] == written[i]) << i;
    EXPECT_EQ(got[i].daysOld, written[i].daysOld) << i;
  }
  EXPECT_EQ(utf8(got[6].label), utf8(loadResString(IDS_CATEGORY_ALL_FILES)));

  // A shorter list leaves no record of the longer one behind.
  reader.fileSyncPrefs(self()).resize(2);
  ASSERT_TRUE(reader.savePrefs(self()));
  EXPECT_TRUE(keyExists(recordKey(1)));
  EXPECT_FALSE(keyExists(recordKey(2)));
  EXPECT_FALSE(keyExists(recordKey(6)));
}

// Damaged records from a drive: each unreadable value keeps its default and is logged, every
// record that is there is kept, and none is made up.
TEST_F(FileCustomizerTest, DamagedRecordsKeepWhatCanBeRead) {
  {
    CFileCustomizer files(nullptr);
    CFileSyncPrefList& list = files.fileSyncPrefs(self());
    list.clear();
    list.push_back(std::make_unique<CFileSyncPref>(record(u"C:\\A", CString(u"Url"), false, false)));
    list.push_back(std::make_unique<CFileSyncPref>(record(u"C:\\B", loadResString(IDS_CATEGORY_AUDIO_FILES), false)));
    list.push_back(std::make_unique<CFileSyncPref>(record(u"C:\\C", loadResString(IDS_CATEGORY_OFFICE_FILES))));
    ASSERT_TRUE(files.savePrefs(self()));
  }
  struct Damage {
    int record;
    const char16_t* value;
    enum { Text, Dword, FourBytes, Number, Gone } kind;
  };
  const Damage damages[] = {
      {0, u"fileTypes", Damage::Text},       // "Url" as text
      {0, u"recursive", Damage::Gone},       //
      {1, u"fileTypes", Damage::FourBytes},  // too short
      {1, u"includeFileTypes", Damage::Dword},
      {2, u"fileTypes", Damage::Number},     // a number of no label
      {2, u"filePath", Damage::Dword},
  };
  for (const Damage& d : damages) {
    CRegistry key(recordKey(d.record), false, true);
    switch (d.kind) {
      case Damage::Text: key.setString(d.value, CString(u"Url")); break;
      case Damage::Dword: key.setDword(d.value, 1); break;
      case Damage::FourBytes: key.setBinary(d.value, "\x8e\x01\0\0", 4); break;
      case Damage::Number: key.setUInt64(d.value, 12345); break;
      case Damage::Gone: key.deleteValue(d.value); break;
    }
  }
  CRegistry(CString(kAlphaFiles), false, true).setDword(u"numFileSyncPrefs", 5);

  CFileCustomizer files(nullptr);
  const std::size_t mark = logBytes().size();
  EXPECT_FALSE(files.loadPrefs(self()));
  const std::vector<CFileSyncPref> got = copies(files.fileSyncPrefs(self()));
  ASSERT_EQ(got.size(), 3u) << "records 3 and 4 are not there and are not made up";
  const CString all = loadResString(IDS_CATEGORY_ALL_FILES);
  EXPECT_EQ(utf8(got[0].path), "C:\\A");
  EXPECT_EQ(utf8(got[0].label), utf8(all));
  EXPECT_TRUE(got[0].recursive) << "default";
  EXPECT_FALSE(got[0].includeFileTypes) << "read";
  EXPECT_EQ(utf8(got[1].path), "C:\\B");
  EXPECT_EQ(utf8(got[1].label), utf8(all));
  EXPECT_TRUE(got[1].includeFileTypes) << "default";
  EXPECT_EQ(utf8(got[2].path), "");
  EXPECT_EQ(utf8(got[2].label), utf8(all));
  const std::vector<std::string> lines = linesSince(mark);
  for (const char* line : {"{FileCustomizerPrefs}: Value fileTypes of file sync pref 0 of ALPHA cannot be read; its default is kept.",
                           "{FileCustomizerPrefs}: Value recursive of file sync pref 0 of ALPHA cannot be read; its default is kept.",
                           "{FileCustomizerPrefs}: Value includeFileTypes of file sync pref 1 of ALPHA cannot be read; its default is kept.",
                           "{FileCustomizerPrefs}: Value filePath of file sync pref 2 of ALPHA cannot be read; its default is kept.",
                           "{FileCustomizerPrefs}: File sync pref 3 of ALPHA is missing."})
    EXPECT_NE(std::find(lines.begin(), lines.end(), line), lines.end()) << line;

  // A count that cannot be read: the records that are there are read.
  CRegistry(CString(kAlphaFiles), false, true).setString(u"numFileSyncPrefs", CString(u"three"));
  EXPECT_FALSE(files.loadPrefs(self()));
  EXPECT_EQ(files.fileSyncPrefs(self()).size(), 3u);
  EXPECT_TRUE(logHas("{FileCustomizerPrefs}: The number of file sync prefs of ALPHA cannot be read; the records found are kept."));
}

// A folder inside or around a chosen folder overlaps; a chosen single file never does.
TEST_F(FileCustomizerTest, Overlaps) {
  fs::create_directories(host.c("Data/Reports"));
  writeBytes(host.c("Data/Reports/q1.xls"), "q1");
  fs::create_directories(host.c("Music"));
  CFileCustomizerPrefs prefs;
  prefs.setDefaults();
  prefs.records.push_back(std::make_unique<CFileSyncPref>(CString(u"C:\\Data")));
  prefs.records.push_back(std::make_unique<CFileSyncPref>(CString(u"C:\\Data\\Reports\\q1.xls")));
  struct Case {
    const char16_t* path;
    bool overlaps;
  } cases[] = {
      {u"C:\\Data\\Reports", true},  {u"C:\\", true},        {u"C:\\Music", false},
      {u"C:\\DataOld", false},       {u"Desktop\\Trip", true}, {u"C:\\Data\\Reports\\q1.xls", false},
  };
  for (const Case& c : cases) {
    CFileSyncPref candidate{CString(c.path)};
    EXPECT_EQ(fileSyncPrefOverlaps(prefs, &candidate), c.overlaps) << utf8(CString(c.path));
  }
  bool thrown = false;
  try {
    fileSyncPrefOverlaps(prefs, nullptr);
  } catch (CCustomizerException* e) {
    thrown = utf8(e->getMessage()) == "No FileSyncPref";
    e->Delete();
  }
  EXPECT_TRUE(thrown);
}

// The synchronize dialog's switches.
TEST_F(FileCustomizerTest, DesktopAndFavoritesSwitches) {
  CFileCustomizer files(nullptr);
  CFileSyncPrefList& list = files.fileSyncPrefs(self());
  files.setDesktopSyncDays(self(), true, 7);
  EXPECT_TRUE(list[0]->includeRecentFiles);
  EXPECT_EQ(list[0]->daysOld, 7u);
  files.setDesktopSyncDays(self(), true, 0xFFFFFFFF);
  EXPECT_FALSE(list[0]->includeRecentFiles);
  files.setDesktopSync(self(), false);
  EXPECT_FALSE(list[0]->synchronize);
  EXPECT_EQ(list.size(), 3u);

  files.setFavoritesSync(self(), true);
  EXPECT_EQ(list.size(), 3u) << "already there";
  files.setFavoritesSync(self(), false);
  ASSERT_EQ(list.size(), 2u);
  EXPECT_EQ(utf8(list[1]->path), "My Documents");
  EXPECT_TRUE(files.removeFileSyncPref(self(), list[0].get()));
  EXPECT_FALSE(files.removeFileSyncPref(self(), nullptr));
  files.setDesktopSync(self(), false);
  EXPECT_EQ(list.size(), 1u) << "switching off what is not there adds nothing";
  files.setDesktopSyncDays(self(), true, 3);
  ASSERT_EQ(list.size(), 2u);
  EXPECT_EQ(list[1]->daysOld, 3u);
}

// Before a run: a drive folder per record, nested records left to themselves, and a first sync
// when the computer's folder holds none of the four top folders.
TEST_F(FileCustomizerTest, RecordsAsTheSynchronizerGetsThem) {
  fs::create_directories(host.c("Data/Inner"));
  writeBytes(host.c("Data/Inner/x.txt"), "x");
  CFileCustomizer files(nullptr);
  CFileSyncPrefList& list = files.fileSyncPrefs(self());
  list.push_back(std::make_unique<CFileSyncPref>(CString(u"C:\\Data")));
  list.push_back(std::make_unique<CFileSyncPref>(CString(u"C:\\Data\\Inner\\x.txt")));
  list.back()->label = CString(u"Url");

  ASSERT_TRUE(files.preCalculateSyncOps(self()));
  EXPECT_TRUE(files.synchronizer().firstSyncMode);
  EXPECT_EQ(utf8(list[0]->deviceLocation), "Desktop");
  EXPECT_EQ(utf8(list[3]->deviceLocation), "My Computer\\Data");
  EXPECT_EQ(utf8(list[4]->deviceLocation), "My Computer\\Inner");
  ASSERT_EQ(list[3]->excluded.size(), 1u);
  EXPECT_EQ(utf8(list[3]->excluded[0]), "Inner\\x.txt");
  EXPECT_TRUE(list[4]->excluded.empty());
  ASSERT_NE(files.synchronizer().prefRecords, nullptr);
  const std::vector<CFileSyncPrefRecord>& walked = *files.synchronizer().prefRecords;
  ASSERT_EQ(walked.size(), 5u);
  EXPECT_EQ(utf8(walked[1].types), "*.url;");
  EXPECT_EQ(utf8(walked[3].types), "*.*;");
  ASSERT_EQ(walked[3].excludedHostPaths.GetSize(), 1);
  EXPECT_EQ(utf8(walked[3].excludedHostPaths[0]), "C:\\Data\\Inner\\x.txt");
  EXPECT_EQ(utf8(walked[3].excludedDrivePaths[0]),
            "E:\\Synchronized Computers\\ALPHA\\My Computer\\C\\Data\\Inner\\x.txt");
  EXPECT_EQ(utf8(files.synchronizer().driveSnapshotPath), "E:\\Synchronized Computers\\ALPHA.snap");

  fs::create_directories(computersFolder() / "ALPHA" / "My Computer");
  ASSERT_TRUE(files.preCalculateSyncOps(self()));
  EXPECT_FALSE(files.synchronizer().firstSyncMode);
  EXPECT_FALSE(files.preCalculateSyncOps(nullptr));
}


// The customization's presets give the Desktop and My Documents templates their settings.
TEST_F(FileCustomizerTest, PresetsOfTheCustomization) {
  CU3CustomConfig config;
  config.defaultSettings.push_back({CString(u"IDS_SPECIAL_FOLDER_DESKTOP"), CString(u"true"), CString(u"false"),
                                    CString(u"14")});
  CFileCustomizerPrefs::setCustomization(&config);
  CFileCustomizerPrefs prefs;
  CFileCustomizerPrefs::setCustomization(nullptr);
  EXPECT_TRUE(prefs.desktopTemplate.includeRecentFiles);
  EXPECT_FALSE(prefs.desktopTemplate.recursive);
  EXPECT_EQ(prefs.desktopTemplate.daysOld, 14u);
  EXPECT_TRUE(prefs.myDocumentsTemplate.recursive) << "no preset: the defaults";
  EXPECT_FALSE(prefs.myDocumentsTemplate.includeRecentFiles);
}

// Logging in with the host's own profile leaves the Favorites location alone; removing a computer
// deletes its snapshot file.
TEST_F(FileCustomizerTest, OwnProfileAndRemovedComputer) {
  const CString userShellFolders =
      u"HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders";
  const std::string before = regText(userShellFolders, u"Favorites");
  self()->setLoginComputer(true);
  CFileCustomizer files(nullptr);
  EXPECT_TRUE(files.personalize());
  EXPECT_EQ(regText(userShellFolders, u"Favorites"), before);
  EXPECT_TRUE(files.depersonalize());

  writeBytes(computersFolder() / "ALPHA.snap", "snapshot");
  setHiddenAttribute(CString(u"E:\\Synchronized Computers\\ALPHA.snap"), true);
  EXPECT_TRUE(files.removeProfileData(self()));
  EXPECT_FALSE(fs::exists(computersFolder() / "ALPHA.snap"));
}

// ---- a whole session on a host with Explorer ----------------------------------------------------

const char16_t* const kExplorer = u"HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer";
const char16_t* const kProductKey = u"HKEY_CURRENT_USER\\Software\\Brackwater\\Kipo";

// A document whose factory makes the file snap-in, registered with its coordinator.
class FilesDoc : public CCustomizerDoc {
 protected:
  void makeCustomizers() override {
    auto files = std::make_unique<CFileCustomizer>(&getSpaceMan());
    files->setIconRestoreDelay(0);
    addCustomizer(std::move(files));
  }
};

// Every value of a registry tree as "path\name" -> type and bytes, the product's own key left out.
void dumpTree(const CString& path, std::map<std::string, std::pair<DWORD, std::vector<BYTE>>>& out) {
  if (startsWithNoCase(path, CString(kProductKey))) return;
  CRegistry key(path);
  if (!key.isOpen()) return;
  CStringList names;
  key.getValueNames(names);
  for (POSITION pos = names.GetHeadPosition(); pos;) {
    const CString name = names.GetNext(pos);
    DWORD type = 0;
    std::vector<BYTE> bytes;
    key.getValueType(name, type);
    key.getBytes(name, bytes);
    // Registry names are case-blind: the dump's keys are upper-cased.
    CString full = path + u"\\" + name;
    full.MakeUpper();
    out[platform::text::toUtf8(full.view())] = {type, bytes};
  }
  CStringList subkeys;
  key.getSubkeyNames(subkeys, true);
  for (POSITION pos = subkeys.GetHeadPosition(); pos;) dumpTree(subkeys.GetNext(pos), out);
}

using RegistryState = std::map<std::string, std::pair<DWORD, std::vector<BYTE>>>;
RegistryState registryState() {
  RegistryState out;
  dumpTree(CString(u"HKEY_CURRENT_USER"), out);
  dumpTree(CString(u"HKEY_LOCAL_MACHINE"), out);
  return out;
}

// Every file and folder of drive C: with its bytes and hidden flag, the product's own folders and
// the log left out.
using FileState = std::map<std::string, std::string>;
FileState fileState(const fs::path& root, const CString& companyFolder) {
  FileState out;
  const std::string company = platform::text::toUtf8(companyFolder.view()).substr(3);
  for (auto it = fs::recursive_directory_iterator(root); it != fs::recursive_directory_iterator(); ++it) {
    std::string relative = fs::relative(it->path(), root).generic_string();
    std::string windows = relative;
    for (char& c : windows)
      if (c == '/') c = '\\';
    if (windows == company || windows.rfind(company + "\\", 0) == 0 || windows == "Kipo.html") {
      if (it->is_directory()) it.disable_recursion_pending();
      continue;
    }
    const CString path = CString(u"C:\\") + CString(platform::text::fromUtf8(windows).c_str());
    std::string entry = isHiddenFile(path) ? "hidden " : "";
    if (it->is_regular_file()) {
      std::ifstream in(it->path(), std::ios::binary);
      entry += std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    } else {
      entry += "<folder>";
    }
    out[relative] = entry;
  }
  return out;
}

class FileSessionTest : public FileCustomizerTest {
 protected:
  // A binary value as text, or "<none>".
  static std::string binText(const CString& key, const char16_t* name) {
    CRegistry r(key);
    std::vector<BYTE> bytes;
    if (!r.getBytes(name, bytes)) return "<none>";
    return std::string(bytes.begin(), bytes.end());
  }

  FileSessionTest() {
    doc.setEndOfPassPause(0);
    // The session's pref file is a real one, saved below.
    fs::remove(computersFolder() / "customizer.pref");
    std::string err;
    EXPECT_EQ(kipotest::runTool({"install"}, nullptr, &err), 0) << err;
  }
  ~FileSessionTest() override {
    if (explorer) {
      TerminateProcess(explorer, 0);
      CloseHandle(explorer);
    }
  }

  HWND startExplorer() {
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    std::u16string line = u"C:\\WINDOWS\\explorer.exe";
    if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) return nullptr;
    if (pi.hThread) CloseHandle(pi.hThread);
    explorer = pi.hProcess;
    for (int i = 0; i < 1000; ++i) {
      HWND progman = FindWindowW(u"Progman", nullptr);
      HWND view = progman ? FindWindowExW(progman, nullptr, u"SHELLDLL_DefView", nullptr) : nullptr;
      if (HWND list = view ? FindWindowExW(view, nullptr, u"SysListView32", nullptr) : nullptr) return list;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return nullptr;
  }
  // The texts Explorer's desktop shows, once they include `expected` (or after five seconds).
  std::set<std::string> icons(HWND list, const std::string& expected, bool present = true) {
    std::set<std::string> out;
    for (int round = 0; round < 250; ++round) {
      out.clear();
      const auto count = SendMessageW(list, LVM_GETITEMCOUNT, 0, 0);
      for (LRESULT i = 0; i < count; ++i) {
        char16_t text[MAX_PATH] = {};
        LVITEMW item{};
        item.pszText = text;
        item.cchTextMax = MAX_PATH;
        SendMessageW(list, LVM_GETITEMTEXTW, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&item));
        out.insert(platform::text::toUtf8(text));
      }
      if (out.count(expected) == (present ? 1u : 0u)) break;
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return out;
  }
  fs::path onHost(const CString& path) const {
    std::string rest = utf8(path).substr(3);
    for (char& c : rest)
      if (c == '\\') c = '/';
    return host.c(rest);
  }

  FilesDoc doc;
  HANDLE explorer = nullptr;
};

TEST_F(FileSessionTest, SynchronizeLoginAndLogoutLeaveTheHostAsItWas) {
  const CString desktop = CFolderLookup::getDesktopPath();
  const CString documents = CFolderLookup::getMyDocumentsPath();
  const CString favorites = CFolderLookup::getFavoritesPath();
  ASSERT_FALSE(desktop.IsEmpty());
  ASSERT_FALSE(documents.IsEmpty());
  fs::create_directories(onHost(desktop));
  fs::create_directories(onHost(documents));
  fs::create_directories(onHost(favorites));
  writeBytes(onHost(desktop) / "host.txt", "the host's own desktop file");
  writeBytes(onHost(desktop) / "tucked.txt", "hidden on the host");
  setHiddenAttribute(joinPath(desktop, CString(u"tucked.txt")), true);
  writeBytes(onHost(documents) / "letter.doc", "the host's letter");
  writeBytes(onHost(favorites) / "Host.url", "[InternetShortcut]\r\nURL=http://host.test/\r\n");
  const CString menuOrder = CString(kExplorer) + u"\\MenuOrder\\Favorites";
  CRegistry(menuOrder, true, true).setBinary(u"Order", "host", 4);

  // The computer the user logs in as: its files on the drive, its favourites' menu order in the prefs.
  auto beta = std::make_unique<CSystemProfile>();
  beta->m_computerName = CString(u"BETA");
  beta->m_nickname = CString(u"Home");
  getProfileDatabase().profiles().push_back(std::move(beta));
  ASSERT_TRUE(getProfileDatabase().writeSystemProfiles());
  const fs::path betaFolder = computersFolder() / "BETA";
  fs::create_directories(betaFolder / "Desktop" / "Projects");
  writeBytes(betaFolder / "Desktop" / "report.doc", "the user's report");
  fs::create_directories(betaFolder / "My Documents");
  writeBytes(betaFolder / "My Documents" / "thesis.doc", "the user's thesis");
  fs::create_directories(betaFolder / "Favorites");
  writeBytes(betaFolder / "Favorites" / "Kipo.url", "[InternetShortcut]\r\nURL=http://kipo.test/\r\n");
  CRegistry(CString(u"HKEY_CURRENT_USER\\Software\\Brackwater\\Kipo\\Prefs\\Synchronized Computers\\BETA\\Favorites"),
            true, true)
      .setBinary(u"Order", "user", 4);
  ASSERT_TRUE(getDevicePrefs().save());
  ASSERT_TRUE(fs::exists(computersFolder() / "customizer.pref"));

  HWND list = startExplorer();
  ASSERT_NE(list, nullptr);
  doc.loadFromDevice();
  ASSERT_TRUE(doc.isLoaded());
  ASSERT_NE(doc.findCustomizer(CString(u"Files")), nullptr);

  // A synchronization of this computer carries its desktop, documents and favourites to the drive.
  ASSERT_TRUE(doc.synchronize(kSyncBothWays));
  pump();
  const fs::path alphaFolder = computersFolder() / "ALPHA";
  EXPECT_EQ(readBytes(alphaFolder / "Desktop" / "host.txt"), "the host's own desktop file");
  EXPECT_EQ(readBytes(alphaFolder / "My Documents" / "letter.doc"), "the host's letter");
  EXPECT_TRUE(fs::exists(alphaFolder / "Favorites" / "Host.url"));
  EXPECT_TRUE(fs::exists(computersFolder() / "ALPHA.snap"));
  EXPECT_EQ(binText(u"HKEY_CURRENT_USER\\Software\\Brackwater\\Kipo\\Prefs\\Synchronized Computers\\ALPHA\\Favorites",
                    u"Order"),
            "host") << "the menu order travels with the computer";
  fs::remove(computersFolder() / "ALPHA.Sync");

  const RegistryState registryBefore = registryState();
  const FileState filesBefore = fileState(host.c(), CFolderLookup::getCompanyAppDataPath());
  ASSERT_GT(icons(list, "host.txt").count("host.txt"), 0u);

  // Login as the user's home computer: the drive's desktop, documents and favourites are shown.
  ASSERT_TRUE(setLoginComputer(CString(u"Home")));
  ASSERT_TRUE(doc.personalize()) << logBytes();
  std::set<std::string> shown = icons(list, "report.doc");
  EXPECT_EQ(shown.count("report.doc"), 1u);
  EXPECT_EQ(shown.count("Projects"), 1u);
  EXPECT_EQ(shown.count("host.txt"), 0u) << "the host's items step aside";
  EXPECT_EQ(shown.count("tucked.txt"), 0u);
  {
    CShortcut report(joinPath(desktop, CString(u"report.doc.lnk")));
    EXPECT_EQ(utf8(report.getTargetPath()), "E:\\Synchronized Computers\\BETA\\Desktop\\report.doc");
    CShortcut thesis(joinPath(documents, CString(u"thesis.doc.lnk")));
    EXPECT_EQ(utf8(thesis.getTargetPath()), "E:\\Synchronized Computers\\BETA\\My Documents\\thesis.doc");
  }
  EXPECT_TRUE(isHiddenFile(joinPath(documents, CString(u"letter.doc"))));
  EXPECT_EQ(utf8(CFolderLookup::getFavoritesPath()), "E:\\Synchronized Computers\\BETA\\Favorites");
  EXPECT_EQ(binText(menuOrder, u"Order"), "user");
  DWORD hidden = 0;
  EXPECT_TRUE(CRegistry(CString(kExplorer) + u"\\Advanced").getDword(u"hidden", hidden));
  EXPECT_EQ(hidden, 2u);
  EXPECT_TRUE(doc.isPersonalized());

  // The session saves a file on the desktop and one in a new folder of My Documents.
  writeBytes(onHost(desktop) / "minutes.txt", "written in the session");
  fs::create_directories(onHost(documents) / "Trip");
  writeBytes(onHost(documents) / "Trip" / "plan.txt", "day one");

  ASSERT_TRUE(doc.depersonalize()) << logBytes();
  EXPECT_FALSE(doc.isPersonalized());
  EXPECT_EQ(readBytes(betaFolder / "Desktop" / "minutes.txt"), "written in the session");
  EXPECT_EQ(readBytes(betaFolder / "My Documents" / "Trip" / "plan.txt"), "day one");
  EXPECT_EQ(readBytes(betaFolder / "Desktop" / "report.doc"), "the user's report");
  shown = icons(list, "report.doc", false);
  EXPECT_EQ(shown.count("host.txt"), 1u);
  EXPECT_EQ(shown.count("report.doc"), 0u);

  // The host as it was, but for what the restore writes on purpose.
  const FileState filesAfter = fileState(host.c(), CFolderLookup::getCompanyAppDataPath());
  EXPECT_EQ(filesAfter, filesBefore);
  RegistryState expected = registryBefore;
  const auto upper = [](const CString& text) {
    CString copy = text;
    copy.MakeUpper();
    return platform::text::toUtf8(copy.view());
  };
  const std::string shellFolders = upper(CString(kExplorer) + u"\\Shell Folders\\Favorites");
  const std::string userShellFolders = upper(CString(kExplorer) + u"\\User Shell Folders\\Favorites");
  const std::string advancedHidden = upper(CString(kExplorer) + u"\\Advanced\\hidden");
  expected.erase(shellFolders);
  expected[userShellFolders].first = REG_EXPAND_SZ;
  RegistryState after = registryState();
  ASSERT_EQ(after.count(advancedHidden), 1u);
  EXPECT_EQ(after[advancedHidden].first, static_cast<DWORD>(REG_DWORD));
  if (!registryBefore.count(advancedHidden)) after.erase(advancedHidden);
  for (const auto& [name, value] : expected) {
    auto it = after.find(name);
    if (it == after.end()) ADD_FAILURE() << "gone: " << name;
    else if (it->second != value) ADD_FAILURE() << "changed: " << name;
  }
  for (const auto& [name, value] : after)
    if (!expected.count(name)) ADD_FAILURE() << "added: " << name;
}

}  // namespace
