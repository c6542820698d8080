// Fault injection: a test (in its own process) or `kipo-host fault` (for every process of the
// host) makes a named call fail with an error code, or delay, or kill the calling process, for a
// subject prefix (a path, key or drive), on the Nth call, for N calls, or always.
// Stand-in calls ask check() at their start; with no fault set anywhere it reads a few atomics
// (this process's flag, the host epoch and its Faults counter) and returns: about 20 ns, see
// bench/platform/fault_bench.cpp. A process without a host has only its own faults.
//
// Matching: the call name is compared exactly ("RegSetValueExW" is not "RegSetValueExA"); the
// subject is a case-insensitive prefix (by the shared upper-casing table) of the subject the call
// passes (the path, key or drive text as the call resolved it); an empty prefix matches any.
// Counting: matching calls are numbered from 1; a fault acts on calls nth .. nth+count-1 (count 0:
// on every call from nth on). This process's faults count this process's calls; host-wide faults
// count the calls of every process of the host together (one atomic database update per matching
// call, until the fault is spent), so "the 3rd RegSetValueExW on the host" means the same
// whichever process makes it.
// When several faults match one call, the one added first acts.
//
// Fault points: the call names that ask check() form one table, which each module's names join
// when the module is loaded (a static `Points` object of the module), so a module that comes
// later adds its own. A fault on a name with no fault point could never act:
// inject() and addHostFault() refuse it, and so does `kipo-host fault add`.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "platform/base/types.h"

namespace platform::fault {

// Crash: an access violation at the fault point (a write to address 0), so that the process ends
// as on Windows when the platform itself faults.
enum class Action { Fail, Delay, Kill, Crash };

struct Fault {
  std::string call;          // "CreateFileW", "RegOpenKeyExW", ...
  std::u16string subject;    // prefix; empty matches any subject
  Action action = Action::Fail;
  DWORD error = 0;           // Fail: the error code the call fails with
  std::uint32_t delayMs = 0; // Delay: monotonic milliseconds (scaled; instant under a virtual clock)
  std::uint32_t nth = 1;     // first matching call that is affected (from 1)
  std::uint32_t count = 0;   // how many matching calls are affected; 0 = all from nth on
};

// The error the call named `call` must fail with for `subject`, or 0 to go on. A delay fault
// sleeps here and returns 0; a kill fault ends the process here with SIGKILL; a crash fault
// faults here. Must be called outside any database transaction (a host-wide fault records its
// count in host.db). `call` must be a fault point.
DWORD check(std::string_view call, std::u16string_view subject = {});

// Joins `names` to the table of fault points for as long as the object lives (a module's static
// object: from its load to its unload). The names must outlive the object (string literals).
class Points {
 public:
  Points(std::initializer_list<std::string_view> names);
  ~Points();
  Points(const Points&) = delete;
  Points& operator=(const Points&) = delete;

 private:
  std::vector<std::string_view> names_;
};

bool isPoint(std::string_view call);
// Every fault point, sorted, each once.
std::vector<std::string> points();

// What inject() and addHostFault() throw for a call name with no fault point.
class UnknownPoint : public std::invalid_argument {
 public:
  explicit UnknownPoint(std::string_view call);
};

// This process's faults: returns an id for removeLocal(). Throws UnknownPoint.
std::uint64_t inject(const Fault& fault);
bool removeLocal(std::uint64_t id);
void clearLocal();

// Host-wide faults, stored in host.db and seen by every process of the host.
struct HostFault {
  std::int64_t id;
  Fault fault;
  std::uint32_t seen;  // matching calls so far, over all processes (no longer counted once spent)
};
// Throws UnknownPoint.
std::int64_t addHostFault(const Fault& fault);
std::vector<HostFault> listHostFaults();
// Removes one fault (false when there is none with that id), or all of them.
bool clearHostFault(std::int64_t id);
void clearHostFaults();

// "fail", "delay", "kill", "crash" and back; parse gives false for anything else.
const char* actionName(Action action);
bool parseAction(std::string_view text, Action& action);

}  // namespace platform::fault
