// The host's process table (host.db): one row per process of the host, keyed by Linux process id
// and start time (clock ticks since boot, field 22 of /proc/<pid>/stat) plus the boot id, so a
// reused process id is never mistaken for a dead process. Rows of dead processes are ignored by
// every query and pruned; a row that carries a recorded exit code is kept a few minutes after
// the end so a waiter can still read the full 32-bit code.
//
// A process enters the table at its first use of the process facility (registerCurrentProcess,
// idempotent per host), or earlier: a parent records each child it starts right after the start,
// so a child that never uses the platform (a "#!" script) is listed too.
//
// The shell's record of opened documents, URLs and folders lives here as well (shell_opens).
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/base/types.h"

namespace platform::host {

struct ProcessRow {
  DWORD pid = 0;
  std::uint64_t start = 0;
  DWORD parentPid = 0;
  std::u16string imagePath;  // Windows path of the image ("C:\Program Files\Probe\probe.exe")
  std::u16string imageName;  // its last component
  std::string linuxImage;    // Linux path of the image file
  std::uint64_t imageDev = 0;
  std::uint64_t imageIno = 0;
  std::u16string user;
  std::u16string commandLine;
  std::optional<DWORD> exitCode;  // recorded by ExitProcess, TerminateProcess or the exit hook
};

// Start time of a live (or zombie) Linux process, 0 when there is none.
std::uint64_t processStartTime(pid_t pid);
// True when the process with that id and start time is still running (a zombie counts as ended).
bool processAlive(DWORD pid, std::uint64_t start);
// This process's start time.
std::uint64_t currentStartTime();

// Puts this process into the current host's table once per host (cheap after the first call).
// Installs the exit hook that records a normal exit's full code, and the running-image test of
// the file calls.
void registerCurrentProcess();
// Called at load in a process a host program started (its row exists): its exit is recorded
// even when it never registers.
void noteStartedByParent();
// A parent's record of a child it just started (replaces what the child may have written, keeps
// a recorded exit code).
void recordStartedProcess(const ProcessRow& row);

// The living processes of the host in process id order (dead rows are pruned on the way).
std::vector<ProcessRow> livingProcesses();
// The living process with that id, if any.
std::optional<ProcessRow> findLivingProcess(DWORD pid);
// The recorded exit code of a process (living or ended), if any.
std::optional<DWORD> recordedExitCode(DWORD pid, std::uint64_t start);
// Records the exit code unless one is recorded already; false when one was.
bool recordExitCode(DWORD pid, std::uint64_t start, DWORD code);

// Whether the Linux file is the image of a living process of the host (by device and inode).
bool isRunningImageFile(const std::string& linuxPath);

// ---- the shell's record of what it was asked to open ----

struct ShellOpen {
  std::int64_t id = 0;
  std::uint64_t time = 0;  // FILETIME ticks
  std::string kind;        // "document", "url", "folder"
  std::u16string verb;
  std::u16string target;   // full path or URL
  std::u16string parameters;
  std::u16string directory;
  int show = 0;
  std::u16string handler;  // the registered command that would open it (empty for a folder)
};

void recordShellOpen(const ShellOpen& open);
// Oldest first.
std::vector<ShellOpen> shellOpens();

}  // namespace platform::host
