// The Outlook settings and signature snap-ins on a host with Outlook and the drive's file: the
// nickname file of Outlook 2002 goes to the product's profile beside the host's own, of Outlook
// 2000 for Internet mail only in place of the host's (moved aside and back); the file carried back
// after a run is the one the login put in place; Exchange logins are left alone. Signatures are
// parked and put back byte for byte; a host without a signatures folder gets none back, also
// after a crash; a run carries the signatures back only while the login holds the host.
#include "outlook/outlook_settings_customizer.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>

#include "app/folder_lookup.h"
#include "app/registry.h"
#include "outlook/outlook_install.h"
#include "outlook/outlook_signature_customizer.h"
#include "platform/host/paths.h"
#include "snapins/file_synchronizer.h"
#include "snapins/host_recovery.h"
#include "tests/outlook/outlook_snapin_fixture.h"

namespace {

namespace fs = std::filesystem;
using outlooktest::OutlookSnapinTest;

class OutlookFilesTest : public OutlookSnapinTest {
 protected:
  static fs::path linuxPath(const CString& windowsPath) {
    return platform::host::resolvePath(std::u16string(windowsPath.GetString())).linux;
  }
  static fs::path outlookFolder() { return linuxPath(COutlookSettingMoveAside::getOutlookFolder()); }
  fs::path deviceOutlook() const { return drive / "Synchronized Computers" / "ALPHA" / "Outlook"; }
  static void put(const fs::path& file, const std::string& bytes) {
    fs::create_directories(file.parent_path());
    writeBytes(file, bytes);
  }
  static std::string contents(const fs::path& file) { return fs::exists(file) ? readBytes(file) : "<none>"; }
  static std::map<std::string, std::string> tree(const fs::path& folder) {
    std::map<std::string, std::string> files;
    if (!fs::exists(folder)) return files;
    for (const auto& e : fs::recursive_directory_iterator(folder))
      if (e.is_regular_file()) files[fs::relative(e.path(), folder).generic_string()] = readBytes(e.path());
    return files;
  }

  COutlookSettingsCustomizer* settings() { return snapin<COutlookSettingsCustomizer>(kOutlookSettingsCustomizerName); }
};

// Outlook 2002: the host's "Work.nk2" stays in place; the drive's "Outlook.nk2" becomes "Kipo.nk2"
// (the product profile's file); a run carries back "Kipo.nk2" as Outlook left it, never the host
// user's own file; restore only clears the mark.
TEST_F(OutlookFilesTest, Outlook2002GetsTheDrivesNicknamesBesideTheHostsOwn) {
  setOutlook("2002");
  addProfile("Work", "C:\\work.pst", true);
  makeDevicePst();
  put(outlookFolder() / "Work.nk2", "host nicknames");
  put(deviceOutlook() / "Outlook.nk2", "user nicknames");
  put(deviceOutlook() / "Outlook.fav", "user favourites");
  makeDocument<COutlookSettingsCustomizer>();
  COutlookSettingsCustomizer& s = *settings();
  EXPECT_FALSE(s.isOwnProfileMode());

  EXPECT_TRUE(s.backup());
  EXPECT_FALSE(fs::exists(outlookFolder() / "qx_Work.nk2"));
  outlook->setPersonalized(true);
  EXPECT_TRUE(s.personalize());
  EXPECT_EQ(contents(outlookFolder() / "Kipo.nk2"), "user nicknames");
  EXPECT_EQ(contents(outlookFolder() / "Work.nk2"), "host nicknames");
  EXPECT_FALSE(fs::exists(outlookFolder() / "Kipo.fav")) << "favourites never go onto the host";

  put(outlookFolder() / "Kipo.nk2", "nicknames of the session");
  EXPECT_TRUE(s.postCalculateSyncOps(1));
  EXPECT_TRUE(s.postExecuteSyncOps(self(), 1));
  EXPECT_EQ(contents(deviceOutlook() / "Outlook.nk2"), "nicknames of the session");

  EXPECT_TRUE(s.depersonalize());
  EXPECT_FALSE(fs::exists(outlookFolder() / "Kipo.nk2"));
  EXPECT_TRUE(s.restore());
  EXPECT_FALSE(s.isPersonalized());
  EXPECT_EQ(contents(outlookFolder() / "Work.nk2"), "host nicknames");

  // Not logged in: a run carries nothing, so the host user's file never reaches the drive.
  EXPECT_TRUE(s.postExecuteSyncOps(self(), 1));
  EXPECT_EQ(contents(deviceOutlook() / "Outlook.nk2"), "nicknames of the session");
}

// Outlook 2000 for Internet mail only: the host's files of the source profile are moved to "qx_"
// names, the drive's nicknames take their place, the favourites are not put there, and restore
// moves the host's files back.
TEST_F(OutlookFilesTest, InternetMailOnlyOutlookHasItsFilesMovedAsideAndBack) {
  setOutlook("2000", true);
  addProfile("Mail", "C:\\mail.pst", true);
  makeDevicePst();
  put(outlookFolder() / "Mail.nk2", "host nicknames");
  put(outlookFolder() / "Mail.fav", "host favourites");
  put(deviceOutlook() / "Outlook.nk2", "user nicknames");
  put(deviceOutlook() / "Outlook.fav", "user favourites");
  makeDocument<COutlookSettingsCustomizer>();
  COutlookSettingsCustomizer& s = *settings();
  EXPECT_TRUE(s.isOwnProfileMode());

  EXPECT_TRUE(s.backup());
  EXPECT_EQ(contents(outlookFolder() / "qx_Mail.nk2"), "host nicknames");
  EXPECT_EQ(contents(outlookFolder() / "qx_Mail.fav"), "host favourites");
  outlook->setPersonalized(true);
  EXPECT_TRUE(s.personalize());
  EXPECT_EQ(contents(outlookFolder() / "Mail.nk2"), "user nicknames");
  EXPECT_FALSE(fs::exists(outlookFolder() / "Mail.fav"));
  EXPECT_FALSE(fs::exists(outlookFolder() / "Kipo.nk2"));

  EXPECT_TRUE(s.depersonalize());
  EXPECT_TRUE(s.restore());
  EXPECT_EQ(contents(outlookFolder() / "Mail.nk2"), "host nicknames");
  EXPECT_EQ(contents(outlookFolder() / "Mail.fav"), "host favourites");
  EXPECT_FALSE(fs::exists(outlookFolder() / "qx_Mail.nk2"));
}

// A login through Exchange, a login computer without the drive file, or a document without the
// Outlook snap-in: backup and personalize leave the host's files alone.
TEST_F(OutlookFilesTest, TheSettingsStandBackWhenNotCarryingTheDriveFile) {
  setOutlook("2000", true);
  addProfile("Mail", "C:\\mail.pst", true);
  put(outlookFolder() / "Mail.nk2", "host nicknames");
  put(deviceOutlook() / "Outlook.nk2", "user nicknames");
  for (const char* name : {"no drive file", "exchange", "no Outlook snap-in"}) {
    SCOPED_TRACE(name);
    const std::string which = name;
    if (which == "no Outlook snap-in") {
      makeDocumentWithoutOutlook<COutlookSettingsCustomizer>();
    } else {
      if (which == "exchange") makeDevicePst();
      makeDocument<COutlookSettingsCustomizer>();
      outlook->setPersonalized(true);
      outlook->setExchangeMode(which == "exchange");
    }
    EXPECT_FALSE(settings()->isApplicable());
    EXPECT_TRUE(settings()->backup());
    EXPECT_TRUE(settings()->personalize());
    EXPECT_EQ(contents(outlookFolder() / "Mail.nk2"), "host nicknames");
    EXPECT_FALSE(fs::exists(outlookFolder() / "qx_Mail.nk2"));
    doc.reset();
  }
}

// Outlook installed without any mail profile: every phase reads the host's default profile name,
// and reading it must not make the profiles key (nor its parents) that the host never had.
TEST_F(OutlookFilesTest, AnOutlookWithoutProfilesIsLeftWithoutAProfilesKey) {
  setOutlook("2003");
  const CString profiles = getOutlookProfilesRegkey();
  const CString messaging = profiles.Left(profiles.ReverseFind(u'\\'));
  ASSERT_FALSE(CRegistry(messaging).isOpen());
  for (const bool driveFile : {false, true}) {
    SCOPED_TRACE(driveFile ? "with the drive file" : "without the drive file");
    if (driveFile) makeDevicePst();
    makeDocument<COutlookSettingsCustomizer>();
    COutlookSettingsCustomizer& s = *settings();
    EXPECT_EQ(getDefaultProfile(), CString());
    EXPECT_TRUE(s.backup());
    outlook->setPersonalized(true);
    EXPECT_TRUE(s.personalize());
    EXPECT_TRUE(s.postCalculateSyncOps(1));
    EXPECT_TRUE(s.depersonalize());
    EXPECT_TRUE(s.restore());
    EXPECT_FALSE(CRegistry(messaging).isOpen());
    doc.reset();
  }
}

// ---- signatures ----

class SignatureTest : public OutlookFilesTest {
 protected:
  void SetUp() override {
    setOutlook("2003");
    addProfile("Work", "C:\\work.pst", true);
    makeDevicePst();
  }
  static fs::path signatures() { return linuxPath(COutlookSignatureCustomizer::getSignaturesFolder()); }
  static fs::path parked() { return linuxPath(COutlookSignatureCustomizer::getBackupFolder()); }
  fs::path deviceSignatures() const { return drive / "Synchronized Computers" / "ALPHA" / "Signatures"; }
  COutlookSignatureCustomizer* signature() {
    return snapin<COutlookSignatureCustomizer>(kOutlookSignatureCustomizerName);
  }

  // A run of this computer with the signature synchronizer alone; the plan executed.
  void run() {
    CSpaceMan& man = doc->getSpaceMan();
    CSpaceRecord record(&man, signature(), self(), {&signature()->getSynchronizer()});
    ASSERT_EQ(signature()->getSynchronizer().calculateSyncOps(&record, kSyncHostToDrive), kSyncDone);
    for (const auto& op : man.getRunList()) EXPECT_EQ(op->execute(kSyncHostToDrive), kSyncDone);
    man.freeSyncOps();
  }
};

// The host's folder is parked and comes back byte for byte; the login sees the drive's
// signatures only; a run carries the session's signatures to the drive.
TEST_F(SignatureTest, TheHostsSignaturesAreParkedAndComeBack) {
  put(signatures() / "Host.htm", "host signature");
  put(signatures() / "Host_files" / "logo.png", "logo");
  put(deviceSignatures() / "User.htm", "user signature");
  const auto before = tree(signatures());
  makeDocument<COutlookSignatureCustomizer>();
  COutlookSignatureCustomizer& s = *signature();

  EXPECT_EQ(s.getSourceState(), kSourceNothing) << "not yet parked";
  EXPECT_TRUE(s.backup());
  EXPECT_EQ(tree(parked()), before);
  EXPECT_EQ(s.getSourceState(), kSourcePresent);
  EXPECT_TRUE(s.personalize());
  EXPECT_EQ(tree(signatures()), (std::map<std::string, std::string>{{"User.htm", "user signature"}}));

  put(signatures() / "New.htm", "written during the login");
  run();
  EXPECT_EQ(tree(deviceSignatures()), (std::map<std::string, std::string>{{"New.htm", "written during the login"},
                                                                          {"User.htm", "user signature"}}));

  EXPECT_TRUE(s.restore());
  EXPECT_EQ(tree(signatures()), before);
  EXPECT_FALSE(fs::exists(parked()));

  // The host user's own signatures never go to the drive.
  run();
  EXPECT_EQ(tree(deviceSignatures()).count("Host.htm"), 0u);
}

// A host without a signatures folder: the login makes one from the drive's copy, and the end of
// the login (or the recovery after a crash) takes it away again.
TEST_F(SignatureTest, AFolderTheHostDidNotHaveGoesAgain) {
  put(deviceSignatures() / "User.htm", "user signature");
  for (const char* how : {"restore", "recovery"}) {
    SCOPED_TRACE(how);
    makeDocument<COutlookSignatureCustomizer>();
    COutlookSignatureCustomizer& s = *signature();
    EXPECT_EQ(s.getSourceState(), kSourcePresent);
    EXPECT_TRUE(s.backup());
    EXPECT_TRUE(s.personalize());
    EXPECT_EQ(tree(signatures()), (std::map<std::string, std::string>{{"User.htm", "user signature"}}));
    if (std::string(how) == "restore") {
      EXPECT_TRUE(s.restore());
    } else {
      doc.reset();
      ::restoreSignatures();
    }
    EXPECT_FALSE(fs::exists(signatures()));
    EXPECT_FALSE(fs::exists(parked()));
    doc.reset();
  }
}

// A parked folder that an unfinished restore left is the host's own: a new backup keeps it as it
// is, and the next restore brings it back.
TEST_F(SignatureTest, AParkedFolderLeftBehindIsNeverCopiedOver) {
  put(parked() / "Host.htm", "host signature");
  put(signatures() / "User.htm", "left by the last login");
  makeDocument<COutlookSignatureCustomizer>();
  EXPECT_TRUE(signature()->backup());
  EXPECT_EQ(tree(parked()), (std::map<std::string, std::string>{{"Host.htm", "host signature"}}));
  EXPECT_TRUE(signature()->restore());
  EXPECT_EQ(tree(signatures()), (std::map<std::string, std::string>{{"Host.htm", "host signature"}}));
}

// Without the drive file (or an Outlook snap-in) the snap-in does nothing and reports itself
// ready; the device space is the computer's signatures folder on the drive.
TEST_F(SignatureTest, NothingHappensWithoutTheDriveFile) {
  put(signatures() / "Host.htm", "host signature");
  put(deviceSignatures() / "User.htm", "user signature");
  fs::remove(drive / "Synchronized Computers" / "ALPHA" / "Outlook" / "Kipo.pst");
  makeDocument<COutlookSignatureCustomizer>();
  EXPECT_TRUE(signature()->backup());
  EXPECT_FALSE(fs::exists(parked()));
  EXPECT_EQ(signature()->getSourceState(), kSourceNothing) << "so the document does not personalize it";
  EXPECT_EQ(contents(signatures() / "Host.htm"), "host signature");
  CSpaceRecord record(&doc->getSpaceMan(), signature(), self(), {});
  EXPECT_GT(signature()->getDeviceSpace(&record), 0u);

  makeDocumentWithoutOutlook<COutlookSignatureCustomizer>();
  EXPECT_EQ(signature()->getSourceState(), kSourceCarry);
  EXPECT_EQ(signature()->getDeviceSpace(&record), 0u);
  EXPECT_FALSE(signature()->isSynchronized(self()));
}

}  // namespace
