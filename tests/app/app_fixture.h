// What the product's tests share: a private host with the program at "C:\Program Files\Kipo",
// the language libraries of the build copied beside it on request, a log file at "C:\Kipo.html",
// and a message-box sink that records every box and answers from a script.
#pragma once

#include <gtest/gtest.h>

#include <deque>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <iterator>
#include <string>
#include <vector>

#include "app/log.h"
#include "app/messages.h"
#include "platform/base/text.h"
#include "platform/host/module_registry.h"
#include "tests/support/test_host.h"

namespace apptest {

namespace fs = std::filesystem;

inline constexpr const char16_t* kProgramPath = u"C:\\Program Files\\Kipo\\Kipo.exe";
inline constexpr const char16_t* kLogPath = u"C:\\Kipo.html";

class AppTest : public ::testing::Test {
 protected:
  AppTest() {
    platform::module::setProgramWindowsPath(kProgramPath);
    previousSink_ = setMessageBoxSink([this](const MessageBoxRequest& box) {
      boxes.push_back(box);
      if (answers.empty()) return defaultButtonOf(box.style);
      int answer = answers.front();
      answers.pop_front();
      return answer;
    });
    setLogPath(CString());
  }
  ~AppTest() override {
    setMessageBoxSink(previousSink_);
    setLogPath(CString());
    platform::module::setProgramWindowsPath(u"");
  }

  fs::path programFolder() const { return host.c("Program Files/Kipo"); }
  fs::path logFile() const { return host.c("Kipo.html"); }

  // Copies the built libraries of these codes beside the program.
  void installLanguages(std::initializer_list<const char*> codes) {
    fs::create_directories(programFolder());
    for (const char* code : codes) {
      std::string name = std::string("Lingrove_") + code + ".DLL";
      fs::copy_file(fs::path(KIPO_LANGUAGE_DIR) / name, programFolder() / name, fs::copy_options::overwrite_existing);
    }
  }

  // Creates the log file with these bytes and points the log at it.
  void createLog(const std::string& bytes = std::string()) {
    writeBytes(logFile(), bytes);
    setLogPath(CString(kLogPath));
  }
  static void writeBytes(const fs::path& file, const std::string& bytes) {
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out << bytes;
  }
  static std::string readBytes(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  std::string logBytes() const { return readBytes(logFile()); }

  static std::string utf8(const CString& text) { return platform::text::toUtf8(text.view()); }

  kipotest::TestHost host;
  std::vector<MessageBoxRequest> boxes;
  std::deque<int> answers;

 private:
  MessageBoxSink previousSink_;
};

}  // namespace apptest
