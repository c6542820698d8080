// kipo-host reg: query/set/delete from another process, export and import in the registry
// editor's format (every type round-trips, corrupt files fail cleanly with their line), and a
// writer killed with SIGKILL that leaves every write it reported committed.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/base/text.h"
#include "platform/win32/registry.h"
#include "tests/support/test_host.h"

extern char** environ;

namespace {

using platform::text::fromUtf8;
using platform::text::toUtf8;

std::string bytesOf(const std::u16string& s) { return std::string(reinterpret_cast<const char*>(s.data()), s.size() * 2); }

std::string slurp(const std::filesystem::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

void spit(const std::filesystem::path& p, const std::string& bytes) {
  std::ofstream out(p, std::ios::binary | std::ios::trunc);
  out << bytes;
}

// A subtree read through the Win32 calls: path -> (value name -> (type, bytes)).
using Values = std::map<std::u16string, std::pair<DWORD, std::string>>;
using Tree = std::map<std::u16string, Values>;

void readTree(HKEY key, const std::u16string& path, Tree& out) {
  Values& values = out[path];
  for (DWORD i = 0;; ++i) {
    std::vector<char16_t> name(16384);
    std::string data(1 << 16, '\0');
    DWORD cch = 16384, type = 0, size = static_cast<DWORD>(data.size());
    LONG rc = RegEnumValueW(key, i, name.data(), &cch, nullptr, &type, reinterpret_cast<BYTE*>(data.data()), &size);
    if (rc == ERROR_NO_MORE_ITEMS) break;
    ASSERT_EQ(rc, ERROR_SUCCESS);
    values[std::u16string(name.data(), cch)] = {type, data.substr(0, size)};
  }
  std::vector<std::u16string> children;
  for (DWORD i = 0;; ++i) {
    char16_t name[256];
    if (RegEnumKeyW(key, i, name, 256) != ERROR_SUCCESS) break;
    children.emplace_back(name);
  }
  for (const auto& c : children) {
    HKEY sub;
    ASSERT_EQ(RegOpenKeyExW(key, c.c_str(), 0, KEY_READ, &sub), ERROR_SUCCESS);
    readTree(sub, path + u"\\" + c, out);
    RegCloseKey(sub);
  }
}

Tree treeAt(HKEY root, const char16_t* path) {
  Tree t;
  HKEY key;
  if (RegOpenKeyExW(root, path, 0, KEY_READ, &key) != ERROR_SUCCESS) return t;
  readTree(key, u"", t);
  RegCloseKey(key);
  return t;
}

bool keyExists(HKEY root, const char16_t* path) {
  HKEY key;
  if (RegOpenKeyExW(root, path, 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
  RegCloseKey(key);
  return true;
}

LONG set(HKEY root, const char16_t* sub, const std::u16string& name, DWORD type, const std::string& data) {
  return static_cast<LONG>(SHSetValueW(root, sub, name.c_str(), type, data.data(), static_cast<DWORD>(data.size())));
}

TEST(RegTool, SetQueryAndDeleteEveryKindOfData) {
  kipotest::TestHost host;
  struct Case {
    std::vector<std::string> args;
    DWORD type;
    std::string data;
    std::string shown;
  } cases[] = {
      {{"s", "--data", "h\xc3\xa9llo"}, REG_SZ, bytesOf(u"h\u00e9llo") + std::string(2, '\0'), "REG_SZ    h\xc3\xa9llo"},
      {{"e", "--type", "REG_EXPAND_SZ", "--data", "%TEMP%"}, REG_EXPAND_SZ, bytesOf(u"%TEMP%") + std::string(2, '\0'),
       "REG_EXPAND_SZ    %TEMP%"},
      {{"m", "--type", "REG_MULTI_SZ", "--data", "a\\0bc"}, REG_MULTI_SZ, bytesOf(std::u16string(u"a\0bc\0\0", 6)),
       "REG_MULTI_SZ    a\\0bc"},
      {{"d", "--type", "REG_DWORD", "--data", "0x12345678"}, REG_DWORD, std::string("\x78\x56\x34\x12", 4),
       "REG_DWORD    0x12345678"},
      {{"q", "--type", "REG_QWORD", "--data", "4294967296"}, REG_QWORD, std::string("\0\0\0\0\1\0\0\0", 8),
       "REG_QWORD    0x100000000"},
      {{"b", "--type", "REG_BINARY", "--data", "00,ff,10"}, REG_BINARY, std::string("\x00\xff\x10", 3),
       "REG_BINARY    00FF10"},
      {{"n", "--type", "REG_NONE"}, REG_NONE, "", "REG_NONE    "},
      {{"x", "--type", "0x4000", "--data", "abcd"}, 0x4000, std::string("\xab\xcd", 2), "0x4000    ABCD"},
      {{"--default", "--data", "dflt"}, REG_SZ, bytesOf(u"dflt") + std::string(2, '\0'), "(Default)    REG_SZ    dflt"},
  };
  for (const auto& c : cases) {
    std::vector<std::string> args{"reg", "set", "HKCU\\Software\\Tool"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    ASSERT_EQ(kipotest::runTool(args), 0) << c.args[0];
    std::u16string name = c.args[0] == "--default" ? u"" : fromUtf8(c.args[0]);
    Values v = treeAt(HKEY_CURRENT_USER, u"Software\\Tool")[u""];
    EXPECT_EQ(v[name], std::make_pair(c.type, c.data)) << c.args[0];
    std::string out;
    ASSERT_EQ(kipotest::runTool({"reg", "query", "HKEY_CURRENT_USER\\Software\\Tool", c.args[0]}, &out), 0);
    EXPECT_NE(out.find(c.shown), std::string::npos) << out;
  }

  std::string out, err;
  EXPECT_EQ(kipotest::runTool({"reg", "query", "HKCU\\Software\\Tool", "nope"}, &out, &err), 1);
  EXPECT_NE(err.find("not found"), std::string::npos) << err;
  EXPECT_EQ(kipotest::runTool({"reg", "query", "HKEY_NOWHERE\\X"}, &out, &err), 2);
  EXPECT_EQ(kipotest::runTool({"reg", "set", "HKCU\\Software\\Tool", "d", "--type", "REG_DWORD", "--data", "0x1ffffffff"}), 2);

  ASSERT_EQ(kipotest::runTool({"reg", "set", "HKCU\\Software\\Tool\\Sub\\Deeper", "v"}), 0);
  ASSERT_EQ(kipotest::runTool({"reg", "delete", "HKCU\\Software\\Tool", "s"}), 0);
  EXPECT_EQ(treeAt(HKEY_CURRENT_USER, u"Software\\Tool")[u""].count(u"s"), 0u);
  ASSERT_EQ(kipotest::runTool({"reg", "delete", "HKCU\\Software\\Tool"}), 0);
  EXPECT_FALSE(keyExists(HKEY_CURRENT_USER, u"Software\\Tool"));
  EXPECT_EQ(kipotest::runTool({"reg", "delete", "HKCU\\Software\\Tool"}, nullptr, &err), 1);
}

TEST(RegTool, ExportAndImportRoundTripEveryType) {
  kipotest::TestHost host;
  const char16_t* base = u"Software\\RoundTrip";
  std::string longBinary;
  for (int i = 0; i < 300; ++i) longBinary += static_cast<char>(i * 7);
  struct Case {
    std::u16string name;
    DWORD type;
    std::string data;
  } cases[] = {
      {u"", REG_SZ, bytesOf(u"default") + std::string(2, '\0')},
      {u"plain", REG_SZ, bytesOf(u"text with \"quotes\" and \\ back\\slashes") + std::string(2, '\0')},
      {u"no NUL", REG_SZ, bytesOf(u"unterminated")},
      {u"empty sz", REG_SZ, ""},
      {u"odd sz", REG_SZ, "abc"},
      {u"lines", REG_SZ, bytesOf(u"one\r\ntwo") + std::string(2, '\0')},
      {u"unicode \u65e5\u672c", REG_SZ, bytesOf(u"\u00e9\u65e5\U0001F600") + std::string(2, '\0')},
      {u"expand", REG_EXPAND_SZ, bytesOf(u"%SystemRoot%\\x") + std::string(2, '\0')},
      {u"multi", REG_MULTI_SZ, bytesOf(std::u16string(u"a\0b\0\0", 5))},
      {u"dword", REG_DWORD, std::string("\x01\x02\x03\x04", 4)},
      {u"short dword", REG_DWORD, std::string("\x01", 1)},
      {u"qword", REG_QWORD, std::string("\x01\x02\x03\x04\x05\x06\x07\x08", 8)},
      {u"binary", REG_BINARY, longBinary},
      {u"empty binary", REG_BINARY, ""},
      {u"none", REG_NONE, std::string("\0", 1)},
      {u"big type", 0xFFFFFFFF, "z"},
      {u"name \"quoted\" \\ =", 0x100, "q"},
  };
  for (const auto& c : cases) ASSERT_EQ(set(HKEY_CURRENT_USER, base, c.name, c.type, c.data), ERROR_SUCCESS);
  ASSERT_EQ(set(HKEY_CURRENT_USER, u"Software\\RoundTrip\\Child [1]\\Grandchild", u"g", REG_DWORD, "\x05\0\0\0"), ERROR_SUCCESS);
  ASSERT_EQ(set(HKEY_CURRENT_USER, u"Software\\RoundTrip\\Empty", u"x", REG_SZ, ""), ERROR_SUCCESS);
  ASSERT_EQ(SHDeleteValueW(HKEY_CURRENT_USER, u"Software\\RoundTrip\\Empty", u"x"), 0u);
  Tree before = treeAt(HKEY_CURRENT_USER, base);
  ASSERT_EQ(before.size(), 4u);

  auto file = kipotest::freshTempDir("reg") / "export.reg";
  ASSERT_EQ(kipotest::runTool({"reg", "export", "HKCU\\Software\\RoundTrip", file.string()}), 0);
  std::string bytes = slurp(file);
  ASSERT_GE(bytes.size(), 2u);
  EXPECT_EQ(bytes.substr(0, 2), "\xFF\xFE");
  std::string head = toUtf8(std::u16string(reinterpret_cast<const char16_t*>(bytes.data() + 2), 40));
  EXPECT_EQ(head.rfind("Windows Registry Editor Version 5.00\r\n", 0), 0u) << head;

  ASSERT_EQ(SHDeleteKeyW(HKEY_CURRENT_USER, base), 0u);
  std::string err;
  ASSERT_EQ(kipotest::runTool({"reg", "import", file.string()}, nullptr, &err), 0) << err;
  EXPECT_EQ(treeAt(HKEY_CURRENT_USER, base), before);
}

TEST(RegTool, ImportReadsTheEditorsForms) {
  kipotest::TestHost host;
  ASSERT_EQ(set(HKEY_CURRENT_USER, u"Software\\Gone", u"v", REG_SZ, "x"), ERROR_SUCCESS);
  ASSERT_EQ(set(HKEY_CURRENT_USER, u"Software\\Forms", u"old", REG_SZ, "x"), ERROR_SUCCESS);
  // UTF-8 without a mark; continuation lines; comments; deletions; every prefix.
  std::string text =
      "Windows Registry Editor Version 5.00\r\n"
      "\r\n"
      "; a comment\r\n"
      "[-HKEY_CURRENT_USER\\Software\\Gone]\r\n"
      "[-HKEY_CURRENT_USER\\Software\\NeverWas]\r\n"
      "\r\n"
      "[HKEY_CURRENT_USER\\Software\\Forms]\r\n"
      "@=\"d\\\"q\\\\\"\r\n"
      "\"old\"=-\r\n"
      "\"caf\xc3\xa9\"=dword:0000002A\r\n"
      "\"bin\"=hex:01,02,\\\r\n"
      "   03,04\r\n"
      "\"exp\"=hex(2):25,00,41,00,25,00,00,00\r\n"
      "\"multi\"=hex(7):61,00,00,00,00,00\r\n"
      "\"q\"=hex(b):01,00,00,00,00,00,00,00\r\n"
      "\"odd\"=hex(abcdef):\r\n"
      "\n"
      "[HKCU\\Software\\Forms\\Short Root]\n";
  auto file = kipotest::freshTempDir("reg") / "in.reg";
  spit(file, text);
  std::string err;
  ASSERT_EQ(kipotest::runTool({"reg", "import", file.string()}, nullptr, &err), 0) << err;
  EXPECT_FALSE(keyExists(HKEY_CURRENT_USER, u"Software\\Gone"));
  Tree t = treeAt(HKEY_CURRENT_USER, u"Software\\Forms");
  Values expected = {
      {u"", {REG_SZ, bytesOf(u"d\"q\\") + std::string(2, '\0')}},
      {u"caf\u00e9", {REG_DWORD, std::string("\x2a\0\0\0", 4)}},
      {u"bin", {REG_BINARY, std::string("\x01\x02\x03\x04", 4)}},
      {u"exp", {REG_EXPAND_SZ, bytesOf(u"%A%") + std::string(2, '\0')}},
      {u"multi", {REG_MULTI_SZ, bytesOf(std::u16string(u"a\0\0", 3))}},
      {u"q", {REG_QWORD, std::string("\x01\0\0\0\0\0\0\0", 8)}},
      {u"odd", {0xabcdef, ""}},
  };
  EXPECT_EQ(t[u""], expected);
  EXPECT_TRUE(t.count(u"\\Short Root"));
}

TEST(RegTool, ImportOfTheOlderFormatTakesAnsiStringData) {
  kipotest::TestHost host;
  auto file = kipotest::freshTempDir("reg") / "old.reg";
  spit(file, "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\Old]\r\n\"e\"=hex(2):25,41,25,e9,00\r\n"
             "\"b\"=hex:25,41\r\n");
  std::string err;
  ASSERT_EQ(kipotest::runTool({"reg", "import", file.string()}, nullptr, &err), 0) << err;
  Values v = treeAt(HKEY_CURRENT_USER, u"Software\\Old")[u""];
  EXPECT_EQ(v[u"e"], std::make_pair(DWORD{REG_EXPAND_SZ}, bytesOf(std::u16string(u"%A%\u00e9\0", 5))));
  EXPECT_EQ(v[u"b"], std::make_pair(DWORD{REG_BINARY}, std::string("%A")));
}

TEST(RegTool, CorruptImportFilesFailCleanlyAndWriteNothing) {
  kipotest::TestHost host;
  const std::string header = "Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER\\Software\\Corrupt]\r\n";
  struct Case {
    const char* what;
    std::string bytes;
    std::string message;  // expected in the error, with the line
  } cases[] = {
      {"no header", "REGEDIT5\r\n[HKEY_CURRENT_USER\\Software\\Corrupt]\r\n", "line 1:"},
      {"empty file", "", "line 1: empty file"},
      {"odd UTF-16", std::string("\xFF\xFE\x41", 3), "line 1:"},
      {"big-endian UTF-16", std::string("\xFE\xFF\0W", 4), "line 1:"},
      {"unknown root", header + "[HKEY_NOWHERE\\X]\r\n", "line 4: unknown root"},
      {"unclosed key", header + "[HKEY_CURRENT_USER\\X\r\n", "line 4:"},
      {"empty key name", header + "[HKEY_CURRENT_USER\\A\\\\B]\r\n", "line 4: empty key name"},
      {"long key name", header + "[HKEY_CURRENT_USER\\" + std::string(256, 'k') + "]\r\n", "line 4:"},
      {"value before key", "Windows Registry Editor Version 5.00\r\n\"v\"=\"x\"\r\n", "line 2: value outside a key"},
      {"unclosed string", header + "\"v\"=\"abc\r\n", "line 4: string without its closing quote"},
      {"unclosed name", header + "\"v=dword:1\r\n", "line 4:"},
      {"bad escape", header + "\"v\"=\"a\\qb\"\r\n", "line 4: unknown escape"},
      {"text after string", header + "\"v\"=\"a\" b\r\n", "line 4:"},
      {"no equals", header + "\"v\" \"x\"\r\n", "line 4: expected ="},
      {"bad dword", header + "\"v\"=dword:123456789\r\n", "line 4: bad dword"},
      {"dword letters", header + "\"v\"=dword:xyz\r\n", "line 4: bad dword"},
      {"bad hex byte", header + "\"v\"=hex:01,zz\r\n", "line 4: bad hex byte"},
      {"three-digit byte", header + "\"v\"=hex:100\r\n", "line 4: bad hex byte"},
      {"empty byte", header + "\"v\"=hex:01,,02\r\n", "line 4: bad hex byte"},
      {"bad hex type", header + "\"v\"=hex(1g):00\r\n", "line 4: bad hex(type)"},
      {"type too wide", header + "\"v\"=hex(123456789):00\r\n", "line 4: bad hex(type)"},
      {"no colon", header + "\"v\"=hex(2)00\r\n", "line 4: bad hex(type)"},
      {"unknown data", header + "\"v\"=word:1\r\n", "line 4: unrecognised"},
      {"stray line", header + "garbage\r\n", "line 4:"},
      {"bad continuation", header + "\"ok\"=hex:01,\\\r\n  02\r\n\"v\"=hex:0x\r\n", "line 6: bad hex byte"},
      {"long value name", header + "\"" + std::string(16384, 'n') + "\"=\"x\"\r\n", "line 4: value name longer"},
      // A NUL would cut the name short, and a key named "" reopens its parent: an export or any
      // recursive walk of it would never end.
      {"NUL in a key name", header + "[HKEY_CURRENT_USER\\A" + '\0' + "B]\r\n", "line 4: key name holding a NUL"},
      {"key named NUL", "\xFF\xFE" + bytesOf(u"Windows Registry Editor Version 5.00\r\n[HKEY_CURRENT_USER\\Software\\"
                                           u"Corrupt]\r\n[HKEY_CURRENT_USER\\Software\\Corrupt\\" + std::u16string(1, u'\0') + u"]\r\n"),
       "line 3: key name holding a NUL"},
      {"NUL in a value name", header + "\"v" + '\0' + "w\"=\"x\"\r\n", "line 4: value name holding a NUL"},
      {"key path too deep", header + "[HKEY_CURRENT_USER" + [] { std::string p; for (int i = 0; i < 513; ++i) p += "\\k"; return p; }() + "]\r\n",
       "line 4: key path deeper than 512 levels"},
  };
  auto dir = kipotest::freshTempDir("reg");
  for (const auto& c : cases) {
    auto file = dir / "bad.reg";
    spit(file, c.bytes);
    std::string err;
    EXPECT_EQ(kipotest::runTool({"reg", "import", file.string()}, nullptr, &err), 1) << c.what;
    EXPECT_NE(err.find(c.message), std::string::npos) << c.what << ": " << err;
    // The file is checked whole before anything is written: the key before the fault is absent.
    EXPECT_FALSE(keyExists(HKEY_CURRENT_USER, u"Software\\Corrupt")) << c.what;
  }
}

TEST(RegTool, ImportIntoTheMachineIsRefusedForAUserWhoIsNotAnAdministrator) {
  kipotest::TestHost host;
  ASSERT_EQ(kipotest::runTool({"set", "--user-is-admin", "0"}), 0);
  auto file = kipotest::freshTempDir("reg") / "m.reg";
  spit(file, "Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER\\Software\\Mine]\r\n\"a\"=\"1\"\r\n\r\n"
             "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Theirs]\r\n\"b\"=\"2\"\r\n");
  std::string err;
  EXPECT_EQ(kipotest::runTool({"reg", "import", file.string()}, nullptr, &err), 1);
  EXPECT_NE(err.find("line 6: cannot write HKEY_LOCAL_MACHINE\\SOFTWARE\\Theirs: access denied"), std::string::npos) << err;
  EXPECT_TRUE(keyExists(HKEY_CURRENT_USER, u"Software\\Mine"));
  EXPECT_FALSE(keyExists(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Theirs"));
}

// A child process running the tool with its standard output in a file, killed at will.
pid_t spawnTool(const std::vector<std::string>& args, const std::filesystem::path& out) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  std::string tool = KIPO_HOST_TOOL;
  std::vector<char*> argv{tool.data()};
  std::vector<std::string> copy = args;
  for (auto& a : copy) argv.push_back(a.data());
  argv.push_back(nullptr);
  pid_t pid = 0;
  int rc = posix_spawn(&pid, tool.c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  return rc == 0 ? pid : -1;
}

TEST(RegTool, WriterKilledWithSigkillLeavesEveryReportedWrite) {
  kipotest::TestHost host;
  // Sections of several values each; the importer writes each section in one transaction and
  // reports it after the commit. A section must be wholly there or wholly absent, and every
  // reported one must be there.
  constexpr int kSections = 1500, kValues = 6;
  std::string text = "Windows Registry Editor Version 5.00\r\n";
  for (int s = 0; s < kSections; ++s) {
    text += "\r\n[HKEY_CURRENT_USER\\Software\\Killed\\K" + std::to_string(s) + "]\r\n";
    for (int v = 0; v < kValues; ++v)
      text += "\"v" + std::to_string(v) + "\"=\"" + std::to_string(s * 100 + v) + "\"\r\n";
  }
  auto dir = kipotest::freshTempDir("kill");
  auto file = dir / "big.reg";
  spit(file, text);

  const int delaysMs[] = {5, 15, 30, 60, 100, 150, 250};
  int interrupted = 0;
  for (int delay : delaysMs) {
    SCOPED_TRACE("kill after " + std::to_string(delay) + " ms");
    ASSERT_EQ(SHDeleteKeyW(HKEY_CURRENT_USER, u"Software\\Killed") & ~static_cast<DWORD>(ERROR_FILE_NOT_FOUND), 0u);
    auto out = dir / ("out" + std::to_string(delay));
    pid_t pid = spawnTool({"reg", "import", file.string(), "--progress"}, out);
    ASSERT_GT(pid, 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(delay));
    ::kill(pid, SIGKILL);
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    if (WIFSIGNALED(status)) ++interrupted;

    std::set<std::u16string> reported;
    std::istringstream lines(slurp(out));
    std::string line;
    while (std::getline(lines, line))
      if (!lines.eof() && line.rfind("committed [", 0) == 0)
        reported.insert(fromUtf8(line.substr(11, line.size() - 12)));

    // The store opens in another process too.
    std::string q;
    ASSERT_EQ(kipotest::runTool({"reg", "query", "HKCU\\Software"}, &q), 0);

    Tree t = treeAt(HKEY_CURRENT_USER, u"Software\\Killed");
    std::size_t present = 0;
    for (int s = 0; s < kSections; ++s) {
      std::u16string rel = u"\\K" + fromUtf8(std::to_string(s));
      std::u16string full = u"HKEY_CURRENT_USER\\Software\\Killed" + rel;
      auto it = t.find(rel);
      if (reported.count(full)) {
        EXPECT_NE(it, t.end()) << toUtf8(full) << " was reported but is missing";
      }
      if (it == t.end()) continue;
      ++present;
      ASSERT_EQ(it->second.size(), static_cast<std::size_t>(kValues)) << toUtf8(full) << " is incomplete";
      for (int v = 0; v < kValues; ++v) {
        std::u16string expected = fromUtf8(std::to_string(s * 100 + v)) + u'\0';
        EXPECT_EQ(it->second[fromUtf8("v" + std::to_string(v))].second, bytesOf(expected));
      }
    }
    EXPECT_GE(present, reported.size());
    std::printf("killed after %d ms: %zu sections reported, %zu present\n", delay, reported.size(), present);
  }
  // The delays must actually catch the writer in the middle at least once.
  EXPECT_GT(interrupted, 0);
}

TEST(RegTool, ConcurrentWritersInSeveralProcessesAllLand) {
  kipotest::TestHost host;
  constexpr int kWriters = 3, kSections = 200;
  auto dir = kipotest::freshTempDir("concurrent");
  std::vector<pid_t> pids;
  for (int w = 0; w < kWriters; ++w) {
    std::string text = "Windows Registry Editor Version 5.00\r\n";
    for (int s = 0; s < kSections; ++s)
      text += "\r\n[HKEY_CURRENT_USER\\Software\\Busy\\W" + std::to_string(w) + "\\K" + std::to_string(s) + "]\r\n\"v\"=dword:" +
              std::to_string(s % 10) + "\r\n";
    auto file = dir / ("w" + std::to_string(w) + ".reg");
    spit(file, text);
    pids.push_back(spawnTool({"reg", "import", file.string()}, dir / ("out" + std::to_string(w))));
    ASSERT_GT(pids.back(), 0);
  }
  // This process writes and reads meanwhile, through its cache.
  HKEY mine = nullptr;
  ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, u"Software\\Busy\\Here", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &mine, nullptr),
            ERROR_SUCCESS);
  for (DWORD i = 0; i < 200; ++i) {
    ASSERT_EQ(RegSetValueExW(mine, u"n", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&i), 4), ERROR_SUCCESS);
    DWORD back = ~0u, size = 4;
    ASSERT_EQ(RegQueryValueExW(mine, u"n", nullptr, nullptr, reinterpret_cast<BYTE*>(&back), &size), ERROR_SUCCESS);
    ASSERT_EQ(back, i);
  }
  RegCloseKey(mine);
  for (pid_t pid : pids) {
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  Tree t = treeAt(HKEY_CURRENT_USER, u"Software\\Busy");
  for (int w = 0; w < kWriters; ++w)
    for (int s = 0; s < kSections; ++s) {
      std::u16string rel = fromUtf8("\\W" + std::to_string(w) + "\\K" + std::to_string(s));
      ASSERT_TRUE(t.count(rel)) << toUtf8(rel);
      EXPECT_EQ(t[rel][u"v"].second, std::string(1, static_cast<char>(s % 10)) + std::string(3, '\0'));
    }
}

}  // namespace
