// What Halvern's tests share: a private host with the host's programs installed (the command
// interpreter Halvern runs), Halvern's program folder with the language libraries beside it, and a
// message-box sink that records every box and answers from a script.
#pragma once

#include <gtest/gtest.h>

#include <deque>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "U3/halvern/halvern.h"
#include "app/lingrove.h"
#include "app/messages.h"
#include "platform/base/text.h"
#include "platform/host/module_registry.h"
#include "platform/host/paths.h"
#include "platform/win32/win32.h"
#include "tests/support/test_host.h"

namespace halverntest {

namespace fs = std::filesystem;
using platform::text::fromUtf8;
using platform::text::toUtf8;

inline constexpr const char16_t* kProgramPath = u"C:\\U3\\Halvern.exe";

inline std::string slurp(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void spit(const fs::path& p, const std::string& bytes) {
  fs::create_directories(p.parent_path());
  std::ofstream out(p, std::ios::binary | std::ios::trunc);
  out << bytes;
}

inline std::string text(const CString& s) { return toUtf8(std::u16string_view(s.GetString(), s.GetLength())); }

class HalvernTest : public ::testing::Test {
 protected:
  HalvernTest() {
    platform::module::setProgramWindowsPath(kProgramPath);
    previousSink_ = setMessageBoxSink([this](const MessageBoxRequest& box) {
      boxes.push_back(box);
      if (answers.empty()) return defaultButtonOf(box.style);
      int answer = answers.front();
      answers.pop_front();
      return answer;
    });
    SetEnvironmentVariableW(u"U3_ENV_LANGUAGE", nullptr);
  }
  ~HalvernTest() override {
    setMessageBoxSink(previousSink_);
    platform::module::setProgramWindowsPath(u"");
  }
  void SetUp() override {
    std::string err;
    ASSERT_EQ(kipotest::runTool({"install"}, nullptr, &err), 0) << err;
    installLanguages({"USA", "FRA"});
  }

  fs::path programFolder() const { return host.c("U3"); }
  void installLanguages(std::initializer_list<const char*> codes) {
    fs::create_directories(programFolder());
    for (const char* code : codes) {
      std::string name = std::string("Lingrove_") + code + ".DLL";
      fs::copy_file(fs::path(KIPO_LANGUAGE_DIR) / name, programFolder() / name, fs::copy_options::overwrite_existing);
    }
  }
  // Runs one command line as Halvern's InitInstance does, with its standard output captured.
  int run(const std::u16string& line, std::string* out = nullptr) {
    ::testing::internal::CaptureStdout();
    int result = runCommand(CString(line));
    std::string printed = ::testing::internal::GetCapturedStdout();
    if (out) *out = printed;
    return result;
  }
  std::vector<std::string> boxTexts() const {
    std::vector<std::string> texts;
    for (const auto& b : boxes) texts.push_back(text(b.text));
    return texts;
  }

  kipotest::TestHost host;
  std::vector<MessageBoxRequest> boxes;
  std::deque<int> answers;

 private:
  MessageBoxSink previousSink_;
};

}  // namespace halverntest
