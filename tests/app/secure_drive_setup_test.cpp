// Switching password protection on and removing it after a forgotten password, on a drive of the
// OPDSL.dll stand-in: the questions, the saved log and customization file, the program put on the
// public area, the new area opened, and a refusal that leaves the drive as it was.
#include "app/secure_drive_setup.h"

#include <gtest/gtest.h>

#include "app/device_sdk.h"
#include "app/file_util.h"
#include "app/folder_lookup.h"
#include "app/lingrove.h"
#include "app/secure_drive_services.h"
#include "lang/ids.h"
#include "platform/base/clock.h"
#include "platform/base/text.h"
#include "platform/host/device_tree.h"
#include "platform/host/secure_area.h"
#include "platform/afx/afxwin.h"
#include "platform/win32/win32.h"
#include "tests/app/app_fixture.h"
#include "tests/app/maker_drive.h"
#include "tests/support/ui_script.h"

namespace {

using apptest::AppTest;
namespace fs = std::filesystem;
namespace host = platform::host;

constexpr char16_t kSerial[] = u"OTI0002";

class SetupServices : public CSecureDriveServices {
 public:
  SetupServices() { setSecureDriveServices(this); }
  ~SetupServices() override { setSecureDriveServices(nullptr); }
  CDeviceSdk* getDeviceSdk() override { return sdk; }
  CString getCustomizationFilePath() override { return u"E:\\kipo.xml"; }
  void endProgram(UINT) override { ended = true; }
  CDeviceSdk* sdk = nullptr;
  bool ended = false;
};

class SecureDriveSetupTest : public AppTest {
 protected:
  // The program always has its application object; the framework's message pump runs on it.
  CWinApp application{u"Kipo"};
  SecureDriveSetupTest() {
    installLanguages({"USA"});
    language = std::make_unique<Lingrove>(CString(u"USA"), FALSE);
    fs::copy_file(KIPO_OPDSL_MODULE, programFolder() / "OPDSL.dll", fs::copy_options::overwrite_existing);
    publicFolder = kipotest::freshTempDir("public");
    secureFolder = kipotest::freshTempDir("secure");
    CFolderLookup::setDevicePathSource([] { return CString(u"E:\\"); });
    // The program's saved copy in the product's folder on the host.
    const CString productFolder = CFolderLookup::getProductAppDataPath();
    CreateDirectoryW(getParentFolder(productFolder), nullptr);
    CreateDirectoryW(productFolder, nullptr);
    writeFile(productFolder + u"\\QX2.sav", "program");
  }
  ~SecureDriveSetupTest() override { CFolderLookup::setDevicePathSource(nullptr); }

  // Plugs E: (4096 MB) with the log, the customization file and a data file on it.
  void plug(bool secure) {
    writeBytes(publicFolder / "Kipo.html", "log");
    writeBytes(publicFolder / "kipo.xml", "<customization/>");
    writeBytes(publicFolder / "data.txt", "data");
    host::PlugRequest r = apptest::makerDrive(publicFolder, kSerial, 4096000000ull);
    if (secure) {
      r.secureFolder = secureFolder;
      r.hintField = encodeDeviceField(u"forgotten", true);
    }
    host::plugDrive(r);
    setLogPath(u"E:\\Kipo.html");
    sdk = std::make_unique<COtiSdk>();
    services.sdk = sdk.get();
  }
  static void writeFile(const CString& path, const std::string& bytes) {
    HANDLE file = CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    DWORD written = 0;
    WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(file);
  }
  static bool isFile(const fs::path& folder, const char* name) { return fs::is_regular_file(folder / name); }
  host::SecureAreaDrive drive() const { return host::secureAreaDrive(kSerial).value(); }
  std::vector<std::string> boxTexts() const {
    std::vector<std::string> texts;
    for (const MessageBoxRequest& b : boxes) texts.push_back(utf8(b.text));
    return texts;
  }

  std::unique_ptr<Lingrove> language;
  platform::clock::VirtualClock clock;
  SetupServices services;
  std::unique_ptr<COtiSdk> sdk;
  fs::path publicFolder, secureFolder;
};

TEST_F(SecureDriveSetupTest, SwitchingProtectionOnMovesTheFilesIntoTheNewArea) {
  plug(false);
  ASSERT_TRUE(changeSecureAreaPassword(sdk.get(), u"first", CString()));
  EXPECT_EQ(drive().secureMb, 2038u);
  EXPECT_TRUE(drive().open);
  // The public area: the program and the files copied back right after formatting.
  EXPECT_EQ(readBytes(publicFolder / "Kipo.exe"), "program");
  EXPECT_FALSE(isFile(publicFolder, "data.txt"));
  EXPECT_TRUE(isFile(publicFolder, "kipo.xml"));
  // The secure area, open now, holds the log and the customization file.
  const fs::path secureRoot = drive().secureRoot;
  EXPECT_EQ(readBytes(secureRoot / "kipo.xml"), "<customization/>");
  EXPECT_TRUE(isFile(secureRoot, "Kipo.html"));
  ASSERT_EQ(boxes.size(), 3u);
  const auto texts = boxTexts();
  EXPECT_NE(texts[0].find("To switch password protection on, Kipo must reformat the DaroriDede storage of your USB device"),
            std::string::npos);
  EXPECT_EQ(boxes[0].style & MB_ICONMASK, static_cast<UINT>(MB_ICONWARNING));
  EXPECT_NE(boxes[0].style & MB_SYSTEMMODAL, 0u);
  EXPECT_EQ(boxes[0].language, 9);
  EXPECT_NE(texts[1].find("All files on your USB device will be erased"), std::string::npos);
  EXPECT_NE(texts[2].find("Password protection is now on. Kipo has been placed"), std::string::npos);
}

TEST_F(SecureDriveSetupTest, ADriveHoldingOnlyTheProgramIsNotAskedAbout) {
  plug(false);
  fs::remove(publicFolder / "Kipo.html");
  fs::remove(publicFolder / "kipo.xml");
  fs::remove(publicFolder / "data.txt");
  writeBytes(publicFolder / "Kipo.exe", "program");
  EXPECT_TRUE(isPublicAreaOnly(u"E:\\"));
  ASSERT_TRUE(changeSecureAreaPassword(sdk.get(), u"first", CString()));
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_NE(boxTexts()[0].find("Password protection is now on"), std::string::npos);
}

TEST_F(SecureDriveSetupTest, RefusingEitherQuestionChangesNothing) {
  plug(false);
  for (int refused : {0, 1}) {
    SCOPED_TRACE(refused);
    boxes.clear();
    answers = refused == 0 ? std::deque<int>{IDNO} : std::deque<int>{IDYES, IDNO};
    EXPECT_FALSE(changeSecureAreaPassword(sdk.get(), u"first", CString()));
    EXPECT_EQ(boxes.size(), static_cast<std::size_t>(refused + 1));
    EXPECT_EQ(drive().secureMb, 0u);
    EXPECT_TRUE(isFile(publicFolder, "data.txt"));
  }
  EXPECT_FALSE(changeSecureAreaPassword(nullptr, u"first", CString()));
}

TEST_F(SecureDriveSetupTest, PublicAreaOnlyNeedsExactlyTheProgram) {
  plug(false);
  struct Case {
    std::vector<const char*> files;
    bool only;
  };
  const Case cases[] = {{{"Kipo.exe"}, true}, {{"kipo.exe"}, false}, {{"Kipo.exe", "x.txt"}, false}, {{}, false}};
  for (const Case& c : cases) {
    for (const auto& entry : fs::directory_iterator(publicFolder)) fs::remove_all(entry.path());
    for (const char* f : c.files) writeBytes(publicFolder / f, "x");
    EXPECT_EQ(isPublicAreaOnly(u"E:\\"), c.only) << c.files.size();
  }
}

TEST_F(SecureDriveSetupTest, ForgottenPasswordRemovesTheAreaAndCanProtectAgain) {
  plug(true);
  ASSERT_TRUE(sdk->hasSecureArea());
  kipotest::UiScript ui;
  ui.dialog(IDD_ENABLE_PASSWORD).check(IDC_EP_PASSWORD, 1).click(IDOK)
      .dialog(IDD_FIRST_PASSWORD).type(IDC_PW_NEW, u"again").type(IDC_PW_CONFIRM, u"again").click(IDOK);
  ASSERT_TRUE(reformatSecureDrive(sdk.get()));
  ui.verify();
  // Removed, then protected again with the new password.
  EXPECT_EQ(drive().secureMb, 2038u);
  EXPECT_TRUE(drive().open);
  EXPECT_EQ(sdk->getStoredPassword(), CString(u"again"));
  EXPECT_EQ(readBytes(publicFolder / "Kipo.exe"), "program");
  EXPECT_TRUE(isFile(secureFolder, "Kipo.html"));
  const auto texts = boxTexts();
  ASSERT_GE(texts.size(), 2u);
  EXPECT_NE(texts[0].find("To remove the password protection, Kipo must reformat"), std::string::npos);
}

TEST_F(SecureDriveSetupTest, ForgottenPasswordWithoutProtectingAgain) {
  plug(true);
  kipotest::UiScript ui;
  ui.dialog(IDD_ENABLE_PASSWORD).check(IDC_EP_NO_PASSWORD, 1).click(IDOK);
  ASSERT_TRUE(reformatSecureDrive(sdk.get()));
  EXPECT_EQ(drive().secureMb, 0u);
  EXPECT_FALSE(sdk->hasSecureArea());
  EXPECT_EQ(readBytes(publicFolder / "Kipo.html"), "log");
  EXPECT_EQ(readBytes(publicFolder / "kipo.xml"), "<customization/>");
  EXPECT_FALSE(isFile(publicFolder, "data.txt"));
  EXPECT_EQ(boxes.size(), 2u);
}

TEST_F(SecureDriveSetupTest, ForgottenPasswordRefusedKeepsTheArea) {
  plug(true);
  answers = {IDNO};
  EXPECT_FALSE(reformatSecureDrive(sdk.get()));
  EXPECT_GT(drive().secureMb, 0u);
  EXPECT_TRUE(isFile(publicFolder, "data.txt"));
  // The log was saved to the host all the same.
  for (const char16_t* name : {u"\\Kipo.html", u"\\kipo.xml"})
    EXPECT_NE(GetFileAttributesW(CFolderLookup::getProductAppDataPath() + name), INVALID_FILE_ATTRIBUTES);
}

}  // namespace
