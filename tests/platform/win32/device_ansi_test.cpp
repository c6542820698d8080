// The 8-bit Setup API and configuration-manager calls, the machine handle of the _Ex calls, the
// class image list and UUID text: sizes in bytes of the 8-bit form, what is left untouched on
// failure, the local machine only, and a class the device manager does not display having no
// image. The host's tree holds the machine's own devices and a plugged iPod.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/base/text.h"
#include "platform/host/device_tree.h"
#include "platform/win32/win32.h"
#include "tests/support/test_host.h"
#include "tests/support/usb_drive.h"

namespace {

namespace host = platform::host;
namespace fs = std::filesystem;

class DeviceAnsi : public ::testing::Test {
 protected:
  DeviceAnsi() {
    folder = kipotest::freshTempDir("device-ansi");
    nodes = kipotest::plugUsbDrive(u'F', folder, u"05AC", u"1209", u"IPODSERIAL1");
  }
  kipotest::TestHost testHost;
  fs::path folder;
  host::UsbDriveNodes nodes;
};

TEST(UuidText, FormsAndFailures) {
  const GUID sentinel = {0xDEADBEEF, 0xBDBD, 0xBDBD, {0xBD, 0xBD, 0xBD, 0xBD, 0xBD, 0xBD, 0xBD, 0xBD}};
  struct Case {
    const char* text;
    bool ok;
  } cases[] = {
      {"53F56307-B6BF-11D0-94F2-00A0C91EFB8B", true},
      {"53f56307-b6bf-11d0-94f2-00a0c91efb8b", true},
      {"{53F56307-B6BF-11D0-94F2-00A0C91EFB8B}", false},  // braces are not part of the form
      {"53F56307-B6BF-11D0-94F2-00A0C91EFB8", false},
      {"53F56307-B6BF-11D0-94F2-00A0C91EFB8BB", false},
      {"53F56307B6BF-11D0-94F2-00A0C91EFB8B-", false},
      {"53F56307-B6BF-11D0-94F2-00A0C91EFBXB", false},
      {"", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    GUID g = sentinel;
    RPC_STATUS rc = UuidFromStringA(reinterpret_cast<const unsigned char*>(c.text), &g);
    if (c.ok) {
      EXPECT_EQ(rc, RPC_S_OK);
      EXPECT_TRUE(host::sameGuid(g, host::kInterfaceDisk));
    } else {
      EXPECT_EQ(rc, RPC_S_INVALID_STRING_UUID);
      EXPECT_TRUE(host::sameGuid(g, sentinel)) << "left unchanged";
    }
  }
  GUID nil = sentinel;
  EXPECT_EQ(UuidFromStringA(nullptr, &nil), RPC_S_OK);
  EXPECT_TRUE(host::sameGuid(nil, GUID{}));
}

TEST_F(DeviceAnsi, OnlyTheLocalMachineConnects) {
  char computer[MAX_COMPUTERNAME_LENGTH + 1] = {};
  DWORD size = sizeof computer;
  ASSERT_TRUE(GetComputerNameA(computer, &size));
  std::string lower = std::string("\\\\") + computer;
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  struct Case {
    std::string name;
    bool isNull;
    CONFIGRET rc;
  } cases[] = {{"", true, CR_SUCCESS},
               {"", false, CR_SUCCESS},
               {std::string("\\\\") + computer, false, CR_SUCCESS},
               {lower, false, CR_SUCCESS},
               {"\\\\ELSEWHERE", false, CR_MACHINE_UNAVAILABLE},
               {computer, false, CR_INVALID_MACHINENAME}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.isNull ? "null" : c.name);
    HMACHINE machine = reinterpret_cast<HMACHINE>(0xBDBD);
    EXPECT_EQ(CM_Connect_MachineA(c.isNull ? nullptr : c.name.c_str(), &machine), c.rc);
    if (c.rc != CR_SUCCESS) {
      EXPECT_EQ(machine, nullptr);
      continue;
    }
    DEVINST root = 0, child = 0;
    EXPECT_EQ(CM_Locate_DevNode_ExA(&root, nullptr, CM_LOCATE_DEVNODE_NORMAL, machine), CR_SUCCESS);
    EXPECT_EQ(CM_Get_Child_Ex(&child, root, 0, machine), CR_SUCCESS);
    EXPECT_EQ(CM_Disconnect_Machine(machine), CR_SUCCESS);
    if (!machine) continue;
    // A handle no longer connected is refused by every _Ex call.
    EXPECT_EQ(CM_Disconnect_Machine(machine), static_cast<CONFIGRET>(CR_INVALID_POINTER));
    EXPECT_EQ(CM_Get_Child_Ex(&child, root, 0, machine), static_cast<CONFIGRET>(CR_INVALID_POINTER));
  }
}

// The walk from the root reaches the machine's own devices and the plugged drive's nodes.
TEST_F(DeviceAnsi, TheExWalkAndTheAnsiProperties) {
  HMACHINE machine = nullptr;
  ASSERT_EQ(CM_Connect_MachineA(nullptr, &machine), CR_SUCCESS);
  std::vector<std::string> names;
  std::vector<DEVINST> stack;
  DEVINST root = 0, first = 0;
  ASSERT_EQ(CM_Locate_DevNode_ExA(&root, nullptr, 0, machine), CR_SUCCESS);
  ASSERT_EQ(CM_Get_Child_Ex(&first, root, 0, machine), CR_SUCCESS);
  stack.push_back(first);
  while (!stack.empty()) {
    DEVINST n = stack.back();
    stack.pop_back();
    char text[256];
    ULONG length = sizeof text;
    if (CM_Get_DevNode_Registry_Property_ExA(n, CM_DRP_DEVICEDESC, nullptr, text, &length, 0, machine) == CR_SUCCESS)
      names.push_back(text);
    DEVINST next = 0;
    if (CM_Get_Sibling_Ex(&next, n, 0, machine) == CR_SUCCESS) stack.push_back(next);
    if (CM_Get_Child_Ex(&next, n, 0, machine) == CR_SUCCESS) stack.push_back(next);
  }
  CM_Disconnect_Machine(machine);
  for (const char* expected : {"ACPI Multiprocessor PC", "Standard 101/102-Key or Microsoft Natural PS/2 Keyboard", "Beep",
                               "Disk drive", "USB Mass Storage Device", "Generic volume"})
    EXPECT_NE(std::find(names.begin(), names.end(), expected), names.end()) << expected;

  // Sizes in bytes of the 8-bit text, with its NUL; a small buffer is left untouched.
  const std::string friendly = "Apple iPod USB Device";
  char buffer[64];
  std::memset(buffer, 0xBD, sizeof buffer);
  ULONG type = 0, length = 5;
  EXPECT_EQ(CM_Get_DevNode_Registry_PropertyA(nodes.disk, CM_DRP_FRIENDLYNAME, &type, buffer, &length, 0), CR_BUFFER_SMALL);
  EXPECT_EQ(length, friendly.size() + 1);
  EXPECT_EQ(static_cast<unsigned char>(buffer[0]), 0xBD);
  length = sizeof buffer;
  EXPECT_EQ(CM_Get_DevNode_Registry_PropertyA(nodes.disk, CM_DRP_FRIENDLYNAME, &type, buffer, &length, 0), CR_SUCCESS);
  EXPECT_EQ(type, static_cast<ULONG>(REG_SZ));
  EXPECT_EQ(length, friendly.size() + 1);
  EXPECT_EQ(std::string(buffer), friendly);
  EXPECT_EQ(static_cast<unsigned char>(buffer[friendly.size() + 1]), 0xBD) << "nothing past the NUL";
  length = sizeof buffer;
  EXPECT_EQ(CM_Get_DevNode_Registry_PropertyA(nodes.disk, CM_DRP_CLASSGUID, &type, buffer, &length, 0), CR_SUCCESS);
  EXPECT_EQ(std::string(buffer), "{4d36e967-e325-11ce-bfc1-08002be10318}");
  length = sizeof buffer;
  EXPECT_EQ(CM_Get_DevNode_Registry_PropertyA(nodes.usb, CM_DRP_FRIENDLYNAME, &type, buffer, &length, 0), CR_NO_SUCH_VALUE);
  EXPECT_EQ(CM_Get_DevNode_Registry_PropertyA(nodes.disk, 0, &type, buffer, &length, 0), CR_INVALID_PROPERTY);
  EXPECT_EQ(CM_Get_DevNode_Registry_PropertyA(nodes.disk, CM_DRP_MAX + 1, &type, buffer, &length, 0), CR_INVALID_PROPERTY);
}

TEST_F(DeviceAnsi, SetupApiAnsiFormsMatchTheWideOnes) {
  HDEVINFO set = SetupDiGetClassDevsA(&GUID_DEVINTERFACE_DISK, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
  ASSERT_NE(set, INVALID_HANDLE_VALUE);
  std::vector<std::string> paths, names;
  for (DWORD i = 0;; ++i) {
    SP_DEVINFO_DATA device{};
    device.cbSize = sizeof device;
    if (!SetupDiEnumDeviceInfo(set, i, &device)) break;
    SP_DEVICE_INTERFACE_DATA face{};
    face.cbSize = sizeof face;
    ASSERT_TRUE(SetupDiEnumDeviceInterfaces(set, &device, &GUID_DEVINTERFACE_DISK, 0, &face));
    DWORD need = 0;
    EXPECT_FALSE(SetupDiGetDeviceInterfaceDetailA(set, &face, nullptr, 0, &need, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    std::vector<BYTE> buffer(need + 8, 0xBD);
    auto* detail = reinterpret_cast<PSP_DEVICE_INTERFACE_DETAIL_DATA_A>(buffer.data());
    detail->cbSize = 0;
    EXPECT_FALSE(SetupDiGetDeviceInterfaceDetailA(set, &face, detail, need, nullptr, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_USER_BUFFER)) << "a wrong cbSize is refused";
    detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A);
    EXPECT_FALSE(SetupDiGetDeviceInterfaceDetailA(set, &face, detail, need - 1, nullptr, nullptr));
    ASSERT_TRUE(SetupDiGetDeviceInterfaceDetailA(set, &face, detail, need, nullptr, nullptr));
    paths.push_back(detail->DevicePath);
    EXPECT_EQ(need, offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_A, DevicePath) + paths.back().size() + 1);
    EXPECT_EQ(buffer[need], 0xBD);

    char name[128];
    DWORD size = 0, type = 0;
    ASSERT_TRUE(SetupDiGetDeviceRegistryPropertyA(set, &device, SPDRP_FRIENDLYNAME, &type, reinterpret_cast<PBYTE>(name),
                                                  sizeof name, &size));
    names.push_back(name);
    EXPECT_EQ(size, names.back().size() + 1);
    // A multi-string keeps its inner NULs and ends with two.
    BYTE ids[512];
    ASSERT_TRUE(SetupDiGetDeviceRegistryPropertyA(set, &device, SPDRP_HARDWAREID, &type, ids, sizeof ids, &size));
    EXPECT_EQ(type, static_cast<DWORD>(REG_MULTI_SZ));
    ASSERT_GE(size, 2u);
    EXPECT_EQ(ids[size - 1], 0);
    EXPECT_EQ(ids[size - 2], 0);
  }
  SetupDiDestroyDeviceInfoList(set);
  ASSERT_EQ(paths.size(), 2u);
  EXPECT_EQ(names, (std::vector<std::string>{"KIPO VIRTUAL DISK", "Apple iPod USB Device"}));
  EXPECT_EQ(paths[1], platform::text::toUtf8(nodes.diskInterface));
}

TEST_F(DeviceAnsi, ClassImagesExistForDisplayedClassesOnly) {
  SP_CLASSIMAGELIST_DATA images{};
  images.cbSize = sizeof images - 1;
  EXPECT_FALSE(SetupDiGetClassImageList(&images));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_USER_BUFFER));
  images.cbSize = sizeof images;
  ASSERT_TRUE(SetupDiGetClassImageList(&images));
  EXPECT_NE(images.ImageList, nullptr);
  const GUID unknown = {0x12345678, 0x1234, 0x1234, {1, 2, 3, 4, 5, 6, 7, 8}};
  struct Case {
    const GUID* guid;
    bool image;
  } cases[] = {{&host::kClassDiskDrive, true},  {&host::kClassUsb, true},    {&host::kClassComputer, true},
               {&host::kClassKeyboard, true},   {&host::kClassVolume, true}, {&host::kClassLegacyDriver, false},
               {&unknown, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(platform::text::toUtf8(host::guidText(*c.guid)));
    int index = -7;
    EXPECT_EQ(SetupDiGetClassImageIndex(&images, c.guid, &index) != FALSE, c.image);
    if (c.image)
      EXPECT_GE(index, 0);
    else
      EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_CLASS));
  }
  SP_CLASSIMAGELIST_DATA forged = images;
  forged.Reserved += 1000;
  int index = 0;
  EXPECT_FALSE(SetupDiGetClassImageIndex(&forged, &host::kClassUsb, &index));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  EXPECT_TRUE(SetupDiDestroyClassImageList(&images));
  EXPECT_FALSE(SetupDiDestroyClassImageList(&images));
}

}  // namespace
