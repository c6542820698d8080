// kipo-host plug and unplug: a USB drive comes or goes, with its device nodes, MountedDevices
// values and the WM_DEVICECHANGE notifications Windows sends.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/base/text.h"
#include "platform/host/device_tree.h"
#include "platform/host/drives.h"
#include "tools/kipo-host/command.h"

namespace kipohost {
namespace {

namespace host = platform::host;
namespace text = platform::text;

constexpr std::size_t kMaxLabel = 11;

bool letterOf(const std::string& arg, char16_t& letter) {
  std::u16string name = host::canonicalDriveName(text::fromUtf8(arg));
  if (name.size() != 2) return false;
  letter = name[0];
  return true;
}

int plug(const std::vector<std::string>& args) {
  if (args.empty()) return usageError("plug needs a drive letter (E:)");
  host::PlugRequest r;
  if (!letterOf(args[0], r.letter)) return usageError("plug needs a drive letter (E:), not " + args[0]);
  bool vidGiven = false, pidGiven = false;
  for (std::size_t i = 1; i < args.size(); ++i) {
    const std::string& o = args[i];
    if (i + 1 >= args.size()) return usageError("option " + o + " needs a value");
    const std::string& v = args[++i];
    if (o == "--folder") {
      r.folder = v;
    } else if (o == "--vid") {
      r.device.vendorId = text::fromUtf8(v), vidGiven = true;
    } else if (o == "--pid") {
      r.device.productId = text::fromUtf8(v), pidGiven = true;
    } else if (o == "--serial") {
      r.device.serial = text::fromUtf8(v);
    } else if (o == "--capacity") {
      // The drive table keeps it as a signed 64-bit integer.
      std::uint64_t n = 0;
      if (!parseUnsigned(v, INT64_MAX, n, 10))
        return usageError("--capacity takes a number of bytes from 0 to 9223372036854775807");
      r.capacity = n;
    } else if (o == "--label") {
      // A FAT volume's label: at most 11 characters.
      std::u16string label = text::fromUtf8(v);
      if (label.size() > kMaxLabel) return usageError("--label takes at most 11 characters");
      r.label = label;
    } else if (o == "--secure-folder") {
      r.secureFolder = v;
    } else if (o == "--device-password") {
      r.devicePassword = text::fromUtf8(v);
    } else if (o == "--pwhint-field") {
      r.hintField = v;
    } else {
      return usageError("unknown option " + o);
    }
  }
  if (r.folder.empty()) return usageError("plug needs --folder DIR");
  if (r.device.serial.empty()) return usageError("plug needs --serial S");
  const bool secureOptions = r.secureFolder || r.devicePassword || r.hintField;
  // Without ids, a drive with a secure area is the secure-drive maker's; any other a plain one.
  if (!vidGiven) r.device.vendorId = secureOptions ? u"0EA0" : u"090C";
  if (!pidGiven) r.device.productId = secureOptions ? u"2469" : u"1000";
  if (secureOptions && host::usbDriveKindOf(r.device.vendorId) != host::UsbDriveKind::SecureDrive)
    return usageError("--secure-folder, --device-password and --pwhint-field are for drives of vendor 0EA0");
  if (r.devicePassword && r.devicePassword->size() != 3) return usageError("--device-password takes 3 characters");
  try {
    host::UsbDriveNodes n = host::plugDrive(r);
    std::printf("plugged %s: %s\n", args[0].substr(0, 1).c_str(), text::toUtf8(n.volumeInterface).c_str());
  } catch (const std::exception& e) {
    return failure(e.what());
  }
  return 0;
}

int unplug(const std::vector<std::string>& args) {
  char16_t letter = 0;
  if (args.size() != 1 || !letterOf(args[0], letter)) return usageError("unplug needs one drive letter (E:)");
  if (!host::unplugDrive(letter)) return failure("no USB drive is plugged at " + args[0]);
  return 0;
}

RegisterCommand plugCommand(
    {"plug",
     "plug E: --folder DIR --serial S [--vid 0EA0 --pid 2469] [--capacity BYTES] [--label TEXT]\n"
     "        [--secure-folder DIR --device-password P --pwhint-field TEXT]\n"
     "                                 plug in a USB drive (vendor 0EA0: secure drive, 05AC: iPod)",
     true, plug});
RegisterCommand unplugCommand({"unplug", "unplug E:                        pull a plugged USB drive out", true, unplug});

}  // namespace
}  // namespace kipohost
