// The host's "cmd.exe": reads its Windows command line, takes cmd's own switches (/c, /k, /q, /s
// and the ignored /d /a /u /e: /f: /v: /t:), applies the /c quote rule and runs the command.
// Started with a command but no /c (a batch file named as the whole command line), it runs that
// command as /c would. Without a command there is no console to read from, so it ends at once.
#include <cstdio>
#include <string>
#include <string_view>

#include "platform/base/text.h"
#include "platform/host/host.h"
#include "platform/win32/process.h"
#include "tools/hostapps/cmd/interpreter.h"

namespace {

bool isBlank(char16_t c) { return c == u' ' || c == u'\t'; }

// The command line after the program name, which runs to its closing quote or the first blank.
std::u16string_view afterProgramName(std::u16string_view line) {
  std::size_t i = 0;
  if (!line.empty() && line[0] == u'"') {
    std::size_t close = line.find(u'"', 1);
    i = close == std::u16string_view::npos ? line.size() : close + 1;
  } else {
    while (i < line.size() && !isBlank(line[i]) && line[i] != u'/') ++i;
  }
  return line.substr(i);
}

bool endsWithNoCase(std::u16string_view s, std::u16string_view tail) {
  return s.size() >= tail.size() && platform::text::equalNoCase(s.substr(s.size() - tail.size()), tail);
}

}  // namespace

int main() {
  using namespace hostapps::cmd;
  // The host first: a program of the host refuses to run without one, before anything else.
  platform::host::Host::current();
  std::u16string_view line = platform::text::view(GetCommandLineW());
  std::u16string_view rest = afterProgramName(line);
  // A batch file started as the program itself: the whole line is the command.
  std::u16string program(line.substr(0, line.size() - rest.size()));
  std::erase(program, u'"');
  if (endsWithNoCase(program, u".bat") || endsWithNoCase(program, u".cmd")) rest = line;
  bool slashS = false, echoOff = false;
  while (rest.size() != line.size()) {
    while (!rest.empty() && isBlank(rest.front())) rest.remove_prefix(1);
    if (rest.size() < 2 || rest[0] != u'/') break;
    char16_t sw = platform::text::upcase(rest[1]);
    if (sw == u'C' || sw == u'K') {
      rest.remove_prefix(2);
      break;
    }
    if (sw == u'S') slashS = true;
    if (sw == u'Q') echoOff = true;
    // Switches with a value (/T:fg, /E:ON) run to the next blank.
    std::size_t end = 2;
    while (end < rest.size() && !isBlank(rest[end]) && rest[end] != u'/') ++end;
    rest.remove_prefix(end);
  }
  while (!rest.empty() && isBlank(rest.front())) rest.remove_prefix(1);
  if (rest.empty()) ExitProcess(0);

  Interpreter interpreter;
  interpreter.setEchoOn(!echoOff);
  std::u16string command = applyQuoteRule(rest, slashS, namesExecutable);
  DWORD code = interpreter.runLine(command);
  std::fflush(stdout);
  if (auto requested = interpreter.exitRequested()) code = *requested;
  ExitProcess(code);
}
