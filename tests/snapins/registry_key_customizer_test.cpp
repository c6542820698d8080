// Registry key snap-ins and recent documents: the key's backup and restore (a missing key, a
// failed copy that must not cost the host its key), the office programs' key paths from their
// registered versions, the history cache's containers and typed addresses, the typed-address file
// (missing, empty, cut short, merged without duplicates), the recent-documents clean-up, and a
// whole login, synchronization and logout of every registry snap-in on an installed host, whose
// registry and files end as they began.
#include "snapins/registry_key_customizer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "app/customizer_doc.h"
#include "app/file_util.h"
#include "app/folder_lookup.h"
#include "app/profile_database.h"
#include "app/registry.h"
#include "platform/base/text.h"
#include "platform/win32/registry.h"
#include "snapins/cookies_customizer.h"
#include "snapins/factory_context.h"
#include "snapins/history_cache_customizer.h"
#include "snapins/recent_docs_customizer.h"
#include "snapins/registry_value_customizer.h"
#include "snapins/space_man.h"
#include "snapins/sync_spec.h"
#include "tests/snapins/session_fixture.h"
#include "tests/snapins/snapin_fixture.h"
#include "tests/support/faults.h"
#include "tests/support/test_host.h"
#include "tests/support/test_windows.h"

namespace {

namespace fs = std::filesystem;
using platform::text::toUtf8;
using snapintest::SnapinTest;

const char16_t* const kCache =
    u"HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings\\5.0\\Cache\\Extensible Cache";

using sessiontest::differences;
using sessiontest::registryState;

class RegistryKeyTest : public SnapinTest {
 protected:
  RegistryKeyTest() { EXPECT_TRUE(setLoginComputer(CString(u"ALPHA"))); }
  ~RegistryKeyTest() override { kipotest::destroyThreadWindows(); }

  static void installHost() {
    std::string err;
    ASSERT_EQ(kipotest::runTool({"install"}, nullptr, &err), 0) << err;
  }
  static void browse(const char* url) {
    std::string err;
    ASSERT_EQ(kipotest::runTool({"browse", url}, nullptr, &err), 0) << url << err;
  }
  fs::path alphaFolder() const { return computersFolder() / "ALPHA"; }
};

// A document whose factory makes the given snap-ins, inside the factory scope as the real one.
class RegistryDoc : public CCustomizerDoc {
 public:
  std::function<void(RegistryDoc&)> factory;

 protected:
  void makeCustomizers() override {
    const CFactoryDocumentScope scope(this);
    if (factory) factory(*this);
  }
};

// The version table of "CurVer": only the exact prefix with 7 to 11 names a version.
TEST_F(RegistryKeyTest, OfficeVersionFromCurVer) {
  struct Case {
    const char16_t* program;
    const char16_t* curVer;
    int version;
  };
  const Case cases[] = {
      {u"Word", u"Word.Application.7", 1},
      {u"Word", u"Word.Application.8", 2},
      {u"Excel", u"Excel.Application.9", 3},
      {u"Word", u"Word.Application.10", 4},
      {u"PowerPoint", u"PowerPoint.Application.11", 5},
      {u"Word", u"Word.Application.12", 0},
      {u"Word", u"Word.Application.1", 0},
      {u"Word", u"Word.Application.110", 0},
      {u"Word", u"Word.Application", 0},
      {u"Word", u"word.application.11", 0},
      {u"Word", u"Excel.Application.11", 0},
      {u"Word", u"", 0},
  };
  for (const Case& c : cases)
    EXPECT_EQ(officeVersionFromCurVer(CString(c.program), CString(c.curVer)), c.version) << toUtf8(c.curVer);
  EXPECT_EQ(utf8(officeVersionName(5)), "11.0");
  EXPECT_EQ(utf8(officeVersionName(3)), "9.0");
  EXPECT_EQ(utf8(officeVersionName(0)), "Unknown");
}

// The installed office programs give their recent-file keys; a program without a known version
// gives a key that opens nothing, whose backup records it as absent and whose restore changes
// nothing on the host.
TEST_F(RegistryKeyTest, OfficeKeysFollowTheInstalledVersion) {
  EXPECT_EQ(utf8(CMsWordCustomizer().getKeyPath()), "HKEY_CURRENT_USER\\Software\\Microsoft\\Office\\11.0\\Word\\Data");
  EXPECT_EQ(utf8(CMsExcelCustomizer().getKeyPath()),
            "HKEY_CURRENT_USER\\Software\\Microsoft\\Office\\11.0\\Excel\\Recent Files");
  EXPECT_EQ(utf8(CMsPowerPointCustomizer().getKeyPath()),
            "HKEY_CURRENT_USER\\Software\\Microsoft\\Office\\11.0\\PowerPoint\\Recent File List");
  EXPECT_EQ(
      utf8(CMsExcelCustomizer().getBackupKeyPath()),
      "HKEY_CURRENT_USER\\Software\\Brackwater\\Kipo\\localPrefs\\Snapins\\Microsoft Excel\\backup\\Recent Files");

  CRegistry(CString(u"HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\Word.Application\\CurVer"), false, true)
      .setString(u"", CString(u"Word.Application.12"));
  CMsWordCustomizer word;
  EXPECT_EQ(utf8(word.getKeyPath()), "Data");
  CRegistry(CString(u"HKEY_CURRENT_USER\\Software\\Microsoft\\Office\\11.0\\Word\\Data"), true, true)
      .setString(u"File1", CString(u"C:\\a.doc"));
  const auto before = registryState();
  EXPECT_TRUE(word.backup());
  EXPECT_EQ(regText(word.getBackupKeyPath(), kSourceExistsValue), "false");
  EXPECT_TRUE(word.personalize());
  EXPECT_TRUE(word.postExecuteSyncOps(self(), 1));
  EXPECT_TRUE(word.restore());
  EXPECT_EQ(differences(before, registryState()), std::vector<std::string>{});
}

// The key comes back as it was, whatever the visit did to it; a host without the key ends with
// an empty one.
TEST_F(RegistryKeyTest, KeyBackupAndRestore) {
  CRegistryKeyCustomizer snapin(CString(u"Keyed"), CString(u"HKEY_CURRENT_USER\\Software\\Lists\\Recent"), CString());
  const CString host = snapin.getKeyPath();
  CRegistry(host, true, true).setString(u"File1", CString(u"C:\\a.doc"));
  CRegistry(joinPath(host, CString(u"Sub")), true, true).setDword(u"n", 3);
  const auto before = registryState();
  ASSERT_TRUE(snapin.backup());
  EXPECT_EQ(snapin.getSourceState(), kSourcePresent);

  CRegistry(host, true, true).setString(u"File1", CString(u"C:\\user.doc"));
  CRegistry(joinPath(host, CString(u"Visit")), true, true).setString(u"x", CString(u"y"));
  CRegistry(joinPath(host, CString(u"Sub")), false, true).deleteKey();
  EXPECT_TRUE(snapin.restore());
  EXPECT_EQ(differences(before, registryState()), std::vector<std::string>{});

  CRegistry(host, false, true).deleteKey();
  ASSERT_TRUE(snapin.backup());
  EXPECT_EQ(regText(snapin.getBackupKeyPath(), kSourceExistsValue), "false");
  EXPECT_EQ(regText(snapin.getBackupKeyPath(), u"File1"), "<none>");  // the earlier copy is gone
  EXPECT_EQ(snapin.getSourceState(), kSourcePresent);
  CRegistry(joinPath(host, CString(u"Visit")), true, true).setString(u"x", CString(u"y"));
  EXPECT_TRUE(snapin.restore());
  CRegistry empty(host);
  ASSERT_TRUE(empty.isOpen());
  EXPECT_EQ(empty.getValueCount(), 0);
  EXPECT_EQ(empty.getSubkeyCount(), 0);

  EXPECT_TRUE(snapin.removeSourceData());
  EXPECT_FALSE(keyExists(snapin.getBackupKeyPath()));
}

// A backup whose copy breaks off fails, and restore then leaves the host's key alone rather than
// replace it with half a copy; the completeness mark lives beside the copy, never inside it.
TEST_F(RegistryKeyTest, IncompleteBackupNeverReplacesTheHostKey) {
  CRegistryKeyCustomizer snapin(CString(u"Keyed"), CString(u"HKEY_CURRENT_USER\\Software\\Lists\\Recent"), CString());
  const CString host = snapin.getKeyPath();
  CRegistry(host, true, true).setString(u"File1", CString(u"C:\\a.doc"));
  CRegistry(joinPath(host, CString(u"Deep\\Er")), true, true).setDword(u"n", 3);
  ASSERT_TRUE(snapin.backup());
  EXPECT_EQ(regText(snapin.getBackupParentPath(), kBackupCompleteValue), "true");
  EXPECT_EQ(regText(snapin.getBackupKeyPath(), kBackupCompleteValue), "<none>");

  CRegistry(host, true, true).setString(u"File2", CString(u"C:\\b.doc"));
  const auto id =
      kipotest::failCall("RegOpenKeyExW", ERROR_ACCESS_DENIED, u"HKEY_CURRENT_USER\\Software\\Lists\\Recent\\Deep\\Er");
  EXPECT_FALSE(snapin.backup());
  platform::fault::removeLocal(id);
  const auto before = registryState();
  EXPECT_FALSE(snapin.restore());
  EXPECT_EQ(differences(before, registryState()), std::vector<std::string>{});
  EXPECT_EQ(regText(host, u"File2"), "C:\\b.doc");
  EXPECT_TRUE(
      logHas("{RegistryKeyCustomizer}: No complete backup to restore from: "
             "HKEY_CURRENT_USER\\Software\\Brackwater\\Kipo\\localPrefs\\Snapins\\Keyed\\backup\\Recent. "
             "The host key is left as it is."));
}

// The typed-address file: strings split at 16-bit zeros, a string without its zero dropped, an
// empty file an empty list, and the writer's bytes read back the same.
TEST_F(RegistryKeyTest, TypedUrlsFileFormat) {
  struct Case {
    std::string bytes;
    std::vector<std::string> urls;
  };
  auto u16 = [](const std::string& ascii) {
    std::string out;
    for (char c : ascii) {
      out += c;
      out += '\0';
    }
    return out;
  };
  const std::string zero("\0\0", 2);
  const Case cases[] = {
      {"", {}},
      {u16("http://a/") + zero + u16("http://b/") + zero, {"http://a/", "http://b/"}},
      {u16("http://a/") + zero + u16("http://cut"), {"http://a/"}},
      {u16("http://a/") + zero + "x", {"http://a/"}},  // an odd last byte
      {zero + zero, {"", ""}},
  };
  for (const Case& c : cases) {
    const auto urls = typedurls::parse(reinterpret_cast<const BYTE*>(c.bytes.data()), c.bytes.size());
    std::vector<std::string> got;
    for (const CString& url : urls) got.push_back(utf8(url));
    EXPECT_EQ(got, c.urls);
  }
  std::vector<CString> list{CString(u"http://\u00e9t\u00e9/"), CString(u"http://b/")};
  const auto bytes = typedurls::serialize(list);
  EXPECT_EQ(typedurls::parse(bytes.data(), bytes.size()), list);
}

// The history cache at login: the host's containers give way to the login computer's, pointed
// at the drive's History folder; the typed addresses come from the drive's file (none when it is
// missing) while the host's wait aside; logout writes the user's list back (creating the file)
// and puts the host's back. Without history on the drive nothing changes.
TEST_F(RegistryKeyTest, HistoryCacheLoginAndLogout) {
  installHost();
  RegistryDoc doc;
  doc.factory = [](RegistryDoc& d) {
    d.addCustomizer(std::make_unique<CHistoryUserCustomizer>());
    d.addCustomizer(std::make_unique<CHistoryCacheCustomizer>());
  };
  doc.loadFromDevice();
  auto* cache = dynamic_cast<CHistoryCacheCustomizer*>(doc.findCustomizer(CString(u"History Cache")));
  ASSERT_NE(cache, nullptr);
  const CString typed(kTypedUrlsKey);
  CRegistry(typed, true, true).setString(u"url1", CString(u"http://host/"));
  CRegistry(joinPath(CString(kCache), CString(u"MSHist012000010120000102")), true, true)
      .setString(u"CachePath", CString(u"C:\\old\\"));
  const auto before = registryState();

  ASSERT_TRUE(cache->backup());
  EXPECT_TRUE(cache->personalize());  // no history on the drive
  EXPECT_EQ(differences(before, registryState()), std::vector<std::string>{});
  EXPECT_TRUE(cache->depersonalize());
  EXPECT_TRUE(cache->restore());
  EXPECT_EQ(differences(before, registryState()), std::vector<std::string>{});
  EXPECT_FALSE(fs::exists(alphaFolder() / "TypedURLs.dat"));

  // The drive's history of ALPHA: its files and its containers in the device preferences.
  fs::create_directories(alphaFolder() / "History" / "History.IE5" / "MSHist012026010120260102");
  writeBytes(alphaFolder() / "History" / "History.IE5" / "MSHist012026010120260102" / "visits.txt", "v");
  const CString device = joinPath(cache->getComputerPrefsKey(self()), CString(u"Extensible Cache"));
  CRegistry(joinPath(device, CString(u"MSHist012026010120260102")), true, true)
      .setString(u"CachePrefix", CString(u":2026: "));
  CRegistry(joinPath(device, CString(u"Cookies")), true, true).setString(u"CachePrefix", CString(u"c"));

  ASSERT_TRUE(cache->backup());
  EXPECT_TRUE(cache->personalize());  // a missing TypedURLs.dat is an empty list
  EXPECT_FALSE(keyExists(joinPath(CString(kCache), CString(u"MSHist012000010120000102"))));
  EXPECT_EQ(regText(joinPath(CString(kCache), CString(u"MSHist012026010120260102")), u"CachePath"),
            "E:\\Synchronized Computers\\ALPHA\\History\\History.IE5\\MSHist012026010120260102");
  EXPECT_FALSE(keyExists(joinPath(CString(kCache), CString(u"Cookies\\x"))));
  EXPECT_EQ(regText(typed, u"url1"), "<none>");
  EXPECT_EQ(regText(CString(kTypedUrlsAsideKey), u"url1"), "http://host/");

  CRegistry(typed, true, true).setString(u"url1", CString(u"http://user/"));
  EXPECT_TRUE(cache->depersonalize());
  EXPECT_EQ(readBytes(alphaFolder() / "TypedURLs.dat"), std::string("h\0t\0t\0p\0:\0/\0/\0u\0s\0e\0r\0/\0\0\0", 26));
  EXPECT_TRUE(cache->restore());
  EXPECT_EQ(differences(before, registryState()), std::vector<std::string>{});

  // Next login the file's list is the user's.
  ASSERT_TRUE(cache->backup());
  EXPECT_TRUE(cache->personalize());
  EXPECT_EQ(regText(typed, u"url1"), "http://user/");
  EXPECT_EQ(regText(typed, u"url2"), "<none>");
  EXPECT_TRUE(cache->restore());  // a logout that never wrote back still gets the host's list
  EXPECT_EQ(differences(before, registryState()), std::vector<std::string>{});
}

// The merge after a run: the drive's addresses the host lacks are appended once, and the file
// then holds the whole list; a file cut short is read as far as it goes.
TEST_F(RegistryKeyTest, TypedUrlsMergeWithoutDuplicates) {
  installHost();
  CHistoryCacheCustomizer cache;
  const CString typed(kTypedUrlsKey);
  CRegistry(typed, true, true).setString(u"url1", CString(u"http://a/"));
  CRegistry(typed, true, true).setString(u"url2", CString(u"http://b/"));
  fs::create_directories(alphaFolder());
  ASSERT_TRUE(typedurls::writeFile(CString(u"E:\\Synchronized Computers\\ALPHA\\TypedURLs.dat"),
                                   {CString(u"http://b/"), CString(u"http://c/"), CString(u"http://c/")}, false));
  std::string bytes = readBytes(alphaFolder() / "TypedURLs.dat");
  writeBytes(alphaFolder() / "TypedURLs.dat", bytes + std::string("h\0t", 3));
  EXPECT_TRUE(cache.postExecuteSyncOps(self(), 1));
  EXPECT_EQ(regText(typed, u"url1"), "http://a/");
  EXPECT_EQ(regText(typed, u"url2"), "http://b/");
  EXPECT_EQ(regText(typed, u"url3"), "http://c/");
  EXPECT_EQ(regText(typed, u"url4"), "<none>");
  std::vector<CString> stored;
  ASSERT_TRUE(typedurls::readFile(CString(u"E:\\Synchronized Computers\\ALPHA\\TypedURLs.dat"), stored));
  EXPECT_EQ(stored, (std::vector<CString>{CString(u"http://a/"), CString(u"http://b/"), CString(u"http://c/")}));
  // The containers went to the drive for this computer with the key save.
  EXPECT_TRUE(keyExists(joinPath(cache.getCurrentPrefsKey(), CString(u"Extensible Cache"))));
}

// Recent documents: entries that appeared since backup go at leave-no-trace, the others stay;
// without a backup snapshot nothing is deleted and the step fails.
TEST_F(RegistryKeyTest, RecentDocumentsLeaveNoTrace) {
  installHost();
  CRecentDocsCustomizer recent;
  const CString folder = CFolderLookup::getRecentPath();
  ASSERT_TRUE(createDirectoryTree(folder));
  ASSERT_TRUE(copyFileOp(CString(u"C:\\Kipo.html"), joinPath(folder, CString(u"old.lnk"))));
  EXPECT_FALSE(recent.leaveNoTrace());
  EXPECT_TRUE(fileExists(joinPath(folder, CString(u"old.lnk"))));

  ASSERT_TRUE(recent.backup());
  ASSERT_TRUE(copyFileOp(CString(u"C:\\Kipo.html"), joinPath(folder, CString(u"new.lnk"))));
  EXPECT_TRUE(recent.leaveNoTrace());
  EXPECT_TRUE(fileExists(joinPath(folder, CString(u"old.lnk"))));
  EXPECT_FALSE(fileExists(joinPath(folder, CString(u"new.lnk"))));
}

// A host whose browser visited two sites and whose office programs keep recent files: a first
// run carries it all to the drive, then a login, a run and a logout over every registry snap-in
// leave the host's registry and files as they were before the login.
TEST_F(RegistryKeyTest, LoginSyncLogoutLeavesTheHostAsItWas) {
  installHost();
  browse("http://www.example.org/a");
  browse("https://shop.example.net/cart");
  CRegistry(CString(kBrowserMainKey), true, true).setString(u"Start Page", CString(u"http://start.example.org/"));
  CRegistry(CString(kUrlHistoryKey), true, true).setDword(u"DaysToKeep", 20);
  CRegistry(CString(u"HKEY_CURRENT_USER\\Software\\Microsoft\\Office\\11.0\\Excel\\Recent Files"), true, true)
      .setString(u"File1", CString(u"C:\\book.xls"));
  const BYTE settings[] = {1, 2, 3, 0, 5};
  CRegistry(CString(u"HKEY_CURRENT_USER\\Software\\Microsoft\\Office\\11.0\\Word\\Data"), true, true)
      .setBinary(u"Settings", settings, sizeof settings);
  const CString recent = CFolderLookup::getRecentPath();
  ASSERT_TRUE(createDirectoryTree(recent));
  writeBytes(host.c("recent.lnk"), "shortcut");
  ASSERT_TRUE(copyFileOp(CString(u"C:\\recent.lnk"), joinPath(recent, CString(u"book.lnk"))));

  RegistryDoc doc;
  doc.setEndOfPassPause(0);
  doc.factory = [](RegistryDoc& d) {
    d.addCustomizer(std::make_unique<CMsWordCustomizer>());
    d.addCustomizer(std::make_unique<CMsExcelCustomizer>());
    d.addCustomizer(std::make_unique<CMsPowerPointCustomizer>());
    d.addCustomizer(std::make_unique<CHistoryUserCustomizer>());
    d.addCustomizer(std::make_unique<CHistoryShellCustomizer>());
    d.addCustomizer(std::make_unique<CHistoryCacheCustomizer>());
    d.addCustomizer(std::make_unique<CHistoryDaysCustomizer>());
    d.addCustomizer(std::make_unique<CHomePageCustomizer>());
    d.addCustomizer(std::make_unique<CRecentDocsCustomizer>());
    d.addCustomizer(std::make_unique<CCookiesCustomizer>());
  };
  doc.loadFromDevice();
  ASSERT_EQ(doc.getCustomizerCount(), 10);

  // The first run from this host.
  doc.getSpaceMan().requestSynchronization(kSyncBothWays, nullptr, nullptr);
  pump();
  EXPECT_TRUE(fs::is_regular_file(alphaFolder() / "Cookies.tar"));
  EXPECT_TRUE(fs::is_directory(alphaFolder() / "History" / "History.IE5"));
  EXPECT_EQ(
      readBytes(alphaFolder() / "TypedURLs.dat").size(),
      (std::string("https://shop.example.net/cart").size() + 1 + std::string("http://www.example.org/a").size() + 1) *
          2);
  CHomePageCustomizer probe;
  EXPECT_EQ(regText(probe.getComputerPrefsKey(self()), u"Start Page"), "http://start.example.org/");

  // The host changes before the user comes: the login shows the user's values, not these.
  CRegistry(CString(kBrowserMainKey), true, true).setString(u"Start Page", CString(u"http://host.example.org/"));
  CRegistry(CString(kTypedUrlsKey), false, true).deleteKey();
  CRegistry(CString(kTypedUrlsKey), true, true).setString(u"url1", CString(u"http://host.example.org/"));
  const auto registryBefore = registryState();
  const auto filesBefore = sessiontest::fileState(host.c());

  ASSERT_TRUE(doc.personalize());
  EXPECT_EQ(regText(CString(kBrowserMainKey), u"Start Page"), "http://start.example.org/");
  EXPECT_EQ(regText(CString(kTypedUrlsKey), u"url1"), "https://shop.example.net/cart");
  EXPECT_EQ(regText(CString(kTypedUrlsKey), u"url2"), "http://www.example.org/a");
  EXPECT_EQ(regText(CString(kUserShellFoldersKey), u"Cookies"), utf8(CCookiesCustomizer::getPersonalizedFolder()));
  EXPECT_EQ(regText(CString(kUserShellFoldersKey), u"History"), "E:\\Synchronized Computers\\ALPHA\\History");
  CStringArray cookies;
  listFolder(CCookiesCustomizer::getPersonalizedFolder(), cookies, false);
  EXPECT_EQ(cookies.GetSize(), 2);
  writeBytes(host.c("recent.lnk"), "new shortcut");
  ASSERT_TRUE(copyFileOp(CString(u"C:\\recent.lnk"), joinPath(recent, CString(u"opened.lnk"))));
  writeBytes(host.c("recent.lnk"), "shortcut");

  doc.getSpaceMan().requestSynchronization(kSyncBothWays, nullptr, nullptr);
  pump();

  ASSERT_TRUE(doc.depersonalize());
  // On purpose: a key snap-in whose key the host lacked leaves it behind empty (PowerPoint has
  // kept no recent files on this host).
  EXPECT_EQ(differences(registryBefore, registryState()),
            (std::vector<std::string>{"new: HKEY_CURRENT_USER\\Software\\Microsoft\\Office\\11.0\\PowerPoint",
                                      "new: HKEY_CURRENT_USER\\Software\\Microsoft\\Office\\11.0\\PowerPoint\\"
                                      "Recent File List"}));
  EXPECT_EQ(differences(filesBefore, sessiontest::fileState(host.c())), std::vector<std::string>{});
  std::vector<CString> stored;
  ASSERT_TRUE(typedurls::readFile(CString(u"E:\\Synchronized Computers\\ALPHA\\TypedURLs.dat"), stored));
  EXPECT_EQ(stored.size(), 2u);
}

}  // namespace
