// Storage device handles and IOCTLs over the device tree, reached as the installer library reaches
// them (disk interfaces from the Setup API, volume paths "\\.\E:"), and volume names.
#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "platform/base/text.h"
#include "platform/host/device_tree.h"
#include "platform/host/drives.h"
#include "platform/win32/win32.h"
#include "tests/support/test_host.h"
#include "tests/support/usb_drive.h"

namespace {

namespace fs = std::filesystem;
namespace host = platform::host;

struct Answer {
  bool ok = false;
  DWORD error = 0;
  DWORD type = 0, number = 0, partition = 0;
  STORAGE_BUS_TYPE bus = BusTypeUnknown;
  bool removable = false;
  std::string vendor = "<none>", product, revision;
};

std::string stringAt(const std::vector<BYTE>& d, DWORD offset) {
  if (!offset) return "<none>";
  if (offset >= d.size()) return "<outside>";
  return reinterpret_cast<const char*>(d.data() + offset);
}

// Both IOCTLs on one handle, as the installer asks them (a 551-byte descriptor buffer).
Answer ask(HANDLE h) {
  Answer a;
  STORAGE_DEVICE_NUMBER n{};
  DWORD got = 0;
  if (!DeviceIoControl(h, IOCTL_STORAGE_GET_DEVICE_NUMBER, nullptr, 0, &n, sizeof n, &got, nullptr)) {
    a.error = GetLastError();
    return a;
  }
  EXPECT_EQ(got, 12u);
  a.type = n.DeviceType, a.number = n.DeviceNumber, a.partition = n.PartitionNumber;
  STORAGE_PROPERTY_QUERY q{};
  q.PropertyId = StorageDeviceProperty;
  q.QueryType = PropertyStandardQuery;
  std::vector<BYTE> d(551, 0xCC);
  if (!DeviceIoControl(h, IOCTL_STORAGE_QUERY_PROPERTY, &q, sizeof q, d.data(), 551, &got, nullptr)) {
    a.error = GetLastError();
    return a;
  }
  auto* desc = reinterpret_cast<const STORAGE_DEVICE_DESCRIPTOR*>(d.data());
  EXPECT_EQ(desc->Version, sizeof(STORAGE_DEVICE_DESCRIPTOR));
  EXPECT_EQ(got, desc->Size);
  EXPECT_EQ(desc->RawPropertiesLength, 36u);
  d.resize(got);
  DWORD bus = 0;
  std::memcpy(&bus, d.data() + 28, 4);  // where the installer reads it
  a.bus = static_cast<STORAGE_BUS_TYPE>(bus);
  a.removable = desc->RemovableMedia;
  a.vendor = stringAt(d, desc->VendorIdOffset);
  a.product = stringAt(d, desc->ProductIdOffset);
  a.revision = stringAt(d, desc->ProductRevisionOffset);
  a.ok = true;
  return a;
}

Answer askPath(const std::u16string& path) {
  HANDLE h = CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    Answer a;
    a.error = GetLastError();
    return a;
  }
  Answer a = ask(h);
  CloseHandle(h);
  return a;
}

// Present disk interface paths from the Setup API, with the disk's friendly name.
std::map<std::u16string, std::u16string> diskInterfaces() {
  std::map<std::u16string, std::u16string> out;
  HDEVINFO set = SetupDiGetClassDevsW(&GUID_DEVINTERFACE_DISK, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
  EXPECT_NE(set, INVALID_HANDLE_VALUE);
  SP_DEVICE_INTERFACE_DATA iface{};
  iface.cbSize = sizeof iface;
  for (DWORD i = 0; SetupDiEnumDeviceInterfaces(set, nullptr, &GUID_DEVINTERFACE_DISK, i, &iface); ++i) {
    BYTE buffer[1024];
    auto* detail = reinterpret_cast<PSP_DEVICE_INTERFACE_DETAIL_DATA_W>(buffer);
    detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W);
    SP_DEVINFO_DATA info{};
    info.cbSize = sizeof info;
    EXPECT_TRUE(SetupDiGetDeviceInterfaceDetailW(set, &iface, detail, sizeof buffer, nullptr, &info));
    BYTE name[1024] = {};
    SetupDiGetDeviceRegistryPropertyW(set, &info, SPDRP_FRIENDLYNAME, nullptr, name, sizeof name, nullptr);
    out[detail->DevicePath] = reinterpret_cast<const WCHAR*>(name);
  }
  SetupDiDestroyDeviceInfoList(set);
  return out;
}

std::u16string volumeName(const char16_t* root, DWORD& error) {
  WCHAR name[64] = {};
  error = 0;
  if (!GetVolumeNameForVolumeMountPointW(root, name, 64)) {
    error = GetLastError();
    return {};
  }
  return name;
}

class Ioctl : public ::testing::Test {
 protected:
  Ioctl() { folder = kipotest::freshTempDir("ioctl"); }

  host::UsbDriveNodes plug(char16_t letter, const std::u16string& vid, const std::u16string& pid,
                           const std::u16string& serial) {
    return kipotest::plugUsbDrive(letter, folder, vid, pid, serial);
  }

  kipotest::TestHost testHost;
  fs::path folder;
};

TEST_F(Ioctl, DisksAndTheirVolumesAnswerBothRequests) {
  struct Case {
    char16_t letter;
    const char16_t *vid, *pid, *serial;
    const char *vendor, *product, *revision;
  };
  const Case cases[] = {
      {u'E', u"090C", u"1000", u"PLAIN1", "Generic ", "USB Flash Disk  ", "1.00"},
      {u'F', u"0EA0", u"2469", u"MAKER1", "OTi     ", "Flash Disk      ", "2.00"},
      {u'H', u"05AC", u"1209", u"IPOD01", "Apple   ", "iPod            ", "1.62"},
  };
  std::map<std::u16string, host::UsbDriveNodes> plugged;
  for (const Case& c : cases) plugged[c.serial] = plug(c.letter, c.vid, c.pid, c.serial);

  // Through the Setup API: every present disk answers, each with its own device number.
  auto disks = diskInterfaces();
  ASSERT_EQ(disks.size(), 4u);
  std::map<DWORD, Answer> byNumber;
  for (const auto& [path, friendly] : disks) {
    Answer a = askPath(path);
    ASSERT_TRUE(a.ok) << platform::text::toUtf8(path) << " error " << a.error;
    EXPECT_EQ(a.type, static_cast<DWORD>(FILE_DEVICE_DISK));
    EXPECT_EQ(a.partition, 0u) << "a disk handle is the whole disk";
    EXPECT_TRUE(byNumber.emplace(a.number, a).second) << "device numbers are per disk";
  }

  // The system disk: number 0 behind C:, ATA, fixed media, no vendor field.
  Answer c = askPath(u"\\\\.\\C:");
  ASSERT_TRUE(c.ok) << c.error;
  EXPECT_EQ(c.number, 0u);
  EXPECT_EQ(c.partition, 1u);
  EXPECT_EQ(c.bus, BusTypeAta);
  EXPECT_FALSE(c.removable);
  EXPECT_EQ(c.vendor, "<none>");
  EXPECT_EQ(c.product, "KIPO VIRTUAL DISK");
  EXPECT_EQ(byNumber[0].product, c.product);

  for (const Case& k : cases) {
    SCOPED_TRACE(std::string(1, static_cast<char>(k.letter)));
    // The volume path leads to the same disk the disk interface does.
    const std::u16string volumePath = std::u16string(u"\\\\.\\") + k.letter + u":";
    Answer v = askPath(volumePath);
    ASSERT_TRUE(v.ok) << v.error;
    EXPECT_EQ(v.type, static_cast<DWORD>(FILE_DEVICE_DISK));
    EXPECT_EQ(v.partition, 1u);
    EXPECT_EQ(v.bus, BusTypeUsb);
    EXPECT_TRUE(v.removable);
    EXPECT_EQ(v.vendor, k.vendor);
    EXPECT_EQ(v.product, k.product);
    EXPECT_EQ(v.revision, k.revision);
    Answer d = askPath(plugged[k.serial].diskInterface);
    ASSERT_TRUE(d.ok) << d.error;
    EXPECT_EQ(d.number, v.number);
    EXPECT_EQ(d.product, v.product);
    EXPECT_NE(v.number, 0u);
    // Lower-case letters and the "\\.\" spelling of an interface path name the same devices.
    std::u16string lower = volumePath;
    lower[4] = static_cast<char16_t>(lower[4] - u'A' + u'a');
    EXPECT_EQ(askPath(lower).number, v.number);
    std::u16string dotted = plugged[k.serial].diskInterface;
    dotted[2] = u'.';
    EXPECT_EQ(askPath(dotted).number, v.number);
  }
}

TEST_F(Ioctl, BufferAndRequestRules) {
  plug(u'E', u"090C", u"1000", u"RULES1");
  HANDLE h = CreateFileW(u"\\\\.\\E:", 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(h, INVALID_HANDLE_VALUE) << GetLastError();
  STORAGE_PROPERTY_QUERY q{};
  BYTE out[64];
  DWORD got = 99;

  // The device number needs all 12 bytes.
  EXPECT_FALSE(DeviceIoControl(h, IOCTL_STORAGE_GET_DEVICE_NUMBER, nullptr, 0, out, 11, &got, nullptr));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
  EXPECT_EQ(got, 0u);

  // Descriptor: less than a header fails; a header alone tells the size; a part is a part.
  std::memset(out, 0xCC, sizeof out);
  EXPECT_FALSE(DeviceIoControl(h, IOCTL_STORAGE_QUERY_PROPERTY, &q, sizeof q, out, 7, &got, nullptr));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
  EXPECT_EQ(out[0], 0xCC);
  STORAGE_DESCRIPTOR_HEADER header{};
  ASSERT_TRUE(DeviceIoControl(h, IOCTL_STORAGE_QUERY_PROPERTY, &q, sizeof q, &header, sizeof header, &got, nullptr));
  EXPECT_EQ(got, 8u);
  EXPECT_EQ(header.Version, sizeof(STORAGE_DEVICE_DESCRIPTOR));
  EXPECT_GT(header.Size, 36u + 36u);
  ASSERT_TRUE(DeviceIoControl(h, IOCTL_STORAGE_QUERY_PROPERTY, &q, sizeof q, out, 30, &got, nullptr));
  EXPECT_EQ(got, 30u);
  EXPECT_EQ(out[30], 0xCC) << "nothing past the buffer";
  std::vector<BYTE> full(header.Size);
  ASSERT_TRUE(DeviceIoControl(h, IOCTL_STORAGE_QUERY_PROPERTY, &q, sizeof q, full.data(), header.Size, &got, nullptr));
  EXPECT_EQ(got, header.Size);
  EXPECT_EQ(std::memcmp(full.data(), out, 30), 0);

  // The query itself.
  EXPECT_FALSE(DeviceIoControl(h, IOCTL_STORAGE_QUERY_PROPERTY, &q, 8, out, sizeof out, &got, nullptr));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  q.QueryType = PropertyExistsQuery;
  EXPECT_TRUE(DeviceIoControl(h, IOCTL_STORAGE_QUERY_PROPERTY, &q, sizeof q, nullptr, 0, &got, nullptr));
  EXPECT_EQ(got, 0u);
  q.QueryType = PropertyStandardQuery;
  q.PropertyId = StorageAdapterProperty;
  EXPECT_FALSE(DeviceIoControl(h, IOCTL_STORAGE_QUERY_PROPERTY, &q, sizeof q, out, sizeof out, &got, nullptr));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_SUPPORTED));

  // Codes nobody answers, a missing byte count, handles that are not devices.
  EXPECT_FALSE(DeviceIoControl(h, 0x70000, nullptr, 0, out, sizeof out, &got, nullptr));  // IOCTL_DISK_GET_DRIVE_GEOMETRY
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_FUNCTION));
  EXPECT_FALSE(DeviceIoControl(h, IOCTL_STORAGE_GET_DEVICE_NUMBER, nullptr, 0, out, sizeof out, nullptr, nullptr));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  OVERLAPPED ov{};
  EXPECT_TRUE(DeviceIoControl(h, IOCTL_STORAGE_GET_DEVICE_NUMBER, nullptr, 0, out, sizeof out, nullptr, &ov));
  EXPECT_EQ(ov.InternalHigh, 12u);
  CloseHandle(h);
  EXPECT_FALSE(DeviceIoControl(h, IOCTL_STORAGE_GET_DEVICE_NUMBER, nullptr, 0, out, sizeof out, &got, nullptr));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
  testHost.write("file.txt", "x");
  HANDLE file = CreateFileW(u"C:\\file.txt", GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  EXPECT_FALSE(DeviceIoControl(file, IOCTL_STORAGE_GET_DEVICE_NUMBER, nullptr, 0, out, sizeof out, &got, nullptr));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_FUNCTION));
  CloseHandle(file);
}

TEST_F(Ioctl, LettersWithoutADiskAndNamesThatAreNotDevices) {
  // A drive the tree holds no disk for opens, but has no storage stack and no volume name.
  host::Drive d;
  d.name = u"D:";
  d.root = kipotest::freshTempDir("ioctl-d");
  d.type = host::kDriveFixed;
  host::addDrive(d);
  Answer a = askPath(u"\\\\.\\D:");
  EXPECT_FALSE(a.ok);
  EXPECT_EQ(a.error, static_cast<DWORD>(ERROR_INVALID_FUNCTION));
  DWORD error = 0;
  volumeName(u"D:\\", error);
  EXPECT_EQ(error, static_cast<DWORD>(ERROR_FILE_NOT_FOUND));

  const std::pair<const char16_t*, DWORD> refused[] = {
      {u"\\\\.\\Q:", ERROR_FILE_NOT_FOUND},  // no such letter
      {u"\\\\?\\usbstor#disk&ven_none&prod_none&rev_1.00#x&0#{53f56307-b6bf-11d0-94f2-00a0c91efb8b}", ERROR_FILE_NOT_FOUND},
      {u"\\\\.\\C:\\", ERROR_FILE_NOT_FOUND},  // a path in the device namespace is no file
  };
  for (const auto& [path, expected] : refused) {
    HANDLE h = CreateFileW(path, 0, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    EXPECT_EQ(h, INVALID_HANDLE_VALUE) << platform::text::toUtf8(path);
    EXPECT_EQ(GetLastError(), expected) << platform::text::toUtf8(path);
  }
  // A verbatim file path is still a file, "#" or not.
  testHost.write("a#b.txt", "x");
  HANDLE file = CreateFileW(u"\\\\?\\C:\\a#b.txt", GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  EXPECT_NE(file, INVALID_HANDLE_VALUE) << GetLastError();
  CloseHandle(file);
}

TEST_F(Ioctl, UnpluggedDriveHandlesFailAndTheDriveKeepsItsNumber) {
  host::UsbDriveNodes n = plug(u'E', u"090C", u"1000", u"GONE01");
  const DWORD number = askPath(u"\\\\.\\E:").number;
  HANDLE disk = CreateFileW(n.diskInterface.c_str(), 0, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  HANDLE volume = CreateFileW(u"\\\\.\\E:", 0, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(disk, INVALID_HANDLE_VALUE);
  ASSERT_NE(volume, INVALID_HANDLE_VALUE);
  ASSERT_TRUE(ask(disk).ok);

  ASSERT_TRUE(host::unplugDrive(u'E'));
  for (HANDLE h : {disk, volume}) {
    Answer a = ask(h);
    EXPECT_FALSE(a.ok);
    EXPECT_EQ(a.error, static_cast<DWORD>(ERROR_DEVICE_NOT_CONNECTED));
  }
  EXPECT_EQ(askPath(u"\\\\.\\E:").error, static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(askPath(n.diskInterface).error, static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(diskInterfaces().size(), 1u) << "only the system disk is left";

  // Back at another letter: old handles stay dead; the disk has its old number.
  plug(u'G', u"090C", u"1000", u"GONE01");
  EXPECT_EQ(ask(disk).error, static_cast<DWORD>(ERROR_DEVICE_NOT_CONNECTED));
  EXPECT_EQ(ask(volume).error, static_cast<DWORD>(ERROR_DEVICE_NOT_CONNECTED));
  EXPECT_EQ(askPath(u"\\\\.\\G:").number, number);
  EXPECT_EQ(askPath(n.diskInterface).number, number);
  CloseHandle(disk);
  CloseHandle(volume);
  // Another drive is another disk.
  plug(u'E', u"090C", u"1000", u"GONE02");
  EXPECT_NE(askPath(u"\\\\.\\E:").number, number);
}

TEST_F(Ioctl, VolumeNamesFollowTheVolumeAcrossLetters) {
  DWORD error = 0;
  const std::u16string system = volumeName(u"C:\\", error);
  ASSERT_EQ(error, 0u);
  EXPECT_EQ(system.size(), 49u);
  EXPECT_TRUE(system.starts_with(u"\\\\?\\Volume{") && system.ends_with(u"}\\")) << platform::text::toUtf8(system);
  EXPECT_EQ(volumeName(u"c:\\", error), system);

  plug(u'E', u"090C", u"1000", u"VOL001");
  const std::u16string first = volumeName(u"E:\\", error);
  ASSERT_EQ(error, 0u);
  EXPECT_NE(first, system);
  ASSERT_TRUE(host::unplugDrive(u'E'));
  volumeName(u"E:\\", error);
  EXPECT_EQ(error, static_cast<DWORD>(ERROR_FILE_NOT_FOUND)) << "MountedDevices remembers E:, but E: is gone";
  plug(u'G', u"090C", u"1000", u"VOL001");
  EXPECT_EQ(volumeName(u"G:\\", error), first);
  plug(u'E', u"090C", u"1000", u"VOL002");
  const std::u16string other = volumeName(u"E:\\", error);
  EXPECT_NE(other, first);
  EXPECT_FALSE(other.empty());

  ASSERT_TRUE(CreateDirectoryW(u"C:\\mnt", nullptr) || GetLastError() == ERROR_ALREADY_EXISTS);
  const std::pair<const char16_t*, DWORD> refused[] = {
      {u"G:", ERROR_INVALID_PARAMETER},
      {u"", ERROR_INVALID_PARAMETER},
      {u"Q:\\", ERROR_FILE_NOT_FOUND},
      {u"C:\\mnt\\", ERROR_NOT_A_REPARSE_POINT},
      {u"C:\\nothing\\", ERROR_FILE_NOT_FOUND},
  };
  for (const auto& [root, expected] : refused) {
    volumeName(root, error);
    EXPECT_EQ(error, expected) << platform::text::toUtf8(root);
  }
  EXPECT_FALSE(GetVolumeNameForVolumeMountPointW(nullptr, nullptr, 0));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  WCHAR small[49];
  EXPECT_FALSE(GetVolumeNameForVolumeMountPointW(u"G:\\", small, 49));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILENAME_EXCED_RANGE));
  WCHAR exact[50];
  EXPECT_TRUE(GetVolumeNameForVolumeMountPointW(u"G:\\", exact, 50));
  EXPECT_EQ(std::u16string(exact), first);
}

TEST_F(Ioctl, ErrorModeIsKeptAndTheOldOneReturned) {
  const UINT before = SetErrorMode(SEM_FAILCRITICALERRORS);
  EXPECT_EQ(SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX),
            static_cast<UINT>(SEM_FAILCRITICALERRORS));
  EXPECT_EQ(SetErrorMode(before), static_cast<UINT>(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX));
}

}  // namespace
