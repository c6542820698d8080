// Halvern's commands on the host and the device: the product's registry tree removed with all its
// subkeys, the device's per-computer folders removed after the question, the default key
// container deleted, the per-computer folders moved into the document folder; the command
// interpreter runs the folder commands.
#include <gtest/gtest.h>

#include "platform/win32/crypt.h"
#include "tests/U3/halvern/halvern_fixture.h"
#include "tests/support/faults.h"

namespace {

using namespace halverntest;

class CommandsTest : public HalvernTest {
 protected:
  static void setKey(const std::u16string& path) {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    const char16_t data[] = u"x";
    RegSetValueExW(key, u"v", 0, REG_SZ, reinterpret_cast<const BYTE*>(data), sizeof data);
    RegCloseKey(key);
  }
  static bool keyExists(const std::u16string& path) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    RegCloseKey(key);
    return true;
  }
};

TEST_F(CommandsTest, HostCleanUpDeletesTheWholeTree) {
  for (const char16_t* path : {u"Software\\Brackwater\\Kipo\\Settings\\Deep\\Deeper", u"Software\\Brackwater\\Kipo\\A",
                               u"Software\\Brackwater\\Other", u"Software\\Neighbour"})
    setKey(path);
  EXPECT_EQ(run(u"-hostCleanUp"), kHalvernOk);
  EXPECT_FALSE(keyExists(u"Software\\Brackwater"));
  EXPECT_TRUE(keyExists(u"Software\\Neighbour"));
  EXPECT_TRUE(boxes.empty());
  // Gone already: the information box, and success.
  EXPECT_EQ(run(u"-C"), kHalvernOk);
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(text(boxes[0].text), "Unable to remove the Kipo Windows registry entries - Key not found.\n");
  EXPECT_EQ(boxes[0].style, static_cast<UINT>(MB_ICONINFORMATION));
}

TEST_F(CommandsTest, AKeyThatWillNotGoFailsWithTheWarning) {
  setKey(u"Software\\Brackwater\\Kipo\\Settings");
  kipotest::failCall("RegDeleteKeyW", ERROR_ACCESS_DENIED, u"HKEY_CURRENT_USER\\Software\\Brackwater\\Kipo\\Settings");
  EXPECT_EQ(run(u"-c"), kHalvernFailed);
  platform::fault::clearLocal();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(text(boxes[0].text), "Unable to remove the Kipo Windows registry entries.");
  EXPECT_EQ(boxes[0].style, static_cast<UINT>(MB_ICONWARNING));
  EXPECT_TRUE(keyExists(u"Software\\Brackwater\\Kipo\\Settings"));
}

TEST_F(CommandsTest, DeviceUninstallAsksThenRemovesTheFolder) {
  host.write("Device Docs/Synchronized Computers/ALPHA/file.txt");
  host.write("Device Docs/Kipo Synchronized Computers/keep.txt");
  // Without the variable: the literal box.
  EXPECT_EQ(run(u"-d"), kHalvernFailed);
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(text(boxes[0].text), "Unable to get U3_DEVICE_PATH environment variable.");
  EXPECT_EQ(boxes[0].style, static_cast<UINT>(MB_ICONERROR));

  for (const char16_t* path : {u"C:\\Device Docs", u"C:\\Device Docs\\"}) {
    SCOPED_TRACE(toUtf8(path));
    host.write("Device Docs/Synchronized Computers/ALPHA/file.txt");
    SetEnvironmentVariableW(u"U3_DEVICE_DOCUMENT_PATH", path);
    boxes.clear();
    answers = {IDNO};
    EXPECT_EQ(run(u"-deviceUninstall"), kHalvernOk);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].style, 0x124u);
    EXPECT_TRUE(host.isDir("Device Docs/Synchronized Computers/ALPHA"));

    answers = {IDYES};
    EXPECT_EQ(run(u"-d"), kHalvernOk);
    ASSERT_EQ(boxes.size(), 3u);
    EXPECT_EQ(text(boxes[2].text), "Your 'computer environments created by Kipo' have been removed from your U3 smart drive successfully.");
    EXPECT_EQ(boxes[2].style, static_cast<UINT>(MB_ICONINFORMATION));
    EXPECT_TRUE(host.gone("Device Docs/Synchronized Computers"));
  }
  // Nothing there: no question, no box. The old product's folder name is not ours.
  boxes.clear();
  EXPECT_EQ(run(u"-d"), kHalvernOk);
  EXPECT_TRUE(boxes.empty());
  EXPECT_TRUE(host.isFile("Device Docs/Kipo Synchronized Computers/keep.txt"));
  SetEnvironmentVariableW(u"U3_DEVICE_DOCUMENT_PATH", nullptr);
}

TEST_F(CommandsTest, AnInterpreterThatCannotStartIsReported) {
  host.write("Docs/Synchronized Computers/ALPHA/file.txt");
  SetEnvironmentVariableW(u"U3_DEVICE_DOCUMENT_PATH", u"C:\\Docs");
  kipotest::failCall("CreateProcessW", ERROR_FILE_NOT_FOUND);
  answers = {IDYES};
  std::string out;
  EXPECT_EQ(run(u"-d", &out), kHalvernFailed);
  platform::fault::clearLocal();
  SetEnvironmentVariableW(u"U3_DEVICE_DOCUMENT_PATH", nullptr);
  EXPECT_EQ(out, "CreateProcess failed (2).\n");
  ASSERT_EQ(boxes.size(), 2u);
  EXPECT_EQ(text(boxes[1].text),
            "Your 'computer environments created by Kipo' could not be removed from your U3 smart drive; an error occurred.");
  EXPECT_TRUE(host.isFile("Docs/Synchronized Computers/ALPHA/file.txt"));
}

TEST_F(CommandsTest, RemoveKeyContainerDeletesTheDefaultContainer) {
  HCRYPTPROV provider = 0;
  ASSERT_TRUE(CryptAcquireContextW(&provider, nullptr, nullptr, PROV_RSA_FULL, CRYPT_NEWKEYSET));
  CryptReleaseContext(provider, 0);
  std::string out;
  EXPECT_EQ(run(u"RemoveKeyContainer", &out), kHalvernOk);
  EXPECT_EQ(out, "A default key container has been removed.\n");
  EXPECT_TRUE(boxes.empty());
  EXPECT_FALSE(CryptAcquireContextW(&provider, nullptr, nullptr, PROV_RSA_FULL, 0));
  // None left to delete: the error box.
  EXPECT_EQ(run(u"removekeycontainer", &out), kHalvernFailed);
  EXPECT_EQ(out, "");
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(text(boxes[0].text), "An error occurred while removing the Microsoft crypto key container.");
}

TEST_F(CommandsTest, UpgradeMovesTheComputersIntoTheDocumentFolder) {
  host.write("Dev/Synchronized Computers/ALPHA/a.txt", "alpha");
  fs::create_directories(host.c("Dev/Documents"));
  SetEnvironmentVariableW(u"U3_DEVICE_PATH", u"C:\\Dev");
  SetEnvironmentVariableW(u"U3_DEVICE_DOCUMENT_PATH", u"C:\\Dev\\Documents\\");
  EXPECT_EQ(run(u"-UpgradeKipo"), kHalvernOk);
  EXPECT_EQ(host.read("Dev/Documents/Synchronized Computers/ALPHA/a.txt"), "alpha");
  EXPECT_TRUE(host.gone("Dev/Synchronized Computers"));

  // A target already there: nothing moves.
  host.write("Dev/Synchronized Computers/BETA/b.txt", "beta");
  EXPECT_EQ(run(u"-upgradekipo"), kHalvernOk);
  EXPECT_EQ(host.read("Dev/Synchronized Computers/BETA/b.txt"), "beta");
  EXPECT_TRUE(host.gone("Dev/Documents/Synchronized Computers/BETA"));
  // A file of that name is not a folder to move.
  fs::remove_all(host.c("Dev/Documents/Synchronized Computers"));
  fs::remove_all(host.c("Dev/Synchronized Computers"));
  host.write("Dev/Synchronized Computers", "file");
  EXPECT_EQ(run(u"-UpgradeKipo"), kHalvernOk);
  EXPECT_TRUE(host.isFile("Dev/Synchronized Computers"));
  EXPECT_TRUE(host.gone("Dev/Documents/Synchronized Computers"));
  EXPECT_TRUE(boxes.empty());
  SetEnvironmentVariableW(u"U3_DEVICE_PATH", nullptr);
  SetEnvironmentVariableW(u"U3_DEVICE_DOCUMENT_PATH", nullptr);
}

}  // namespace
