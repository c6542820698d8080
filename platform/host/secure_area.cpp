// The secure-drive records in host.db and the swap of what a drive letter shows.
#include "platform/host/secure_area.h"

#include <cctype>

#include "platform/base/text.h"
#include "platform/host/database.h"
#include "platform/host/drives.h"
#include "platform/host/host.h"

namespace platform::host {

namespace fs = std::filesystem;

namespace {

SchemaPart secureAreaSchema(
    "CREATE TABLE IF NOT EXISTS secure_drives (serial_key TEXT PRIMARY KEY, serial TEXT NOT NULL,"
    " vid TEXT NOT NULL, pid TEXT NOT NULL, letter TEXT NOT NULL, public_root TEXT NOT NULL,"
    " secure_root TEXT NOT NULL, capacity_mb INTEGER NOT NULL, secure_mb INTEGER NOT NULL,"
    " lun2_mb INTEGER NOT NULL, device_password TEXT NOT NULL, hint BLOB NOT NULL, open INTEGER NOT NULL,"
    " wrong INTEGER NOT NULL)");

const char kColumns[] =
    "SELECT serial, vid, pid, letter, public_root, secure_root, capacity_mb, secure_mb, lun2_mb, device_password,"
    " hint, open, wrong FROM secure_drives";

SecureAreaDrive readRow(Query& q) {
  SecureAreaDrive d;
  d.serial = text::fromUtf8(q.textAt(0));
  d.vendorId = text::fromUtf8(q.textAt(1));
  d.productId = text::fromUtf8(q.textAt(2));
  std::string letter = q.textAt(3);
  d.letter = letter.empty() ? 0 : static_cast<char16_t>(letter[0]);
  d.publicRoot = q.textAt(4);
  d.secureRoot = q.textAt(5);
  d.capacityMb = static_cast<std::uint32_t>(q.int64At(6));
  d.secureMb = static_cast<std::uint32_t>(q.int64At(7));
  d.lun2Mb = static_cast<std::uint32_t>(q.int64At(8));
  d.devicePassword = text::fromUtf8(q.textAt(9));
  std::string_view hint = q.blobAt(10);
  d.hintField.assign(hint.begin(), hint.end());
  d.open = q.int64At(11) != 0;
  d.wrongPasswords = static_cast<int>(q.int64At(12));
  return d;
}

}  // namespace

std::vector<SecureAreaDrive> pluggedSecureAreaDrives() {
  Database& db = Host::current().db();
  auto lock = db.lock();
  std::vector<SecureAreaDrive> out;
  auto q = db.query(std::string(kColumns) + " WHERE letter <> '' ORDER BY letter");
  while (q.step()) out.push_back(readRow(q));
  return out;
}

std::optional<SecureAreaDrive> secureAreaDrive(std::u16string_view serial) {
  Database& db = Host::current().db();
  auto lock = db.lock();
  auto q = db.query(std::string(kColumns) + " WHERE serial_key = ?1");
  q.bind(1, text::toUtf8(text::upcased(serial)));
  if (!q.step()) return std::nullopt;
  return readRow(q);
}

void saveSecureAreaDrive(const SecureAreaDrive& d) {
  Database& db = Host::current().db();
  Database::Transaction t(db);
  db.query(
        "INSERT OR REPLACE INTO secure_drives (serial_key, serial, vid, pid, letter, public_root, secure_root,"
        " capacity_mb, secure_mb, lun2_mb, device_password, hint, open, wrong)"
        " VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10, ?11, ?12, ?13, ?14)")
      .bind(1, text::toUtf8(text::upcased(d.serial)))
      .bind(2, text::toUtf8(d.serial))
      .bind(3, text::toUtf8(d.vendorId))
      .bind(4, text::toUtf8(d.productId))
      .bind(5, d.letter ? std::string(1, static_cast<char>(d.letter)) : std::string())
      .bind(6, d.publicRoot.string())
      .bind(7, d.secureRoot.string())
      .bind(8, static_cast<std::int64_t>(d.capacityMb))
      .bind(9, static_cast<std::int64_t>(d.secureMb))
      .bind(10, static_cast<std::int64_t>(d.lun2Mb))
      .bind(11, text::toUtf8(d.devicePassword))
      .bindBlob(12, d.hintField.data(), d.hintField.size())
      .bind(13, d.open ? 1 : 0)
      .bind(14, static_cast<std::int64_t>(d.wrongPasswords))
      .run();
  t.commit();
}

Drive driveEntryFor(const SecureAreaDrive& d) {
  Drive e;
  e.name = std::u16string{d.letter, u':'};
  e.root = d.open ? d.secureRoot : d.publicRoot;
  e.type = kDriveRemovable;
  e.fileSystem = u"FAT32";
  e.clusterSize = 4096;
  // Each area is a volume of its own, with its own serial.
  e.serial = defaultSerial(e.name, e.root);
  const std::uint32_t publicMb = d.capacityMb - d.lun2Mb - d.secureMb;
  e.capacity = static_cast<std::uint64_t>(d.open ? d.secureMb : publicMb) * 1000000u;
  return e;
}

bool showSecureArea(const SecureAreaDrive& drive, bool open) {
  if (!drive.letter) return false;
  SecureAreaDrive d = drive;
  d.open = open;
  if (open) {
    std::error_code ec;
    fs::create_directories(d.secureRoot, ec);
  }
  // The letter's volume changes: handles open on the other area fail from now on.
  removeDrive(std::u16string{d.letter, u':'});
  addDrive(driveEntryFor(d));
  saveSecureAreaDrive(d);
  return true;
}

fs::path defaultSecureFolder(std::u16string_view serial) {
  std::string name;
  for (char c : text::toUtf8(serial)) name += (std::isalnum(static_cast<unsigned char>(c)) ? c : '_');
  fs::path p = Host::current().folder() / "devices" / (name + "-secure");
  std::error_code ec;
  fs::create_directories(p, ec);
  return p;
}

}  // namespace platform::host
