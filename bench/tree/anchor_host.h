// The host the file synchronizer's benchmarks run on: a test host with the program's language
// library and message boxes answered, drive E: and the anchor tree (reached from C:\Anchor), both
// on a folder of their own under `where` (tmpfs by default, so the disk's write-back does not
// swamp the copies), removed at the end.
#pragma once

#include <unistd.h>

#include <filesystem>
#include <memory>
#include <string>

#include "app/document_host_services.h"
#include "app/lingrove.h"
#include "app/log.h"
#include "app/messages.h"
#include "platform/host/drives.h"
#include "platform/host/module_registry.h"
#include "bench/tree/tree_bench.h"
#include "tests/support/test_host.h"

namespace treebench {

class AnchorHost {
 public:
  AnchorHost(const std::filesystem::path& where, const std::string& name)
      : base(where / (name + "-" + std::to_string(::getpid()))), e(base / "E"), anchor(base / "C-Anchor") {
    namespace fs = std::filesystem;
    platform::module::setProgramWindowsPath(u"C:\\Program Files\\Kipo\\Kipo.exe");
    fs::create_directories(host.c("Program Files/Kipo"));
    fs::copy_file(fs::path(KIPO_LANGUAGE_DIR) / "Lingrove_USA.DLL", host.c("Program Files/Kipo/Lingrove_USA.DLL"),
                  fs::copy_options::overwrite_existing);
    setMessageBoxSink([](const MessageBoxRequest& box) { return defaultButtonOf(box.style); });
    setLogPath(CString());
    language_ = std::make_unique<Lingrove>(CString(u"USA"), TRUE);
    fs::create_directories(e);
    platform::host::Drive drive;
    drive.name = u"E:";
    drive.root = e;
    drive.type = DRIVE_REMOVABLE;
    platform::host::addDrive(drive);
    setDocumentHostServices(&services_);
    fs::create_directory_symlink(anchor, host.c("Anchor"));
    shell("python3 '" KIPO_ANCHOR_SCRIPT "' '" + anchor.string() + "'");
  }
  ~AnchorHost() {
    setDocumentHostServices(nullptr);
    std::filesystem::remove_all(base);
  }
  AnchorHost(const AnchorHost&) = delete;
  AnchorHost& operator=(const AnchorHost&) = delete;

  kipotest::TestHost host;
  const std::filesystem::path base;
  const std::filesystem::path e;       // drive E:
  const std::filesystem::path anchor;  // the host tree, C:\Anchor

 private:
  std::unique_ptr<Lingrove> language_;
  CDocumentHostServices services_;
};

}  // namespace treebench
