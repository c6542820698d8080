// The command interpreter of the host's "cmd.exe" (see interpreter.h).
#include "tools/hostapps/cmd/interpreter.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>

#include "platform/base/codepage.h"
#include "platform/base/text.h"
#include "platform/win32/error.h"
#include "platform/win32/file.h"
#include "platform/win32/process.h"
#include "platform/win32/sync.h"
#include "platform/win32/system.h"
#include "tools/hostapps/cmd/launch.h"

namespace hostapps::cmd {
namespace {

namespace text = platform::text;

// The interpreter's own texts, as cmd prints them.
constexpr char16_t kSyntaxError[] = u"The syntax of the command is incorrect.";
constexpr char16_t kCouldNotFind[] = u"Could Not Find ";
constexpr char16_t kDeletedFile[] = u"Deleted file - ";
constexpr char16_t kAreYouSure[] = u", Are you sure (Y/N)? ";
constexpr char16_t kOverwrite[] = u"Overwrite %s? (Yes/No/All): ";
constexpr char16_t kInvalidSwitch[] = u"Invalid switch - ";
constexpr char16_t kNotRecognized1[] = u"' is not recognized as an internal or external command,";
constexpr char16_t kNotRecognized2[] = u"operable program or batch file.";
constexpr char16_t kLabelMissing[] = u"The system cannot find the batch label specified - ";
constexpr char16_t kEchoIs[] = u"ECHO is ";
constexpr char16_t kBatchMissing[] = u"The batch file cannot be found.";
constexpr char16_t kPathExt[] = u".COM;.EXE;.BAT;.CMD";
// The stand-in's own refusal (cmd itself would connect the two commands).
constexpr char16_t kNoPipes[] = u"This cmd.exe cannot connect commands with a pipe (|); the line was not run.";

// ---- small text helpers ----

bool isBlank(char16_t c) { return c == u' ' || c == u'\t'; }
bool isDelimiter(char16_t c) { return isBlank(c) || c == u',' || c == u';' || c == u'='; }

std::u16string_view trimLeft(std::u16string_view s) {
  while (!s.empty() && isBlank(s.front())) s.remove_prefix(1);
  return s;
}
std::u16string_view trimRight(std::u16string_view s) {
  while (!s.empty() && isBlank(s.back())) s.remove_suffix(1);
  return s;
}

std::u16string unquote(std::u16string_view s) {
  std::u16string out;
  for (char16_t c : s)
    if (c != u'"') out += c;
  return out;
}

std::u16string upper(std::u16string_view s) { return text::upcased(s); }

// A decimal (or 0x hexadecimal) number as cmd reads one; nothing for other text.
std::optional<long long> number(std::u16string_view s) {
  std::string t = text::toUtf8(s);
  if (t.empty()) return std::nullopt;
  char* end = nullptr;
  long long v = std::strtoll(t.c_str(), &end, 0);
  if (!end || *end) return std::nullopt;
  return v;
}

bool hasWildcards(std::u16string_view s) { return s.find_first_of(u"*?") != std::u16string_view::npos; }

// Arguments of an internal command: separated by blanks and , ; = outside quotes; quotes kept.
std::vector<std::u16string> splitArgs(std::u16string_view s) {
  std::vector<std::u16string> out;
  std::size_t i = 0;
  while (i < s.size()) {
    while (i < s.size() && isDelimiter(s[i])) ++i;
    if (i >= s.size()) break;
    std::u16string arg;
    bool quoted = false;
    while (i < s.size() && (quoted || !isDelimiter(s[i]))) {
      if (s[i] == u'"') quoted = !quoted;
      // A switch ends the argument before it ("del x/q" is x and /q), as cmd splits them.
      if (!quoted && s[i] == u'/' && !arg.empty() && arg[0] != u'/' && arg.back() != u':') break;
      arg += s[i++];
    }
    out.push_back(std::move(arg));
  }
  return out;
}

bool isSwitch(const std::u16string& arg) { return !arg.empty() && arg[0] == u'/'; }

// "/s/q" gives "S" and "Q"; "/-Y" gives "-Y"; "/A:H" gives "A:H".
std::vector<std::u16string> switchesOf(const std::u16string& arg) {
  std::vector<std::u16string> out;
  std::size_t i = 0;
  while (i < arg.size()) {
    std::size_t next = arg.find(u'/', i + 1);
    std::u16string sw = arg.substr(i + 1, next == std::u16string::npos ? std::u16string::npos : next - i - 1);
    if (!sw.empty()) out.push_back(upper(sw));
    if (next == std::u16string::npos) break;
    i = next;
  }
  return out;
}

// Splits a command's words into names (unquoted) and switches, handing each switch to `take`;
// returns the first switch `take` refuses, or an empty text when it took them all.
std::u16string splitArguments(const std::vector<std::u16string>& args, std::vector<std::u16string>& names,
                              const std::function<bool(const std::u16string&)>& take) {
  for (const auto& a : args) {
    if (!isSwitch(a)) {
      names.push_back(unquote(a));
      continue;
    }
    for (const auto& sw : switchesOf(a))
      if (!take(sw)) return sw;
  }
  return {};
}

std::u16string fullPath(const std::u16string& path) {
  WCHAR buf[MAX_PATH * 4];
  DWORD n = GetFullPathNameW(path.c_str(), MAX_PATH * 4, buf, nullptr);
  if (n == 0 || n >= MAX_PATH * 4) return path;
  return std::u16string(buf, n);
}

// "C:\a\b\" -> "C:\a\b"; a root keeps its separator.
std::u16string withoutTrailingSeparator(std::u16string p) {
  while (p.size() > 3 && (p.back() == u'\\' || p.back() == u'/')) p.pop_back();
  return p;
}

std::u16string joinPath(const std::u16string& folder, std::u16string_view name) {
  std::u16string out = folder;
  if (!out.empty() && out.back() != u'\\') out += u'\\';
  out += name;
  return out;
}

std::u16string folderOf(const std::u16string& full) {
  std::size_t cut = full.find_last_of(u'\\');
  if (cut == std::u16string::npos) return full;
  if (cut == 2 && full.size() > 1 && full[1] == u':') return full.substr(0, 3);
  return full.substr(0, cut);
}

std::u16string lastComponent(const std::u16string& full) {
  std::size_t cut = full.find_last_of(u'\\');
  return cut == std::u16string::npos ? full : full.substr(cut + 1);
}

// The system's text for a Win32 error, without its line end.
std::u16string messageOf(DWORD code) {
  const char16_t* m = platform::win32::systemMessage(code);
  std::u16string s = m ? std::u16string(m) : u"Error " + text::fromUtf8(std::to_string(code)) + u".";
  while (!s.empty() && (s.back() == u'\n' || s.back() == u'\r')) s.pop_back();
  return s;
}

DWORD attributesOf(const std::u16string& path) { return GetFileAttributesW(path.c_str()); }
bool isFolder(DWORD attrs) { return attrs != INVALID_FILE_ATTRIBUTES && (attrs & FILE_ATTRIBUTE_DIRECTORY); }

struct FindEntry {
  std::u16string name;
  DWORD attributes;
};

// The entries matching folder\pattern ("." and ".." left out); error 0, or why the search
// could not start (ERROR_FILE_NOT_FOUND when nothing matched).
std::vector<FindEntry> findEntries(const std::u16string& folder, std::u16string_view pattern, DWORD& error) {
  std::vector<FindEntry> out;
  WIN32_FIND_DATAW fd;
  std::u16string spec = joinPath(folder, pattern);
  HANDLE h = FindFirstFileW(spec.c_str(), &fd);
  error = 0;
  if (h == INVALID_HANDLE_VALUE) {
    error = GetLastError();
    return out;
  }
  do {
    std::u16string name(fd.cFileName);
    if (name != u"." && name != u"..") out.push_back({name, fd.dwFileAttributes});
  } while (FindNextFileW(h, &fd));
  FindClose(h);
  return out;
}

std::string consoleText(std::u16string_view s) {
  std::string out = text::toUtf8(s);
  std::string lf;
  lf.reserve(out.size());
  for (char c : out)
    if (c != '\r') lf += c;
  return lf;
}

// Writes bytes to a Windows file (append or replace), as cmd's redirection does.
void writeToFile(const std::u16string& path, bool append, const std::u16string& content) {
  HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                         append ? OPEN_ALWAYS : CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    std::fprintf(stderr, "%s\n", consoleText(messageOf(GetLastError())).c_str());
    return;
  }
  if (append) SetFilePointer(h, 0, nullptr, FILE_END);
  std::string bytes = platform::text::wideToAnsi(content);
  DWORD written = 0;
  WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  CloseHandle(h);
}

}  // namespace

// ---- output of one command, with its redirections ----

struct Interpreter::Output {
  struct Sink {
    enum Kind { Console, Discard, File } kind = Console;
    std::u16string path;
    bool append = false;
    std::u16string text;
  };
  Sink out, err;
  bool errToOut = false;

  void line(std::u16string_view s) { out.text.append(s).append(u"\r\n"); }
  void error(std::u16string_view s) { (errToOut ? out : err).text.append(s).append(u"\r\n"); }
  // A command's switches and names as cmd refuses them: an unknown switch first, then names
  // missing or too many. True when refused (the error is out).
  bool refuseArguments(const std::u16string& badSwitch, bool namesFit) {
    if (!badSwitch.empty()) error(kInvalidSwitch + (u"\"" + badSwitch + u"\"."));
    else if (!namesFit) error(kSyntaxError);
    return !badSwitch.empty() || !namesFit;
  }

  void flush() {
    write(out, 1);
    write(err, 2);
  }
  static void write(Sink& s, int fd) {
    if (s.text.empty()) return;
    if (s.kind == Sink::Console) {
      std::string bytes = consoleText(s.text);
      std::fwrite(bytes.data(), 1, bytes.size(), fd == 1 ? stdout : stderr);
      std::fflush(fd == 1 ? stdout : stderr);
    } else if (s.kind == Sink::File) {
      writeToFile(s.path, s.append, s.text);
    }
    s.text.clear();
  }
};

// ---- the running batch file ----

struct Interpreter::Batch {
  std::u16string pathAsGiven;
  std::u16string fullPath;
  std::vector<std::u16string> args;  // %1.. with their quotes
  std::u16string allArgs;            // %*
  std::vector<std::u16string> lines;
  std::size_t next = 0;  // index of the next line to run
  bool ended = false;    // goto :eof, exit /b, or control passed to another batch file
};

// ---- the /c rule and command resolution ----

std::u16string applyQuoteRule(std::u16string_view s, bool slashS, bool (*isExecutable)(std::u16string_view)) {
  std::size_t quotes = 0;
  for (char16_t c : s) quotes += c == u'"';
  if (!slashS && quotes == 2) {
    std::size_t a = s.find(u'"'), b = s.find(u'"', a + 1);
    std::u16string_view inside = s.substr(a + 1, b - a - 1);
    bool special = inside.find_first_of(u"&<>()@^|") != std::u16string_view::npos;
    bool blank = inside.find_first_of(u" \t") != std::u16string_view::npos;
    if (!special && blank && isExecutable && isExecutable(inside)) return std::u16string(s);
  }
  std::u16string out(s);
  if (!out.empty() && out[0] == u'"') {
    out.erase(0, 1);
    std::size_t last = out.find_last_of(u'"');
    if (last != std::u16string::npos) out.erase(last, 1);
  }
  return out;
}

namespace {

std::vector<std::u16string> pathExtensions() {
  std::vector<std::u16string> out;
  WCHAR buf[512];
  DWORD n = GetEnvironmentVariableW(u"PATHEXT", buf, 512);
  std::u16string all = n && n < 512 ? std::u16string(buf, n) : std::u16string(kPathExt);
  std::size_t i = 0;
  while (i <= all.size()) {
    std::size_t semi = all.find(u';', i);
    std::u16string ext = all.substr(i, semi == std::u16string::npos ? std::u16string::npos : semi - i);
    if (!ext.empty()) out.push_back(ext);
    if (semi == std::u16string::npos) break;
    i = semi + 1;
  }
  return out;
}

std::vector<std::u16string> pathFolders() {
  std::vector<std::u16string> out;
  WCHAR buf[8192];
  DWORD n = GetEnvironmentVariableW(u"PATH", buf, 8192);
  if (!n || n >= 8192) return out;
  std::u16string all(buf, n);
  std::size_t i = 0;
  while (i <= all.size()) {
    std::size_t semi = all.find(u';', i);
    std::u16string f = unquote(all.substr(i, semi == std::u16string::npos ? std::u16string::npos : semi - i));
    if (!f.empty()) out.push_back(f);
    if (semi == std::u16string::npos) break;
    i = semi + 1;
  }
  return out;
}

bool endsWithNoCase(std::u16string_view s, std::u16string_view tail) {
  return s.size() >= tail.size() && text::equalNoCase(s.substr(s.size() - tail.size()), tail);
}

Resolved classify(const std::u16string& full) {
  DWORD attrs = attributesOf(full);
  if (attrs == INVALID_FILE_ATTRIBUTES) return {};
  if (attrs & FILE_ATTRIBUTE_DIRECTORY) return {Resolved::Folder, full};
  if (endsWithNoCase(full, u".bat") || endsWithNoCase(full, u".cmd")) return {Resolved::Batch, full};
  if (endsWithNoCase(full, u".exe") || endsWithNoCase(full, u".com")) return {Resolved::Program, full};
  return {Resolved::Document, full};
}

// A candidate path with the PATHEXT extensions tried when it has none of them.
Resolved tryCandidate(const std::u16string& base, const std::vector<std::u16string>& exts) {
  bool hasExt = false;
  for (const auto& e : exts) hasExt = hasExt || endsWithNoCase(base, e);
  std::u16string last = lastComponent(base);
  if (!hasExt) {
    for (const auto& e : exts) {
      Resolved r = classify(fullPath(base + e));
      if (r.kind == Resolved::Program || r.kind == Resolved::Batch) return r;
    }
  }
  // A name with an extension of its own (or a folder) is taken as it is.
  if (hasExt || last.find(u'.') != std::u16string::npos || base.find(u'\\') != std::u16string::npos) {
    Resolved r = classify(fullPath(base));
    if (r.kind != Resolved::None) return r;
  }
  return {};
}

}  // namespace

Resolved resolveCommand(std::u16string_view nameIn) {
  std::u16string name = unquote(nameIn);
  if (name.empty()) return {};
  std::vector<std::u16string> exts = pathExtensions();
  bool hasFolder = name.find_first_of(u"\\/:") != std::u16string::npos;
  if (hasFolder) return tryCandidate(name, exts);
  if (Resolved r = tryCandidate(name, exts); r.kind != Resolved::None && r.kind != Resolved::Folder) return r;
  for (const auto& folder : pathFolders())
    if (Resolved r = tryCandidate(joinPath(folder, name), exts); r.kind == Resolved::Program || r.kind == Resolved::Batch)
      return r;
  // A folder of the current directory named without a path is not a command.
  return {};
}

bool namesExecutable(std::u16string_view name) {
  Resolved r = resolveCommand(name);
  return r.kind == Resolved::Program || r.kind == Resolved::Batch;
}

// ---- lines ----

std::u16string Interpreter::expandVariables(std::u16string_view line) const {
  std::u16string out;
  for (std::size_t i = 0; i < line.size(); ++i) {
    char16_t c = line[i];
    if (c != u'%') {
      out += c;
      continue;
    }
    if (batch_) {
      if (i + 1 < line.size() && line[i + 1] == u'%') {
        out += u'%';
        ++i;
        continue;
      }
      if (i + 1 < line.size() && line[i + 1] == u'*') {
        out += batch_->allArgs;
        ++i;
        continue;
      }
      bool tilde = i + 1 < line.size() && line[i + 1] == u'~';
      std::size_t d = i + 1 + (tilde ? 1 : 0);
      if (d < line.size() && line[d] >= u'0' && line[d] <= u'9') {
        int n = line[d] - u'0';
        std::u16string v = n == 0 ? batch_->pathAsGiven
                                  : (static_cast<std::size_t>(n) <= batch_->args.size() ? batch_->args[n - 1] : u"");
        out += tilde ? unquote(v) : v;
        i = d;
        continue;
      }
    }
    std::size_t end = line.find(u'%', i + 1);
    if (end == std::u16string_view::npos) {
      if (!batch_) out += c;
      continue;
    }
    std::u16string name(line.substr(i + 1, end - i - 1));
    WCHAR buf[8192];
    DWORD n = name.empty() ? 0 : GetEnvironmentVariableW(name.c_str(), buf, 8192);
    if (n && n < 8192) {
      out.append(buf, n);
    } else if (text::equalNoCase(name, u"ERRORLEVEL")) {
      out += text::fromUtf8(std::to_string(errorLevel_));
    } else if (text::equalNoCase(name, u"CD")) {
      WCHAR cwd[MAX_PATH];
      DWORD m = GetCurrentDirectoryW(MAX_PATH, cwd);
      out.append(cwd, m < MAX_PATH ? m : 0);
    } else if (!batch_) {
      // On a command line an undefined variable stays as it was written; the closing % may
      // start the next one.
      out += u'%';
      out += name;
      i = end - 1;
      continue;
    }
    i = end;
  }
  return out;
}

DWORD Interpreter::runLine(std::u16string_view line) { return runChain(expandVariables(line)); }

namespace {

// True when the line holds a pipe: a "|" outside quotes that is neither escaped nor part of "||".
bool hasPipe(std::u16string_view line) {
  bool quoted = false;
  for (std::size_t i = 0; i < line.size(); ++i) {
    const char16_t c = line[i];
    if (c == u'"') quoted = !quoted;
    if (quoted) continue;
    if (c == u'^') {
      ++i;
    } else if (c == u'|') {
      if (i + 1 < line.size() && line[i + 1] == u'|') {
        ++i;
        continue;
      }
      return true;
    }
  }
  return false;
}

}  // namespace

// "a & b", "a && b" (b when a succeeded), "a || b" (b when a failed), outside quotes. A line with
// a pipe is refused whole: running its left side alone would act without the right side.
DWORD Interpreter::runChain(std::u16string_view line) {
  if (hasPipe(line)) {
    std::fprintf(stderr, "%s\n", consoleText(kNoPipes).c_str());
    std::fflush(stderr);
    return result_ = errorLevel_ = 1;
  }
  std::size_t start = 0;
  bool quoted = false;
  enum { Always, IfOk, IfFailed } condition = Always;
  for (std::size_t i = 0; i <= line.size(); ++i) {
    if (i < line.size()) {
      char16_t c = line[i];
      if (c == u'"') quoted = !quoted;
      if (c == u'^' && !quoted) {
        ++i;
        continue;
      }
      if (quoted || (c != u'&' && c != u'|')) continue;
    }
    std::u16string_view part = line.substr(start, i - start);
    bool run = condition == Always || (condition == IfOk && result_ == 0) || (condition == IfFailed && result_ != 0);
    if (run && !trimLeft(part).empty()) runSimple(part);
    if (exit_ || (batch_ && batch_->ended)) return result_;
    if (i >= line.size()) break;
    if (line[i] == u'&') {
      condition = i + 1 < line.size() && line[i + 1] == u'&' ? IfOk : Always;
    } else {
      condition = IfFailed;  // "||": hasPipe refused a lone "|"
    }
    if (condition != Always) ++i;
    start = i + 1;
  }
  return result_;
}

DWORD Interpreter::runSimple(std::u16string_view commandIn) {
  Output out;
  // Redirections: [n]>file, [n]>>file, 2>&1, <file; what is left is the command.
  std::u16string command;
  bool quoted = false;
  for (std::size_t i = 0; i < commandIn.size();) {
    char16_t c = commandIn[i];
    if (c == u'"') quoted = !quoted;
    if (!quoted && c == u'^' && i + 1 < commandIn.size()) {
      command += commandIn[i + 1];
      i += 2;
      continue;
    }
    if (quoted || (c != u'>' && c != u'<')) {
      command += c;
      ++i;
      continue;
    }
    int handle = c == u'<' ? 0 : 1;
    if (c == u'>' && !command.empty() && (command.back() == u'1' || command.back() == u'2') &&
        (command.size() == 1 || isBlank(command[command.size() - 2]))) {
      handle = command.back() - u'0';
      command.pop_back();
    }
    ++i;
    bool append = false;
    if (c == u'>' && i < commandIn.size() && commandIn[i] == u'>') append = true, ++i;
    if (c == u'>' && i + 1 < commandIn.size() && commandIn[i] == u'&' && commandIn[i + 1] == u'1') {
      if (handle == 2) out.errToOut = true;
      i += 2;
      continue;
    }
    while (i < commandIn.size() && isBlank(commandIn[i])) ++i;
    std::u16string target;
    bool q = false;
    while (i < commandIn.size() && (q || (!isBlank(commandIn[i]) && commandIn[i] != u'>' && commandIn[i] != u'<'))) {
      if (commandIn[i] == u'"') q = !q;
      target += commandIn[i++];
    }
    if (handle == 0) continue;
    Output::Sink& sink = handle == 1 ? out.out : out.err;
    target = unquote(target);
    if (text::equalNoCase(target, u"nul")) {
      sink.kind = Output::Sink::Discard;
    } else {
      sink.kind = Output::Sink::File;
      sink.path = target;
      sink.append = append;
      if (!append) writeToFile(target, false, u"");
    }
  }
  result_ = dispatch(command, out);
  out.flush();
  return result_;
}

DWORD Interpreter::dispatch(std::u16string_view commandIn, Output& out) {
  std::u16string_view command = trimLeft(commandIn);
  while (!command.empty() && command.front() == u'@') command = trimLeft(command.substr(1));
  if (command.empty()) return result_;
  if (command.front() == u':') return result_;  // a label (or "::" remark)

  // "echo." prints the text after the dot, an empty line when there is none.
  if (command.size() >= 5 && text::equalNoCase(command.substr(0, 5), u"echo.")) return echo(command.substr(4), out);
  // The command word ends at a blank, a switch, a quote or one of , ; =.
  std::size_t wordEnd = 0;
  if (command.front() == u'"') {
    wordEnd = command.find(u'"', 1);
    wordEnd = wordEnd == std::u16string_view::npos ? command.size() : wordEnd + 1;
  } else {
    while (wordEnd < command.size() && !isDelimiter(command[wordEnd]) && command[wordEnd] != u'/' &&
           command[wordEnd] != u'"')
      ++wordEnd;
  }
  std::u16string word = upper(command.substr(0, wordEnd));
  std::u16string_view rest = command.substr(wordEnd);
  std::u16string_view restTrimmed = trimLeft(rest);
  std::vector<std::u16string> args = splitArgs(rest);

  if (word == u"DEL" || word == u"ERASE") return del(args, out);
  if (word == u"RD" || word == u"RMDIR") return rmdir(args, out);
  if (word == u"MOVE") return move(args, out);
  if (word == u"MD" || word == u"MKDIR") return mkdir(args, out);
  if (word == u"CD" || word == u"CHDIR") return cd(args, restTrimmed, out);
  if (word == u"ECHO") return echo(rest, out);
  if (word == u"SET") return set(restTrimmed, out);
  if (word == u"REM") return result_;
  if (word == u"IF") return ifCommand(restTrimmed, out);
  if (word == u"GOTO") return gotoLabel(restTrimmed, out);
  if (word == u"EXIT") return exitCommand(args);
  if (word.size() == 2 && word[1] == u':' && restTrimmed.empty()) {
    // "E:" makes another drive current.
    if (!SetCurrentDirectoryW((word + u"\\").c_str())) {
      out.error(u"The system cannot find the drive specified.");
      return 1;
    }
    return 0;
  }
  return external(command, out);
}

// ---- del ----

DWORD Interpreter::del(const std::vector<std::u16string>& args, Output& out) {
  bool force = false, quiet = false, recurse = false;
  DWORD required = 0, refused = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
  std::vector<std::u16string> names;
  std::u16string bad = splitArguments(args, names, [&](const std::u16string& sw) {
    if (sw == u"F") {
      force = true;
    } else if (sw == u"Q") {
      quiet = true;
    } else if (sw == u"S") {
      recurse = true;
    } else if (sw == u"P") {
      // Prompting for each file: files are deleted only when confirmed (see below).
    } else if (sw[0] == u'A') {
      required = 0;
      refused = 0;
      bool negate = false;
      for (char16_t c : sw.substr(1)) {
        DWORD bit = c == u'R' ? FILE_ATTRIBUTE_READONLY : c == u'H' ? FILE_ATTRIBUTE_HIDDEN
                  : c == u'S' ? FILE_ATTRIBUTE_SYSTEM : c == u'A' ? FILE_ATTRIBUTE_ARCHIVE : 0;
        if (c == u'-') negate = true;
        if (!bit) continue;
        (negate ? refused : required) |= bit;
        negate = false;
      }
    } else {
      return false;
    }
    return true;
  });
  if (out.refuseArguments(bad, !names.empty())) return 1;
  for (const auto& name : names) {
    std::u16string full = fullPath(name);
    std::u16string folder, pattern;
    bool wholeFolder = !hasWildcards(name) && isFolder(attributesOf(full));
    if (wholeFolder) {
      folder = withoutTrailingSeparator(full);
      pattern = u"*";
    } else {
      folder = folderOf(full);
      pattern = lastComponent(full);
    }
    if (!quiet && (wholeFolder || pattern == u"*" || pattern == u"*.*")) {
      std::u16string shown = wholeFolder ? joinPath(folder, u"*") : full;
      if (!confirm(shown + kAreYouSure)) continue;
    }
    bool found = false;
    std::function<void(const std::u16string&)> deleteIn = [&](const std::u16string& dir) {
      DWORD error = 0;
      std::vector<FindEntry> entries = findEntries(dir, pattern, error);
      if (error && error != ERROR_FILE_NOT_FOUND && error != ERROR_NO_MORE_FILES) {
        if (dir == folder) out.error(messageOf(error)), found = true;
        return;
      }
      for (const auto& e : entries) {
        if (e.attributes & FILE_ATTRIBUTE_DIRECTORY) continue;
        if ((e.attributes & refused) || (e.attributes & required) != required) continue;
        found = true;
        std::u16string path = joinPath(dir, e.name);
        if (e.attributes & FILE_ATTRIBUTE_READONLY) {
          if (!force) {
            out.error(path);
            out.error(messageOf(ERROR_ACCESS_DENIED));
            continue;
          }
          SetFileAttributesW(path.c_str(), e.attributes & ~FILE_ATTRIBUTE_READONLY);
        }
        if (!DeleteFileW(path.c_str())) {
          out.error(path);
          out.error(messageOf(GetLastError()));
        } else if (recurse) {
          out.line(kDeletedFile + path);
        }
      }
      if (!recurse) return;
      DWORD subError = 0;
      for (const auto& e : findEntries(dir, u"*", subError))
        if (e.attributes & FILE_ATTRIBUTE_DIRECTORY) deleteIn(joinPath(dir, e.name));
    };
    deleteIn(folder);
    if (!found) out.error(kCouldNotFind + joinPath(folder, pattern));
  }
  // del leaves the exit code alone whatever it could or could not delete.
  return 0;
}

// ---- rmdir ----

namespace {

// Empties and removes a folder tree as "rmdir /s" does: read-only, hidden and system files go
// too. Returns the last error, 0 when the folder is gone.
DWORD removeTree(const std::u16string& folder, std::vector<DWORD>& errors) {
  DWORD error = 0;
  for (const auto& e : findEntries(folder, u"*", error)) {
    std::u16string path = joinPath(folder, e.name);
    if (e.attributes & FILE_ATTRIBUTE_DIRECTORY) {
      removeTree(path, errors);
      continue;
    }
    if (e.attributes & FILE_ATTRIBUTE_READONLY) SetFileAttributesW(path.c_str(), e.attributes & ~FILE_ATTRIBUTE_READONLY);
    if (!DeleteFileW(path.c_str())) errors.push_back(GetLastError());
  }
  DWORD attrs = attributesOf(folder);
  if (attrs != INVALID_FILE_ATTRIBUTES && (attrs & FILE_ATTRIBUTE_READONLY))
    SetFileAttributesW(folder.c_str(), attrs & ~FILE_ATTRIBUTE_READONLY);
  if (!RemoveDirectoryW(folder.c_str())) {
    errors.push_back(GetLastError());
    return errors.back();
  }
  return 0;
}

}  // namespace

DWORD Interpreter::rmdir(const std::vector<std::u16string>& args, Output& out) {
  bool tree = false, quiet = false;
  std::vector<std::u16string> names;
  std::u16string bad = splitArguments(args, names, [&](const std::u16string& sw) {
    if (sw == u"S") {
      tree = true;
    } else if (sw == u"Q") {
      quiet = true;
    } else {
      return false;
    }
    return true;
  });
  if (out.refuseArguments(bad, !names.empty())) return 1;
  DWORD result = 0;
  for (const auto& name : names) {
    std::u16string full = withoutTrailingSeparator(fullPath(name));
    DWORD attrs = attributesOf(full);
    if (attrs == INVALID_FILE_ATTRIBUTES) {
      result = GetLastError();
      out.error(messageOf(result));
      continue;
    }
    if (!(attrs & FILE_ATTRIBUTE_DIRECTORY)) {
      result = ERROR_DIRECTORY;
      out.error(messageOf(result));
      continue;
    }
    if (!tree) {
      if (!RemoveDirectoryW(full.c_str())) {
        result = GetLastError();
        out.error(messageOf(result));
      }
      continue;
    }
    if (!quiet && !confirm(name + kAreYouSure)) continue;
    std::vector<DWORD> errors;
    removeTree(full, errors);
    for (DWORD e : errors) out.error(messageOf(e));
    if (!errors.empty()) result = errors.back();
  }
  // The code is the Win32 error of the last failure; %ERRORLEVEL% is left alone, as cmd does.
  return result;
}

// ---- move ----

DWORD Interpreter::move(const std::vector<std::u16string>& args, Output& out) {
  bool overwrite = batch_ != nullptr;  // without /Y a command line asks, a batch file does not
  std::vector<std::u16string> names;
  std::u16string bad = splitArguments(args, names, [&](const std::u16string& sw) {
    if (sw == u"Y") {
      overwrite = true;
    } else if (sw == u"-Y") {
      overwrite = false;
    } else {
      return false;
    }
    return true;
  });
  if (out.refuseArguments(bad, names.size() == 2)) return errorLevel_ = 1;
  std::u16string source = fullPath(names[0]);
  std::u16string target = fullPath(names[1]);
  std::vector<std::u16string> sources;
  if (hasWildcards(names[0])) {
    DWORD error = 0;
    for (const auto& e : findEntries(folderOf(source), lastComponent(source), error))
      if (!(e.attributes & FILE_ATTRIBUTE_DIRECTORY)) sources.push_back(joinPath(folderOf(source), e.name));
  } else if (attributesOf(withoutTrailingSeparator(source)) != INVALID_FILE_ATTRIBUTES) {
    sources.push_back(withoutTrailingSeparator(source));
  }
  if (sources.empty()) {
    out.error(messageOf(ERROR_FILE_NOT_FOUND));
    return errorLevel_ = 1;
  }
  bool targetIsFolder = isFolder(attributesOf(withoutTrailingSeparator(target)));
  if (sources.size() > 1 && !targetIsFolder) {
    out.error(u"Cannot move multiple files to a single file.");
    return errorLevel_ = 1;
  }
  DWORD result = 0;
  for (const auto& src : sources) {
    std::u16string dst = targetIsFolder ? joinPath(withoutTrailingSeparator(target), lastComponent(src))
                                        : withoutTrailingSeparator(target);
    DWORD srcAttrs = attributesOf(src);
    DWORD dstAttrs = attributesOf(dst);
    DWORD flags = MOVEFILE_COPY_ALLOWED;
    if (dstAttrs != INVALID_FILE_ATTRIBUTES && !(dstAttrs & FILE_ATTRIBUTE_DIRECTORY) &&
        !(srcAttrs & FILE_ATTRIBUTE_DIRECTORY) && !text::equalNoCase(src, dst)) {
      if (!overwrite) {
        std::u16string question = kOverwrite;
        question.replace(question.find(u"%s"), 2, dst);
        if (!confirm(question)) continue;
      }
      flags |= MOVEFILE_REPLACE_EXISTING;
    }
    // Folders are renamed, never copied: across drives that fails as MoveFileExW fails.
    if (srcAttrs & FILE_ATTRIBUTE_DIRECTORY) flags &= ~MOVEFILE_COPY_ALLOWED;
    if (!MoveFileExW(src.c_str(), dst.c_str(), flags)) {
      DWORD e = GetLastError();
      out.error(messageOf(e == ERROR_ALREADY_EXISTS && (srcAttrs & FILE_ATTRIBUTE_DIRECTORY) ? ERROR_ACCESS_DENIED : e));
      result = 1;
    }
  }
  return errorLevel_ = result;
}

// ---- mkdir, cd, echo, set ----

DWORD Interpreter::mkdir(const std::vector<std::u16string>& args, Output& out) {
  if (args.empty()) {
    out.error(kSyntaxError);
    return errorLevel_ = 1;
  }
  DWORD result = 0;
  for (const auto& a : args) {
    std::u16string full = withoutTrailingSeparator(fullPath(unquote(a)));
    if (attributesOf(full) != INVALID_FILE_ATTRIBUTES) {
      out.error(u"A subdirectory or file " + unquote(a) + u" already exists.");
      result = 1;
      continue;
    }
    // Intermediate folders are made too.
    for (std::size_t i = 3; i <= full.size(); ++i) {
      if (i < full.size() && full[i] != u'\\') continue;
      std::u16string part = full.substr(0, i);
      if (attributesOf(part) == INVALID_FILE_ATTRIBUTES && !CreateDirectoryW(part.c_str(), nullptr)) {
        out.error(messageOf(GetLastError()));
        result = 1;
        break;
      }
    }
  }
  return errorLevel_ = result;
}

DWORD Interpreter::cd(const std::vector<std::u16string>& args, std::u16string_view rest, Output& out) {
  std::u16string target;
  for (const auto& a : args)
    if (!isSwitch(a)) target = unquote(std::u16string(trimRight(rest.substr(rest.find(a)))));
  if (target.empty()) {
    WCHAR cwd[MAX_PATH];
    DWORD n = GetCurrentDirectoryW(MAX_PATH, cwd);
    out.line(std::u16string(cwd, n < MAX_PATH ? n : 0));
    return 0;
  }
  if (!SetCurrentDirectoryW(target.c_str())) {
    out.error(messageOf(GetLastError()));
    return errorLevel_ = 1;
  }
  return 0;
}

DWORD Interpreter::echo(std::u16string_view rest, Output& out) {
  if (!rest.empty() && rest.front() == u'.') {
    out.line(rest.substr(1));
    return 0;
  }
  std::u16string_view t = trimLeft(rest);
  std::u16string word = upper(trimRight(t));
  if (word == u"OFF" || word == u"ON") {
    echo_ = word == u"ON";
    return 0;
  }
  if (t.empty()) {
    out.line(std::u16string(kEchoIs) + (echo_ ? u"on." : u"off."));
    return 0;
  }
  out.line(rest.substr(1));
  return 0;
}

DWORD Interpreter::set(std::u16string_view rest, Output& out) {
  std::u16string body = unquote(rest);
  std::size_t eq = body.find(u'=');
  if (eq == std::u16string::npos || eq == 0) {
    out.error(kSyntaxError);
    return errorLevel_ = 1;
  }
  std::u16string name = body.substr(0, eq), value = body.substr(eq + 1);
  SetEnvironmentVariableW(name.c_str(), value.empty() ? nullptr : value.c_str());
  return 0;
}

// ---- if, goto, exit ----

DWORD Interpreter::ifCommand(std::u16string_view rest, Output& out) {
  std::vector<std::u16string> words = splitArgs(rest);
  auto consume = [&rest](std::size_t count) {
    // Drops `count` arguments (as splitArgs counts them) from the front of rest.
    for (std::size_t n = 0; n < count; ++n) {
      rest = rest.substr(std::min(rest.size(), rest.find_first_not_of(u" \t,;=")));
      bool q = false;
      std::size_t i = 0;
      while (i < rest.size() && (q || !isDelimiter(rest[i]))) q ^= rest[i++] == u'"';
      rest = rest.substr(i);
    }
  };
  std::size_t at = 0;
  bool negate = false, ignoreCase = false;
  if (at < words.size() && upper(words[at]) == u"/I") ignoreCase = true, ++at;
  if (at < words.size() && upper(words[at]) == u"NOT") negate = true, ++at;
  if (at + 1 >= words.size()) {
    out.error(kSyntaxError);
    return errorLevel_ = 1;
  }
  bool truth = false;
  std::u16string kind = upper(words[at]);
  if (kind == u"EXIST") {
    std::u16string path = unquote(words[at + 1]);
    std::u16string full = fullPath(path);
    if (hasWildcards(path)) {
      DWORD error = 0;
      truth = !findEntries(folderOf(full), lastComponent(full), error).empty();
    } else {
      truth = attributesOf(withoutTrailingSeparator(full)) != INVALID_FILE_ATTRIBUTES;
    }
    consume(at + 2);
  } else if (kind == u"ERRORLEVEL") {
    // True when the code is at least the number (compared as signed, as cmd does).
    std::optional<long long> n = number(words[at + 1]);
    if (!n) {
      out.error(kSyntaxError);
      return errorLevel_ = 1;
    }
    truth = static_cast<long long>(static_cast<int>(errorLevel_)) >= *n;
    consume(at + 2);
  } else {
    // "a"=="b": the comparison is one argument of splitArgs' rules up to the == sign.
    std::u16string_view r = trimLeft(rest.substr(std::min(rest.size(), rest.find_first_not_of(u" \t"))));
    if (ignoreCase) r = trimLeft(r.substr(2));
    if (negate) r = trimLeft(r.substr(3));
    std::size_t eq = r.find(u"==");
    if (eq == std::u16string_view::npos) {
      out.error(kSyntaxError);
      return errorLevel_ = 1;
    }
    std::u16string left(trimRight(r.substr(0, eq)));
    std::u16string_view after = trimLeft(r.substr(eq + 2));
    std::size_t i = 0;
    bool q = false;
    while (i < after.size() && (q || !isBlank(after[i]))) q ^= after[i++] == u'"';
    std::u16string right(after.substr(0, i));
    truth = ignoreCase ? text::equalNoCase(left, right) : left == right;
    if (negate) truth = !truth;
    return truth ? dispatch(after.substr(i), out) : result_;
  }
  if (negate) truth = !truth;
  if (!truth) return result_;
  return dispatch(rest, out);
}

DWORD Interpreter::gotoLabel(std::u16string_view rest, Output& out) {
  std::u16string label = upper(unquote(trimRight(rest)));
  if (!label.empty() && label[0] == u':') label.erase(0, 1);
  std::size_t cut = label.find_first_of(u" \t");
  if (cut != std::u16string::npos) label.resize(cut);
  if (!batch_) return result_;
  if (label == u"EOF") {
    batch_->ended = true;
    return result_;
  }
  for (std::size_t i = 0; i < batch_->lines.size(); ++i) {
    std::u16string_view l = trimLeft(batch_->lines[i]);
    if (l.empty() || l.front() != u':') continue;
    std::u16string name = upper(l.substr(1));
    std::size_t end = name.find_first_of(u" \t");
    if (end != std::u16string::npos) name.resize(end);
    if (name == label) {
      batch_->next = i + 1;
      return result_;
    }
  }
  out.error(kLabelMissing + label);
  batch_->ended = true;
  return errorLevel_ = 1;
}

DWORD Interpreter::exitCommand(const std::vector<std::u16string>& args) {
  bool onlyBatch = false;
  std::optional<DWORD> code;
  for (const auto& a : args) {
    if (upper(a) == u"/B") {
      onlyBatch = true;
    } else if (!code) {
      // Text that is not a number ends with 0, as cmd's exit does.
      code = static_cast<DWORD>(number(a).value_or(0));
    }
  }
  DWORD value = code.value_or(onlyBatch ? errorLevel_ : result_);
  if (onlyBatch && batch_) {
    batch_->ended = true;
    errorLevel_ = value;
    return value;
  }
  exit_ = value;
  return value;
}

// ---- programs, batch files, folders and documents ----

DWORD Interpreter::external(std::u16string_view command, Output& out) {
  std::size_t end = 0;
  bool q = false;
  while (end < command.size() && (q || !isBlank(command[end]))) q ^= command[end++] == u'"';
  std::u16string word(command.substr(0, end));
  std::u16string args(command.substr(end));
  Resolved r = resolveCommand(word);
  switch (r.kind) {
    case Resolved::None:
      out.error(u"'" + unquote(word) + kNotRecognized1);
      out.error(kNotRecognized2);
      return errorLevel_ = kNotRecognized;
    case Resolved::Batch: {
      // A batch file named in a batch file takes over: the caller does not continue.
      if (batch_) batch_->ended = true;
      out.flush();
      return runBatch(unquote(word), r.path, args);
    }
    case Resolved::Folder:
    case Resolved::Document: {
      DWORD e = openWithShell(r.path, unquote(trimLeft(args)));
      if (e) {
        out.error(messageOf(e));
        return errorLevel_ = 1;
      }
      return errorLevel_ = 0;
    }
    case Resolved::Program: {
      out.flush();
      DWORD code = 0;
      DWORD e = runProgram(r.path, std::u16string(trimRight(command)), code);
      if (e) {
        out.error(messageOf(e));
        return errorLevel_ = 1;
      }
      return errorLevel_ = code;
    }
  }
  return result_;
}

DWORD Interpreter::runBatch(std::u16string_view pathAsGiven, const std::u16string& full, std::u16string_view args) {
  HANDLE h = CreateFileW(full.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    std::fprintf(stderr, "%s\n", consoleText(kBatchMissing).c_str());
    return result_ = errorLevel_ = 1;
  }
  std::string bytes;
  char buf[65536];
  DWORD got = 0;
  while (ReadFile(h, buf, sizeof buf, &got, nullptr) && got) bytes.append(buf, got);
  CloseHandle(h);

  auto batch = std::make_unique<Batch>();
  batch->pathAsGiven = std::u16string(pathAsGiven);
  batch->fullPath = full;
  batch->allArgs = std::u16string(trimLeft(args));
  batch->args = splitArgs(args);
  std::u16string all = platform::text::ansiToWide(bytes);
  std::size_t i = 0;
  while (i < all.size()) {
    std::size_t nl = all.find(u'\n', i);
    std::u16string l = all.substr(i, nl == std::u16string::npos ? std::u16string::npos : nl - i);
    if (!l.empty() && l.back() == u'\r') l.pop_back();
    batch->lines.push_back(std::move(l));
    if (nl == std::u16string::npos) break;
    i = nl + 1;
  }

  Batch* outer = batch_;
  batch_ = batch.get();
  while (!batch_->ended && !exit_ && batch_->next < batch_->lines.size()) {
    const std::u16string& line = batch_->lines[batch_->next++];
    std::u16string_view t = trimLeft(line);
    if (t.empty() || t.front() == u':') continue;
    if (echo_ && t.front() != u'@') {
      WCHAR cwd[MAX_PATH];
      DWORD n = GetCurrentDirectoryW(MAX_PATH, cwd);
      std::string shown = consoleText(u"\r\n" + std::u16string(cwd, n < MAX_PATH ? n : 0) + u">" + std::u16string(t));
      std::printf("%s\n", shown.c_str());
      std::fflush(stdout);
    }
    runChain(expandVariables(line));
  }
  batch_ = outer;
  return result_;
}

bool Interpreter::confirm(const std::u16string& question) {
  std::string q = consoleText(question);
  std::fwrite(q.data(), 1, q.size(), stdout);
  std::fflush(stdout);
  char answer[64];
  if (!std::fgets(answer, sizeof answer, stdin)) {
    std::fputc('\n', stdout);
    return false;
  }
  return answer[0] == 'y' || answer[0] == 'Y' || answer[0] == 'a' || answer[0] == 'A';
}

}  // namespace hostapps::cmd
