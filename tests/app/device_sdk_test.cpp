// The secure-drive layer: the encoded password field, the device-information parser, the
// password comparison and sizes, and (against the OPDSL.dll stand-in on a plugged drive) the
// login, logout, password change, protection and removal flows.
#include "app/device_sdk.h"

#include <gtest/gtest.h>

#include <string>

#include "app/lingrove.h"
#include "app/secure_drive_services.h"
#include "lang/ids.h"
#include "platform/base/clock.h"
#include "platform/host/device_tree.h"
#include "platform/host/secure_area.h"
#include "platform/win32/win32.h"
#include "tests/app/app_fixture.h"
#include "tests/app/maker_drive.h"

namespace {

using apptest::AppTest;

// Records what the layer asks of the main program; ending the program is recorded, not done.
class RecordingServices : public CSecureDriveServices {
 public:
  RecordingServices() { setSecureDriveServices(this); }
  ~RecordingServices() override { setSecureDriveServices(nullptr); }
  void endProgram(UINT exitCode) override { endedWith = static_cast<int>(exitCode); }
  int endedWith = -1;
};

TEST(DeviceField, EncodesAsComputedByHand) {
  struct Case {
    const char16_t* text;
    bool encrypt;
    const char* field;
  };
  // Plain: the UTF-16LE bytes in Base64 ("kpo" = 6B 00 70 00 6F 00). Encrypted: the first 16
  // bytes (zero-padded) AES-128-encrypted with the key "QuillFernMossOak", computed apart from
  // this code; bytes after the 16th stay plain ("i\0j\0" = "aQBqAA" at the end).
  const Case cases[] = {
      {u"kpo", false, "awBwAG8A"},
      {u"", false, ""},
      {u"pw1", true, "tVVijoUITCDHpEbAvV9ieQ=="},
      {u"abcdefghij", true, "NEiCzf/KUon7NGGh2lMn02kAagA="},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.field));
    EXPECT_EQ(encodeDeviceField(c.text, c.encrypt), c.field);
    CString back;
    ASSERT_TRUE(decodeDeviceField(c.field, c.encrypt, back));
    EXPECT_EQ(back, CString(c.text));
  }
}

// The drive's library takes a device password of three capital letters or digits, and a drive
// plugged without one carries the program's.
TEST(DeviceField, FixedDevicePasswordIsThreeCapitalsOrDigits) {
  const std::u16string password = kDevicePassword;
  ASSERT_EQ(password.size(), 3u);
  for (char16_t c : password) EXPECT_TRUE((c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9')) << int(c);
  EXPECT_EQ(password, std::u16string(platform::host::kFactoryDevicePassword));
}

TEST(DeviceField, RefusesFieldsThatAreNotBase64) {
  for (const char* bad : {"a*bc", "ab=c", "abcde", "====="}) {
    SCOPED_TRACE(bad);
    CString text(u"sentinel");
    EXPECT_FALSE(decodeDeviceField(bad, true, text));
    EXPECT_TRUE(text.IsEmpty());
  }
}

TEST(DeviceField, ResultCodeTexts) {
  EXPECT_EQ(otiResultText(264), CString(u"Password error three times, replug device."));
  EXPECT_EQ(otiResultText(2), CString(u"No Device"));
  EXPECT_TRUE(otiResultText(100).IsEmpty());
}

// A COtiSdk on a host without the library: every library call fails and logs, so the parser
// and the pure queries can be checked on their own. Waits pass at once on the virtual clock.
class DeviceInfoTest : public AppTest {
 protected:
  DeviceInfoTest() { createLog(); }
  platform::clock::VirtualClock clock;
  RecordingServices services;
};

CString block(int index, const CString& tags) {
  CString text;
  text.Format(u"<otidevice%d>%s</otidevice%d>", index, tags, index);
  return text;
}

TEST_F(DeviceInfoTest, BlocksZeroAndTwoWithoutOneGiveTheFieldsOfBlockTwo) {
  COtiSdk sdk;
  const CString hint(encodeDeviceField(u"secret", true).c_str());
  sdk.parseDeviceInfo(block(0, u"<otivid>0EA0</otivid><otipid>2469</otipid><otisn>AAA</otisn><otiallcapa>1000</otiallcapa>"
                               u"<otisecurity>0</otisecurity><otilun2>0</otilun2><otidrive>E</otidrive>") +
                      block(2, u"<otisn>CCC</otisn><otiallcapa>4096</otiallcapa><otisecurity>2038</otisecurity>"
                               u"<otilun2>8</otilun2><otipwhint>" + hint + u"</otipwhint><otidrive>F</otidrive>"));
  EXPECT_EQ(sdk.getSerialNumber(), CString(u"CCC"));
  EXPECT_EQ(sdk.getDriveLetter(), CString(u"F"));
  EXPECT_EQ(sdk.getDrivePath(), CString(u"F:\\"));
  // Tags block 2 lacks keep block 0's values.
  EXPECT_EQ(sdk.getVendorId(), CString(u"0EA0"));
  EXPECT_EQ(sdk.getProductId(), CString(u"2469"));
  EXPECT_EQ(sdk.getStoredPassword(), CString(u"secret"));
  std::uint64_t bytes = 0;
  ASSERT_TRUE(sdk.getCapacity(bytes));
  EXPECT_EQ(bytes, 4096000000ull);
  ASSERT_TRUE(sdk.getSecureAreaSize(bytes));
  EXPECT_EQ(bytes, 2038000000ull);
  ASSERT_TRUE(sdk.getPublicAreaSize(bytes));
  EXPECT_EQ(bytes, 2050000000ull);
  EXPECT_TRUE(sdk.hasSecureArea());
}

TEST_F(DeviceInfoTest, RefusedAndMissingTagsKeepTheirFields) {
  COtiSdk sdk;
  sdk.parseDeviceInfo(block(0, u"<otisn>GOOD</otisn><otidrive>E</otidrive><otiallcapa>512</otiallcapa>"));
  const CString longSerial(u'x', 512);
  struct Case {
    const char* rule;
    CString text;
  };
  const Case cases[] = {
      {"empty text", CString()},
      {"content over 511 characters", block(0, u"<otisn>" + longSerial + u"</otisn>")},
      {"unterminated tag", block(0, u"<otisn>BAD<otidrive>G</otidrive>")},
      {"unterminated block", CString(u"<otidevice0><otisn>BAD</otisn>")},
      {"no block at all", CString(u"<otisn>BAD</otisn>")},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.rule);
    sdk.parseDeviceInfo(c.text);
    EXPECT_EQ(sdk.getSerialNumber(), CString(u"GOOD"));
    EXPECT_EQ(sdk.getCapacityMb(), 512);
  }
  // The tag after an unterminated one is still read.
  EXPECT_EQ(sdk.getDriveLetter(), CString(u"G"));
  // Exactly 511 characters are taken.
  const CString longest(u'y', 511);
  sdk.parseDeviceInfo(block(0, u"<otisn>" + longest + u"</otisn>"));
  EXPECT_EQ(sdk.getSerialNumber(), longest);
  EXPECT_NE(logBytes().find("otisn"), std::string::npos);
}

TEST_F(DeviceInfoTest, HintFieldGivesTheStoredPassword) {
  COtiSdk sdk;
  const CString hint(encodeDeviceField(u"pw", true).c_str());
  sdk.parseDeviceInfo(block(0, u"<otipwhint>" + hint + u"</otipwhint>"));
  EXPECT_EQ(sdk.getStoredPassword(), CString(u"pw"));
  sdk.parseDeviceInfo(block(0, u"<otisn>X</otisn>"));
  EXPECT_EQ(sdk.getStoredPassword(), CString(u"pw"));
  // A field that is not Base64 is refused, not decoded into a password nobody typed.
  sdk.parseDeviceInfo(block(0, u"<otipwhint>not*base64</otipwhint>"));
  EXPECT_EQ(sdk.getStoredPassword(), CString(u"pw"));
  EXPECT_NE(logBytes().find("stored password field is not valid"), std::string::npos);
  sdk.parseDeviceInfo(block(0, u"<otipwhint></otipwhint>"));
  EXPECT_TRUE(sdk.getStoredPassword().IsEmpty());
}

TEST_F(DeviceInfoTest, PasswordsCompareInTheirFirstTwelveCharacters) {
  COtiSdk sdk;
  const CString hint(encodeDeviceField(u"abcdefghijkl-stored", true).c_str());
  sdk.parseDeviceInfo(block(0, u"<otipwhint>" + hint + u"</otipwhint>"));
  struct Case {
    const char16_t* typed;
    bool matches;
  };
  const Case cases[] = {
      {u"abcdefghijkl-stored", true},
      {u"abcdefghijkl-other", true},  // differs only after the 12th character
      {u"abcdefghijkl", true},
      {u"abcdefghijk", false},  // shorter text compares whole
      {u"ABCDEFGHIJKL", false},  // case counts
      {u"", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << apptest::AppTest::utf8(c.typed));
    bool matches = !c.matches;
    EXPECT_TRUE(sdk.checkPassword(c.typed, matches));
    EXPECT_EQ(matches, c.matches);
  }
}

TEST_F(DeviceInfoTest, WithoutTheLibraryEveryCallFailsCleanly) {
  COtiSdk sdk;
  bool flag = true;
  EXPECT_FALSE(sdk.isLoggedOut(flag));
  // No secure area: reported closed without asking the library.
  EXPECT_TRUE(sdk.isLoggedIn(flag));
  EXPECT_FALSE(flag);
  EXPECT_FALSE(sdk.removeSecureArea());
  EXPECT_TRUE(sdk.supportsLogin());
  EXPECT_NE(logBytes().find("OTiDll_IsLogin"), std::string::npos);
}

// ---- Against the OPDSL.dll stand-in ------------------------------------------------------------

namespace host = platform::host;
namespace fs = std::filesystem;

class SecureDriveTest : public AppTest {
 protected:
  static constexpr char16_t kSerial[] = u"OTI0001";

  SecureDriveTest() {
    installLanguages({"USA"});
    language = std::make_unique<Lingrove>(CString(u"USA"), FALSE);
    fs::copy_file(KIPO_OPDSL_MODULE, programFolder() / "OPDSL.dll", fs::copy_options::overwrite_existing);
    createLog();
    publicFolder = kipotest::freshTempDir("public");
    secureFolder = kipotest::freshTempDir("secure");
    writeBytes(publicFolder / "public.txt", "p");
    writeBytes(secureFolder / "secure.txt", "s");
  }

  // Plugs E: as a drive of the maker: with a secure area holding `storedPassword` in its hint
  // field, or without one when `secure` is false.
  void plug(bool secure, const CString& storedPassword = CString(), std::uint64_t capacity = 4096000000ull,
            const char16_t* devicePassword = nullptr) {
    host::PlugRequest r = apptest::makerDrive(publicFolder, kSerial, capacity);
    if (secure) {
      r.secureFolder = secureFolder;
      r.hintField = encodeDeviceField(storedPassword, true);
    }
    if (devicePassword) r.devicePassword = std::u16string(devicePassword);
    host::plugDrive(r);
  }

  host::SecureAreaDrive drive() const { return host::secureAreaDrive(kSerial).value(); }
  static bool shows(const char16_t* file) {
    return GetFileAttributesW(CString(u"E:\\") + file) != INVALID_FILE_ATTRIBUTES;
  }
  bool boxShown(UINT id) const {
    const CString text = loadResString(id);
    EXPECT_FALSE(text.IsEmpty()) << id;
    for (const MessageBoxRequest& b : boxes)
      if (b.text == text) return true;
    return false;
  }

  std::unique_ptr<Lingrove> language;
  platform::clock::VirtualClock clock;
  RecordingServices services;
  fs::path publicFolder, secureFolder;
};

TEST_F(SecureDriveTest, LoginOpensTheAreaAndLogoutClosesIt) {
  plug(true, u"secret");
  COtiSdk sdk;
  // The first report after registration brought the device information.
  EXPECT_EQ(sdk.getSerialNumber(), CString(kSerial));
  EXPECT_EQ(sdk.getDrivePath(), CString(u"E:\\"));
  EXPECT_EQ(sdk.getStoredPassword(), CString(u"secret"));
  EXPECT_EQ(sdk.getCapacityMb(), 4096);
  ASSERT_TRUE(sdk.hasSecureArea());
  EXPECT_TRUE(shows(u"public.txt"));

  bool opened = true;
  // A wrong password fails before the library is asked: the drive counts no wrong password.
  EXPECT_FALSE(sdk.login(u"wrong", opened));
  EXPECT_FALSE(opened);
  EXPECT_EQ(drive().wrongPasswords, 0);
  EXPECT_FALSE(drive().open);

  ASSERT_TRUE(sdk.login(u"secret", opened));
  EXPECT_TRUE(opened);
  EXPECT_TRUE(shows(u"secure.txt"));
  EXPECT_FALSE(shows(u"public.txt"));
  bool state = false;
  EXPECT_TRUE(sdk.isLoggedIn(state));
  EXPECT_TRUE(state);

  // Already open: the caller learns that it is open.
  opened = false;
  EXPECT_TRUE(sdk.login(u"secret", opened));
  EXPECT_TRUE(opened);

  ASSERT_TRUE(sdk.logout());
  EXPECT_TRUE(shows(u"public.txt"));
  EXPECT_TRUE(sdk.isLoggedOut(state));
  EXPECT_TRUE(state);
  // Closing a closed area asks nothing more.
  EXPECT_TRUE(sdk.logout());
  EXPECT_EQ(services.endedWith, -1);
}

TEST_F(SecureDriveTest, ChangePasswordStoresOnlyWhatTheDriveTook) {
  plug(true, u"old-password");
  COtiSdk sdk;
  bool changed = true;
  // Refused without a library call: too long, or a wrong old password.
  EXPECT_FALSE(sdk.changePassword(u"old-password", u"sixteen-chars-16", CString(), changed));
  EXPECT_FALSE(changed);
  EXPECT_FALSE(sdk.changePassword(u"wrong", u"new", CString(), changed));
  EXPECT_FALSE(changed);
  EXPECT_EQ(drive().wrongPasswords, 0);

  ASSERT_TRUE(sdk.changePassword(u"old-password", u"new-password", CString(), changed));
  EXPECT_TRUE(changed);
  EXPECT_EQ(sdk.getStoredPassword(), CString(u"new-password"));
  // The drive keeps the new password, encrypted, as its hint field.
  CString stored;
  ASSERT_TRUE(decodeDeviceField(drive().hintField, true, stored));
  EXPECT_EQ(stored, CString(u"new-password"));
  bool opened = false;
  EXPECT_TRUE(sdk.login(u"new-password", opened));
  EXPECT_TRUE(opened);
}

TEST_F(SecureDriveTest, RefusedChangeKeepsTheOldPasswordAndTheThirdEndsTheProgram) {
  // The drive's device password is not the program's: the library refuses every change.
  plug(true, u"old", 4096000000ull, u"ABC");
  COtiSdk sdk;
  bool changed = true;
  ASSERT_TRUE(sdk.changePassword(u"old", u"new", CString(), changed));
  EXPECT_FALSE(changed);
  EXPECT_EQ(sdk.getStoredPassword(), CString(u"old"));
  ASSERT_TRUE(sdk.changePassword(u"old", u"new", CString(), changed));
  EXPECT_FALSE(changed);
  EXPECT_EQ(services.endedWith, -1);
  // Code 264: message 710, then the program ends with exit code 0.
  sdk.changePassword(u"old", u"new", CString(), changed);
  EXPECT_FALSE(changed);
  EXPECT_EQ(services.endedWith, 0);
  EXPECT_TRUE(boxShown(IDS_OTI_LOCKED_REPLUG));
  EXPECT_EQ(sdk.getStoredPassword(), CString(u"old"));
}

TEST_F(SecureDriveTest, ThirdRefusedLoginReportsCode264) {
  plug(true, u"secret", 4096000000ull, u"ABC");
  COtiSdk sdk;
  bool opened = true;
  EXPECT_FALSE(sdk.login(u"secret", opened));
  EXPECT_TRUE(boxShown(IDS_OTI_OPERATION_FAILED));
  EXPECT_NE(logBytes().find("Old password invalid"), std::string::npos);
  EXPECT_FALSE(sdk.login(u"secret", opened));
  EXPECT_EQ(services.endedWith, -1);
  EXPECT_FALSE(sdk.login(u"secret", opened));
  EXPECT_EQ(services.endedWith, 0);
  EXPECT_TRUE(boxShown(IDS_OTI_LOCKED_REPLUG));
  EXPECT_FALSE(drive().open);
  EXPECT_NE(logBytes().find("OTI login result code: 264"), std::string::npos);
}

TEST_F(SecureDriveTest, FormatCreatesHalfTheDriveLessThePublicArea) {
  plug(false);
  COtiSdk sdk;
  EXPECT_FALSE(sdk.hasSecureArea());
  ASSERT_TRUE(sdk.format(u"first", u"ignored", 10));
  // 4096 MB: 2048 - 10 MB secure (the size the library counts in MB).
  EXPECT_EQ(drive().secureMb, 2038u);
  EXPECT_EQ(sdk.getSecureAreaSizeMb(), 2038);
  EXPECT_TRUE(sdk.hasSecureArea());
  EXPECT_EQ(sdk.getStoredPassword(), CString(u"first"));
  // Formatting empties the visible area.
  EXPECT_FALSE(shows(u"public.txt"));
  bool opened = false;
  ASSERT_TRUE(sdk.login(u"first", opened));
  EXPECT_TRUE(opened);
  EXPECT_TRUE(sdk.logout());

  ASSERT_TRUE(sdk.removeSecureArea());
  EXPECT_EQ(drive().secureMb, 0u);
  EXPECT_FALSE(sdk.hasSecureArea());
  EXPECT_TRUE(sdk.getStoredPassword().IsEmpty());
}

TEST_F(SecureDriveTest, FormatRefusesADriveTooSmallForASecureArea) {
  plug(false, CString(), 15000000ull);
  COtiSdk sdk;
  EXPECT_FALSE(sdk.format(u"first", CString(), 10));
  EXPECT_EQ(drive().secureMb, 0u);
  EXPECT_TRUE(shows(u"public.txt"));
  EXPECT_NE(logBytes().find("Cannot create a secure area"), std::string::npos);
}

TEST_F(SecureDriveTest, NotificationsOfAnotherIdentifierAreIgnored) {
  plug(true, u"secret");
  COtiSdk sdk;
  HWND window = sdk.getNotificationHandle();
  ASSERT_NE(window, nullptr);
  const std::string before = logBytes();
  // An error report under identifier 81 shows nothing and changes nothing.
  SendMessageW(window, 0x0401, 81, MAKELPARAM(264, 0));
  EXPECT_EQ(services.endedWith, -1);
  EXPECT_TRUE(boxes.empty());
  EXPECT_EQ(logBytes(), before);
}

}  // namespace
