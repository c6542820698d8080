// The folder lookup and the installer: shell folders from the registry, the per-drive folders
// named by the drive's serial, the autostart value's exact bytes, and copying the program onto a
// drive with its version check and the stored computers of the host's installation.
#include "app/folder_lookup.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "app/customizer_exception.h"
#include "app/installer.h"
#include "platform/base/text.h"
#include "tests/app/profiles_fixture.h"

namespace {

namespace fs = std::filesystem;
using apptest::ProfilesTest;

const char16_t* const kUserShellFolders =
    u"HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders";
const char16_t* const kShellFolders =
    u"HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
const char16_t* const kRun = u"HKEY_CURRENT_USER\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
const char16_t* const kUserInstall = u"HKEY_CURRENT_USER\\Software\\Brackwater\\Kipo\\install";
const char16_t* const kMachineInstall = u"HKEY_LOCAL_MACHINE\\SOFTWARE\\Brackwater\\Kipo\\install";

class FolderLookupTest : public ProfilesTest {
 protected:
  static std::string profileFolder() {
    return "C:\\Documents and Settings\\" +
           platform::host::Host::current().fact(platform::host::fact::UserName);
  }
  static std::string appData() { return profileFolder() + "\\Application Data"; }
};

TEST_F(FolderLookupTest, ShellAndProductFolders) {
  // The template host keeps "%USERPROFILE%\Application Data" in "User Shell Folders".
  EXPECT_EQ(utf8(CFolderLookup::getShellFolder(CString(u"AppData"))), appData());
  // An empty value there: the expanded "Shell Folders" value stands in.
  CRegistry(CString(kUserShellFolders), true, true).setString(u"Personal", CString());
  CRegistry(CString(kShellFolders), true, true).setString(u"Personal", CString(u"D:\\Docs"));
  EXPECT_EQ(utf8(CFolderLookup::getShellFolder(CString(u"Personal"))), "D:\\Docs");
  EXPECT_EQ(utf8(CFolderLookup::getShellFolder(CString(u"NoSuchFolder"))), "");

  struct Case {
    CString (*lookup)();
    std::string path;
  };
  const std::string company = appData() + "\\Brackwater";
  const Case cases[] = {
      {&CFolderLookup::getCompanyAppDataPath, company},
      {&CFolderLookup::getProductAppDataPath, company + "\\Kipo"},
      {&CFolderLookup::getBackupPath, company + "\\Backup2"},
      {&CFolderLookup::getDeviceSerialText, "5eed0001"},
      {&CFolderLookup::getDeviceBackupPath, company + "\\Backup2\\5eed0001"},
      {&CFolderLookup::getDeviceSpecificPath, company + "\\DeviceSpecific\\5eed0001"},
      {&CFolderLookup::getPersonalizePath, company + "\\DeviceSpecific\\5eed0001\\Personalize"},
      {&CFolderLookup::getSynchronizePath, company + "\\DeviceSpecific\\5eed0001\\Synchronize"},
      {&CFolderLookup::getDevicePath, "E:\\"},
      {&CFolderLookup::getSynchronizedComputersPath, "E:\\Synchronized Computers"},
      {&CFolderLookup::getProgramFolder, "C:\\Program Files\\Kipo"},
      {&CFolderLookup::getFavoritesName, "Favorites"},
      {&CFolderLookup::getDesktopPath, profileFolder() + "\\Desktop"},
      {&CFolderLookup::getFavoritesPath, profileFolder() + "\\Favorites"},
  };
  for (const Case& c : cases) EXPECT_EQ(utf8(c.lookup()), c.path);
}

TEST_F(FolderLookupTest, SerialOfAnUnreadableDrive) {
  CFolderLookup::setDevicePathSource([] { return CString(u"Q:\\"); });  // no such drive
  EXPECT_EQ(utf8(CFolderLookup::getDeviceSerialText()), "00000000");
  EXPECT_EQ(utf8(CFolderLookup::getDeviceBackupPath()), appData() + "\\Brackwater\\Backup2\\00000000");
  CRegistry(CString(kUserInstall), true, true).setDword(u"deviceSerialNumber", 0xABC);
  EXPECT_EQ(utf8(CFolderLookup::getDeviceSerialText()), "00000abc");
}

TEST_F(FolderLookupTest, SynchronizedComputersAndInstallPath) {
  EXPECT_EQ(CFolderLookup::countSynchronizedComputers(), 0);
  fs::create_directories(computersFolder() / "ALPHA");
  fs::create_directories(computersFolder() / "BETA");
  writeBytes(computersFolder() / "customizer.pref", "x");
  EXPECT_EQ(CFolderLookup::countSynchronizedComputers(), 2);

  EXPECT_EQ(utf8(CFolderLookup::getInstallPath()), "");
  CRegistry(CString(kUserInstall), true, true).setString(u"installPath", CString(u"C:\\User Kipo"));
  EXPECT_EQ(utf8(CFolderLookup::getInstallPath()), "C:\\User Kipo");
  CRegistry(CString(kMachineInstall), true, true).setString(u"installPath", CString(u"C:\\Program Files\\Kipo"));
  EXPECT_EQ(utf8(CFolderLookup::getInstallPath()), "C:\\Program Files\\Kipo");
}

TEST_F(FolderLookupTest, TemporaryFolderIsCreated) {
  CString temp = CFolderLookup::getTempFolder();
  EXPECT_EQ(utf8(temp), profileFolder() + "\\Local Settings\\Temp\\Kipo");
  EXPECT_TRUE(host.isDir("Documents and Settings/" +
                         platform::host::Host::current().fact(platform::host::fact::UserName) +
                         "/Local Settings/Temp/Kipo"));
  EXPECT_EQ(utf8(CFolderLookup::getTempFolder()), utf8(temp));
}

TEST_F(FolderLookupTest, AutostartValueBytes) {
  EXPECT_FALSE(CInstaller::hasAutostart());
  EXPECT_TRUE(CInstaller::removeAutostart());  // nothing to remove is success
  ASSERT_TRUE(CInstaller::addAutostart());
  EXPECT_TRUE(CInstaller::hasAutostart());

  HKEY run = nullptr;
  ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run", 0, KEY_READ, &run),
            ERROR_SUCCESS);
  BYTE data[1024];
  std::memset(data, 0xbd, sizeof data);
  DWORD size = sizeof data;
  DWORD type = 0xdeadbeef;
  ASSERT_EQ(RegQueryValueExW(run, u"Kipo", nullptr, &type, data, &size), ERROR_SUCCESS);
  RegCloseKey(run);
  const std::u16string command =
      platform::text::fromUtf8("\"" + appData() + "\\Brackwater\\Kipo\\Kipo.exe\" /launch");
  std::string expected(reinterpret_cast<const char*>(command.data()), command.size() * 2);
  expected.append(2, '\0');  // the terminating NUL of a REG_SZ
  EXPECT_EQ(type, DWORD(REG_SZ));
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(data), size), expected);

  EXPECT_TRUE(CInstaller::removeAutostart());
  EXPECT_FALSE(CInstaller::hasAutostart());
  EXPECT_EQ(regText(kRun, u"Kipo"), "<none>");
}

class CopyAppTest : public FolderLookupTest {
 protected:
  CopyAppTest() {
    // The running program and its spare copy: both of the own version.
    fs::create_directories(programFolder());
    fs::copy_file(fixture("own"), programFolder() / "Kipo.exe");
    fs::copy_file(fixture("own"), programFolder() / "QX2.sav");
  }
  static fs::path fixture(const char* name) {
    return fs::path(KIPO_INSTALLER_FIXTURES) / (std::string("installer_") + name + ".exe");
  }
};

TEST_F(CopyAppTest, VersionCheck) {
  struct Case {
    const char* name;
    const char* onDrive;  // fixture name, "text" for a file without a version block, "" for none
    bool checkVersion;
    bool replaced;
  };
  const Case cases[] = {
      {"no program on the drive", "", true, true},
      {"older program", "older", true, true},
      {"newer program kept", "newer", true, false},
      {"newer program, no check", "newer", false, true},
      {"program of the same version", "own", true, true},
      {"no version block", "text", true, true},
  };
  const std::string own = readBytes(fixture("own"));
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fs::remove(drive / "Kipo.exe");
    std::string before;
    if (std::string(c.onDrive) == "text")
      writeBytes(drive / "Kipo.exe", before = "not a program");
    else if (*c.onDrive)
      writeBytes(drive / "Kipo.exe", before = readBytes(fixture(c.onDrive)));
    std::size_t mark = logBytes().size();
    EXPECT_TRUE(copyAppToPath(CString(u"E:\\"), false, c.checkVersion));
    EXPECT_EQ(readBytes(drive / "Kipo.exe"), c.replaced ? own : before);
    const auto lines = linesSince(mark);
    const bool logged = !lines.empty() &&
                        lines[0] == "{INSTALLER}: copyAppToPath failed to determine file version of E:\\Kipo.exe";
    EXPECT_EQ(logged, std::string(c.onDrive) == "text");
  }
  EXPECT_TRUE(CInstaller::isAppInstalledAt(CString(u"E:\\")));
  EXPECT_FALSE(CInstaller::isAppInstalledAt(CString(u"C:\\")));
  EXPECT_TRUE(boxes.empty());
}

TEST_F(CopyAppTest, MissingSpareCopy) {
  fs::remove(programFolder() / "QX2.sav");
  EXPECT_FALSE(copyAppToPath(CString(u"E:\\"), true, true));
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(utf8(boxes[0].text),
            "Unable to copy the program file\nC:\\Program Files\\Kipo\\QX2.sav\nto\nE:\\Kipo.exe");
  EXPECT_FALSE(fs::exists(computersFolder()));
}

TEST_F(CopyAppTest, TakesTheInstallationsComputers) {
  // No install path: the drive gets the program only, and the user hears why.
  EXPECT_TRUE(copyAppToPath(CString(u"E:\\"), true, false));
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_NE(utf8(boxes[0].text).find("installation folder of Kipo"), std::string::npos);
  EXPECT_FALSE(fs::exists(computersFolder()));

  host.write("Kipo Install/Synchronized Computers/ALPHA/TypedURLs.dat", "urls");
  CRegistry(CString(kMachineInstall), true, true).setString(u"installPath", CString(u"C:\\Kipo Install"));
  boxes.clear();
  // A newer program on the drive stays, and the computers are still taken.
  writeBytes(drive / "Kipo.exe", readBytes(fixture("newer")));
  EXPECT_TRUE(copyAppToPath(CString(u"E:\\"), true, true));
  EXPECT_EQ(readBytes(drive / "Kipo.exe"), readBytes(fixture("newer")));
  EXPECT_EQ(readBytes(computersFolder() / "ALPHA" / "TypedURLs.dat"), "urls");
  EXPECT_TRUE(boxes.empty());

  // A drive that has its own computers keeps them.
  host.write("Kipo Install/Synchronized Computers/BETA/x", "b");
  EXPECT_TRUE(copyAppToPath(CString(u"E:\\"), true, true));
  EXPECT_FALSE(fs::exists(computersFolder() / "BETA"));
}

}  // namespace
