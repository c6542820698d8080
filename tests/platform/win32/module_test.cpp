// Modules: loading by bare name and by path, the search order, exports by decorated name and by
// ordinal, reference counts and the entry point, data-file loads, built-in modules, and the file
// name rules of GetModuleFileNameW.
#include "platform/win32/module.h"

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <fstream>

#include "platform/base/text.h"
#include "platform/host/module_format.h"
#include "platform/host/module_registry.h"
#include "platform/win32/error.h"
#include "platform/win32/file.h"
#include "platform/win32/resource.h"
#include "platform/win32/volume.h"
#include "tests/support/test_host.h"

namespace {

namespace fs = std::filesystem;

using AddFn = int (*)(int, int);
using IntFn = int (*)();
using ProbeFn = void (*)(std::atomic<int>*);

void copyInto(const fs::path& from, const fs::path& to) {
  fs::create_directories(to.parent_path());
  fs::copy_file(from, to, fs::copy_options::overwrite_existing);
}

void writeFile(const fs::path& to, const std::vector<std::uint8_t>& bytes) {
  fs::create_directories(to.parent_path());
  std::ofstream out(to, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

// A resource-only module whose string 1 says where it was put.
std::vector<std::uint8_t> markedModule(const std::u16string& mark) {
  std::vector<std::uint8_t> block;
  for (int i = 0; i < 16; ++i) {
    std::u16string s = i == 1 ? mark : u"";
    block.push_back(static_cast<std::uint8_t>(s.size()));
    block.push_back(0);
    for (char16_t c : s) {
      block.push_back(static_cast<std::uint8_t>(c));
      block.push_back(static_cast<std::uint8_t>(c >> 8));
    }
  }
  return platform::rsrc::writeResourceFile(
      {{platform::rsrc::Id::of(platform::rsrc::kTypeString), platform::rsrc::Id::of(1), 0x0409, block}});
}

std::u16string string1(HMODULE module) {
  char16_t buffer[64] = {};
  int n = LoadStringW(module, 1, buffer, 64);
  return std::u16string(buffer, n > 0 ? n : 0);
}

std::u16string moduleFileName(HMODULE module) {
  char16_t buffer[MAX_PATH] = {};
  DWORD n = GetModuleFileNameW(module, buffer, MAX_PATH);
  return std::u16string(buffer, n);
}

class ModuleTest : public ::testing::Test {
 protected:
  kipotest::TestHost host;
  fs::path system32() const { return host.c("WINDOWS/system32"); }
};

TEST_F(ModuleTest, ExportsAreFoundByNameDecoratedNameAndOrdinal) {
  copyInto(KIPO_FIXTURE_MODULE, system32() / "kipofix.dll");
  HMODULE module = LoadLibraryW(u"kipofix");  // ".dll" is added to a name without extension
  ASSERT_NE(module, nullptr) << GetLastError();

  auto add = reinterpret_cast<AddFn>(GetProcAddress(module, "FixtureAdd"));
  ASSERT_NE(add, nullptr);
  EXPECT_EQ(add(2, 3), 5);
  auto rows = reinterpret_cast<IntFn>(GetProcAddress(module, "HrQueryAllRows@24"));
  ASSERT_NE(rows, nullptr);
  EXPECT_EQ(rows(), 24);
  EXPECT_EQ(GetProcAddress(module, MAKEINTRESOURCEA(2)), GetProcAddress(module, "HrQueryAllRows@24"));
  auto byOrdinalOnly = reinterpret_cast<IntFn>(GetProcAddress(module, MAKEINTRESOURCEA(9)));
  ASSERT_NE(byOrdinalOnly, nullptr);
  EXPECT_EQ(byOrdinalOnly(), 7);

  // Names are exact: no case folding, no undecorated match for a decorated export.
  struct Miss {
    LPCSTR name;
    const char* why;
  } misses[] = {{"fixtureadd", "case differs"},
                {"HrQueryAllRows", "decoration missing"},
                {"HrQueryAllRows@20", "wrong byte count"},
                {MAKEINTRESOURCEA(5), "unused ordinal"},
                {"kipo_module_table", "the table itself is no export"}};
  for (const Miss& miss : misses) {
    SetLastError(0xdeadbeef);
    EXPECT_EQ(GetProcAddress(module, miss.name), nullptr) << miss.why;
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PROC_NOT_FOUND)) << miss.why;
  }
  EXPECT_TRUE(FreeLibrary(module));
}

TEST_F(ModuleTest, ReferenceCountsDecideWhenTheModuleUnloads) {
  copyInto(KIPO_FIXTURE_MODULE, system32() / "kipofix.dll");
  HMODULE first = LoadLibraryW(u"kipofix.dll");
  ASSERT_NE(first, nullptr);
  // The same file by another spelling of its path is the same module.
  HMODULE second = LoadLibraryW(u"C:\\windows\\SYSTEM32\\KipoFix.DLL");
  EXPECT_EQ(second, first);
  EXPECT_EQ(reinterpret_cast<IntFn>(GetProcAddress(first, "FixtureAttachCount"))(), 1) << "attached once";
  std::atomic<int> detaches{0};
  reinterpret_cast<ProbeFn>(GetProcAddress(first, "FixtureSetDetachProbe"))(&detaches);

  EXPECT_TRUE(FreeLibrary(first));
  EXPECT_EQ(detaches.load(), 0);
  EXPECT_EQ(GetModuleHandleW(u"kipofix.dll"), first) << "one reference left";
  EXPECT_TRUE(FreeLibrary(first));
  EXPECT_EQ(detaches.load(), 1) << "the last free detaches";

  SetLastError(0xdeadbeef);
  EXPECT_EQ(GetModuleHandleW(u"kipofix.dll"), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
  EXPECT_FALSE(FreeLibrary(first)) << "a freed handle is no module";
  EXPECT_EQ(GetProcAddress(first, "FixtureAdd"), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
}

TEST_F(ModuleTest, EntryPointThatRefusesFailsTheLoad) {
  copyInto(KIPO_FIXTURE_MODULE, system32() / "refuse.dll");
  SetLastError(0);
  EXPECT_EQ(LoadLibraryW(u"refuse.dll"), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_DLL_INIT_FAILED));
  EXPECT_EQ(GetModuleHandleW(u"refuse.dll"), nullptr) << "nothing stays loaded";
}

TEST_F(ModuleTest, BareNamesAreSearchedInWindowsOrder) {
  platform::module::setProgramWindowsPath(u"C:\\Program Files\\Kipo\\Kipo.exe");
  const fs::path programFolder = host.c("Program Files/Kipo");
  const fs::path work = host.c("Work");
  writeFile(programFolder / "order.dll", markedModule(u"program folder"));
  writeFile(system32() / "order.dll", markedModule(u"system folder"));
  writeFile(system32() / "second.dll", markedModule(u"system folder"));
  writeFile(work / "second.dll", markedModule(u"current directory"));
  writeFile(work / "third.dll", markedModule(u"current directory"));
  writeFile(host.c("WINDOWS/fourth.dll"), markedModule(u"windows folder"));
  fs::create_directories(work);
  ASSERT_TRUE(SetCurrentDirectoryW(u"C:\\Work"));

  struct Case {
    const char16_t* name;
    const char16_t* from;
    const char16_t* path;
  } cases[] = {
      {u"order", u"program folder", u"C:\\Program Files\\Kipo\\order.dll"},
      {u"SECOND.dll", u"system folder", u"C:\\WINDOWS\\system32\\SECOND.dll"},
      {u"third", u"current directory", u"C:\\Work\\third.dll"},
      {u"fourth", u"windows folder", u"C:\\WINDOWS\\fourth.dll"},
  };
  for (const Case& c : cases) {
    HMODULE m = LoadLibraryW(c.name);
    ASSERT_NE(m, nullptr) << platform::text::toUtf8(c.name) << " " << GetLastError();
    EXPECT_EQ(string1(m), c.from) << platform::text::toUtf8(c.name);
    EXPECT_EQ(moduleFileName(m), c.path);
    EXPECT_TRUE(FreeLibrary(m));
  }
  // A name without extension but with a trailing dot is taken as it is.
  writeFile(system32() / "noext", markedModule(u"no extension"));
  HMODULE m = LoadLibraryW(u"noext.");
  ASSERT_NE(m, nullptr);
  EXPECT_EQ(string1(m), u"no extension");
  FreeLibrary(m);
  platform::module::setProgramWindowsPath(u"");
}

TEST_F(ModuleTest, FailuresSayWhy) {
  writeFile(system32() / "text.dll", {'j', 'u', 's', 't', ' ', 't', 'e', 'x', 't'});
  std::vector<std::uint8_t> corrupt = markedModule(u"x");
  corrupt[20] ^= 0xFF;  // inside the section: the checksum no longer holds
  writeFile(system32() / "corrupt.dll", corrupt);
  struct Case {
    const char16_t* name;
    DWORD error;
  } cases[] = {
      {u"nosuch.dll", ERROR_MOD_NOT_FOUND},
      {u"C:\\No Folder\\x.dll", ERROR_MOD_NOT_FOUND},
      {u"", ERROR_MOD_NOT_FOUND},
      {u"text.dll", ERROR_BAD_EXE_FORMAT},
      {u"corrupt.dll", ERROR_BAD_EXE_FORMAT},
  };
  for (const Case& c : cases) {
    SetLastError(0xdeadbeef);
    EXPECT_EQ(LoadLibraryW(c.name), nullptr) << platform::text::toUtf8(c.name);
    EXPECT_EQ(GetLastError(), c.error) << platform::text::toUtf8(c.name);
  }
}

TEST_F(ModuleTest, DataFileLoadsMapResourcesOnly) {
  copyInto(KIPO_FIXTURE_MODULE, system32() / "kipofix.dll");
  HMODULE data = LoadLibraryExW(u"C:\\WINDOWS\\system32\\kipofix.dll", nullptr, LOAD_LIBRARY_AS_DATAFILE);
  ASSERT_NE(data, nullptr) << GetLastError();
  EXPECT_EQ(GetProcAddress(data, "FixtureAdd"), nullptr) << "no code is mapped";
  EXPECT_NE(FindResourceW(data, MAKEINTRESOURCEW(1), RT_VERSION), nullptr) << "resources are";
  EXPECT_EQ(GetModuleHandleW(u"kipofix.dll"), nullptr) << "a data file is not a loaded module";

  HMODULE code = LoadLibraryW(u"kipofix.dll");
  ASSERT_NE(code, nullptr);
  EXPECT_NE(code, data);
  EXPECT_EQ(reinterpret_cast<IntFn>(GetProcAddress(code, "FixtureAttachCount"))(), 1)
      << "the data-file load ran no entry point";
  // A data-file load of a module already loaded shares it.
  EXPECT_EQ(LoadLibraryExW(u"kipofix.dll", nullptr, LOAD_LIBRARY_AS_DATAFILE), code);
  FreeLibrary(code);
  FreeLibrary(code);
  FreeLibrary(data);
}

TEST_F(ModuleTest, ResourceOnlyLanguageLibraryLoadsWithAndWithoutDataFileFlag) {
  copyInto(KIPO_FIXTURE_LANGUAGE, host.c("Program Files/Kipo/Lingrove_TST.DLL"));
  for (DWORD flags : {0u, static_cast<DWORD>(LOAD_LIBRARY_AS_DATAFILE)}) {
    HMODULE m = LoadLibraryExW(u"C:\\Program Files\\Kipo\\Lingrove_TST.DLL", nullptr, flags);
    ASSERT_NE(m, nullptr) << flags << " " << GetLastError();
    EXPECT_NE(FindResourceW(m, MAKEINTRESOURCEW(100), RT_DIALOG), nullptr);
    EXPECT_EQ(GetProcAddress(m, "anything"), nullptr);
    EXPECT_TRUE(FreeLibrary(m));
  }
}

TEST_F(ModuleTest, BuiltInModulesStandInTheSystemFolder) {
  // kernel32 is in every process: found without loading, and never unloaded.
  HMODULE kernel = GetModuleHandleW(u"KERNEL32");
  ASSERT_NE(kernel, nullptr);
  EXPECT_EQ(LoadLibraryW(u"kernel32.dll"), kernel);
  EXPECT_EQ(LoadLibraryW(u"C:\\WINDOWS\\system32\\kernel32.dll"), kernel);
  EXPECT_EQ(moduleFileName(kernel), u"C:\\WINDOWS\\system32\\kernel32.dll");
  EXPECT_EQ(GetProcAddress(kernel, "GetProcAddress"), platform::module::exportAddress(&GetProcAddress));
  EXPECT_EQ(GetProcAddress(kernel, "LoadLibraryW"), platform::module::exportAddress(&LoadLibraryW));
  EXPECT_EQ(GetProcAddress(kernel, "GetDiskFreeSpaceExW"), platform::module::exportAddress(&GetDiskFreeSpaceExW))
      << "looked up by name by the product";
  EXPECT_TRUE(FreeLibrary(kernel));
  EXPECT_TRUE(FreeLibrary(kernel));
  EXPECT_EQ(GetModuleHandleW(u"kernel32.dll"), kernel);
  EXPECT_TRUE(fs::is_regular_file(system32() / "kernel32.dll")) << "a new host has the stand-in file";

  // shell32 loads like any module and goes when its last reference does.
  EXPECT_EQ(GetModuleHandleW(u"shell32.dll"), nullptr);
  HMODULE shell = LoadLibraryW(u"Shell32");
  ASSERT_NE(shell, nullptr);
  EXPECT_EQ(GetModuleHandleW(u"shell32.dll"), shell);
  EXPECT_TRUE(FreeLibrary(shell));
  EXPECT_EQ(GetModuleHandleW(u"shell32.dll"), nullptr);
}

TEST_F(ModuleTest, BuiltInModuleWithoutItsFileIsStillFound) {
  fs::remove(system32() / "shell32.dll");
  HMODULE shell = LoadLibraryW(u"shell32.dll");
  ASSERT_NE(shell, nullptr);
  EXPECT_EQ(moduleFileName(shell), u"C:\\WINDOWS\\system32\\shell32.dll");
  EXPECT_NE(FindResourceW(shell, MAKEINTRESOURCEW(1), RT_VERSION), nullptr);
  FreeLibrary(shell);
}

TEST_F(ModuleTest, ModuleFileNameFollowsXpBufferRules) {
  copyInto(KIPO_FIXTURE_MODULE, system32() / "kipofix.dll");
  HMODULE m = LoadLibraryW(u"kipofix.dll");
  ASSERT_NE(m, nullptr);
  const std::u16string full = u"C:\\WINDOWS\\system32\\kipofix.dll";
  const DWORD n = static_cast<DWORD>(full.size());
  struct Case {
    DWORD size;
    DWORD result;
    bool terminated;
  } cases[] = {
      {n + 1, n, true},   // fits with its NUL
      {n, n, false},      // fills the buffer: no NUL, result is the size
      {5, 5, false},      // cut
  };
  for (const Case& c : cases) {
    std::vector<char16_t> buffer(c.size + 2, u'\xBDBD');
    EXPECT_EQ(GetModuleFileNameW(m, buffer.data(), c.size), c.result) << c.size;
    EXPECT_EQ(std::u16string(buffer.data(), std::min(c.result, n)), full.substr(0, std::min(c.result, n)));
    EXPECT_EQ(buffer[c.result] == 0, c.terminated) << c.size;
    EXPECT_EQ(buffer[c.size], u'\xBDBD') << "nothing past the buffer";
  }
  char ansi[MAX_PATH];
  EXPECT_EQ(GetModuleFileNameA(m, ansi, MAX_PATH), n);
  EXPECT_STREQ(ansi, "C:\\WINDOWS\\system32\\kipofix.dll");
  EXPECT_EQ(GetModuleHandleA("KIPOFIX"), m);
  FreeLibrary(m);

  // The program is the null module; its name ends with its file name.
  std::u16string program = moduleFileName(nullptr);
  EXPECT_NE(program.find(u"module_test"), std::u16string::npos) << platform::text::toUtf8(program);
  // The test program's file has no extension; the trailing dot keeps ".dll" from being added.
  EXPECT_EQ(GetModuleHandleW(nullptr), GetModuleHandleW((program + u".").c_str()));
  platform::module::setProgramWindowsPath(u"C:\\Program Files\\Kipo\\Kipo.exe");
  EXPECT_EQ(moduleFileName(nullptr), u"C:\\Program Files\\Kipo\\Kipo.exe");
  EXPECT_EQ(GetModuleHandleW(u"kipo.EXE"), GetModuleHandleW(nullptr));
  platform::module::setProgramWindowsPath(u"");
}

}  // namespace
