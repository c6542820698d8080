// The connected iPods and the iPod service's state in host.db, and disk mode as a plugged drive.
#include "platform/host/ipod.h"

#include <stdexcept>

#include "platform/base/text.h"
#include "platform/host/database.h"
#include "platform/host/device_tree.h"
#include "platform/host/host.h"

namespace platform::host {

namespace {

SchemaPart ipodSchema(
    "CREATE TABLE IF NOT EXISTS ipods (id INTEGER PRIMARY KEY AUTOINCREMENT, serial TEXT NOT NULL UNIQUE,"
    " letter TEXT NOT NULL, folder TEXT NOT NULL, disk_use INTEGER NOT NULL DEFAULT 0)");
SchemaPart ipodServiceSchema("CREATE TABLE IF NOT EXISTS ipod_service (installed INTEGER NOT NULL)");
SchemaPart ipodCallSchema("CREATE TABLE IF NOT EXISTS ipod_calls (id INTEGER PRIMARY KEY AUTOINCREMENT, call TEXT NOT NULL)");

constexpr char16_t kMakerVendorId[] = u"05AC";
constexpr char16_t kDiskModeProductId[] = u"1209";

std::vector<IPodRecord> readAll() {
  Database& db = Host::current().db();
  auto lock = db.lock();
  std::vector<IPodRecord> out;
  auto q = db.query("SELECT serial, letter, folder, disk_use FROM ipods ORDER BY id");
  while (q.step()) {
    IPodRecord r;
    r.index = static_cast<int>(out.size()) + 1;
    r.serial = text::fromUtf8(q.textAt(0));
    std::string letter = q.textAt(1);
    r.letter = letter.empty() ? 0 : static_cast<char16_t>(letter[0]);
    r.folder = q.textAt(2);
    r.diskUse = static_cast<DWORD>(q.int64At(3));
    out.push_back(std::move(r));
  }
  lock.unlock();
  // Disk mode is whether the iPod's own drive is plugged at its letter.
  for (IPodRecord& r : out) {
    auto drive = usbDriveAt(r.letter);
    if (!drive) continue;
    auto node = deviceNode(drive->usb);
    r.mounted = node && text::upcased(node->instanceId).ends_with(u"\\" + text::upcased(r.serial));
  }
  return out;
}

std::optional<IPodRecord> bySerial(const std::u16string& serial) {
  for (IPodRecord& r : readAll())
    if (text::equalNoCase(r.serial, serial)) return r;
  return std::nullopt;
}

}  // namespace

bool iPodServiceInstalled() {
  Database& db = Host::current().db();
  auto lock = db.lock();
  auto q = db.query("SELECT installed FROM ipod_service");
  return q.step() && q.int64At(0) != 0;
}

void setIPodServiceInstalled(bool installed) {
  Database& db = Host::current().db();
  Database::Transaction t(db);
  db.query("DELETE FROM ipod_service").run();
  db.query("INSERT INTO ipod_service (installed) VALUES (?1)").bind(1, installed ? 1 : 0).run();
  t.commit();
}

std::vector<IPodRecord> connectedIPods() { return readAll(); }

std::optional<IPodRecord> iPodAt(int index) {
  auto all = readAll();
  if (index < 1 || static_cast<std::size_t>(index) > all.size()) return std::nullopt;
  return all[static_cast<std::size_t>(index) - 1];
}

void connectIPod(const std::u16string& serial, char16_t letter, const std::filesystem::path& folder, DWORD diskUse) {
  letter = text::upcase(letter);
  if (letter < u'A' || letter > u'Z') throw std::runtime_error("a drive letter A: to Z: is needed");
  if (serial.empty() || serial.find_first_of(u"\\/# &") != std::u16string::npos)
    throw std::runtime_error("a serial number is needed, without \\ / # & or spaces");
  std::error_code ec;
  const std::filesystem::path absolute = std::filesystem::absolute(folder, ec);
  if (ec || !std::filesystem::is_directory(absolute, ec)) throw std::runtime_error("folder " + folder.string() + " does not exist");
  for (const IPodRecord& r : readAll()) {
    if (text::equalNoCase(r.serial, serial)) throw std::runtime_error("that iPod is connected already");
    if (r.letter == letter) throw std::runtime_error("another iPod mounts at that letter");
  }
  Database& db = Host::current().db();
  Database::Transaction t(db);
  db.query("INSERT INTO ipods (serial, letter, folder, disk_use) VALUES (?1, ?2, ?3, ?4)")
      .bind(1, text::toUtf8(serial))
      .bind(2, std::string(1, static_cast<char>(letter)))
      .bind(3, absolute.string())
      .bind(4, static_cast<std::int64_t>(diskUse))
      .run();
  t.commit();
}

bool disconnectIPod(const std::u16string& serial) {
  auto r = bySerial(serial);
  if (!r) return false;
  if (r->mounted) setIPodMounted(serial, false);
  Database& db = Host::current().db();
  Database::Transaction t(db);
  db.query("DELETE FROM ipods WHERE serial = ?1").bind(1, text::toUtf8(r->serial)).run();
  t.commit();
  return true;
}

bool setIPodMounted(const std::u16string& serial, bool mounted) {
  auto r = bySerial(serial);
  if (!r || r->mounted == mounted) return false;
  if (!mounted) return unplugDrive(r->letter);
  PlugRequest plug;
  plug.letter = r->letter;
  plug.folder = r->folder;
  plug.device.vendorId = kMakerVendorId;
  plug.device.productId = kDiskModeProductId;
  plug.device.serial = r->serial;
  plugDrive(plug);
  return true;
}

bool setIPodDiskUse(const std::u16string& serial, DWORD diskUse) {
  auto r = bySerial(serial);
  if (!r) return false;
  Database& db = Host::current().db();
  Database::Transaction t(db);
  db.query("UPDATE ipods SET disk_use = ?1 WHERE serial = ?2")
      .bind(1, static_cast<std::int64_t>(diskUse))
      .bind(2, text::toUtf8(r->serial))
      .run();
  t.commit();
  return true;
}

void recordIPodServiceCall(const std::string& call) {
  Database& db = Host::current().db();
  Database::Transaction t(db);
  db.query("INSERT INTO ipod_calls (call) VALUES (?1)").bind(1, call).run();
  t.commit();
}

std::vector<std::string> iPodServiceCalls() {
  Database& db = Host::current().db();
  auto lock = db.lock();
  std::vector<std::string> out;
  auto q = db.query("SELECT call FROM ipod_calls ORDER BY id");
  while (q.step()) out.push_back(q.textAt(0));
  return out;
}

void clearIPodServiceCalls() {
  Database& db = Host::current().db();
  Database::Transaction t(db);
  db.query("DELETE FROM ipod_calls").run();
  t.commit();
}

}  // namespace platform::host
