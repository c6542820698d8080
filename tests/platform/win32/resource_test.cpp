// Resources read back from this test program's own resource section (compiled from
// fixtures/fixture.rc), from a copy of the program inside the host, and from a language library:
// dialog and menu templates in their Windows layouts, string tables with LoadStringW's buffer
// rules, custom types by name, language choice, enumeration, and corrupt sections.
#include "platform/win32/resource.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>

#include "fixture_ids.h"
#include "platform/base/text.h"
#include "platform/host/host.h"
#include "platform/host/module_format.h"
#include "platform/win32/error.h"
#include "platform/win32/module.h"
#include "platform/win32/version.h"
#include "tests/support/test_host.h"

namespace {

namespace fs = std::filesystem;
namespace rsrc = platform::rsrc;

const char16_t kSentinel = u'\xBDBD';

std::vector<std::uint8_t> readFile(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

void writeFile(const fs::path& to, const std::vector<std::uint8_t>& bytes) {
  fs::create_directories(to.parent_path());
  std::ofstream out(to, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

// Reads a template the way the dialog manager does, checking bounds as it goes.
class Reader {
 public:
  Reader(const void* data, DWORD size) : p_(static_cast<const std::uint8_t*>(data)), size_(size) {}
  WORD word() {
    EXPECT_LE(at_ + 2, size_) << "read past the resource";
    WORD v = static_cast<WORD>(p_[at_] | (p_[at_ + 1] << 8));
    at_ += 2;
    return v;
  }
  DWORD dword() {
    DWORD lo = word();
    return lo | (static_cast<DWORD>(word()) << 16);
  }
  std::u16string text() {
    std::u16string s;
    for (WORD c; (c = word()) != 0;) s += static_cast<char16_t>(c);
    return s;
  }
  // sz_Or_Ord: "#n" for an ordinal, else the text.
  std::u16string textOrOrdinal() {
    WORD first = word();
    if (first == 0xFFFF) return u"#" + platform::text::fromUtf8(std::to_string(word()));
    if (first == 0) return u"";
    at_ -= 2;
    return text();
  }
  void alignDword() { at_ = (at_ + 3) & ~std::size_t{3}; }
  std::size_t offset() const { return at_; }
  bool atEnd() const { return at_ == size_; }

 private:
  const std::uint8_t* p_;
  std::size_t size_;
  std::size_t at_ = 0;
};

std::pair<const void*, DWORD> resourceBytes(HMODULE module, LPCWSTR name, LPCWSTR type) {
  HRSRC r = FindResourceW(module, name, type);
  EXPECT_NE(r, nullptr) << GetLastError();
  if (!r) return {nullptr, 0};
  HGLOBAL g = LoadResource(module, r);
  return {LockResource(g), SizeofResource(module, r)};
}

class ResourceTest : public ::testing::Test {
 protected:
  kipotest::TestHost host;
};

struct Item {
  DWORD style;
  DWORD id;
  std::u16string cls;
  std::u16string text;
};

TEST_F(ResourceTest, DialogTemplateHasTheWindowsLayout) {
  auto [data, size] = resourceBytes(nullptr, MAKEINTRESOURCEW(IDD_PLAIN), RT_DIALOG);
  ASSERT_NE(data, nullptr);
  Reader r(data, size);
  const DWORD style = r.dword();
  EXPECT_EQ(style, 0x80C80080u | 0x40u) << "DS_MODALFRAME|WS_POPUP|WS_CAPTION|WS_SYSMENU, FONT adds DS_SETFONT";
  EXPECT_EQ(r.dword(), 0u);
  const WORD count = r.word();
  EXPECT_EQ(count, 11);
  EXPECT_EQ(r.word(), 10);
  EXPECT_EQ(r.word(), 20);
  EXPECT_EQ(r.word(), 200);
  EXPECT_EQ(r.word(), 100);
  EXPECT_EQ(r.textOrOrdinal(), u"") << "no menu";
  EXPECT_EQ(r.textOrOrdinal(), u"") << "no class";
  EXPECT_EQ(r.text(), u"Plain dialog");
  EXPECT_EQ(r.word(), 8);
  EXPECT_EQ(r.text(), u"MS Shell Dlg");

  constexpr DWORD child = 0x50000000;  // WS_CHILD | WS_VISIBLE
  const Item expected[] = {
      {child | 0x20000, 0xFFFF, u"#130", u"&Name:"},              // LTEXT: static, SS_LEFT|WS_GROUP
      {child | 0x00810080, IDC_NAME, u"#129", u""},               // EDITTEXT: border, tabstop, ES_AUTOHSCROLL
      {child | 0x10003, IDC_REMEMBER, u"#128", u"&Remember"},     // BS_AUTOCHECKBOX|WS_TABSTOP
      {child | 0x20009, IDC_OPTION_A, u"#128", u"Option A"},      // BS_AUTORADIOBUTTON|WS_GROUP
      {child | 0x9, IDC_OPTION_B, u"#128", u"Option B"},
      {child | 0x7, 0xFFFF, u"#128", u"Group"},                   // BS_GROUPBOX
      {child | 0x00210003, IDC_CHOICE, u"#133", u""},             // CBS_DROPDOWNLIST|WS_VSCROLL|WS_TABSTOP
      {child | 0x1, IDC_LIST, u"#131", u""},                      // LBS_NOTIFY, border removed by NOT
      {child | 0x3, IDC_ICON, u"#130", u"#939"},                  // SS_ICON, icon by ordinal
      {child | 0x10001, 1, u"#128", u"OK"},                    // IDOK: BS_DEFPUSHBUTTON|WS_TABSTOP
      {child | 0x10000, 2, u"#128", u"Cancel"},
  };
  for (const Item& want : expected) {
    r.alignDword();
    EXPECT_EQ(r.offset() % 4, 0u);
    const DWORD itemStyle = r.dword();
    EXPECT_EQ(r.dword(), 0u) << "exStyle";
    r.word(), r.word(), r.word(), r.word();
    const WORD id = r.word();
    const std::u16string cls = r.textOrOrdinal();
    const std::u16string text = r.textOrOrdinal();
    EXPECT_EQ(r.word(), 0) << "no creation data";
    EXPECT_EQ(itemStyle, want.style) << platform::text::toUtf8(want.text);
    EXPECT_EQ(id, want.id) << platform::text::toUtf8(want.text);
    EXPECT_EQ(cls, want.cls) << platform::text::toUtf8(want.text);
    EXPECT_EQ(text, want.text);
  }
  EXPECT_TRUE(r.atEnd());
}

TEST_F(ResourceTest, ExtendedDialogTemplateHasTheWindowsLayout) {
  auto [data, size] = resourceBytes(nullptr, MAKEINTRESOURCEW(IDD_EXTENDED), RT_DIALOG);
  ASSERT_NE(data, nullptr);
  Reader r(data, size);
  EXPECT_EQ(r.word(), 1) << "dlgVer";
  EXPECT_EQ(r.word(), 0xFFFF) << "signature";
  EXPECT_EQ(r.dword(), 77u) << "help id";
  EXPECT_EQ(r.dword(), 0x10000u) << "WS_EX_CONTROLPARENT";
  EXPECT_EQ(r.dword(), 0x40000048u) << "WS_CHILD|DS_SETFONT|DS_FIXEDSYS";
  EXPECT_EQ(r.word(), 2);
  r.word(), r.word(), r.word(), r.word();
  r.textOrOrdinal(), r.textOrOrdinal(), r.text();
  EXPECT_EQ(r.word(), 8);
  EXPECT_EQ(r.word(), 400) << "weight";
  EXPECT_EQ(r.word(), 0x0100) << "italic 0, charset 1";
  EXPECT_EQ(r.text(), u"MS Shell Dlg");

  r.alignDword();
  EXPECT_EQ(r.dword(), 0u) << "help id";
  EXPECT_EQ(r.dword(), 0x200u) << "WS_EX_CLIENTEDGE";
  EXPECT_EQ(r.dword(), 0x50810001u) << "LVS_REPORT|WS_BORDER|WS_TABSTOP|WS_CHILD|WS_VISIBLE";
  r.word(), r.word(), r.word(), r.word();
  EXPECT_EQ(r.dword(), static_cast<DWORD>(IDC_LIST)) << "DWORD id";
  EXPECT_EQ(r.textOrOrdinal(), u"SysListView32") << "a class by name stays a name";
  EXPECT_EQ(r.textOrOrdinal(), u"");
  EXPECT_EQ(r.word(), 0);
  r.alignDword();
  EXPECT_EQ(r.dword(), 55u) << "help id";
  r.dword(), r.dword(), r.word(), r.word(), r.word(), r.word(), r.dword();
  EXPECT_EQ(r.textOrOrdinal(), u"#128") << "\"Button\" becomes the ordinal";
  EXPECT_EQ(r.textOrOrdinal(), u"Check");
  EXPECT_EQ(r.word(), 0);
  EXPECT_TRUE(r.atEnd());
}

TEST_F(ResourceTest, MenuTemplateMarksPopupsAndLastItems) {
  auto [data, size] = resourceBytes(nullptr, MAKEINTRESOURCEW(IDR_TRAY_MENU), RT_MENU);
  ASSERT_NE(data, nullptr);
  Reader r(data, size);
  EXPECT_EQ(r.dword(), 0u) << "header: version 0, offset 0";
  EXPECT_EQ(r.word(), 0x10 | 0x80) << "the only popup: MF_POPUP | MF_END";
  EXPECT_EQ(r.text(), u"Tray");
  struct {
    WORD flags;
    WORD id;
    const char16_t* text;
  } items[] = {{0, ID_TRAY_SYNC, u"&Synchronize now"},
               {0, 0, u""},  // separator
               {0x1, ID_TRAY_ABOUT, u"&About"},
               {0x8 | 0x80, ID_TRAY_EXIT, u"E&xit"}};
  for (const auto& item : items) {
    EXPECT_EQ(r.word(), item.flags);
    EXPECT_EQ(r.word(), item.id);
    EXPECT_EQ(r.text(), item.text);
  }
  EXPECT_TRUE(r.atEnd());
}

TEST_F(ResourceTest, LoadStringFollowsTheBufferRules) {
  struct Case {
    UINT id;
    int bufferMax;
    int result;
    const char16_t* text;  // expected buffer contents (null: untouched)
  } cases[] = {
      {IDS_HELLO, 64, 12, u"Hello, world"},
      {IDS_HELLO, 13, 12, u"Hello, world"},   // exactly room for the NUL
      {IDS_HELLO, 12, 11, u"Hello, worl"},    // cut, always terminated
      {IDS_HELLO, 1, 0, u""},                 // room for the NUL only
      {IDS_FIRST, 64, 5, u"First"},           // id 0 is entry 0 of block 1
      {IDS_LAST_OF_BLOCK, 64, 15, u"Last of block 1"},
      {IDS_NEXT_BLOCK, 64, 16, u"First of block 2"},
      {IDS_EMPTY_NEIGHBOUR - 1, 64, 0, u""},  // missing entry of an existing block: emptied
      {IDS_EMPTY_NEIGHBOUR + 100, 64, 0, nullptr},  // missing block: left alone
  };
  for (const Case& c : cases) {
    char16_t buffer[66];
    std::fill(std::begin(buffer), std::end(buffer), kSentinel);
    EXPECT_EQ(LoadStringW(nullptr, c.id, buffer, c.bufferMax), c.result) << c.id << "/" << c.bufferMax;
    if (c.text) {
      EXPECT_EQ(std::u16string(buffer), c.text) << c.id << "/" << c.bufferMax;
      EXPECT_EQ(buffer[c.result + 1], kSentinel) << "nothing written past the NUL";
    } else {
      EXPECT_EQ(buffer[0], kSentinel);
      EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_RESOURCE_NAME_NOT_FOUND));
    }
  }

  // bufferMax 0: the buffer receives a read-only pointer into the resource, not terminated.
  const char16_t* pointer = nullptr;
  int n = LoadStringW(nullptr, IDS_FIRST, reinterpret_cast<LPWSTR>(&pointer), 0);
  ASSERT_EQ(n, 5);
  ASSERT_NE(pointer, nullptr);
  EXPECT_EQ(std::u16string(pointer, n), u"First");
  EXPECT_EQ(pointer[n], 12) << "the next entry's length follows, no NUL";

  // Escapes and characters beyond ASCII survive compilation (\x takes four digits in L"...").
  char16_t buffer[80];
  ASSERT_GT(LoadStringW(nullptr, IDS_WITH_ESCAPES, buffer, 80), 0);
  EXPECT_EQ(std::u16string(buffer), u"Tab\there, \"quoted\", line\nbreak, caf\u00e9 and \u263a");

  char ansi[8];
  std::memset(ansi, 'x', sizeof ansi);
  EXPECT_EQ(LoadStringA(nullptr, IDS_HELLO, ansi, 6), 5);
  EXPECT_STREQ(ansi, "Hello");
  EXPECT_EQ(LoadStringA(nullptr, IDS_HELLO, ansi, 0), 0);
}

TEST_F(ResourceTest, LanguageIsChosenAsWindowsDoes) {
  char16_t buffer[64];
  // The user's language (English US here) before others; French when asked for.
  EXPECT_GT(LoadStringW(nullptr, IDS_MAPI_EXCEPTION, buffer, 64), 0);
  EXPECT_EQ(std::u16string(buffer), u"MAPI exception occurred.");
  // A block present only in French is found without asking for French.
  EXPECT_GT(LoadStringW(nullptr, IDS_FRENCH_ONLY, buffer, 64), 0);
  EXPECT_EQ(std::u16string(buffer), u"Seulement en fran\u00e7ais");

  const WORD french = MAKELANGID(0x0c, 1);
  HRSRC r = FindResourceExW(nullptr, RT_STRING, MAKEINTRESOURCEW(IDS_HELLO / 16 + 1), french);
  ASSERT_NE(r, nullptr);
  auto* block = static_cast<const char16_t*>(LockResource(LoadResource(nullptr, r)));
  EXPECT_EQ(block[0], 0) << "entry 0 is empty in French";
  EXPECT_EQ(std::u16string(block + 2, block[1]), u"Bonjour");

  // With the user's locale French, the French strings come first.
  platform::host::Host::current().setFact(platform::host::fact::UserLocale, "040c");
  EXPECT_GT(LoadStringW(nullptr, IDS_HELLO, buffer, 64), 0);
  EXPECT_EQ(std::u16string(buffer), u"Bonjour");

  SetLastError(0);
  EXPECT_EQ(FindResourceExW(nullptr, RT_DIALOG, MAKEINTRESOURCEW(IDD_PLAIN), MAKELANGID(0x07, 1)), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_RESOURCE_LANG_NOT_FOUND)) << "no German dialog";
}

TEST_F(ResourceTest, ResourcesAreFoundByNumberNameAndCustomType) {
  const std::vector<std::uint8_t> html = readFile(KIPO_FIXTURE_HTML);
  struct Case {
    LPCWSTR name;
    LPCWSTR type;
  } found[] = {
      {u"HTML_LOGIN", u"HTMLTYPE"},
      {u"html_login", u"HtmlType"},  // names compare without regard to case
      {u"Html_Plain", RT_HTML},
  };
  for (const Case& c : found) {
    auto [data, size] = resourceBytes(nullptr, c.name, c.type);
    ASSERT_NE(data, nullptr);
    ASSERT_EQ(size, html.size());
    EXPECT_EQ(std::memcmp(data, html.data(), size), 0);
  }
  EXPECT_NE(FindResourceW(nullptr, u"#100", RT_DIALOG), nullptr) << "\"#100\" is the number 100";
  EXPECT_NE(FindResourceW(nullptr, MAKEINTRESOURCEW(IDD_PLAIN), u"#5"), nullptr);

  auto [rc, rcSize] = resourceBytes(nullptr, MAKEINTRESOURCEW(7), RT_RCDATA);
  ASSERT_EQ(rcSize, 10u);
  const std::uint8_t expect[] = {0x34, 0x12, 0xBC, 0x9A, 0x78, 0x56, 'a', 'b', 'c', 0};
  EXPECT_EQ(std::memcmp(rc, expect, 10), 0) << "WORD, DWORD (L), narrow bytes, wide text";

  // The icon group points at icon images that exist; the bitmap is a DIB without file header.
  auto [group, groupSize] = resourceBytes(nullptr, MAKEINTRESOURCEW(IDI_MAIN), RT_GROUP_ICON);
  ASSERT_EQ(groupSize, 6u + 2 * 14);
  Reader g(group, groupSize);
  EXPECT_EQ(g.word(), 0);
  EXPECT_EQ(g.word(), 1);
  EXPECT_EQ(g.word(), 2);
  for (int i = 0; i < 2; ++i) {
    const WORD width = g.word() & 0xFF;
    g.word(), g.word(), g.word();
    const DWORD bytes = g.dword();
    const WORD id = g.word();
    auto [image, imageSize] = resourceBytes(nullptr, MAKEINTRESOURCEW(id), RT_ICON);
    EXPECT_EQ(imageSize, bytes);
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(Reader(image, imageSize).dword(), 40u) << "BITMAPINFOHEADER";
    EXPECT_EQ(width, i == 0 ? 16 : 32);
  }
  auto [bitmap, bitmapSize] = resourceBytes(nullptr, MAKEINTRESOURCEW(IDB_LOGO), RT_BITMAP);
  ASSERT_NE(bitmap, nullptr);
  EXPECT_EQ(bitmapSize, fs::file_size(fs::path(KIPO_FIXTURE_HTML).parent_path() / "fixture.bmp") - 14);
  EXPECT_EQ(Reader(bitmap, bitmapSize).dword(), 40u);

  struct Miss {
    LPCWSTR name;
    LPCWSTR type;
    DWORD error;
  } misses[] = {
      {MAKEINTRESOURCEW(IDD_PLAIN), u"NOSUCHTYPE", ERROR_RESOURCE_TYPE_NOT_FOUND},
      {MAKEINTRESOURCEW(999), RT_DIALOG, ERROR_RESOURCE_NAME_NOT_FOUND},
      {u"HTML_LOGIN", RT_HTML, ERROR_RESOURCE_NAME_NOT_FOUND},
      {MAKEINTRESOURCEW(1), RT_ACCELERATOR, ERROR_RESOURCE_TYPE_NOT_FOUND},
  };
  for (const Miss& m : misses) {
    SetLastError(0xdeadbeef);
    EXPECT_EQ(FindResourceW(nullptr, m.name, m.type), nullptr);
    EXPECT_EQ(GetLastError(), m.error);
  }
}

TEST_F(ResourceTest, ACopiedProgramKeepsItsResources) {
  const fs::path copy = host.c("Program Files/Kipo/Kipo.exe");
  fs::create_directories(copy.parent_path());
  fs::copy_file("/proc/self/exe", copy);
  HMODULE module = LoadLibraryExW(u"C:\\Program Files\\Kipo\\Kipo.exe", nullptr, LOAD_LIBRARY_AS_DATAFILE);
  ASSERT_NE(module, nullptr) << GetLastError();
  ASSERT_NE(module, GetModuleHandleW(nullptr));
  char16_t own[64], copied[64];
  for (UINT id : {IDS_HELLO, IDS_NEXT_BLOCK, IDS_MAPI_EXCEPTION}) {
    ASSERT_GT(LoadStringW(module, id, copied, 64), 0);
    ASSERT_GT(LoadStringW(nullptr, id, own, 64), 0);
    EXPECT_EQ(std::u16string(copied), std::u16string(own));
  }
  auto [a, aSize] = resourceBytes(module, MAKEINTRESOURCEW(IDD_PLAIN), RT_DIALOG);
  auto [b, bSize] = resourceBytes(nullptr, MAKEINTRESOURCEW(IDD_PLAIN), RT_DIALOG);
  ASSERT_EQ(aSize, bSize);
  EXPECT_EQ(std::memcmp(a, b, aSize), 0);

  // A handle of one module is no resource of another.
  HRSRC foreign = FindResourceW(module, MAKEINTRESOURCEW(IDD_PLAIN), RT_DIALOG);
  SetLastError(0);
  EXPECT_EQ(LoadResource(nullptr, foreign), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
  EXPECT_EQ(SizeofResource(nullptr, foreign), 0u);
  EXPECT_TRUE(FreeLibrary(module));
  EXPECT_EQ(LoadStringW(module, IDS_HELLO, copied, 64), 0) << "a freed module has no strings";
}

TEST_F(ResourceTest, LanguageLibraryResourcesComeAndGoWithIt) {
  fs::create_directories(host.c("Program Files/Kipo"));
  fs::copy_file(KIPO_FIXTURE_LANGUAGE, host.c("Program Files/Kipo/Lingrove_TST.DLL"),
                fs::copy_options::overwrite_existing);
  HMODULE lang = LoadLibraryW(u"C:\\Program Files\\Kipo\\Lingrove_TST.DLL");
  ASSERT_NE(lang, nullptr) << GetLastError();
  char16_t buffer[64];
  ASSERT_GT(LoadStringW(lang, IDS_HELLO, buffer, 64), 0);
  EXPECT_EQ(std::u16string(buffer), u"Bonjour de la biblioth\u00e8que");
  std::fill(std::begin(buffer), std::end(buffer), kSentinel);
  EXPECT_EQ(LoadStringW(lang, IDS_FIRST + 32, buffer, 64), 0) << "block 3 is not in the library";
  EXPECT_EQ(buffer[0], kSentinel);

  std::vector<std::u16string> names;
  auto collect = [](HMODULE, LPCWSTR, LPWSTR name, LONG_PTR param) -> BOOL {
    auto* out = reinterpret_cast<std::vector<std::u16string>*>(param);
    out->push_back(IS_INTRESOURCE(name) ? u"#" + platform::text::fromUtf8(std::to_string(reinterpret_cast<ULONG_PTR>(name)))
                                        : std::u16string(name));
    return TRUE;
  };
  EXPECT_TRUE(EnumResourceNamesW(lang, RT_STRING, collect, reinterpret_cast<LONG_PTR>(&names)));
  EXPECT_EQ(names, (std::vector<std::u16string>{u"#1", u"#42"}));
  EXPECT_TRUE(FreeLibrary(lang));
}

TEST_F(ResourceTest, EnumerationListsNamesThenNumbersAndStopsWhenAsked) {
  std::vector<std::u16string> names;
  auto collect = [](HMODULE, LPCWSTR, LPWSTR name, LONG_PTR param) -> BOOL {
    auto* out = reinterpret_cast<std::vector<std::u16string>*>(param);
    out->push_back(IS_INTRESOURCE(name) ? u"#" + platform::text::fromUtf8(std::to_string(reinterpret_cast<ULONG_PTR>(name)))
                                        : std::u16string(name));
    return out->size() < 2;
  };
  SetLastError(0);
  EXPECT_FALSE(EnumResourceNamesW(nullptr, RT_DIALOG, collect, reinterpret_cast<LONG_PTR>(&names)));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_RESOURCE_ENUM_USER_STOP));
  EXPECT_EQ(names, (std::vector<std::u16string>{u"#100", u"#274"}));
  names.clear();
  auto all = [](HMODULE, LPCWSTR, LPWSTR name, LONG_PTR param) -> BOOL {
    reinterpret_cast<std::vector<std::u16string>*>(param)->push_back(IS_INTRESOURCE(name) ? u"#" : name);
    return TRUE;
  };
  EXPECT_TRUE(EnumResourceNamesW(nullptr, RT_HTML, all, reinterpret_cast<LONG_PTR>(&names)));
  EXPECT_EQ(names, (std::vector<std::u16string>{u"HTML_PLAIN"}));
  EXPECT_FALSE(EnumResourceNamesW(nullptr, RT_ACCELERATOR, all, 0));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_RESOURCE_TYPE_NOT_FOUND));
}

// ---- corrupt sections ----

// The section of a good resource file, changed by `damage`; the trailer's checksum is made to
// match again unless the damage is to the checksum itself, so the section's own checks are hit.
std::vector<std::uint8_t> damaged(std::vector<std::uint8_t> file, const std::function<void(std::vector<std::uint8_t>&)>& damage,
                                  bool fixChecksum = true) {
  const std::size_t sectionSize = file.size() - rsrc::kTrailerSize;
  std::vector<std::uint8_t> section(file.begin(), file.begin() + static_cast<std::ptrdiff_t>(sectionSize));
  std::vector<std::uint8_t> trailer(file.end() - rsrc::kTrailerSize, file.end());
  damage(section);
  if (fixChecksum) {
    std::uint32_t crc = rsrc::crc32(section.data(), section.size());
    std::memcpy(trailer.data() + 4, &crc, 4);
  }
  section.insert(section.end(), trailer.begin(), trailer.end());
  return section;
}

void put32(std::vector<std::uint8_t>& v, std::size_t at, std::uint32_t value) { std::memcpy(v.data() + at, &value, 4); }

TEST_F(ResourceTest, CorruptSectionsAreOrdinaryErrors) {
  const std::vector<std::uint8_t> good = readFile(KIPO_FIXTURE_LANGUAGE);
  ASSERT_GT(good.size(), rsrc::kHeaderSize + rsrc::kTrailerSize);
  constexpr std::size_t entry0 = rsrc::kHeaderSize;
  struct Case {
    const char* what;
    std::vector<std::uint8_t> bytes;
  } cases[] = {
      {"checksum", damaged(good, [](auto& s) { s[entry0 + 8] ^= 1; }, false)},
      {"trailer size beyond the file",
       [&] {
         auto b = good;
         put32(b, b.size() - rsrc::kTrailerSize, 0x7FFFFFF0);
         return b;
       }()},
      {"trailer size below a header",
       [&] {
         auto b = good;
         put32(b, b.size() - rsrc::kTrailerSize, 4);
         return b;
       }()},
      {"magic", damaged(good, [](auto& s) { s[0] = 'X'; })},
      {"format version", damaged(good, [](auto& s) { put32(s, 8, 2); })},
      {"entry count", damaged(good, [](auto& s) { put32(s, 12, 0x10000); })},
      {"data offset", damaged(good, [](auto& s) { put32(s, entry0 + 12, static_cast<std::uint32_t>(s.size())); })},
      {"data size", damaged(good, [](auto& s) { put32(s, entry0 + 16, static_cast<std::uint32_t>(s.size())); })},
      {"misaligned data", damaged(good, [](auto& s) { put32(s, entry0 + 12, 17); })},
      {"name offset", damaged(good, [](auto& s) { put32(s, entry0 + 4, 0x80000000u | 0x7FFFFFF0u); })},
      {"name length", damaged(good, [](auto& s) {
         put32(s, entry0 + 4, 0x80000000u | rsrc::kHeaderSize);
         s[rsrc::kHeaderSize] = 0xFF;
         s[rsrc::kHeaderSize + 1] = 0xFF;
       })},
      {"number zero", damaged(good, [](auto& s) { put32(s, entry0, 0); })},
  };
  for (const Case& c : cases) {
    writeFile(host.c("WINDOWS/system32/bad.dll"), c.bytes);
    SetLastError(0);
    EXPECT_EQ(LoadLibraryW(u"bad.dll"), nullptr) << c.what;
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_BAD_EXE_FORMAT)) << c.what;
    DWORD handle = 0xdeadbeef;
    EXPECT_EQ(GetFileVersionInfoSizeW(u"C:\\WINDOWS\\system32\\bad.dll", &handle), 0u) << c.what;
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_BAD_FORMAT)) << c.what;
    EXPECT_EQ(handle, 0u);
  }
  // A file cut short loses its trailer: it then has no section at all.
  auto cut = good;
  cut.resize(cut.size() - 3);
  writeFile(host.c("WINDOWS/system32/bad.dll"), cut);
  EXPECT_EQ(LoadLibraryW(u"bad.dll"), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_BAD_EXE_FORMAT));
  EXPECT_EQ(GetFileVersionInfoSizeW(u"C:\\WINDOWS\\system32\\bad.dll", nullptr), 0u);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_RESOURCE_DATA_NOT_FOUND));
}

}  // namespace
