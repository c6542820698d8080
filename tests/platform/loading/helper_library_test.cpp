// What the platform loads on first use: a host program starts without the large libraries behind
// the XML DOM, the CryptoAPI and the WinInet calls, maps each at the first call that needs it, and a
// helper library that cannot be loaded fails that call with a Windows error.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <map>
#include <sstream>
#include <string>

#include "tests/support/test_host.h"

namespace {

namespace fs = std::filesystem;
using testing::HasSubstr;
using testing::Not;

struct Step {
  std::string result;     // in hex, as the probe prints it
  std::string libraries;  // mapped at the end of the step
};

// Runs the probe (fixtures/loadprobe.cpp) and gives its steps by name.
std::map<std::string, Step> runProbe(const std::string& program, std::string* err = nullptr) {
  std::string out;
  EXPECT_EQ(kipotest::runProgram(program, {}, &out, err), 0) << out;
  std::map<std::string, Step> steps;
  std::istringstream lines(out);
  for (std::string name, result, libraries; lines >> name >> result;) {
    std::getline(lines, libraries);
    steps[name] = {result, libraries.empty() ? libraries : libraries.substr(1)};
  }
  return steps;
}

TEST(HelperLibraries, AreMappedOnlyAtTheFirstCallThatNeedsThem) {
  kipotest::TestHost host;
  // Started from inside the host, where `kipo-host install` puts programs: the helpers are found
  // beside the platform library, wherever the program lies.
  fs::path installed = host.c("Program Files/Probe/probe.exe");
  fs::create_directories(installed.parent_path());
  fs::copy_file(KIPO_LOADPROBE, installed);
  auto steps = runProbe(installed.string());
  ASSERT_EQ(steps.size(), 4u);
  EXPECT_EQ(steps["start"].libraries, "");
  EXPECT_EQ(steps["xml"].result, "00000000");
  EXPECT_THAT(steps["xml"].libraries, HasSubstr("libkipo_xml"));
  EXPECT_THAT(steps["xml"].libraries, HasSubstr("libxml2"));
  EXPECT_THAT(steps["xml"].libraries, Not(HasSubstr("libcrypto")));
  EXPECT_EQ(steps["crypt"].result, "00000000");
  EXPECT_THAT(steps["crypt"].libraries, HasSubstr("libkipo_crypt"));
  EXPECT_THAT(steps["crypt"].libraries, HasSubstr("libcrypto"));
  EXPECT_THAT(steps["crypt"].libraries, Not(HasSubstr("libcurl")));
  EXPECT_EQ(steps["inet"].result, "00000000");
  EXPECT_THAT(steps["inet"].libraries, HasSubstr("libkipo_curl"));
  EXPECT_THAT(steps["inet"].libraries, HasSubstr("libcurl"));
}

TEST(HelperLibraries, OneThatCannotBeLoadedFailsTheCallWithAWindowsError) {
  kipotest::TestHost host;
  // The platform library alone in a folder (through a link), found before the build's own by the
  // loader's search path: its helpers are not beside it.
  fs::path folder = kipotest::freshTempDir("lone-platform");
  fs::create_symlink(KIPO_PLATFORM_LIBRARY, folder / "libplatform.so");
  ::setenv("LD_LIBRARY_PATH", folder.c_str(), 1);
  std::string err;
  auto steps = runProbe(KIPO_LOADPROBE, &err);
  ::unsetenv("LD_LIBRARY_PATH");
  ASSERT_EQ(steps.size(), 4u);
  EXPECT_EQ(steps["xml"].result, "8007007E");    // HRESULT_FROM_WIN32(ERROR_MOD_NOT_FOUND)
  EXPECT_EQ(steps["crypt"].result, "8009001D");  // NTE_PROVIDER_DLL_FAIL, from CryptAcquireContextW
  EXPECT_EQ(steps["crypt"].libraries, "");
  EXPECT_THAT(err, HasSubstr("libkipo_xml.so"));
  EXPECT_THAT(err, HasSubstr("libkipo_crypt.so"));
  EXPECT_EQ(steps["inet"].result, "0000007E");  // ERROR_MOD_NOT_FOUND, from InternetOpenW
  EXPECT_THAT(err, HasSubstr("libkipo_curl.so"));
}

}  // namespace
