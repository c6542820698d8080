// The cost of the document's login passes themselves: a backup-and-personalize pass over N
// snap-ins that do no work of their own (each personalize marks its snap-in in the registry, as
// the base does), with progress through a real switchboard and the message pump after every
// progress message, against the floor of the same number of "personalized" writes straight
// through the registry. The pause at the end of the pass is left out: the pass is measured, not
// the wait. Counters: pass_ms, writes_ms, ratio (pass over writes) and per_snapin_us.
#include <benchmark/benchmark.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <string>

#include "app/customizer_doc.h"
#include "app/document_host_services.h"
#include "app/folder_lookup.h"
#include "app/lingrove.h"
#include "app/log.h"
#include "app/messages.h"
#include "app/profile_database.h"
#include "app/registry.h"
#include "app/switchboard.h"
#include "platform/host/drives.h"
#include "platform/host/host.h"
#include "platform/host/module_registry.h"
#include "platform/win32/win32.h"
#include "tests/support/test_host.h"

namespace {

namespace fs = std::filesystem;

// The application's side as the document uses it at login: a switchboard for the progress and
// the login message, the pump, and the rest answering as a working host would.
class BenchServices : public CDocumentHostServices {
 public:
  bool sendAppMessage(CAppMessage* message) override { return board.sendMessage(message); }
  bool postAppMessage(CAppMessage* message) override { return board.postMessage(message); }
  bool enableAutostart() override { return true; }
  bool disableAutostart() override { return true; }
  bool saveComputer() override { return true; }
  CSwitchboard board;
};

// A snap-in with nothing to carry beyond the base's own bookkeeping.
class IdleSnapin : public CCustomizer {
 public:
  explicit IdleSnapin(const CString& name) : CCustomizer(name) {}
};

double msSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

void BM_LoginPasses(benchmark::State& state) {
  const int count = static_cast<int>(state.range(0));
  kipotest::TestHost host;
  platform::module::setProgramWindowsPath(u"C:\\Program Files\\Kipo\\Kipo.exe");
  fs::create_directories(host.c("Program Files/Kipo"));
  fs::copy_file(fs::path(KIPO_LANGUAGE_DIR) / "Lingrove_USA.DLL", host.c("Program Files/Kipo/Lingrove_USA.DLL"),
                fs::copy_options::overwrite_existing);
  MessageBoxSink previousSink = setMessageBoxSink([](const MessageBoxRequest& box) { return defaultButtonOf(box.style); });
  {
    Lingrove language(CString(u"USA"), TRUE);
    const fs::path drive = kipotest::freshTempDir("bench-doc-drive");
    platform::host::Drive d;
    d.name = u"E:";
    d.root = drive;
    d.type = DRIVE_REMOVABLE;
    d.serial = 0x5eed0001;
    platform::host::addDrive(d);
    CFolderLookup::setDevicePathSource([] { return CString(u"E:\\"); });
    setLogPath(CString(u"E:\\Kipo.html"));
    startLogFile();
    BenchServices services;
    setDocumentHostServices(&services);
    getProfileDatabase().loadProfiles();
    setLoginComputer(getProfileDatabase().getThisComputerProfile()->m_nickname);

    double passMs = 0, writesMs = 0;
    {
      CCustomizerDoc doc;
      doc.setEndOfPassPause(0);
      for (int i = 0; i < count; ++i) {
        CString name;
        name.Format(u"Snap-in %03d", i);
        doc.addCustomizer(std::make_unique<IdleSnapin>(name));
      }
      std::vector<CString> keys;
      for (const auto& snapin : doc.getCustomizers()) keys.push_back(snapin->getLocalPrefsKey());
      for (auto _ : state) {
        for (const auto& snapin : doc.getCustomizers()) snapin->setPersonalized(false);
        auto start = std::chrono::steady_clock::now();
        benchmark::DoNotOptimize(doc.personalize());
        passMs += msSince(start);
        start = std::chrono::steady_clock::now();
        for (const CString& key : keys) {
          CRegistry local(key, true, true);
          benchmark::DoNotOptimize(local.setBool(u"personalized", true));
        }
        writesMs += msSince(start);
      }
    }
    const double n = static_cast<double>(state.iterations());
    state.counters["pass_ms"] = passMs / n;
    state.counters["writes_ms"] = writesMs / n;
    state.counters["ratio"] = passMs / writesMs;
    state.counters["per_snapin_us"] = passMs / n / count * 1000.0;

    setDocumentHostServices(nullptr);
    getProfileDatabase().deleteAllProfiles();
    getDevicePrefs().open(CString(), false, false);
    CFolderLookup::setDevicePathSource(nullptr);
    setLogPath(CString());
  }
  setMessageBoxSink(previousSink);
  platform::module::setProgramWindowsPath(u"");
}
BENCHMARK(BM_LoginPasses)->Arg(23)->Arg(100)->Unit(benchmark::kMillisecond);

}  // namespace
