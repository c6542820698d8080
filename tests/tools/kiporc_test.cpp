// kiporc's dialog initial data and ActiveX control classes: a well-formed block is stored as
// written under the dialog's name, and a block or class id that a program could not read is
// refused when the script is compiled.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "tests/support/test_host.h"

namespace {

namespace fs = std::filesystem;

class KiporcTest : public ::testing::Test {
 protected:
  // Compiles `body` after a dialog 5 with one browser control; the exit code, stderr in err.
  int compile(const std::string& body, std::string* err = nullptr, std::string control = "") {
    if (control.empty()) control = "{8856F961-340A-11D0-A96B-00C04FD705A2}";
    const fs::path script = dir_ / "t.rc";
    std::ofstream(script) << "5 DIALOG 0, 0, 100, 50\nBEGIN\n  CONTROL \"\", 1358, \"" << control
                          << "\", 0, 0, 0, 90, 40\nEND\n"
                          << body;
    return kipotest::runProgram(KIPO_KIPORC, {"-o", (dir_ / "t.res").string(), script.string()}, nullptr, err);
  }
  fs::path dir_ = kipotest::freshTempDir("kiporc");
};

TEST_F(KiporcTest, AWellFormedDlgInitIsStoredAsWrittenUnderItsDialogsName) {
  ASSERT_EQ(compile("5 DLGINIT\nBEGIN\n  1358, 0x376, 12, 0, \"Location=x\\r\\n\"\n  1000, 0x403, 2, 0, \"a\\000\"\n  0\nEND\n"),
            0);
  std::string out;
  ASSERT_EQ(kipotest::runProgram(KIPO_KIPORC, {"--list", (dir_ / "t.res").string()}, &out), 0);
  // 8 + 12 + 8 + 2 + 2 bytes: two record headers, their data and the ending 0.
  EXPECT_NE(out.find("type 240 name 5 language 0409 size 32"), std::string::npos) << out;
}

TEST_F(KiporcTest, MalformedInitialDataAndClassIdsAreRefused) {
  struct Case {
    const char* rule;
    std::string body;
    std::string control;
    const char* message;
  };
  const Case cases[] = {
      {"a count past the data", "5 DLGINIT\nBEGIN\n  1358, 0x376, 40, 0, \"short\"\n  0\nEND\n", "", "longer than its data"},
      {"no ending 0", "5 DLGINIT\nBEGIN\n  1358, 0x376, 2, 0, \"ab\"\nEND\n", "", "must end with a 0"},
      {"a header cut short", "5 DLGINIT\nBEGIN\n  1358, 0x376, 2\nEND\n", "", "cut short"},
      {"bytes after the end", "5 DLGINIT\nBEGIN\n  0, 7\nEND\n", "", "after its ending 0"},
      {"a class id with a bad digit", "", "{8856F961-340A-11D0-A96B-00C04FD705AZ}", "class id"},
      {"a class id one digit short", "", "{8856F961-340A-11D0-A96B-00C04FD705A}", "class id"},
  };
  for (const Case& c : cases) {
    std::string err;
    EXPECT_NE(compile(c.body, &err, c.control), 0) << c.rule;
    EXPECT_NE(err.find(c.message), std::string::npos) << c.rule << ": " << err;
  }
}

}  // namespace
