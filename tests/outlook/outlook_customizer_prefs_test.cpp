// The Outlook snap-in's per-computer preferences: the records' stored form and their round trip,
// the defaults the customization file gives, a damaged or short record list, and the Inbox
// switch of the synchronize dialog.
#include "outlook/outlook_customizer_prefs.h"

#include <gtest/gtest.h>

#include "app/customization.h"
#include "app/registry.h"
#include "tests/outlook/outlook_snapin_fixture.h"

namespace {

using outlooktest::OutlookSnapinTest;

constexpr const char16_t* kSnapinKey =
    u"HKEY_CURRENT_USER\\Software\\Brackwater\\Kipo\\Prefs\\Synchronized Computers\\ALPHA\\Outlook";

class OutlookPrefsTest : public OutlookSnapinTest {
 protected:
  OutlookPrefsTest() {
    // The store reads what the drive's pref file brought; without the file it gives defaults.
    std::filesystem::create_directories(computersFolder());
    writeBytes(computersFolder() / "customizer.pref", "");
    makeDocument<>();
  }
  ~OutlookPrefsTest() override { COutlookCustomizerPrefs::setCustomization(nullptr); }

  // A customization listing these special folders: (name, include recent, recursive, days).
  void customize(const std::vector<CDefaultSyncSetting>& settings) {
    config.defaultSettings = settings;
    COutlookCustomizerPrefs::setCustomization(&config);
  }
  static std::string recordValue(int index, const char16_t* name) {
    CString key;
    key.Format(u"%s\\OutlookSyncPref%d", CString(kSnapinKey), index);
    return regText(key.GetString(), name);
  }
  static std::string paths(const COutlookCustomizerPrefs& prefs) {
    std::string out;
    for (const auto& record : prefs.records()) out += utf8(record->itemPath) + ";";
    return out;
  }

  CU3CustomConfig config;
};

// Records written and read back compare equal, in order, folder ids included; the stored names
// and types are the ones the drive keeps; a shorter list written later leaves no old records.
TEST_F(OutlookPrefsTest, RecordsReadBackAsWritten) {
  COutlookCustomizerPrefs written;
  written.synchronize = false;
  auto add = [&](const char16_t* path, const char16_t* id) {
    written.records().push_back(std::make_unique<COutlookFolderSyncPref>(CString(path), CString(id)));
    return written.records().back().get();
  };
  COutlookFolderSyncPref* inbox = add(u"Inbox", u"00AB");
  inbox->includeRecentItems = true;
  inbox->daysOld = 0xFFFFFFFF;
  COutlookFolderSyncPref* projects = add(u"Projects\nOld", u"");
  projects->recursive = false;
  projects->synchronize = false;
  projects->limitAttachmentSize = true;
  projects->maxAttachmentSizeKb = 5000000;
  projects->conflictResolution = COutlookFolderSyncPref::kSourceWins;
  add(u"Calendar", u"00CD")->conflictResolution = COutlookFolderSyncPref::kTargetWins;
  ASSERT_TRUE(written.write(self(), outlook));

  EXPECT_EQ(regText(kSnapinKey, kSynchronizeValue), "false");
  CRegistry snapin{CString(kSnapinKey)};
  DWORD count = 0;
  DWORD type = 0;
  ASSERT_TRUE(snapin.getDword(u"numOutlookSyncPrefs", count));
  EXPECT_EQ(count, 3u);
  EXPECT_EQ(recordValue(1, u"itemPath"), "Projects\nOld");
  EXPECT_EQ(recordValue(1, u"recursive"), "false");
  EXPECT_EQ(recordValue(1, u"limitAttachmentSize"), "true");
  EXPECT_EQ(recordValue(0, u"folderId"), "00AB");
  CRegistry second{CString(kSnapinKey) + u"\\OutlookSyncPref1"};
  for (const char16_t* name : {u"daysOld", u"maxAttachmentSizeKb", u"conflictResolution"}) {
    ASSERT_TRUE(second.getValueType(name, type));
    EXPECT_EQ(type, static_cast<DWORD>(REG_DWORD)) << utf8(CString(name));
  }

  COutlookCustomizerPrefs read;
  ASSERT_TRUE(read.read(self(), outlook));
  EXPECT_FALSE(read.synchronize);
  ASSERT_EQ(read.records().size(), 3u);
  for (size_t i = 0; i < 3; ++i) {
    EXPECT_EQ(*read.records()[i], *written.records()[i]) << i;
    EXPECT_EQ(read.records()[i]->folderId, written.records()[i]->folderId) << i;
  }

  written.records().pop_back();
  ASSERT_TRUE(written.write(self(), outlook));
  EXPECT_FALSE(keyExists((CString(kSnapinKey) + u"\\OutlookSyncPref2").GetString()));
  ASSERT_TRUE(read.read(self(), outlook));
  EXPECT_EQ(paths(read), "Inbox;Projects\nOld;");
}

// The customization decides the default records: only the special folders it lists, in the
// fixed order, with its settings and the drive winning a conflict. A record whose folder id alone
// differs still counts as default.
TEST_F(OutlookPrefsTest, TheCustomizationMakesTheDefaults) {
  {
    COutlookCustomizerPrefs none;
    EXPECT_TRUE(none.defaultRecords().empty());
    none.setDefaults();
    EXPECT_TRUE(none.records().empty());
    EXPECT_TRUE(none.isDefault());
  }
  customize({{CString(u"IDS_SPECIAL_FOLDER_INBOX"), CString(u"true"), CString(u"false"), CString(u"7")},
             {CString(u"IDS_SPECIAL_FOLDER_CALENDAR"), CString(u"false"), CString(u"true"), CString(u"0")},
             {CString(u"My Documents"), CString(u"true"), CString(u"true"), CString(u"30")}});
  COutlookCustomizerPrefs prefs;
  EXPECT_FALSE(prefs.isDefault()) << "no records yet";
  prefs.setDefaults();
  ASSERT_EQ(paths(prefs), "Calendar;Inbox;");
  const COutlookFolderSyncPref& inbox = *prefs.records()[1];
  EXPECT_TRUE(inbox.includeRecentItems);
  EXPECT_FALSE(inbox.recursive);
  EXPECT_EQ(inbox.daysOld, 7u);
  EXPECT_EQ(inbox.conflictResolution, COutlookFolderSyncPref::kTargetWins);
  EXPECT_TRUE(prefs.isDefault());
  prefs.records()[1]->folderId = CString(u"00AB");
  EXPECT_TRUE(prefs.isDefault());
  prefs.records()[1]->daysOld = 8;
  EXPECT_FALSE(prefs.isDefault());
  prefs.setDefaults();
  prefs.synchronize = false;
  EXPECT_FALSE(prefs.isDefault());
}

// What a stored list can hold: no count gives the defaults; a count of 0 gives no records and no
// defaults; a record key missing inside the count gives a default record and false; a count far
// past the records (a damaged file) reads the records there are and stops.
TEST_F(OutlookPrefsTest, AStoredListIsReadAsFarAsItGoes) {
  customize({{CString(u"IDS_SPECIAL_FOLDER_INBOX"), CString(u"false"), CString(u"true"), CString(u"30")}});
  CRegistry snapin(CString(kSnapinKey), true, true);
  snapin.setBool(kSynchronizeValue, true);
  COutlookCustomizerPrefs prefs;
  ASSERT_TRUE(prefs.read(self(), outlook));
  EXPECT_EQ(paths(prefs), "Inbox;");

  snapin.setDword(u"numOutlookSyncPrefs", 0);
  ASSERT_TRUE(prefs.read(self(), outlook));
  EXPECT_TRUE(prefs.records().empty());

  CRegistry(CString(kSnapinKey) + u"\\OutlookSyncPref0", true, true).setText(u"itemPath", u"Drafts");
  CRegistry(CString(kSnapinKey) + u"\\OutlookSyncPref2", true, true).setText(u"itemPath", u"Notes");
  snapin.setDword(u"numOutlookSyncPrefs", 3);
  EXPECT_FALSE(prefs.read(self(), outlook));
  EXPECT_EQ(paths(prefs), "Drafts;;Notes;");
  EXPECT_EQ(*prefs.records()[1], COutlookFolderSyncPref());
  EXPECT_EQ(prefs.records()[2]->daysOld, 30u) << "an unreadable value keeps its default";

  snapin.setDword(u"numOutlookSyncPrefs", 0xFFFFFFFF);
  EXPECT_FALSE(prefs.read(self(), outlook));
  EXPECT_EQ(paths(prefs), "Drafts;;Notes;");
}

// The synchronize dialog's Inbox switch: the Inbox record's flag and day window; without one,
// enabling appends an Inbox record (the Inbox's default when there is one, never another
// folder's), disabling changes nothing.
TEST_F(OutlookPrefsTest, TheInboxSwitchAlwaysEndsOnTheInbox) {
  customize({{CString(u"IDS_SPECIAL_FOLDER_CALENDAR"), CString(u"false"), CString(u"true"), CString(u"0")},
             {CString(u"IDS_SPECIAL_FOLDER_INBOX"), CString(u"false"), CString(u"false"), CString(u"30")}});
  COutlookCustomizerPrefs prefs;
  EXPECT_TRUE(prefs.setInboxSync(false, 5, false));
  EXPECT_TRUE(prefs.records().empty()) << "nothing to switch off";

  EXPECT_TRUE(prefs.setInboxSync(true, 5, false));
  ASSERT_EQ(paths(prefs), "Inbox;");
  EXPECT_FALSE(prefs.records()[0]->recursive) << "the Inbox's own default";
  EXPECT_TRUE(prefs.records()[0]->includeRecentItems);
  EXPECT_EQ(prefs.records()[0]->daysOld, 5u);

  EXPECT_TRUE(prefs.setInboxSync(true, 0xFFFFFFFF, false));
  EXPECT_FALSE(prefs.records()[0]->includeRecentItems);
  EXPECT_EQ(prefs.records()[0]->daysOld, 4294967295u);
  EXPECT_TRUE(prefs.setInboxSync(false, 0, true));
  EXPECT_FALSE(prefs.records()[0]->synchronize);
  EXPECT_EQ(prefs.records()[0]->daysOld, 4294967295u) << "flag only";

}

// Without any Inbox default the appended record is a plain Inbox record; the snap-in's calls
// reach the computer's own list.
TEST_F(OutlookPrefsTest, WithoutDefaultsTheInboxIsAddedPlain) {
  COutlookCustomizerPrefs prefs;
  prefs.records().push_back(std::make_unique<COutlookFolderSyncPref>(CString(u"Calendar")));
  EXPECT_TRUE(prefs.setInboxSync(true, 3, false));
  ASSERT_EQ(paths(prefs), "Calendar;Inbox;");
  COutlookFolderSyncPref expected(CString(u"Inbox"));
  expected.includeRecentItems = true;
  expected.daysOld = 3;
  EXPECT_EQ(*prefs.records()[1], expected);
}

}  // namespace
