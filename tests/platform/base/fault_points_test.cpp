// The table of fault points: the fault API refuses a name no call checks, a module's names join
// the table while it is loaded, and the table matches the names the platform's sources check
// (read from the sources here, so a call that gains a check without a point, or a point whose
// check was removed, fails this test).
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "platform/base/fault.h"
#include "platform/win32/error.h"
#include "tests/support/test_host.h"

namespace fault = platform::fault;
namespace fs = std::filesystem;

namespace {

fault::Fault failing(const char* call) {
  fault::Fault f;
  f.call = call;
  f.error = ERROR_ACCESS_DENIED;
  return f;
}

fs::path sourceRoot() { return KIPO_SOURCE_DIR; }

std::string readAll(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

// The first argument of the call whose "(" is at `open`: up to the comma or ")" at its depth.
std::string firstArgument(const std::string& text, std::size_t open) {
  int depth = 0;
  for (std::size_t i = open + 1; i < text.size(); ++i) {
    char c = text[i];
    if (c == '"') {
      for (++i; i < text.size() && text[i] != '"'; ++i)
        if (text[i] == '\\') ++i;
    } else if (c == '(') {
      ++depth;
    } else if (c == ')' || c == ',') {
      if (depth == 0) return text.substr(open + 1, i - open - 1);
      if (c == ')') --depth;
    }
  }
  return {};
}

std::vector<std::string> literalsIn(const std::string& text) {
  static const std::regex literal("\"([A-Za-z0-9_]+)\"");
  std::vector<std::string> out;
  for (std::sregex_iterator it(text.begin(), text.end(), literal), end; it != end; ++it) out.push_back((*it)[1]);
  return out;
}

// Whether `text` defines a function `name` at file level: "name(" after a return type on a line
// that starts in its first column.
bool definesFunction(const std::string& text, const std::string& name) {
  for (std::size_t at = text.find(name + "("); at != std::string::npos; at = text.find(name + "(", at + 1)) {
    if (at == 0 || (text[at - 1] != ' ' && text[at - 1] != '*')) continue;
    const std::size_t lineStart = text.rfind('\n', at) == std::string::npos ? 0 : text.rfind('\n', at) + 1;
    const char first = text[lineStart];
    if (lineStart < at && (std::isalpha(static_cast<unsigned char>(first)) || first == '_')) return true;
  }
  return false;
}

struct Checked {
  std::string name;
  std::string where;  // file:line of the check, or of the literal a helper passes on
};

// Every call name the sources under `dirs` pass to fault::check(). A check whose name is not a
// literal (a helper that passes on its caller's name, as the registry's and file calls' helpers
// do) makes each literal of that file that names a function the file defines count as checked:
// those are the names the helper is given.
std::vector<Checked> checkedNames(const fs::path& root, std::initializer_list<const char*> dirs) {
  static const std::regex checkCall(R"(\bfault::check\s*\()");
  std::vector<Checked> out;
  for (const char* dir : dirs) {
    for (const auto& entry : fs::recursive_directory_iterator(root / dir)) {
      const auto ext = entry.path().extension();
      if (!entry.is_regular_file() || (ext != ".cpp" && ext != ".h")) continue;
      const std::string text = readAll(entry.path());
      const std::string file = fs::relative(entry.path(), root).string();
      auto lineOf = [&](std::size_t at) { return file + ":" + std::to_string(std::count(text.begin(), text.begin() + at, '\n') + 1); };
      bool passesOn = false;
      for (std::sregex_iterator it(text.begin(), text.end(), checkCall), end; it != end; ++it) {
        const std::size_t open = it->position() + it->length() - 1;
        const std::string arg = firstArgument(text, open);
        auto names = literalsIn(arg);
        if (names.empty()) passesOn = true;
        for (auto& n : names) out.push_back({n, lineOf(open)});
      }
      if (!passesOn) continue;
      static const std::regex literal("\"([A-Z][A-Za-z0-9_]*)\"");
      for (std::sregex_iterator it(text.begin(), text.end(), literal), end; it != end; ++it) {
        const std::string name = (*it)[1];
        if (definesFunction(text, name)) out.push_back({name, lineOf(it->position())});
      }
    }
  }
  return out;
}

}  // namespace

TEST(FaultPoints, EveryCheckedNameIsAPointAndEveryPointIsChecked) {
  const auto checked = checkedNames(sourceRoot(), {"platform", "tools"});
  ASSERT_FALSE(checked.empty()) << "no sources under " << sourceRoot();
  std::set<std::string> seen;
  for (const auto& c : checked) {
    if (seen.insert(c.name).second) {
      EXPECT_TRUE(fault::isPoint(c.name)) << c.where << " checks \"" << c.name << "\", which is no fault point";
    }
  }
  for (const std::string& p : fault::points())
    EXPECT_TRUE(seen.count(p)) << "fault point \"" << p << "\" is checked by no call: a fault on it could never act";
  // The calls the product's failure tests lean on.
  for (const char* name : {"FindNextFileW", "GetFileSize", "GetFileSizeEx", "SetFilePointer", "SetFilePointerEx",
                           "FlushFileBuffers", "CloseHandle", "FindWindowW", "SendMessageW", "SendMessageTimeoutW"})
    EXPECT_TRUE(seen.count(name)) << name;
}

TEST(FaultPoints, TheApiRefusesANameWithNoPoint) {
  kipotest::TestHost host;
  for (const char* call : {"CreateFile", "CreateFileA", "createfilew", "MoveFileW", ""}) {
    try {
      fault::inject(failing(call));
      ADD_FAILURE() << "inject accepted \"" << call << "\"";
    } catch (const fault::UnknownPoint& e) {
      EXPECT_NE(std::string(e.what()).find("no fault point named \"" + std::string(call) + "\""), std::string::npos)
          << e.what();
    }
    EXPECT_THROW(fault::addHostFault(failing(call)), fault::UnknownPoint) << call;
  }
  EXPECT_TRUE(fault::listHostFaults().empty());
  EXPECT_EQ(fault::check("CreateFileW"), 0u) << "nothing was set by the refused calls";
  fault::clearLocal();
}

// A module that comes later (the network calls, MAPI) joins its names with a static Points; they
// are points while it is loaded. A name two modules share stays until both have left.
TEST(FaultPoints, AModulesNamesJoinWhileItLives) {
  EXPECT_FALSE(fault::isPoint("KipoTestCallW"));
  {
    fault::Points module{"KipoTestCallW", "CreateFileW"};
    EXPECT_TRUE(fault::isPoint("KipoTestCallW"));
    auto all = fault::points();
    EXPECT_TRUE(std::is_sorted(all.begin(), all.end()));
    EXPECT_EQ(std::count(all.begin(), all.end(), "CreateFileW"), 1) << "listed once";
    EXPECT_NE(fault::inject(failing("KipoTestCallW")), 0u);
    EXPECT_EQ(fault::check("KipoTestCallW"), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    fault::clearLocal();
  }
  EXPECT_FALSE(fault::isPoint("KipoTestCallW"));
  EXPECT_TRUE(fault::isPoint("CreateFileW")) << "still joined by the platform";
}
