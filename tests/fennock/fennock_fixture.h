// What Fennock's tests share: a host with the host's programs, the library copied into it and
// loaded with the platform's loader, its exports found by name, and drives plugged for the
// tests (the system disk C:, a flash drive, an iPod in disk mode).
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "fennock/fennock.h"
#include "platform/base/text.h"
#include "platform/host/paths.h"
#include "platform/win32/win32.h"
#include "tests/support/test_host.h"
#include "tests/support/usb_drive.h"

namespace fennocktest {

namespace fs = std::filesystem;

inline constexpr const char* kLibraryPath = "C:\\Setup\\Fennock.dll";

class FennockTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string err;
    ASSERT_EQ(kipotest::runTool({"install"}, nullptr, &err), 0) << err;
    fs::create_directories(host.c("Setup"));
    fs::copy_file(KIPO_FENNOCK, host.c("Setup/Fennock.dll"), fs::copy_options::overwrite_existing);
    library = LoadLibraryA(kLibraryPath);
    ASSERT_NE(library, nullptr) << GetLastError();
  }
  void TearDown() override {
    if (library) FreeLibrary(library);
    kipotest::runTool({"shutdown"});
  }

  FennockExport fn(const char* name) const {
    auto f = reinterpret_cast<FennockExport>(GetProcAddress(library, name));
    EXPECT_NE(f, nullptr) << name;
    return f;
  }
  int call(const char* name, ULONG_PTR word = 0, const char* text = nullptr, HWND window = nullptr) const {
    FennockExport f = fn(name);
    return f ? f(window, word, text) : 0x7FFFFFFF;
  }
  static ULONG_PTR ptr(int& value) { return reinterpret_cast<ULONG_PTR>(&value); }

  // A drive of the vendor at the letter, with one file on it.
  void plug(char16_t letter, const std::u16string& vendor, const std::u16string& serial) {
    fs::path folder = kipotest::freshTempDir("fennock-drive");
    std::ofstream(folder / "readme.txt") << "x";
    kipotest::plugUsbDrive(letter, folder, vendor, u"1000", serial);
  }

  kipotest::TestHost host;
  HMODULE library = nullptr;
};

}  // namespace fennocktest
