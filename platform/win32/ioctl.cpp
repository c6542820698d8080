// Storage device handles, the storage IOCTLs and volume names over the device tree (see ioctl.h).
#include "platform/win32/ioctl.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/base/fault.h"
#include "platform/base/text.h"
#include "platform/host/device_tree.h"
#include "platform/host/drives.h"
#include "platform/host/paths.h"
#include "platform/win32/error.h"
#include "platform/win32/handle.h"
#include "platform/win32/registry.h"

namespace platform {

namespace {

constexpr DWORD kEnumeratorProperty = 0x16;  // SPDRP_ENUMERATOR_NAME
constexpr DWORD kHardwareIdProperty = 0x01;  // SPDRP_HARDWAREID
constexpr DWORD kFriendlyNameProperty = 0x0C;

BOOL fail(DWORD error) {
  SetLastError(error);
  return FALSE;
}

// A handle on a disk or a volume, or on a letter or device with no storage stack (disk 0).
class StorageDevice : public KernelObject {
 public:
  std::u16string name;       // as opened, for faults
  DWORD disk = 0;            // the disk node behind the handle
  DWORD node = 0;            // the node opened (disk, volume or other device)
  bool volume = false;       // a volume handle: partition 1 of its disk
  std::int64_t driveId = 0;  // the drive entry of its letter at open; 0 when it had none
};

bool alive(const StorageDevice& d) {
  if (d.driveId) return host::driveAlive(d.driveId);
  auto n = host::deviceNode(d.node);
  return n && n->present;
}

bool isDisk(const host::DeviceNode& n) { return host::sameGuid(n.classGuid, host::kClassDiskDrive); }
bool isVolume(const host::DeviceNode& n) { return host::sameGuid(n.classGuid, host::kClassVolume); }

// The drive entry whose letter shows a volume of `disk` (or the volume itself); 0 when none.
std::int64_t driveIdOf(DWORD disk, DWORD volume) {
  auto set = host::drives();
  for (const auto& d : set->drives) {
    if (d->isUnc()) continue;
    auto v = host::volumeAt(d->letter());
    if (!v) continue;
    if (*v == volume) return d->id;
    if (auto n = host::deviceNode(*v); n && n->parent == disk) return d->id;
  }
  return 0;
}

HANDLE openHandle(std::shared_ptr<StorageDevice> d) {
  HANDLE h = registerHandle(std::move(d));
  SetLastError(ERROR_SUCCESS);
  return h;
}

// "\\.\E:": the volume at a letter, or a letter without a storage stack.
HANDLE openLetter(char16_t letter, std::u16string_view name) {
  auto drive = host::drives()->letter(letter);
  if (!drive) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
  }
  auto d = std::make_shared<StorageDevice>();
  d->name = name;
  d->driveId = drive->id;
  d->volume = true;
  if (auto v = host::volumeAt(letter)) {
    d->node = *v;
    if (auto n = host::deviceNode(*v)) d->disk = n->parent;
  }
  return openHandle(std::move(d));
}

// "\\?\usbstor#...#{guid}" (or with "\\.\"): the device whose interface has that path.
HANDLE openInterface(std::u16string_view name) {
  std::u16string wanted = u"\\\\?\\" + std::u16string(name.substr(4));
  for (const auto& node : host::deviceNodes(false)) {
    for (const auto& i : host::deviceInterfaces(node.id)) {
      if (!text::equalNoCase(i.path, wanted)) continue;
      // A removed device's interface link is gone with it.
      if (!node.present) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
      }
      auto d = std::make_shared<StorageDevice>();
      d->name = name;
      d->node = node.id;
      if (isDisk(node)) {
        d->disk = node.id;
      } else if (isVolume(node)) {
        d->disk = node.parent;
        d->volume = true;
      }
      if (d->disk) d->driveId = driveIdOf(d->disk, d->volume ? node.id : 0);
      return openHandle(std::move(d));
    }
  }
  SetLastError(ERROR_FILE_NOT_FOUND);
  return INVALID_HANDLE_VALUE;
}

bool isLetter(char16_t c) { return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z'); }

// The disk's place among the tree's disk drives: the system disk first, then each USB disk in
// the order it was first plugged.
DWORD deviceNumberOf(DWORD disk) {
  DWORD number = 0;
  for (const auto& n : host::deviceNodes(false)) {
    if (!isDisk(n)) continue;
    if (n.id == disk) return number;
    ++number;
  }
  return number;
}

std::u16string textOf(const std::optional<host::DeviceProperty>& p) {
  if (!p || p->data.size() < 2) return {};
  std::u16string s(p->data.size() / 2, u'\0');
  std::memcpy(s.data(), p->data.data(), s.size() * 2);
  return s.substr(0, s.find(u'\0'));
}

std::vector<std::u16string> listOf(const std::optional<host::DeviceProperty>& p) {
  std::vector<std::u16string> out;
  if (!p) return out;
  std::u16string all(p->data.size() / 2, u'\0');
  std::memcpy(all.data(), p->data.data(), all.size() * 2);
  for (std::size_t at = 0; at < all.size();) {
    std::size_t end = all.find(u'\0', at);
    if (end == std::u16string::npos) end = all.size();
    if (end == at) break;
    out.push_back(all.substr(at, end - at));
    at = end + 1;
  }
  return out;
}

// Inquiry text: underscores of a hardware id back to blanks, ASCII only.
std::string inquiryText(std::u16string_view s) {
  std::string out;
  for (char16_t c : s) out += c == u'_' ? ' ' : (c < 0x80 ? static_cast<char>(c) : '?');
  return out;
}

std::string padded(std::string s, std::size_t width) {
  s.resize(width, ' ');
  return s;
}

std::string trimmed(std::string s) {
  while (!s.empty() && s.back() == ' ') s.pop_back();
  return s;
}

struct DiskFacts {
  STORAGE_BUS_TYPE bus = BusTypeUnknown;
  bool removable = false;
  std::optional<std::string> vendor;
  std::string product, revision;
};

// What the disk's inquiry data would say, read back from the names its driver gave it.
DiskFacts factsOf(DWORD disk) {
  DiskFacts f;
  const std::u16string enumerator = text::upcased(textOf(host::deviceProperty(disk, kEnumeratorProperty)));
  const auto ids = listOf(host::deviceProperty(disk, kHardwareIdProperty));
  if (enumerator == u"USBSTOR") {
    f.bus = BusTypeUsb;
    // "USBSTOR\Disk" + vendor + product + revision, then without the revision, then the vendor.
    constexpr std::size_t kPrefix = 12;
    if (ids.size() >= 3 && ids[2].size() >= kPrefix && ids[1].starts_with(ids[2]) && ids[0].starts_with(ids[1])) {
      f.vendor = padded(inquiryText(std::u16string_view(ids[2]).substr(kPrefix)), 8);
      f.product = padded(inquiryText(std::u16string_view(ids[1]).substr(ids[2].size())), 16);
      f.revision = padded(inquiryText(std::u16string_view(ids[0]).substr(ids[1].size())), 4);
    }
  } else if (enumerator == u"IDE") {
    f.bus = BusTypeAta;
    // "IDE\Disk" + the 40-character model + the 8-character revision; ATA has no vendor field.
    constexpr std::size_t kPrefix = 8;
    if (!ids.empty() && ids[0].size() >= kPrefix + 48) {
      f.product = trimmed(inquiryText(std::u16string_view(ids[0]).substr(kPrefix, 40)));
      f.revision = trimmed(inquiryText(std::u16string_view(ids[0]).substr(kPrefix + 40, 8)));
    }
  } else if (enumerator == u"SCSI") {
    f.bus = BusTypeScsi;
  }
  if (f.product.empty()) f.product = inquiryText(textOf(host::deviceProperty(disk, kFriendlyNameProperty)));
  // A disk of removable media gets its volumes as STORAGE\RemovableMedia devices.
  for (DWORD child : host::deviceChildren(disk, false))
    if (auto n = host::deviceNode(child); n && text::upcased(n->instanceId).starts_with(u"STORAGE\\REMOVABLEMEDIA\\"))
      f.removable = true;
  return f;
}

std::vector<BYTE> deviceDescriptor(DWORD disk) {
  const DiskFacts f = factsOf(disk);
  constexpr std::size_t kHeader = offsetof(STORAGE_DEVICE_DESCRIPTOR, RawDeviceProperties);
  constexpr std::size_t kInquiry = 36;
  std::vector<BYTE> out(kHeader + kInquiry, 0);
  BYTE* inquiry = out.data() + kHeader;
  inquiry[0] = 0;  // direct-access device
  inquiry[1] = f.removable ? 0x80 : 0;
  inquiry[2] = 2;
  inquiry[3] = 2;
  inquiry[4] = kInquiry - 5;
  const std::string iv = padded(f.vendor.value_or(""), 8), ip = padded(f.product, 16), ir = padded(f.revision, 4);
  std::memcpy(inquiry + 8, iv.data(), 8);
  std::memcpy(inquiry + 16, ip.data(), 16);
  std::memcpy(inquiry + 32, ir.data(), 4);
  auto append = [&out](const std::string& s) {
    DWORD at = static_cast<DWORD>(out.size());
    out.insert(out.end(), s.begin(), s.end());
    out.push_back(0);
    return at;
  };
  STORAGE_DEVICE_DESCRIPTOR d{};
  d.Version = sizeof(STORAGE_DEVICE_DESCRIPTOR);
  d.DeviceType = 0;
  d.RemovableMedia = f.removable;
  d.VendorIdOffset = f.vendor ? append(*f.vendor) : 0;
  d.ProductIdOffset = append(f.product);
  d.ProductRevisionOffset = append(f.revision);
  d.SerialNumberOffset = 0;
  d.BusType = f.bus;
  d.RawPropertiesLength = kInquiry;
  d.Size = static_cast<DWORD>(out.size());
  std::memcpy(out.data(), &d, kHeader);
  return out;
}

BOOL finish(DWORD bytes, LPDWORD returned, LPOVERLAPPED overlapped) {
  if (returned) *returned = bytes;
  if (overlapped) {
    overlapped->Internal = 0;
    overlapped->InternalHigh = bytes;
  }
  SetLastError(ERROR_SUCCESS);
  return TRUE;
}

// "\??\Volume{...}" that MountedDevices ties to the letter, or empty.
std::u16string mountedVolumeOf(char16_t letter) {
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"SYSTEM\\MountedDevices", 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) return {};
  std::u16string found;
  const std::u16string letterValue = std::u16string(u"\\DosDevices\\") + letter + u":";
  std::vector<BYTE> target(1024);
  DWORD type = 0, size = static_cast<DWORD>(target.size());
  if (RegQueryValueExW(key, letterValue.c_str(), nullptr, &type, target.data(), &size) == ERROR_SUCCESS) {
    target.resize(size);
    char16_t name[256];
    std::vector<BYTE> data(1024);
    for (DWORD i = 0;; ++i) {
      DWORD nameLength = 256, dataSize = static_cast<DWORD>(data.size());
      LONG rc = RegEnumValueW(key, i, name, &nameLength, nullptr, &type, data.data(), &dataSize);
      if (rc == ERROR_MORE_DATA) continue;  // not a value this letter can name
      if (rc != ERROR_SUCCESS) break;
      std::u16string_view n(name, nameLength);
      if (n.size() > 10 && text::equalNoCase(n.substr(0, 10), u"\\??\\Volume") && dataSize == target.size() &&
          std::equal(target.begin(), target.end(), data.begin())) {
        found = n;
        break;
      }
    }
  }
  RegCloseKey(key);
  return found;
}

}  // namespace

bool openStorageDevice(LPCWSTR name, HANDLE& handle) {
  std::u16string_view n = text::view(name);
  if (n.size() < 5 || n[0] != u'\\' || n[1] != u'\\' || (n[2] != u'.' && n[2] != u'?') || n[3] != u'\\') return false;
  std::u16string_view rest = n.substr(4);
  if (n[2] == u'.' && rest.size() == 2 && isLetter(rest[0]) && rest[1] == u':') {
    handle = openLetter(text::upcase(rest[0]), n);
    return true;
  }
  if (rest.find(u'#') != std::u16string_view::npos && rest.find_first_of(u"\\/:") == std::u16string_view::npos) {
    handle = openInterface(n);
    return true;
  }
  return false;
}

}  // namespace platform

BOOL DeviceIoControl(HANDLE hDevice, DWORD dwIoControlCode, LPVOID lpInBuffer, DWORD nInBufferSize, LPVOID lpOutBuffer,
                     DWORD nOutBufferSize, LPDWORD lpBytesReturned, LPOVERLAPPED lpOverlapped) {
  using namespace platform;
  auto dev = lookupHandleAs<StorageDevice>(hDevice);
  if (!dev) return fail(lookupHandle(hDevice) ? ERROR_INVALID_FUNCTION : ERROR_INVALID_HANDLE);
  if (!lpOverlapped && !lpBytesReturned) return fail(ERROR_INVALID_PARAMETER);
  if (lpBytesReturned) *lpBytesReturned = 0;
  if (DWORD e = fault::check("DeviceIoControl", dev->name)) return fail(e);
  if (!alive(*dev)) return fail(ERROR_DEVICE_NOT_CONNECTED);
  if (!dev->disk) return fail(ERROR_INVALID_FUNCTION);
  if (!lpOutBuffer) nOutBufferSize = 0;
  switch (dwIoControlCode) {
    case IOCTL_STORAGE_GET_DEVICE_NUMBER: {
      if (nOutBufferSize < sizeof(STORAGE_DEVICE_NUMBER)) return fail(ERROR_INSUFFICIENT_BUFFER);
      STORAGE_DEVICE_NUMBER number{FILE_DEVICE_DISK, deviceNumberOf(dev->disk), dev->volume ? 1u : 0u};
      std::memcpy(lpOutBuffer, &number, sizeof number);
      return finish(sizeof number, lpBytesReturned, lpOverlapped);
    }
    case IOCTL_STORAGE_QUERY_PROPERTY: {
      if (!lpInBuffer || nInBufferSize < sizeof(STORAGE_PROPERTY_QUERY)) return fail(ERROR_INVALID_PARAMETER);
      DWORD id, type;
      std::memcpy(&id, lpInBuffer, 4);
      std::memcpy(&type, static_cast<const BYTE*>(lpInBuffer) + 4, 4);
      if (id != StorageDeviceProperty) return fail(ERROR_NOT_SUPPORTED);
      if (type == PropertyExistsQuery) return finish(0, lpBytesReturned, lpOverlapped);
      if (type != PropertyStandardQuery) return fail(ERROR_INVALID_PARAMETER);
      if (nOutBufferSize < sizeof(STORAGE_DESCRIPTOR_HEADER)) return fail(ERROR_INSUFFICIENT_BUFFER);
      std::vector<BYTE> d = deviceDescriptor(dev->disk);
      DWORD n = std::min<DWORD>(nOutBufferSize, static_cast<DWORD>(d.size()));
      std::memcpy(lpOutBuffer, d.data(), n);
      return finish(n, lpBytesReturned, lpOverlapped);
    }
    default:
      return fail(ERROR_INVALID_FUNCTION);
  }
}

BOOL GetVolumeNameForVolumeMountPointW(LPCWSTR lpszVolumeMountPoint, LPWSTR lpszVolumeName, DWORD cchBufferLength) {
  using namespace platform;
  std::u16string_view point = text::view(lpszVolumeMountPoint);
  if (point.empty() || point.back() != u'\\' || !lpszVolumeName) return fail(ERROR_INVALID_PARAMETER);
  if (DWORD e = fault::check("GetVolumeNameForVolumeMountPointW", point)) return fail(e);
  std::u16string volume;
  if (point.size() == 3 && isLetter(point[0]) && point[1] == u':') {
    const char16_t letter = text::upcase(point[0]);
    // MountedDevices remembers letters of removed volumes: only a letter in use has a volume.
    if (!host::drives()->letter(letter) || !host::volumeAt(letter)) return fail(ERROR_FILE_NOT_FOUND);
    volume = mountedVolumeOf(letter);
    if (volume.empty()) return fail(ERROR_FILE_NOT_FOUND);
  } else {
    host::ResolvedPath r = host::resolvePath(point);
    if (r.error) return fail(r.error);
    return fail(r.exists ? ERROR_NOT_A_REPARSE_POINT : ERROR_FILE_NOT_FOUND);
  }
  const std::u16string out = u"\\\\?\\" + volume.substr(4) + u"\\";
  if (cchBufferLength < out.size() + 1) return fail(ERROR_FILENAME_EXCED_RANGE);
  std::copy(out.begin(), out.end(), lpszVolumeName);
  lpszVolumeName[out.size()] = 0;
  return TRUE;
}
