// The host's drive table: which drive letters and UNC shares exist, the Linux folder behind each,
// and the volume facts Windows reports for them (type, serial, label, file system, cluster size,
// capacity). Rows live in host.db; each process keeps a snapshot that it rebuilds only when the
// shared Drives counter or the host epoch moves, so path resolution reads no database.
// A drive with a capacity also has a used-bytes counter in shared memory (shm/drive-<id>.used),
// counted when the drive is added and kept current by the stand-in's own writes.
// addDrive/removeDrive are the internal API that `kipo-host drive` and plugging use.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/base/types.h"

namespace platform::host {

// Drive types with their Windows numbers (GetDriveTypeW).
enum DriveKind : UINT {
  kDriveRemovable = 2,
  kDriveFixed = 3,
  kDriveRemote = 4,
  kDriveCdrom = 5,
  kDriveRamdisk = 6,
};

class UsedSpace;

struct Drive {
  std::int64_t id = 0;        // never reused, so a handle can tell its drive was removed
  std::u16string name;        // "E:" (upper case) or "\\server\share"
  std::filesystem::path root; // absolute Linux folder
  UINT type = kDriveFixed;
  DWORD serial = 0;
  std::u16string label;
  std::u16string fileSystem = u"NTFS";
  DWORD clusterSize = 4096;
  std::optional<std::uint64_t> capacity;  // bytes; none: free space is the real file system's

  bool isUnc() const { return name.size() > 2 && name[0] == u'\\'; }
  char16_t letter() const { return isUnc() ? 0 : name[0]; }
  // The root's Linux path as UTF-8 without a trailing slash (except "/").
  std::string rootString;
  // Shared used-bytes counter; null without a capacity.
  std::shared_ptr<UsedSpace> used;
};

// Bytes a file of `size` occupies on a drive with clusters of `cluster` bytes.
inline std::uint64_t allocatedSize(std::uint64_t size, DWORD cluster) {
  if (cluster == 0) return size;
  return (size + cluster - 1) / cluster * cluster;
}

// Bytes held on a drive with a capacity, shared between the processes of the host.
class UsedSpace {
 public:
  // Maps the counter file, counting `root` when the file is new or was never counted.
  UsedSpace(const std::filesystem::path& file, const std::filesystem::path& root, DWORD cluster,
            std::uint64_t capacity);
  ~UsedSpace();
  UsedSpace(const UsedSpace&) = delete;
  UsedSpace& operator=(const UsedSpace&) = delete;

  std::uint64_t used() const;
  std::uint64_t capacity() const { return capacity_; }
  // Takes `delta` more bytes (false, nothing taken, when that passes the capacity) or gives
  // bytes back (negative delta; always succeeds).
  bool adjust(std::int64_t delta);

 private:
  std::uint64_t* slots_ = nullptr;
  std::uint64_t capacity_;
};

// The process's view of the table.
struct DriveSet {
  std::uint64_t counter = 0;
  std::uint64_t epoch = 0;
  std::vector<std::shared_ptr<const Drive>> drives;  // letters A..Z first, then shares
  std::shared_ptr<const Drive> byLetter[26];

  std::shared_ptr<const Drive> letter(char16_t letter) const;
  // A share by "\\server\share" (case-insensitive); null when absent.
  std::shared_ptr<const Drive> share(std::u16string_view server, std::u16string_view share) const;
  // Whether any share of that server is known (for ERROR_BAD_NETPATH vs ERROR_BAD_NET_NAME).
  bool knowsServer(std::u16string_view server) const;
  std::shared_ptr<const Drive> byId(std::int64_t id) const;
};

// Current snapshot: one atomic read of the Drives counter and of the host epoch when unchanged.
std::shared_ptr<const DriveSet> drives();
// Whether the drive with this id is still in the table.
bool driveAlive(std::int64_t id);

// Drive name as stored: "E:" from "e", "E:", "e:\"; "\\server\share" kept; empty when invalid.
std::u16string canonicalDriveName(std::u16string_view text);

// Adds a drive (its id is assigned) and bumps the counter; with a capacity, counts what the
// folder holds. Throws std::runtime_error with a clear reason: name taken or invalid, folder
// missing or without user extended attributes.
std::shared_ptr<const Drive> addDrive(Drive drive);
// Removes a drive; false when no such drive. Open handles on it then fail with ERROR_NOT_READY.
bool removeDrive(std::u16string_view name);

// Called in this process after addDrive (added = true) and removeDrive, for the device and
// notification code that plugging adds.
using DriveListener = std::function<void(const Drive& drive, bool added)>;
void addDriveListener(DriveListener listener);

// Default serial number for a new drive: stable for a name and folder.
DWORD defaultSerial(std::u16string_view name, const std::filesystem::path& root);

}  // namespace platform::host
