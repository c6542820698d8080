// Fennock loaded by the platform's loader and called by name: its fifteen exports under their
// names and ordinals, starting programs, files, the last error's text, devices by name in the
// device tree (only classes the device manager shows), drive letters of disks by name and by
// position, and the iPod exports over the iPod service stand-in.
#include <gtest/gtest.h>

#include <sstream>

#include "platform/host/ipod.h"
#include "tests/fennock/fennock_fixture.h"
#include "tests/support/faults.h"

namespace {

using namespace fennocktest;

constexpr const char* kExports[] = {
    "Fennock_LaunchApp",           "Fennock_CreateFile",           "Fennock_DeleteFile",
    "Fennock_FormatLastErrorMessage", "Fennock_GetDevice",         "Fennock_iPodMount",
    "Fennock_iPodEnableDiskUse",   "Fennock_iPodGetDiskUse",       "Fennock_iPodIsMounted",
    "Fennock_iPodFindFirstIpod",   "Fennock_GetDriveDesignation",  "Fennock_EnumDriveDesignation",
    "Fennock_EnumUSBDriveDesignation", "Fennock_GetDriveDlg",      "Fennock_InstallableDriveExists",
};

TEST_F(FennockTest, FifteenExportsByNameAndOrdinal) {
  for (int ordinal = 1; ordinal <= 15; ++ordinal) {
    SCOPED_TRACE(kExports[ordinal - 1]);
    FARPROC byName = GetProcAddress(library, kExports[ordinal - 1]);
    EXPECT_NE(byName, nullptr);
    EXPECT_EQ(GetProcAddress(library, MAKEINTRESOURCEA(ordinal)), byName);
  }
  EXPECT_EQ(GetProcAddress(library, "Fennock_launchapp"), nullptr) << "names are exact";
}

TEST_F(FennockTest, FilesAndTheLastErrorsText) {
  host.write("Target/existing.txt", "old contents");
  int error = 0xBD;
  EXPECT_EQ(call("Fennock_CreateFile", ptr(error), "C:\\Target\\existing.txt"), 0);
  EXPECT_EQ(host.read("Target/existing.txt"), "") << "truncated";
  EXPECT_EQ(error, 0xBD);
  EXPECT_EQ(call("Fennock_CreateFile", ptr(error), "C:\\Target\\new.txt"), 0);
  EXPECT_TRUE(host.isFile("Target/new.txt"));
  EXPECT_EQ(call("Fennock_CreateFile", ptr(error), "C:\\Missing\\new.txt"), -1);
  EXPECT_EQ(error, 3) << "path not found";
  EXPECT_EQ(call("Fennock_CreateFile", 0, "C:\\Missing\\new.txt"), -1) << "a null error pointer is allowed";

  EXPECT_EQ(call("Fennock_DeleteFile", 0, "C:\\Target\\new.txt"), 0);
  EXPECT_TRUE(host.gone("Target/new.txt"));
  EXPECT_EQ(call("Fennock_DeleteFile", 0, "C:\\Target\\new.txt"), -1);

  std::vector<char> buffer(2 * kFennockErrorTextBytes, static_cast<char>(0xBD));
  FennockExport format = fn("Fennock_FormatLastErrorMessage");
  ASSERT_NE(format, nullptr);
  SetLastError(ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(format(nullptr, reinterpret_cast<ULONG_PTR>(buffer.data()), nullptr), 0);
  const std::string text(buffer.data());
  EXPECT_EQ(text.rfind("The system cannot find the file specified.", 0), 0u) << text;
  EXPECT_EQ(static_cast<unsigned char>(buffer[text.size() + 1]), 0xBD) << "nothing past the terminating zero";
}

TEST_F(FennockTest, LaunchAppStartsTheProgramInItsFolder) {
  plug(u'E', u"0781", u"FLASH1");
  fs::path root = fs::path(platform::host::resolvePath(u"E:\\").linux);
  fs::copy_file(KIPO_STUB, root / "setup.exe");
  fs::create_directories(root / "Kipo Setup");
  fs::copy_file(KIPO_STUB, root / "Kipo Setup" / "run.exe");
  EXPECT_EQ(call("Fennock_LaunchApp", 0, "E:\\setup.exe"), 0);
  EXPECT_EQ(call("Fennock_LaunchApp", 0, "E:\\Kipo Setup\\run.exe"), 0);
  EXPECT_EQ(call("Fennock_LaunchApp", 0, "E:\\absent.exe"), -1);
  std::string longPath = "E:\\" + std::string(kFennockLaunchPathChars - 3 + 1, 'a');
  EXPECT_EQ(call("Fennock_LaunchApp", 0, longPath.c_str()), -1) << "longer than the program's buffer";

  std::vector<std::string> lines;
  for (int i = 0; i < 2000 && lines.size() < 2; ++i) {
    lines.clear();
    std::istringstream in(host.read("kipo-stub.log"));
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    if (lines.size() == 1 && lines[0] == "<missing>") lines.clear();
    Sleep(5);
  }
  ASSERT_EQ(lines.size(), 2u);
  std::sort(lines.begin(), lines.end());
  EXPECT_EQ(lines[0].substr(lines[0].rfind('|') + 1), "E:\\Kipo Setup");
  EXPECT_EQ(lines[1].substr(lines[1].rfind('|') + 1), "E:\\") << "the root of the drive";
}

TEST_F(FennockTest, GetDeviceLooksAtDisplayedClassesByName) {
  plug(u'F', u"05AC", u"IPOD1");
  int zero = 0, one = 1;
  struct Case {
    const char* name;
    int* flag;
    int found;
  } cases[] = {
      {"ipod", nullptr, 1},     {"IPOD", &zero, 1},     {"ipod", &one, 0},  {"iPod", &one, 1},
      {"keyboard", nullptr, 1}, {"Virtual Disk", nullptr, 1},
      {"Beep", nullptr, 0},  // a non-Plug and Play driver: its class has no image
      {"Zune", nullptr, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.name) + (c.flag ? (*c.flag ? " case" : " zero flag") : " null flag"));
    EXPECT_EQ(call("Fennock_GetDevice", c.flag ? ptr(*c.flag) : 0, c.name), c.found);
  }
}

TEST_F(FennockTest, DriveLettersByDiskNameAndPosition) {
  // A drive with no storage stack behind it (a plain table entry) answers no device request.
  fs::path plain = kipotest::freshTempDir("fennock-plain");
  std::string err;
  ASSERT_EQ(kipotest::runTool({"drive", "add", "D:", "--folder", plain.string(), "--type", "fixed"}, nullptr, &err), 0) << err;
  EXPECT_EQ(call("Fennock_InstallableDriveExists"), 0) << "only the system drive";
  plug(u'G', u"05AC", u"IPOD1");
  plug(u'E', u"0781", u"FLASH1");

  int positions[] = {0, 1, 2, 3, 25, 26, -1};
  const int all[] = {'C', 'E', 'G', 0, 0, 0, 0};
  const int usb[] = {'E', 'G', 0, 0, 0, 0, 0};
  for (std::size_t i = 0; i < std::size(positions); ++i) {
    SCOPED_TRACE(positions[i]);
    EXPECT_EQ(call("Fennock_EnumDriveDesignation", ptr(positions[i])), all[i]);
    EXPECT_EQ(call("Fennock_EnumUSBDriveDesignation", ptr(positions[i])), usb[i]);
  }
  EXPECT_EQ(call("Fennock_EnumDriveDesignation", 0), 'C') << "a null pointer is position 0";
  EXPECT_EQ(call("Fennock_InstallableDriveExists"), 1);

  int one = 1;
  EXPECT_EQ(call("Fennock_GetDriveDesignation", 0, "ipod"), 'G');
  EXPECT_EQ(call("Fennock_GetDriveDesignation", 0, "usb device"), 'E') << "the first in A to Z order";
  EXPECT_EQ(call("Fennock_GetDriveDesignation", 0, "virtual disk"), 'C');
  EXPECT_EQ(call("Fennock_GetDriveDesignation", ptr(one), "ipod"), 0);
  EXPECT_EQ(call("Fennock_GetDriveDesignation", ptr(one), "iPod"), 'G');
  EXPECT_EQ(call("Fennock_GetDriveDesignation", 0, "Zune"), 0);
}

class FennockIPodTest : public FennockTest {
 protected:
  std::vector<std::string> calls() const { return platform::host::iPodServiceCalls(); }
};

// -999 only while the service is missing; installed during the run, the next call finds it.
TEST_F(FennockIPodTest, WithoutTheServiceEveryExportAnswersMinus999) {
  const char* exports[] = {"Fennock_iPodFindFirstIpod", "Fennock_iPodIsMounted", "Fennock_iPodMount",
                           "Fennock_iPodGetDiskUse", "Fennock_iPodEnableDiskUse"};
  for (const char* e : exports) EXPECT_EQ(call(e, 1), kFennockNoIPodService) << e;
  platform::host::setIPodServiceInstalled(true);
  const int noIPod[] = {0, 0, -1, -1, -1};
  for (std::size_t i = 0; i < std::size(exports); ++i) EXPECT_EQ(call(exports[i], 1), noIPod[i]) << exports[i];
  EXPECT_EQ(calls(), (std::vector<std::string>{"6 method 4", "15 method 4", "6 method 4", "15 method 4", "6 method 4",
                                               "15 method 4", "6 method 4", "15 method 4", "7 method 4", "6 method 4",
                                               "15 method 4", "7 method 4"}));
}

TEST_F(FennockIPodTest, MountAndDiskUse) {
  std::string err;
  ASSERT_EQ(kipotest::runTool({"ipod", "install"}, nullptr, &err), 0) << err;
  fs::path folder = kipotest::freshTempDir("fennock-ipod");
  ASSERT_EQ(kipotest::runTool({"ipod", "connect", "8K1", "H:", folder.string(), "--disk-use", "0"}, nullptr, &err), 0) << err;
  EXPECT_EQ(call("Fennock_iPodFindFirstIpod"), 1);
  EXPECT_EQ(call("Fennock_iPodIsMounted"), 0);
  platform::host::clearIPodServiceCalls();

  struct Step {
    int flag;
    int result;
    const char* change;  // the call that changes the state, or null
  } steps[] = {{1, 1, "17 method 4 1"}, {1, 0, nullptr}, {0, 1, "18 method 4 1"}, {0, 0, nullptr}};
  for (const Step& s : steps) {
    SCOPED_TRACE(std::to_string(s.flag) + " -> " + std::to_string(s.result));
    platform::host::clearIPodServiceCalls();
    EXPECT_EQ(call("Fennock_iPodMount", static_cast<ULONG_PTR>(s.flag)), s.result);
    std::vector<std::string> expected{"6 method 4", "15 method 4", "19 method 4 1"};
    if (s.change) expected.push_back(s.change);
    expected.push_back("7 method 4");
    EXPECT_EQ(calls(), expected);
    EXPECT_EQ((GetLogicalDrives() >> 7) & 1u, static_cast<DWORD>(s.flag)) << "disk mode is drive H:";
    EXPECT_EQ(call("Fennock_iPodIsMounted"), s.flag);
  }

  EXPECT_EQ(call("Fennock_iPodGetDiskUse"), 0);
  EXPECT_EQ(call("Fennock_iPodEnableDiskUse", 1), 1);
  EXPECT_EQ(platform::host::connectedIPods().at(0).diskUse, 1u);
  EXPECT_EQ(call("Fennock_iPodGetDiskUse"), 1);
}

// The manager answers but the settings interface cannot be had: "no iPod", never success.
TEST_F(FennockIPodTest, WithoutTheSettingsObjectDiskUseAnswersNoIPod) {
  platform::host::setIPodServiceInstalled(true);
  fs::path folder = kipotest::freshTempDir("fennock-ipod");
  platform::host::connectIPod(u"8K2", u'H', folder, 5);
  kipotest::failCall("CoCreateInstance", static_cast<DWORD>(E_OUTOFMEMORY), {}, 2);
  EXPECT_EQ(call("Fennock_iPodGetDiskUse"), -1);
  EXPECT_EQ(call("Fennock_iPodEnableDiskUse", 1), -1);
  EXPECT_EQ(platform::host::connectedIPods().at(0).diskUse, 5u);
  platform::fault::clearLocal();
  // Tried again once it can be made.
  EXPECT_EQ(call("Fennock_iPodGetDiskUse"), 5);
}

}  // namespace
