// The device tree in host.db, the USB storage devices that plugging adds to it, their
// MountedDevices values, and the plug and unplug operations with their notifications.
#include "platform/host/device_tree.h"

#include <cstring>
#include <stdexcept>

#include "platform/base/text.h"
#include "platform/host/create.h"
#include "platform/host/drives.h"
#include "platform/host/host.h"
#include "platform/host/registry_store.h"
#include "platform/host/secure_area.h"
#include "platform/win32/device_notify.h"
#include "platform/win32/registry.h"

namespace platform::host {

namespace fs = std::filesystem;

const GUID kClassUsb = {0x36FC9E60, 0xC465, 0x11CF, {0x80, 0x56, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};
const GUID kClassDiskDrive = {0x4D36E967, 0xE325, 0x11CE, {0xBF, 0xC1, 0x08, 0x00, 0x2B, 0xE1, 0x03, 0x18}};
const GUID kClassVolume = {0x71A27CDD, 0x812A, 0x11D0, {0xBE, 0xC7, 0x08, 0x00, 0x2B, 0xE1, 0x03, 0x18}};
const GUID kClassComputer = {0x4D36E966, 0xE325, 0x11CE, {0xBF, 0xC1, 0x08, 0x00, 0x2B, 0xE1, 0x03, 0x18}};
const GUID kClassProcessor = {0x50127DC3, 0x0F36, 0x415E, {0xA6, 0xCC, 0x4C, 0xB3, 0xBE, 0x91, 0x0B, 0x65}};
const GUID kClassKeyboard = {0x4D36E96B, 0xE325, 0x11CE, {0xBF, 0xC1, 0x08, 0x00, 0x2B, 0xE1, 0x03, 0x18}};
const GUID kClassLegacyDriver = {0x8ECC055D, 0x047F, 0x11D1, {0xA5, 0x37, 0x00, 0x00, 0xF8, 0x75, 0x3E, 0xD1}};
const GUID kInterfaceUsbDevice = {0xA5DCBF10, 0x6530, 0x11D2, {0x90, 0x1F, 0x00, 0xC0, 0x4F, 0xB9, 0x51, 0xED}};
const GUID kInterfaceDisk = {0x53F56307, 0xB6BF, 0x11D0, {0x94, 0xF2, 0x00, 0xA0, 0xC9, 0x1E, 0xFB, 0x8B}};
const GUID kInterfaceVolume = {0x53F5630D, 0xB6BF, 0x11D0, {0x94, 0xF2, 0x00, 0xA0, 0xC9, 0x1E, 0xFB, 0x8B}};

namespace {

SchemaPart devnodeSchema(
    "CREATE TABLE IF NOT EXISTS devnodes (id INTEGER PRIMARY KEY AUTOINCREMENT, parent INTEGER NOT NULL,"
    " instance_id TEXT NOT NULL, instance_key TEXT NOT NULL UNIQUE, class_guid BLOB NOT NULL,"
    " present INTEGER NOT NULL, drive_letter TEXT NOT NULL DEFAULT '')");
SchemaPart devpropSchema(
    "CREATE TABLE IF NOT EXISTS devprops (node INTEGER NOT NULL, code INTEGER NOT NULL, type INTEGER NOT NULL,"
    " data BLOB NOT NULL, PRIMARY KEY (node, code))");
SchemaPart devinterfaceSchema(
    "CREATE TABLE IF NOT EXISTS devinterfaces (id INTEGER PRIMARY KEY AUTOINCREMENT, node INTEGER NOT NULL,"
    " class_guid BLOB NOT NULL, path TEXT NOT NULL)");

constexpr char16_t kRootId[] = u"HTREE\\ROOT\\0";
constexpr char16_t kRootHubId[] = u"USB\\ROOT_HUB20\\4&2B8E3B1A&0";
constexpr char16_t kMountedDevices[] = u"SYSTEM\\MountedDevices";

// Registry property codes (SPDRP_*).
enum : DWORD {
  kDeviceDesc = 0,
  kHardwareId = 1,
  kCompatibleIds = 2,
  kService = 4,
  kClass = 7,
  kClassGuid = 8,
  kDriver = 9,
  kMfg = 11,
  kFriendlyName = 12,
  kLocation = 13,
  kPdoName = 14,
  kCapabilities = 15,
  kEnumerator = 22,
  kRemovalPolicy = 31,
};

DeviceProperty sz(std::u16string_view s) {
  DeviceProperty p;
  p.type = REG_SZ;
  p.data.resize((s.size() + 1) * 2, 0);
  std::memcpy(p.data.data(), s.data(), s.size() * 2);
  return p;
}

DeviceProperty multiSz(const std::vector<std::u16string>& list) {
  DeviceProperty p;
  p.type = REG_MULTI_SZ;
  for (const auto& s : list) {
    const auto* b = reinterpret_cast<const std::uint8_t*>(s.data());
    p.data.insert(p.data.end(), b, b + s.size() * 2);
    p.data.push_back(0), p.data.push_back(0);
  }
  p.data.push_back(0), p.data.push_back(0);
  return p;
}

DeviceProperty dword(DWORD v) {
  DeviceProperty p;
  p.type = REG_DWORD;
  p.data.resize(4);
  std::memcpy(p.data.data(), &v, 4);
  return p;
}

struct NodeSpec {
  std::u16string instanceId;
  GUID classGuid{};
  std::vector<std::pair<DWORD, DeviceProperty>> properties;
  std::vector<std::pair<GUID, std::u16string>> interfaces;
};

std::string key(std::u16string_view instanceId) { return text::toUtf8(text::upcased(instanceId)); }

DeviceNode readNode(Query& q) {
  DeviceNode n;
  n.id = static_cast<DWORD>(q.int64At(0));
  n.parent = static_cast<DWORD>(q.int64At(1));
  n.instanceId = text::fromUtf8(q.textAt(2));
  std::string_view g = q.blobAt(3);
  if (g.size() == sizeof(GUID)) std::memcpy(&n.classGuid, g.data(), sizeof(GUID));
  n.present = q.int64At(4) != 0;
  return n;
}

// Makes (or finds and refreshes) a node; call inside a transaction. Ids are kept across plugs.
DWORD upsertNode(Database& db, DWORD parent, const NodeSpec& spec, bool present) {
  DWORD id = 0;
  {
    auto q = db.query("SELECT id FROM devnodes WHERE instance_key = ?1");
    q.bind(1, key(spec.instanceId));
    if (q.step()) id = static_cast<DWORD>(q.int64At(0));
  }
  if (id) {
    db.query("UPDATE devnodes SET parent = ?1, present = ?2 WHERE id = ?3")
        .bind(1, static_cast<std::int64_t>(parent))
        .bind(2, present ? 1 : 0)
        .bind(3, static_cast<std::int64_t>(id))
        .run();
    db.query("DELETE FROM devprops WHERE node = ?1").bind(1, static_cast<std::int64_t>(id)).run();
    db.query("DELETE FROM devinterfaces WHERE node = ?1").bind(1, static_cast<std::int64_t>(id)).run();
  } else {
    db.query("INSERT INTO devnodes (parent, instance_id, instance_key, class_guid, present) VALUES (?1, ?2, ?3, ?4, ?5)")
        .bind(1, static_cast<std::int64_t>(parent))
        .bind(2, text::toUtf8(spec.instanceId))
        .bind(3, key(spec.instanceId))
        .bindBlob(4, &spec.classGuid, sizeof(GUID))
        .bind(5, present ? 1 : 0)
        .run();
    id = static_cast<DWORD>(db.lastInsertRowid());
  }
  for (const auto& [code, prop] : spec.properties)
    db.query("INSERT INTO devprops (node, code, type, data) VALUES (?1, ?2, ?3, ?4)")
        .bind(1, static_cast<std::int64_t>(id))
        .bind(2, static_cast<std::int64_t>(code))
        .bind(3, static_cast<std::int64_t>(prop.type))
        .bindBlob(4, prop.data.data(), prop.data.size())
        .run();
  for (const auto& [guid, path] : spec.interfaces)
    db.query("INSERT INTO devinterfaces (node, class_guid, path) VALUES (?1, ?2, ?3)")
        .bind(1, static_cast<std::int64_t>(id))
        .bindBlob(2, &guid, sizeof(GUID))
        .bind(3, text::toUtf8(path))
        .run();
  return id;
}

DWORD ensureRoot(Database& db) {
  {
    auto q = db.query("SELECT id FROM devnodes WHERE instance_key = ?1");
    q.bind(1, key(kRootId));
    if (q.step()) return static_cast<DWORD>(q.int64At(0));
  }
  NodeSpec root;
  root.instanceId = kRootId;
  return upsertNode(db, 0, root, true);
}

std::uint32_t fnv(std::u16string_view s) {
  std::uint32_t h = 2166136261u;
  for (char16_t c : s) h = (h ^ text::upcase(c)) * 16777619u;
  return h;
}

std::u16string hex(std::uint64_t v, int digits, bool upper) {
  static const char lower[] = "0123456789abcdef", upperDigits[] = "0123456789ABCDEF";
  std::u16string s(static_cast<std::size_t>(digits), u'0');
  for (int i = digits - 1; i >= 0; --i, v >>= 4) s[static_cast<std::size_t>(i)] = (upper ? upperDigits : lower)[v & 15];
  return s;
}

std::u16string lowered(std::u16string s) {
  for (auto& c : s)
    if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c - u'A' + u'a');
  return s;
}

bool isHex4(std::u16string_view s) {
  if (s.size() != 4) return false;
  for (char16_t c : s)
    if (!((c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F'))) return false;
  return true;
}

struct KindFacts {
  const char16_t* usbDescription;
  const char16_t* diskVendor;   // as in the disk's instance id
  const char16_t* diskProduct;
  const char16_t* diskRevision;
  const char16_t* friendlyName;
};

KindFacts factsOf(UsbDriveKind kind) {
  switch (kind) {
    case UsbDriveKind::SecureDrive:
      return {u"U-Storage Device", u"OTi", u"Flash_Disk", u"2.00", u"OTi Flash Disk USB Device"};
    case UsbDriveKind::IPod:
      return {u"USB Mass Storage Device", u"Apple", u"iPod", u"1.62", u"Apple iPod USB Device"};
    case UsbDriveKind::Flash:
      break;
  }
  return {u"USB Mass Storage Device", u"Generic", u"USB_Flash_Disk", u"1.00", u"Generic USB Flash Disk USB Device"};
}

// The revision in the USB hardware id: "2.00" -> "0200".
std::u16string usbRevision(std::u16string_view diskRevision) {
  std::u16string digits;
  for (char16_t c : diskRevision)
    if (c != u'.') digits += c;
  while (digits.size() < 4) digits.insert(digits.begin(), u'0');
  return digits.substr(0, 4);
}

std::u16string volumeGuidFor(std::u16string_view seed) {
  std::uint32_t a = fnv(seed), b = fnv(std::u16string(seed) + u"#b"), c = fnv(std::u16string(seed) + u"#c");
  return u"{" + hex(a, 8, false) + u"-" + hex(b >> 16, 4, false) + u"-11dd-" + hex(b & 0xFFFF, 4, false) + u"-" +
         hex(c, 8, false) + hex(a >> 16, 4, false) + u"}";
}

void writeMountedDevice(std::u16string_view letterValue, std::u16string_view volumeValue, const std::string& data) {
  registry::WriteScope w;
  registry::Store& s = w.store();
  registry::KeyId k = s.walk(s.machineRoot(), kMountedDevices);
  if (!k) {
    k = s.machineRoot();
    for (std::u16string_view part : {std::u16string_view(u"SYSTEM"), std::u16string_view(u"MountedDevices")}) {
      registry::KeyId next = s.child(k, part);
      k = next ? next : s.createChild(k, part);
    }
  }
  if (!letterValue.empty()) {
    // A volume has one letter: another letter that named it loses its value.
    std::vector<std::u16string> stale;
    for (const auto& v : s.values(k))
      if (v.data == data && text::upcased(v.name).starts_with(u"\\DOSDEVICES\\") && !text::equalNoCase(v.name, letterValue))
        stale.push_back(v.name);
    for (const auto& name : stale) s.deleteValue(k, name);
    s.setValue(k, letterValue, REG_BINARY, data);
  }
  s.setValue(k, volumeValue, REG_BINARY, data);
  w.commit();
}

std::string utf16Bytes(std::u16string_view s) {
  return std::string(reinterpret_cast<const char*>(s.data()), s.size() * 2);
}

UsbDriveNodes nodesOfVolume(Database& db, DWORD volume) {
  UsbDriveNodes n;
  n.volume = volume;
  auto parentOf = [&](DWORD id) -> DWORD {
    auto q = db.query("SELECT parent FROM devnodes WHERE id = ?1");
    q.bind(1, static_cast<std::int64_t>(id));
    return q.step() ? static_cast<DWORD>(q.int64At(0)) : 0;
  };
  auto interfaceOf = [&](DWORD id) -> std::u16string {
    auto q = db.query("SELECT path FROM devinterfaces WHERE node = ?1 ORDER BY id LIMIT 1");
    q.bind(1, static_cast<std::int64_t>(id));
    return q.step() ? text::fromUtf8(q.textAt(0)) : std::u16string();
  };
  n.disk = parentOf(volume);
  n.usb = parentOf(n.disk);
  n.usbInterface = interfaceOf(n.usb);
  n.diskInterface = interfaceOf(n.disk);
  n.volumeInterface = interfaceOf(volume);
  return n;
}

// The fixed disk behind C: of every new host, with its volume and MountedDevices values (the
// 12-byte disk signature and partition offset a basic disk's volume has).
CreateStep systemDiskStep(30, [](Host& host) {
  Database& db = host.db();
  {
    Database::Transaction t(db);
    DWORD root = ensureRoot(db);
    NodeSpec disk;
    disk.instanceId = u"IDE\\DISKKIPO_VIRTUAL_DISK_______________________1.0_____\\5&1A2B3C4D&0&0.0.0";
    disk.classGuid = kClassDiskDrive;
    disk.properties = {{kDeviceDesc, sz(u"Disk drive")},
                       {kHardwareId, multiSz({u"IDE\\DiskKIPO_VIRTUAL_DISK_______________________1.0_____",
                                              u"IDE\\KIPO_VIRTUAL_DISK_______________________1.0_____", u"GenDisk"})},
                       {kService, sz(u"disk")},
                       {kClass, sz(u"DiskDrive")},
                       {kClassGuid, sz(guidText(kClassDiskDrive, true))},
                       {kMfg, sz(u"(Standard disk drives)")},
                       {kFriendlyName, sz(u"KIPO VIRTUAL DISK")},
                       {kEnumerator, sz(u"IDE")},
                       {kRemovalPolicy, dword(1)}};
    disk.interfaces = {{kInterfaceDisk,
                        u"\\\\?\\ide#diskkipo_virtual_disk_______________________1.0_____#5&1a2b3c4d&0&0.0.0#" +
                            guidText(kInterfaceDisk, true)}};
    DWORD diskId = upsertNode(db, root, disk, true);
    NodeSpec volume;
    volume.instanceId = u"STORAGE\\VOLUME\\1&30A96598&0&SIGNATURE4B49504FOFFSET7E00LENGTH9502F90000";
    volume.classGuid = kClassVolume;
    volume.properties = {{kDeviceDesc, sz(u"Generic volume")},
                         {kHardwareId, multiSz({u"STORAGE\\Volume"})},
                         {kClass, sz(u"Volume")},
                         {kClassGuid, sz(guidText(kClassVolume, true))},
                         {kEnumerator, sz(u"STORAGE")}};
    volume.interfaces = {{kInterfaceVolume,
                          u"\\\\?\\STORAGE#Volume#1&30a96598&0&Signature4B49504FOffset7E00Length9502F90000#" +
                              guidText(kInterfaceVolume, true)}};
    DWORD volumeId = upsertNode(db, diskId, volume, true);
    db.query("UPDATE devnodes SET drive_letter = 'C' WHERE id = ?1").bind(1, static_cast<std::int64_t>(volumeId)).run();
    t.commit();
  }
  const std::uint8_t signature[12] = {0x4F, 0x50, 0x49, 0x4B, 0x00, 0x7E, 0, 0, 0, 0, 0, 0};
  writeMountedDevice(u"\\DosDevices\\C:", u"\\??\\Volume" + volumeGuidFor(u"C:"),
                     std::string(reinterpret_cast<const char*>(signature), sizeof signature));
});

// The machine's own devices under the root: the computer, its processor and keyboard, and a
// non-Plug and Play driver (a class the device manager does not display).
CreateStep machineDevicesStep(31, [](Host& host) {
  Database& db = host.db();
  Database::Transaction t(db);
  DWORD root = ensureRoot(db);
  struct Machine {
    const char16_t* instanceId;
    const GUID* classGuid;
    const char16_t* className;
    const char16_t* description;
    const char16_t* friendlyName;  // null: none
    const char16_t* enumerator;
  };
  const Machine devices[] = {
      {u"ACPI_HAL\\PNP0C08\\0", &kClassComputer, u"Computer", u"ACPI Multiprocessor PC", nullptr, u"ACPI_HAL"},
      {u"ACPI\\GENUINEINTEL_-_X86_FAMILY_6_MODEL_15\\_0", &kClassProcessor, u"Processor",
       u"Intel(R) Core(TM)2 CPU          6600  @ 2.40GHz", nullptr, u"ACPI"},
      {u"ACPI\\PNP0303\\4&1D401FB5&0", &kClassKeyboard, u"Keyboard", u"Standard 101/102-Key or Microsoft Natural PS/2 Keyboard",
       nullptr, u"ACPI"},
      {u"ROOT\\LEGACY_BEEP\\0000", &kClassLegacyDriver, u"LegacyDriver", u"Beep", u"Beep", u"ROOT"},
  };
  for (const Machine& m : devices) {
    NodeSpec node;
    node.instanceId = m.instanceId;
    node.classGuid = *m.classGuid;
    node.properties = {{kDeviceDesc, sz(m.description)},
                       {kClass, sz(m.className)},
                       {kClassGuid, sz(guidText(*m.classGuid, true))},
                       {kEnumerator, sz(m.enumerator)}};
    if (m.friendlyName) node.properties.push_back({kFriendlyName, sz(m.friendlyName)});
    upsertNode(db, root, node, true);
  }
  t.commit();
});

}  // namespace

std::u16string guidText(const GUID& g, bool lowerCase) {
  std::u16string s = u"{" + hex(g.Data1, 8, !lowerCase) + u"-" + hex(g.Data2, 4, !lowerCase) + u"-" +
                     hex(g.Data3, 4, !lowerCase) + u"-";
  for (int i = 0; i < 8; ++i) {
    if (i == 2) s += u'-';
    s += hex(g.Data4[i], 2, !lowerCase);
  }
  return s + u"}";
}

bool sameGuid(const GUID& a, const GUID& b) { return std::memcmp(&a, &b, sizeof(GUID)) == 0; }

DWORD deviceRoot() {
  Database& db = Host::current().db();
  Database::Transaction t(db);
  DWORD id = ensureRoot(db);
  t.commit();
  return id;
}

std::optional<DeviceNode> deviceNode(DWORD id) {
  Database& db = Host::current().db();
  auto lock = db.lock();
  auto q = db.query("SELECT id, parent, instance_id, class_guid, present FROM devnodes WHERE id = ?1");
  q.bind(1, static_cast<std::int64_t>(id));
  if (!q.step()) return std::nullopt;
  return readNode(q);
}

std::optional<DeviceNode> deviceByInstanceId(std::u16string_view instanceId) {
  Database& db = Host::current().db();
  auto lock = db.lock();
  auto q = db.query("SELECT id, parent, instance_id, class_guid, present FROM devnodes WHERE instance_key = ?1");
  q.bind(1, key(instanceId));
  if (!q.step()) return std::nullopt;
  return readNode(q);
}

std::vector<DeviceNode> deviceNodes(bool presentOnly) {
  deviceRoot();
  Database& db = Host::current().db();
  auto lock = db.lock();
  std::vector<DeviceNode> out;
  auto q = db.query("SELECT id, parent, instance_id, class_guid, present FROM devnodes ORDER BY id");
  while (q.step()) {
    DeviceNode n = readNode(q);
    if (!presentOnly || n.present) out.push_back(std::move(n));
  }
  return out;
}

std::vector<DWORD> deviceChildren(DWORD id, bool presentOnly) {
  Database& db = Host::current().db();
  auto lock = db.lock();
  std::vector<DWORD> out;
  auto q = db.query("SELECT id, present FROM devnodes WHERE parent = ?1 ORDER BY id");
  q.bind(1, static_cast<std::int64_t>(id));
  while (q.step())
    if (!presentOnly || q.int64At(1)) out.push_back(static_cast<DWORD>(q.int64At(0)));
  return out;
}

std::optional<DeviceProperty> deviceProperty(DWORD node, DWORD code) {
  Database& db = Host::current().db();
  auto lock = db.lock();
  auto q = db.query("SELECT type, data FROM devprops WHERE node = ?1 AND code = ?2");
  q.bind(1, static_cast<std::int64_t>(node)).bind(2, static_cast<std::int64_t>(code));
  if (!q.step()) return std::nullopt;
  DeviceProperty p;
  p.type = static_cast<DWORD>(q.int64At(0));
  std::string_view d = q.blobAt(1);
  p.data.assign(d.begin(), d.end());
  return p;
}

std::vector<DeviceInterfaceEntry> deviceInterfaces(DWORD node) {
  Database& db = Host::current().db();
  auto lock = db.lock();
  std::vector<DeviceInterfaceEntry> out;
  auto q = db.query("SELECT class_guid, path FROM devinterfaces WHERE node = ?1 ORDER BY id");
  q.bind(1, static_cast<std::int64_t>(node));
  while (q.step()) {
    DeviceInterfaceEntry e;
    e.node = node;
    std::string_view g = q.blobAt(0);
    if (g.size() == sizeof(GUID)) std::memcpy(&e.classGuid, g.data(), sizeof(GUID));
    e.path = text::fromUtf8(q.textAt(1));
    out.push_back(std::move(e));
  }
  return out;
}

UsbDriveKind usbDriveKindOf(std::u16string_view vendorId) {
  if (text::equalNoCase(vendorId, u"0EA0")) return UsbDriveKind::SecureDrive;
  if (text::equalNoCase(vendorId, u"05AC")) return UsbDriveKind::IPod;
  return UsbDriveKind::Flash;
}

UsbDriveNodes plugUsbDriveNodes(const UsbDriveSpec& spec, char16_t letter) {
  letter = text::upcase(letter);
  if (letter < u'A' || letter > u'Z') throw std::runtime_error("invalid drive letter");
  if (!isHex4(spec.vendorId) || !isHex4(spec.productId))
    throw std::runtime_error("vendor and product ids are 4 hexadecimal digits");
  if (spec.serial.empty() || spec.serial.find_first_of(u"\\/# &") != std::u16string::npos)
    throw std::runtime_error("a serial number is needed, without \\ / # & or spaces");
  const std::u16string vid = text::upcased(spec.vendorId), pid = text::upcased(spec.productId);
  const KindFacts f = factsOf(spec.kind);
  const std::u16string rev = usbRevision(f.diskRevision);

  NodeSpec usb;
  usb.instanceId = u"USB\\VID_" + vid + u"&PID_" + pid + u"\\" + spec.serial;
  usb.classGuid = kClassUsb;
  usb.properties = {{kDeviceDesc, sz(f.usbDescription)},
                    {kHardwareId, multiSz({u"USB\\VID_" + vid + u"&PID_" + pid + u"&REV_" + rev,
                                           u"USB\\VID_" + vid + u"&PID_" + pid})},
                    {kCompatibleIds, multiSz({u"USB\\Class_08&SubClass_06&Prot_50", u"USB\\Class_08&SubClass_06",
                                              u"USB\\Class_08"})},
                    {kService, sz(u"USBSTOR")},
                    {kClass, sz(u"USB")},
                    {kClassGuid, sz(guidText(kClassUsb, true))},
                    {kMfg, sz(u"Compatible USB storage device")},
                    {kLocation, sz(u"USB Mass Storage Device")},
                    {kEnumerator, sz(u"USB")},
                    {kCapabilities, dword(0x94)},
                    {kRemovalPolicy, dword(3)}};
  usb.interfaces = {{kInterfaceUsbDevice, lowered(u"\\\\?\\usb#vid_" + vid + u"&pid_" + pid + u"#" + spec.serial + u"#") +
                                              guidText(kInterfaceUsbDevice, true)}};

  const std::u16string diskTail = u"DISK&VEN_" + text::upcased(f.diskVendor) + u"&PROD_" + text::upcased(f.diskProduct) +
                                  u"&REV_" + text::upcased(f.diskRevision);
  NodeSpec disk;
  disk.instanceId = u"USBSTOR\\" + diskTail + u"\\" + spec.serial + u"&0";
  disk.classGuid = kClassDiskDrive;
  disk.properties = {{kDeviceDesc, sz(u"Disk drive")},
                     {kHardwareId, multiSz({u"USBSTOR\\Disk" + std::u16string(f.diskVendor) + f.diskProduct + f.diskRevision,
                                            u"USBSTOR\\Disk" + std::u16string(f.diskVendor) + f.diskProduct,
                                            u"USBSTOR\\Disk" + std::u16string(f.diskVendor), u"GenDisk"})},
                     {kCompatibleIds, multiSz({u"USBSTOR\\Disk", u"USBSTOR\\RAW"})},
                     {kService, sz(u"disk")},
                     {kClass, sz(u"DiskDrive")},
                     {kClassGuid, sz(guidText(kClassDiskDrive, true))},
                     {kMfg, sz(u"(Standard disk drives)")},
                     {kFriendlyName, sz(f.friendlyName)},
                     {kEnumerator, sz(u"USBSTOR")},
                     {kRemovalPolicy, dword(3)}};
  disk.interfaces = {{kInterfaceDisk, lowered(u"\\\\?\\usbstor#" + diskTail + u"#" + spec.serial + u"&0#") +
                                          guidText(kInterfaceDisk, true)}};

  // The volume's id depends only on the device, so the drive keeps its volume interface name.
  const std::u16string volumeKey = hex(fnv(usb.instanceId), 8, false);
  NodeSpec volume;
  volume.instanceId = u"STORAGE\\REMOVABLEMEDIA\\7&" + text::upcased(volumeKey) + u"&0&RM";
  volume.classGuid = kClassVolume;
  volume.properties = {{kDeviceDesc, sz(u"Generic volume")},
                       {kHardwareId, multiSz({u"STORAGE\\RemovableMedia"})},
                       {kCompatibleIds, multiSz({u"STORAGE\\Volume"})},
                       {kClass, sz(u"Volume")},
                       {kClassGuid, sz(guidText(kClassVolume, true))},
                       {kEnumerator, sz(u"STORAGE")}};
  const std::u16string volumeTail = u"STORAGE#RemovableMedia#7&" + volumeKey + u"&0&RM#" + guidText(kInterfaceVolume, true);
  volume.interfaces = {{kInterfaceVolume, u"\\\\?\\" + volumeTail}};

  Database& db = Host::current().db();
  UsbDriveNodes out;
  {
    Database::Transaction t(db);
    DWORD root = ensureRoot(db);
    NodeSpec hub;
    hub.instanceId = kRootHubId;
    hub.classGuid = kClassUsb;
    hub.properties = {{kDeviceDesc, sz(u"USB Root Hub")}, {kClass, sz(u"USB")}, {kService, sz(u"usbhub")},
                      {kEnumerator, sz(u"USB")}};
    DWORD hubId = upsertNode(db, root, hub, true);
    // The letter moves to this volume.
    db.query("UPDATE devnodes SET drive_letter = '' WHERE drive_letter = ?1").bind(1, std::string(1, static_cast<char>(letter))).run();
    out.usb = upsertNode(db, hubId, usb, true);
    out.disk = upsertNode(db, out.usb, disk, true);
    out.volume = upsertNode(db, out.disk, volume, true);
    db.query("UPDATE devnodes SET drive_letter = ?1 WHERE id = ?2")
        .bind(1, std::string(1, static_cast<char>(letter)))
        .bind(2, static_cast<std::int64_t>(out.volume))
        .run();
    t.commit();
  }
  out.usbInterface = usb.interfaces[0].second;
  out.diskInterface = disk.interfaces[0].second;
  out.volumeInterface = volume.interfaces[0].second;
  out.volumeGuidName = u"\\??\\Volume" + volumeGuidFor(usb.instanceId);
  out.mountTarget = u"\\??\\" + volumeTail;
  writeMountedDevice(std::u16string(u"\\DosDevices\\") + letter + u":", out.volumeGuidName, utf16Bytes(out.mountTarget));
  return out;
}

std::optional<UsbDriveNodes> usbDriveAt(char16_t letter) {
  letter = text::upcase(letter);
  if (letter < u'A' || letter > u'Z') return std::nullopt;
  Database& db = Host::current().db();
  auto lock = db.lock();
  DWORD volume = 0;
  {
    auto q = db.query("SELECT id FROM devnodes WHERE drive_letter = ?1 AND present = 1 AND instance_key LIKE 'STORAGE\\REMOVABLEMEDIA\\%'");
    q.bind(1, std::string(1, static_cast<char>(letter)));
    if (!q.step()) return std::nullopt;
    volume = static_cast<DWORD>(q.int64At(0));
  }
  UsbDriveNodes n = nodesOfVolume(db, volume);
  return n;
}

std::optional<DWORD> volumeAt(char16_t letter) {
  letter = text::upcase(letter);
  if (letter < u'A' || letter > u'Z') return std::nullopt;
  Database& db = Host::current().db();
  auto lock = db.lock();
  auto q = db.query("SELECT id FROM devnodes WHERE drive_letter = ?1 AND present = 1");
  q.bind(1, std::string(1, static_cast<char>(letter)));
  if (!q.step()) return std::nullopt;
  return static_cast<DWORD>(q.int64At(0));
}

void unplugUsbDriveNodes(const UsbDriveNodes& nodes) {
  Database& db = Host::current().db();
  Database::Transaction t(db);
  for (DWORD id : {nodes.usb, nodes.disk, nodes.volume})
    db.query("UPDATE devnodes SET present = 0, drive_letter = '' WHERE id = ?1").bind(1, static_cast<std::int64_t>(id)).run();
  t.commit();
}

namespace {

void notifyInterface(UINT event, const GUID& guid, const std::u16string& name) {
  auto record = interfaceRecord(guid, name);
  broadcastDeviceChange(event, reinterpret_cast<const DEV_BROADCAST_HDR*>(record.data()));
}

void notifyVolume(UINT event, char16_t letter) {
  DEV_BROADCAST_VOLUME v = volumeRecord(1u << (letter - u'A'), 0);
  broadcastDeviceChange(event, reinterpret_cast<const DEV_BROADCAST_HDR*>(&v));
}

}  // namespace

UsbDriveNodes plugDrive(const PlugRequest& request) {
  const char16_t letter = text::upcase(request.letter);
  if (letter < u'A' || letter > u'Z') throw std::runtime_error("a drive letter A: to Z: is needed");
  if (drives()->letter(letter)) throw std::runtime_error("drive " + text::toUtf8(std::u16string{letter, u':'}) + " already exists");
  UsbDriveSpec spec = request.device;
  spec.kind = usbDriveKindOf(spec.vendorId);
  std::error_code ec;
  const fs::path folder = fs::absolute(request.folder, ec);
  if (ec || !fs::is_directory(folder, ec)) throw std::runtime_error("drive folder " + request.folder.string() + " does not exist");

  Drive entry;
  std::optional<SecureAreaDrive> secure;
  if (spec.kind == UsbDriveKind::SecureDrive) {
    SecureAreaDrive rec = secureAreaDrive(spec.serial).value_or(SecureAreaDrive{});
    const bool known = !rec.serial.empty();
    rec.serial = spec.serial;
    rec.vendorId = text::upcased(spec.vendorId);
    rec.productId = text::upcased(spec.productId);
    rec.letter = letter;
    rec.publicRoot = folder;
    if (request.capacity) rec.capacityMb = static_cast<std::uint32_t>(*request.capacity / 1000000u);
    if (!rec.capacityMb) rec.capacityMb = kDefaultSecureDriveMb;
    if (request.secureFolder) {
      fs::path s = fs::absolute(*request.secureFolder, ec);
      if (ec || !fs::is_directory(s, ec))
        throw std::runtime_error("secure folder " + request.secureFolder->string() + " does not exist");
      rec.secureRoot = s;
      // A drive that comes with a secure area holds one of half its size unless it had one.
      if (!rec.secureMb) rec.secureMb = rec.capacityMb / 2;
    }
    if (rec.secureRoot.empty()) rec.secureRoot = defaultSecureFolder(spec.serial);
    if (rec.secureMb + rec.lun2Mb > rec.capacityMb) rec.secureMb = rec.capacityMb - rec.lun2Mb;
    if (request.devicePassword) rec.devicePassword = *request.devicePassword;
    if (!known && !request.devicePassword) rec.devicePassword = kFactoryDevicePassword;
    if (request.hintField) rec.hintField = *request.hintField;
    rec.open = false;
    rec.wrongPasswords = 0;
    entry = driveEntryFor(rec);
    secure = rec;
  } else {
    entry.name = std::u16string{letter, u':'};
    entry.root = folder;
    entry.type = kDriveRemovable;
    entry.fileSystem = u"FAT32";
    entry.clusterSize = 4096;
    entry.serial = defaultSerial(entry.name, folder);
    entry.capacity = request.capacity;
  }
  if (request.label) entry.label = *request.label;
  addDrive(entry);
  UsbDriveNodes nodes;
  try {
    nodes = plugUsbDriveNodes(spec, letter);
  } catch (...) {
    removeDrive(std::u16string{letter, u':'});
    throw;
  }
  if (secure) saveSecureAreaDrive(*secure);
  notifyInterface(DBT_DEVICEARRIVAL, kInterfaceUsbDevice, nodes.usbInterface);
  notifyInterface(DBT_DEVICEARRIVAL, kInterfaceDisk, nodes.diskInterface);
  notifyInterface(DBT_DEVICEARRIVAL, kInterfaceVolume, nodes.volumeInterface);
  notifyVolume(DBT_DEVICEARRIVAL, letter);
  return nodes;
}

bool unplugDrive(char16_t letter) {
  letter = text::upcase(letter);
  auto nodes = usbDriveAt(letter);
  if (!nodes) return false;
  removeDrive(std::u16string{letter, u':'});
  unplugUsbDriveNodes(*nodes);
  for (SecureAreaDrive rec : pluggedSecureAreaDrives()) {
    if (rec.letter != letter) continue;
    rec.letter = 0;
    rec.open = false;
    rec.wrongPasswords = 0;
    saveSecureAreaDrive(rec);
  }
  notifyVolume(DBT_DEVICEREMOVECOMPLETE, letter);
  notifyInterface(DBT_DEVICEREMOVECOMPLETE, kInterfaceVolume, nodes->volumeInterface);
  notifyInterface(DBT_DEVICEREMOVECOMPLETE, kInterfaceDisk, nodes->diskInterface);
  notifyInterface(DBT_DEVICEREMOVECOMPLETE, kInterfaceUsbDevice, nodes->usbInterface);
  return true;
}

}  // namespace platform::host
