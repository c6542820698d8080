// One fault run on a host of its own: the host is laid out (user files with a hidden one on the
// Desktop, settings, a browser history, Outlook 2003 with a mail store and its profile, the drive
// with this computer's folder holding the user's "Kipo.pst" and the Outlook folders its
// synchronization carries), a session is driven with a fault in it, and what the host and the
// drive hold afterwards is checked.
//
// Crash mode: "Kipo.exe" is killed with SIGKILL at a chosen point of a session (login, edits on
// both sides with mail delivered, a folder made and an item moved in the drive's store,
// synchronization, logout): at the nth call of a fault point through the stand-in's host-wide
// faults, or after a delay. Runs of odd seeds synchronize once before the session, so that its
// synchronization carries moves. The watcher's recovery runs, the session is repeated, and then
// the host must equal its state before the login (its MAPI profiles and hidden attributes
// included; its store's content outside the carried folders), the user's files be on the drive or
// in the holding folder, each message be once in its folder in both stores, and a further
// synchronization plan no work.
// Drive-pull mode: the drive is unplugged at a chosen moment of a synchronization run, plugged
// back, and the run repeated: no file on either side may be a part of a version, nothing may be
// lost, and a further synchronization plans no work.
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace faults {

enum class Mode { Clean, Crash, CleanPull, Pull };
const char* modeName(Mode mode);

// Where a run's fault strikes. Crash: at the `nth` call of `call` from the login on, or (call
// empty) `delayMs` after the login began. Pull: while the `nth` call of `call` from the pick of
// Synchronize on is held back, or (call empty) `delayMs` after that pick.
struct KillPoint {
  std::string call;
  std::uint32_t nth = 0;
  std::uint32_t delayMs = 0;
  std::string text() const;
};

struct RunSpec {
  std::uint64_t seed = 0;
  Mode mode = Mode::Clean;
  KillPoint point;
};

// What one run found.
struct RunResult {
  bool passed = false;
  bool struck = false;        // the fault acted on "Kipo.exe" (or the drive was pulled)
  std::string strikeNote;     // where it acted instead, when it did not act on the program
  std::string failure;        // the first difference or the step that did not come
  std::vector<std::string> log;  // the run's steps and the dialogs met
  // A clean run's counts of calls per fault point over the session (crash) or the synchronization
  // (pull), and its durations.
  std::map<std::string, std::uint32_t> callCounts;
  std::uint32_t sessionMs = 0;
  std::uint32_t syncMs = 0;
};

// The calls a crash run may kill at: the stand-in's registry writes, file operations and the MAPI
// stand-in's writing calls.
const std::vector<std::string>& killCalls();
// The file operations a drive pull may interrupt.
const std::vector<std::string>& pullCalls();

// Runs one spec on a fresh copy of `templateHost` in `folder` (which it fills). `program` is the
// built "Kipo.exe" copied onto the drive.
RunResult runOne(const RunSpec& spec, const std::filesystem::path& templateHost, const std::filesystem::path& folder,
                 const std::filesystem::path& program);

}  // namespace faults
