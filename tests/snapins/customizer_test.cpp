// The snap-in base: what backup, personalize and restore do by source state, the per-host values
// under localPrefs and what a missing value leaves, and the per-computer preferences (defaults
// without a pref file, one record per profile object, every profile tried on load).
#include "snapins/customizer.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "app/preference_file.h"
#include "app/registry.h"
#include "tests/snapins/snapin_fixture.h"

namespace {

namespace fs = std::filesystem;
using snapintest::Journal;
using snapintest::SnapinTest;
using snapintest::TestSnapin;

const char16_t* const kSnapinKey = u"HKEY_CURRENT_USER\\Software\\Brackwater\\Kipo\\localPrefs\\Snapins\\Wallpaper";
const char16_t* const kAlphaPrefs =
    u"HKEY_CURRENT_USER\\Software\\Brackwater\\Kipo\\Prefs\\Synchronized Computers\\ALPHA\\Wallpaper";

class CustomizerTest : public SnapinTest {
 protected:
  // Gives the store a pref file, so reads come from the registry.
  void createPrefFile() {
    fs::create_directories(computersFolder());
    writeBytes(computersFolder() / "customizer.pref", "");
  }
};

// Backup and personalize act only from source state 2 on; only a personalize that acts marks
// the host as personalized.
TEST_F(CustomizerTest, SourceStateDecidesBackupAndPersonalize) {
  struct Case {
    int state;
    bool acts;
  };
  for (Case c : {Case{0, false}, Case{1, false}, Case{2, true}, Case{3, true}}) {
    SCOPED_TRACE(c.state);
    CRegistry(CString(kSnapinKey), true, true).deleteKey();
    TestSnapin snapin(journal, u"Wallpaper");
    snapin.sourceState = c.state;
    EXPECT_EQ(snapin.backup(), c.acts);
    EXPECT_EQ(snapin.personalize(), c.acts);
    EXPECT_EQ(regText(kSnapinKey, u"personalized"), c.acts ? "true" : "<none>");
    EXPECT_EQ(snapin.isPersonalized(), c.acts);
    // Restore always succeeds and clears the mark.
    EXPECT_TRUE(snapin.restore());
    EXPECT_EQ(regText(kSnapinKey, u"personalized"), "false");
  }
}

// A missing value leaves the cache as it was; an unreadable one too. lastRestoreSucceeded reads
// as succeeded on a host that never ran a restore.
TEST_F(CustomizerTest, MissingLocalValuesKeepWhatWasKnown) {
  TestSnapin snapin(journal, u"Wallpaper");
  EXPECT_TRUE(snapin.getLastRestoreSucceeded());
  EXPECT_FALSE(snapin.isPersonalized());

  ASSERT_TRUE(snapin.setPersonalized(true));
  CRegistry key(CString(kSnapinKey), true, true);
  ASSERT_TRUE(key.deleteValue(u"personalized"));
  EXPECT_TRUE(snapin.isPersonalized());  // cache kept
  ASSERT_TRUE(CRegistry(CString(kSnapinKey), true, true).setString(u"personalized", CString(u"maybe")));
  EXPECT_TRUE(snapin.isPersonalized());
  ASSERT_TRUE(CRegistry(CString(kSnapinKey), true, true).setString(u"personalized", CString(u"FALSE")));
  EXPECT_FALSE(snapin.isPersonalized());

  ASSERT_TRUE(snapin.setLastRestoreSucceeded(false));
  EXPECT_EQ(regText(kSnapinKey, u"lastRestoreSucceeded"), "false");
  EXPECT_FALSE(snapin.getLastRestoreSucceeded());
}

TEST_F(CustomizerTest, KeysAndFoldersAreNamedAfterTheSnapin) {
  TestSnapin snapin(journal, u"Wallpaper");
  EXPECT_EQ(utf8(snapin.getLocalPrefsKey()), utf8(CString(kSnapinKey)));
  EXPECT_EQ(utf8(snapin.getComputerPrefsKey(self())), utf8(CString(kAlphaPrefs)));
  EXPECT_EQ(utf8(snapin.getCurrentPrefsKey()), utf8(CString(kAlphaPrefs)));
  EXPECT_EQ(utf8(snapin.getComputerFolder(self())), "E:\\Synchronized Computers\\ALPHA\\Wallpaper");
  EXPECT_EQ(utf8(snapin.getComputerPrefsKey(nullptr)), "");
}

// One record per profile object, kept; without a pref file a read gives the defaults, with one it
// reads "synchronize" and a missing value leaves the flag; a write stores it under the computer.
TEST_F(CustomizerTest, PrefsPerComputer) {
  TestSnapin snapin(journal, u"Wallpaper");
  CSystemProfile* alpha = self();
  CCustomizerPrefs& prefs = snapin.getPrefs(alpha);
  EXPECT_TRUE(prefs.synchronize);
  EXPECT_EQ(&snapin.getPrefs(alpha), &prefs);
  CSystemProfile other;
  EXPECT_NE(&snapin.getPrefs(&other), &prefs);

  snapin.setSynchronized(alpha, false);
  ASSERT_TRUE(snapin.savePrefs(alpha));
  EXPECT_EQ(regText(kAlphaPrefs, u"synchronize"), "false");

  // No pref file: the defaults, whatever the registry says.
  ASSERT_TRUE(snapin.loadPrefs(alpha));
  EXPECT_TRUE(snapin.isSynchronized(alpha));
  EXPECT_TRUE(snapin.hasDefaultPrefs(alpha));

  createPrefFile();
  ASSERT_TRUE(snapin.loadPrefs(alpha));
  EXPECT_FALSE(snapin.isSynchronized(alpha));
  EXPECT_FALSE(snapin.hasDefaultPrefs(alpha));
  ASSERT_TRUE(CRegistry(CString(kAlphaPrefs), true, true).deleteValue(u"synchronize"));
  ASSERT_TRUE(snapin.loadPrefs(alpha));
  EXPECT_FALSE(snapin.isSynchronized(alpha));  // left as it was
  snapin.setDefaultPrefs(alpha);
  EXPECT_TRUE(snapin.isSynchronized(alpha));

  EXPECT_FALSE(prefs.read(alpha, nullptr));
  EXPECT_FALSE(prefs.write(alpha, nullptr));
}

// A prefs record whose read fails for one computer: the load goes on with the later ones.
class FlakyPrefs : public CCustomizerPrefs {
 public:
  bool read(CSystemProfile* profile, CCustomizer* customizer) override {
    reads.push_back(profile);
    if (profile == failing) return false;
    return CCustomizerPrefs::read(profile, customizer);
  }
  static inline std::vector<CSystemProfile*> reads;
  static inline CSystemProfile* failing = nullptr;
};

class FlakySnapin : public TestSnapin {
 public:
  using TestSnapin::TestSnapin;
  CCustomizerPrefs& getPrefs(CSystemProfile* profile) override { return mine[profile]; }
  std::map<CSystemProfile*, FlakyPrefs> mine;
};

TEST_F(CustomizerTest, LoadAllPrefsTriesEveryComputer) {
  auto& profiles = getProfileDatabase().profiles();
  for (const char16_t* name : {u"BETA", u"GAMMA"}) {
    auto profile = std::make_unique<CSystemProfile>();
    profile->m_computerName = CString(name);
    profile->m_nickname = CString(name);
    profiles.push_back(std::move(profile));
  }
  ASSERT_EQ(profiles.size(), 3u);
  FlakySnapin snapin(journal, u"Wallpaper");
  FlakyPrefs::reads.clear();
  FlakyPrefs::failing = profiles[1].get();
  EXPECT_FALSE(snapin.loadAllPrefs());
  EXPECT_EQ(FlakyPrefs::reads, (std::vector<CSystemProfile*>{profiles[0].get(), profiles[1].get(), profiles[2].get()}));
  FlakyPrefs::failing = nullptr;
  EXPECT_TRUE(snapin.loadAllPrefs());
  EXPECT_TRUE(snapin.saveAllPrefs());
  EXPECT_EQ(regText(u"HKEY_CURRENT_USER\\Software\\Brackwater\\Kipo\\Prefs\\Synchronized Computers\\GAMMA\\Wallpaper",
                    u"synchronize"),
            "true");
}

}  // namespace
