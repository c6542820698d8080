// kipo-host drive, path, attrib: the drive table, where a Windows path lands, and file attributes.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/base/text.h"
#include "platform/host/drives.h"
#include "platform/host/environment.h"
#include "platform/host/paths.h"
#include "platform/win32/error.h"
#include "platform/win32/file.h"
#include "tools/kipo-host/command.h"

namespace kipohost {
namespace {

namespace host = platform::host;
namespace text = platform::text;

struct TypeName {
  const char* name;
  UINT type;
};
const TypeName kTypes[] = {
    {"removable", host::kDriveRemovable}, {"fixed", host::kDriveFixed}, {"remote", host::kDriveRemote},
    {"cdrom", host::kDriveCdrom},         {"ramdisk", host::kDriveRamdisk},
};

const char* typeName(UINT type) {
  for (const auto& t : kTypes)
    if (t.type == type) return t.name;
  return "unknown";
}

int driveAdd(const std::vector<std::string>& args) {
  if (args.empty()) return usageError("drive add needs a drive (E: or \\\\server\\share)");
  host::Drive d;
  d.name = text::fromUtf8(args[0]);
  bool typeGiven = false, fsGiven = false, clusterGiven = false, serialGiven = false;
  for (std::size_t i = 1; i < args.size(); ++i) {
    const std::string& o = args[i];
    if (i + 1 >= args.size()) return usageError("option " + o + " needs a value");
    const std::string& v = args[++i];
    std::uint64_t n = 0;
    if (o == "--folder") {
      d.root = v;
    } else if (o == "--type") {
      bool found = false;
      for (const auto& t : kTypes)
        if (v == t.name) d.type = t.type, found = true;
      if (!found) return usageError("unknown drive type " + v + " (removable, fixed, remote, cdrom, ramdisk)");
      typeGiven = true;
    } else if (o == "--serial") {
      if (!parseUnsigned(v, 0xFFFFFFFFu, n, 16)) return usageError("--serial takes up to 8 hex digits");
      d.serial = static_cast<DWORD>(n);
      serialGiven = true;
    } else if (o == "--label") {
      d.label = text::fromUtf8(v);
    } else if (o == "--fs") {
      d.fileSystem = text::fromUtf8(v);
      fsGiven = true;
    } else if (o == "--cluster") {
      if (!parseUnsigned(v, 0x10000, n, 10) || n == 0 || (n & (n - 1))) return usageError("--cluster takes a power of two up to 65536");
      d.clusterSize = static_cast<DWORD>(n);
      clusterGiven = true;
    } else if (o == "--capacity") {
      // The drive table keeps it as a signed 64-bit integer.
      if (!parseUnsigned(v, INT64_MAX, n, 10))
        return usageError("--capacity takes a number of bytes from 0 to 9223372036854775807");
      d.capacity = n;
    } else {
      return usageError("unknown option " + o);
    }
  }
  if (d.root.empty()) return usageError("drive add needs --folder DIR");
  if (!typeGiven) d.type = d.name.size() > 2 && d.name[0] == u'\\' ? host::kDriveRemote : host::kDriveRemovable;
  if (!fsGiven) d.fileSystem = d.type == host::kDriveRemovable ? u"FAT32" : d.type == host::kDriveCdrom ? u"CDFS" : u"NTFS";
  if (!clusterGiven) d.clusterSize = d.type == host::kDriveCdrom ? 2048 : 4096;
  if (!serialGiven) d.serial = host::defaultSerial(text::upcased(d.name), std::filesystem::absolute(d.root));
  auto added = host::addDrive(d);
  std::printf("added %s -> %s\n", text::toUtf8(added->name).c_str(), added->rootString.c_str());
  return 0;
}

int driveRemove(const std::vector<std::string>& args) {
  if (args.size() != 1) return usageError("drive remove needs one drive");
  // Every program of the host lives on the system drive; without it the host is unusable.
  if (text::equalNoCase(host::canonicalDriveName(text::fromUtf8(args[0])), host::folders::SystemDrive))
    return failure("drive " + args[0] + " is the system drive and cannot be removed");
  if (!host::removeDrive(text::fromUtf8(args[0]))) return failure("no drive " + args[0]);
  return 0;
}

int driveList(const std::vector<std::string>& args) {
  if (!args.empty()) return usageError("drive list takes no arguments");
  for (const auto& d : host::drives()->drives) {
    std::printf("%s\t%s\t%s\tserial=%08X\tlabel=%s\tfs=%s\tcluster=%u", text::toUtf8(d->name).c_str(),
                d->rootString.c_str(), typeName(d->type), d->serial, text::toUtf8(d->label).c_str(),
                text::toUtf8(d->fileSystem).c_str(), d->clusterSize);
    if (d->capacity)
      std::printf("\tcapacity=%llu\tused=%llu", static_cast<unsigned long long>(*d->capacity),
                  static_cast<unsigned long long>(d->used ? d->used->used() : 0));
    std::printf("\n");
  }
  return 0;
}

int drive(const std::vector<std::string>& args) {
  if (args.empty()) return usageError("drive needs add, remove or list");
  std::vector<std::string> rest(args.begin() + 1, args.end());
  if (args[0] == "add") return driveAdd(rest);
  if (args[0] == "remove") return driveRemove(rest);
  if (args[0] == "list") return driveList(rest);
  return usageError("unknown drive command " + args[0]);
}

int path(const std::vector<std::string>& args) {
  if (args.size() != 1) return usageError("path needs one Windows path");
  auto r = host::resolvePath(text::fromUtf8(args[0]));
  if (r.error) return failure(args[0] + ": error " + std::to_string(r.error));
  std::printf("%s\n", r.linux.c_str());
  return r.exists ? 0 : 4;  // 4: the folder exists, the last name does not
}

struct AttribFlag {
  char letter;
  DWORD bit;
};
const AttribFlag kFlags[] = {{'A', FILE_ATTRIBUTE_ARCHIVE},
                             {'S', FILE_ATTRIBUTE_SYSTEM},
                             {'H', FILE_ATTRIBUTE_HIDDEN},
                             {'R', FILE_ATTRIBUTE_READONLY}};

int attrib(const std::vector<std::string>& args) {
  if (args.empty()) return usageError("attrib needs a Windows path");
  std::u16string p = text::fromUtf8(args[0]);
  DWORD attrs = GetFileAttributesW(p.c_str());
  if (attrs == INVALID_FILE_ATTRIBUTES) return failure(args[0] + ": error " + std::to_string(GetLastError()));
  if (args.size() == 1) {
    // As the Windows attrib command shows them: a column per attribute, then the name.
    std::string cols;
    for (const auto& f : kFlags) cols += (attrs & f.bit) ? f.letter : ' ';
    std::printf("%s     %s\n", cols.c_str(), args[0].c_str());
    return 0;
  }
  DWORD next = attrs & ~(FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_NORMAL);
  for (std::size_t i = 1; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a.size() != 2 || (a[0] != '+' && a[0] != '-')) return usageError("expected +R, -H, ... got " + a);
    DWORD bit = 0;
    for (const auto& f : kFlags)
      if (std::toupper(static_cast<unsigned char>(a[1])) == f.letter) bit = f.bit;
    if (!bit) return usageError("unknown attribute " + a);
    next = a[0] == '+' ? (next | bit) : (next & ~bit);
  }
  if (!SetFileAttributesW(p.c_str(), next ? next : FILE_ATTRIBUTE_NORMAL))
    return failure(args[0] + ": error " + std::to_string(GetLastError()));
  return 0;
}

RegisterCommand driveCommand({"drive",
                              "drive add E: --folder DIR [--type removable|fixed|remote|cdrom|ramdisk] [--serial HEX]\n"
                              "          [--label TEXT] [--fs FAT32] [--cluster N] [--capacity BYTES]\n"
                              "drive remove E:                  take a drive (or \\\\server\\share) out of the table\n"
                              "drive list                       show the drive table",
                              true, drive});
RegisterCommand pathCommand({"path", "path WINPATH                     print the Linux path a Windows path maps to", true, path});
RegisterCommand attribCommand({"attrib", "attrib WINPATH [+R|-R|+H|-H|+S|-S|+A|-A ...]   show or set file attributes", true, attrib});

}  // namespace
}  // namespace kipohost
