// The command interpreter of the host's "cmd.exe": the /c quote rule, the line parser (variables,
// redirection of internal commands, &, && and ||), the internal commands a program or an
// uninstaller writes (del, rmdir, move, mkdir, cd, echo, set, rem, if, goto, exit) and the start
// of programs, batch files, folders and documents. Files are reached through the Win32 file calls
// only, so attributes, share modes, the drive table and injected faults apply as for any program.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/base/types.h"

namespace hostapps::cmd {

// Exit code of a command that names nothing cmd can run.
inline constexpr DWORD kNotRecognized = 9009;

// The text cmd runs for "/c <text>": when `slashS` is not given and the text holds exactly two
// quotes, with no special character (&<>()@^|) and at least one blank between them, and what is
// between them names an executable file (isExecutable), the text is kept; otherwise, when it
// starts with a quote, that quote and the last quote of the line are removed.
std::u16string applyQuoteRule(std::u16string_view text, bool slashS, bool (*isExecutable)(std::u16string_view));

// How a command name resolved.
struct Resolved {
  enum Kind { None, Program, Batch, Folder, Document } kind = None;
  std::u16string path;  // full Windows path
};

// Finds what a command name (quotes removed) names: a path with a folder part is looked at
// as given, a bare name in the current directory and then each PATH folder; without an
// extension each of PATHEXT's (.COM .EXE .BAT .CMD) is tried.
Resolved resolveCommand(std::u16string_view name);
// True when the name resolves to a program or a batch file.
bool namesExecutable(std::u16string_view name);

class Interpreter {
 public:
  // Runs one command line (as given after /c, or one line of a batch file outside any batch).
  // Returns the code cmd would end with after it.
  DWORD runLine(std::u16string_view line);
  // Runs a batch file with its arguments (%0 is the path as given), as "cmd /c file.bat args".
  DWORD runBatch(std::u16string_view pathAsGiven, const std::u16string& fullPath, std::u16string_view args);

  void setEchoOn(bool on) { echo_ = on; }
  // Set by "exit" without /b: the whole interpreter ends with this code.
  std::optional<DWORD> exitRequested() const { return exit_; }
  DWORD lastResult() const { return result_; }

 private:
  struct Batch;
  struct Output;

  DWORD runChain(std::u16string_view line);
  DWORD runSimple(std::u16string_view command);
  DWORD dispatch(std::u16string_view command, Output& out);

  DWORD del(const std::vector<std::u16string>& args, Output& out);
  DWORD rmdir(const std::vector<std::u16string>& args, Output& out);
  DWORD move(const std::vector<std::u16string>& args, Output& out);
  DWORD mkdir(const std::vector<std::u16string>& args, Output& out);
  DWORD cd(const std::vector<std::u16string>& args, std::u16string_view rest, Output& out);
  DWORD echo(std::u16string_view rest, Output& out);
  DWORD set(std::u16string_view rest, Output& out);
  DWORD ifCommand(std::u16string_view rest, Output& out);
  DWORD gotoLabel(std::u16string_view rest, Output& out);
  DWORD exitCommand(const std::vector<std::u16string>& args);
  DWORD external(std::u16string_view command, Output& out);

  bool confirm(const std::u16string& question);
  std::u16string expandVariables(std::u16string_view line) const;

  bool echo_ = true;
  DWORD result_ = 0;       // code of the last command (what "cmd /c" ends with, && and ||)
  DWORD errorLevel_ = 0;   // %ERRORLEVEL%: not changed by del or rmdir, as in cmd
  std::optional<DWORD> exit_;
  Batch* batch_ = nullptr;  // the running batch file, if any
};

}  // namespace hostapps::cmd
