// Tolvane, the watcher: waits for one run of the main program to end, however it ends, and then
// starts the main program in recovery mode. While it waits, a RunOnce value stands ready to do
// the same at the next start of Windows should the watcher itself be lost.
#pragma once

#include <string>
#include <vector>

// The whole program with its ANSI arguments (argv[0] first); returns its exit status (1 without
// a process id, else 0).
int watcherMain(const std::vector<std::string>& args);

// flag true writes "KipoRecover" into the machine's RunOnce key ("cmd /c" and the quoted host
// folder), flag false deletes it; true on success.
bool setRecoverRunOnce(const std::string& hostFolder, bool flag);

// Opens "Kipo.exe" with " -recover" in the folder, shown normally; true when it started.
bool startRecovery(const std::string& folder);
