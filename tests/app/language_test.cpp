// The language library: choice by request and by the user's locale with the English US fallback
// and its reports, reference-counted loading shared by short-lived objects, the check against
// the customization's languages, and the built libraries themselves (same ids, same placeholders,
// stored names untranslated).
#include "app/lingrove.h"

#include <gtest/gtest.h>

#include <map>
#include <regex>

#include "app/messages.h"
#include "lang/ids.h"
#include "platform/host/host.h"
#include "platform/win32/module.h"
#include "platform/win32/resource.h"
#include "tests/app/app_fixture.h"

namespace {

using apptest::AppTest;

const char* const kAllCodes[] = {"USA", "GBR", "FRA", "DEU", "ESP", "ITA", "NLD", "PRT", "JPN", "CHS", "CHT", "THA"};

class LanguageTest : public AppTest {
 protected:
  void setUserLocale(const char* lcid) { platform::host::Host::current().setFact(platform::host::fact::UserLocale, lcid); }
  std::vector<std::string> boxTexts() const {
    std::vector<std::string> out;
    for (const MessageBoxRequest& b : boxes) out.push_back(utf8(b.text));
    return out;
  }
};

TEST_F(LanguageTest, CodeToLanguageIdGoesByWindowsAbbreviation) {
  struct {
    const char16_t* code;
    const char16_t* lcid;
  } cases[] = {
      {u"USA", u"0409"}, {u"GBR", u"0409"}, {u"FRA", u"040c"}, {u"DEU", u"0407"}, {u"ESP", u"040a"},
      {u"PRT", u"0816"}, {u"JPN", u"0411"}, {u"CHT", u"0404"}, {u"CHS", u"0804"}, {u"THA", u"041e"},
      {u"ENG", u"0809"}, {u"fra", u"0409"},  // exact, case-sensitive
      {u"", u"0409"},
  };
  for (const auto& c : cases) EXPECT_EQ(languageCodeToLcid(CString(c.code)), CString(c.lcid)) << utf8(CString(c.code));
}

TEST_F(LanguageTest, UserLocaleMapsToProductCode) {
  struct {
    const char* locale;
    const char16_t* code;
  } cases[] = {
      {"0411", u"JPN"}, {"040C", u"FRA"}, {"0C0C", u"FRA"}, {"0809", u"USA"}, {"0413", u"USA"},
      {"0813", u"USA"}, {"0404", u"USA"}, {"0C04", u"CHS"}, {"0416", u"PRT"}, {"041E", u"THA"},
      {"0403", u"ESP"}, {"041D", u""},  // Swedish is not in the table
  };
  for (const auto& c : cases) {
    setUserLocale(c.locale);
    EXPECT_EQ(languageFromUserLocale(), CString(c.code)) << c.locale;
  }
}

TEST_F(LanguageTest, ChoiceByRequestThenLocaleWithFallbackToUsa) {
  installLanguages({"USA", "FRA", "JPN"});
  struct Case {
    const char16_t* requested;
    const char* locale;
    const char16_t* code;
    std::vector<std::string> reports;
  } cases[] = {
      {u"fra", "0409", u"FRA", {}},
      {u"FRA", "0411", u"FRA", {}},
      {u"", "0411", u"JPN", {}},
      {u"XYZ", "040C", u"FRA", {}},
      {u"", "0809", u"USA", {}},
      {u"DEU", "0409", u"USA", {"Unable to load German language dll"}},
      {u"", "0407", u"USA", {"Unable to load German language dll"}},
      {u"", "041D", u"USA", {"Unable to load language dll for "}},
      {u"SWE", "041D", u"USA", {"Unable to load language dll for "}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(utf8(CString(c.requested)) + " on " + c.locale);
    boxes.clear();
    setUserLocale(c.locale);
    Lingrove language{CString(c.requested), TRUE};
    EXPECT_EQ(language.code, CString(c.code));
    EXPECT_EQ(language.loaded, 1u);
    EXPECT_NE(language.module, nullptr);
    EXPECT_EQ(boxTexts(), c.reports);
    for (const MessageBoxRequest& b : boxes) {
      EXPECT_EQ(b.caption, CString(u"Kipo"));
      EXPECT_EQ(b.style, static_cast<UINT>(MB_OK | MB_ICONERROR));
    }
  }
}

TEST_F(LanguageTest, WithoutUsaLibraryNothingLoadsAndEveryFailureIsReported) {
  installLanguages({"FRA"});
  createLog();
  {
    Lingrove language(CString(u"DEU"), TRUE);
    EXPECT_EQ(language.loaded, 0u);
    EXPECT_EQ(language.module, nullptr);
    EXPECT_EQ(language.code, CString(u"???"));
    EXPECT_EQ(language.displayName, CString(u"Unknown"));
    EXPECT_EQ(language.libraryFile, CString(u"Lingrove_XXX.DLL"));
    EXPECT_EQ(boxTexts(), (std::vector<std::string>{"Unable to load German language dll",
                                                    "Unable to load language dll for USA"}));
  }
  {
    boxes.clear();
    Lingrove lower(CString(u"usa"), TRUE);  // the US row in any case: tried and reported once
    EXPECT_EQ(lower.loaded, 0u);
    EXPECT_EQ(boxTexts(), std::vector<std::string>{"Unable to load language dll for usa"});
  }
  // Without showErrors the same reports go to the log only.
  boxes.clear();
  createLog();
  Lingrove quiet(CString(u"USA"), FALSE);
  EXPECT_EQ(quiet.loaded, 0u);
  EXPECT_TRUE(boxes.empty());
  EXPECT_EQ(logBytes(), "Unable to load language dll for USA<br>");
}

TEST_F(LanguageTest, AFormatLadenRequestIsReportedLiterally) {
  installLanguages({"USA"});
  setUserLocale("0409");
  createLog();
  {
    Lingrove language(CString(u"%s%n"), TRUE);  // unknown, and the locale's USA loads
    EXPECT_EQ(language.code, CString(u"USA"));
  }
  std::filesystem::remove(programFolder() / "Lingrove_USA.DLL");
  Lingrove language(CString(u"%s%n"), TRUE);
  EXPECT_EQ(boxTexts(), (std::vector<std::string>{"Unable to load language dll for USA"}));
  Lingrove direct(CString(u"USA"), FALSE);
  direct.reportMissingLanguage(CString(u"%s%n%d"));
  EXPECT_EQ(logBytes(), "Unable to load language dll for USA<br>"
                        "Unable to load language dll for USA<br>"
                        "Unable to load language dll for %s%n%d<br>");
}

TEST_F(LanguageTest, ShortLivedObjectsDoNotTakeAwayTheLibraryInUse) {
  installLanguages({"USA", "FRA"});
  Lingrove main(CString(u"FRA"), TRUE);
  const CString french = loadResString(IDS_LOG_STARTED);
  ASSERT_EQ(utf8(french), "D\xC3\xA9marrage de Kipo : ");
  {
    Lingrove usa(CString(u"USA"), FALSE);  // joins ahead of the French library while it lives
    EXPECT_EQ(loadResString(IDS_LOG_STARTED), CString(u"Kipo Started: "));
    EXPECT_EQ(languageResourceModule(), usa.module);
  }
  {
    Lingrove again(CString(u"FRA"), FALSE);  // the same library, one more reference
    EXPECT_EQ(again.module, main.module);
  }
  EXPECT_EQ(languageResourceModule(), main.module);
  EXPECT_EQ(GetModuleHandleW(u"Lingrove_FRA.DLL"), main.module);
  EXPECT_EQ(loadResString(IDS_LOG_STARTED), french);
  CString viaFramework;
  EXPECT_TRUE(viaFramework.LoadString(IDS_LOG_STARTED));
  EXPECT_EQ(viaFramework, french);

  main.unload();
  EXPECT_EQ(main.code, CString(u"???"));
  EXPECT_EQ(GetModuleHandleW(u"Lingrove_FRA.DLL"), nullptr);
  EXPECT_EQ(languageResourceModule(), nullptr);
  EXPECT_TRUE(boxes.empty());
}

TEST_F(LanguageTest, CustomizationKeepsAllowedLanguagesElseFallsBackToUsa) {
  installLanguages({"USA", "FRA", "JPN"});
  struct Case {
    const char16_t* code;
    AllowedLanguages allowed;
    const char16_t* result;
  } cases[] = {
      {u"FRA", {0x0409, 0x040c}, u"FRA"},
      {u"JPN", {0x0411}, u"JPN"},
      {u"FRA", {0x0409}, u"USA"},
      {u"JPN", {}, u"USA"},
      {u"USA", {0x0407}, u"USA"},
  };
  for (const Case& c : cases) {
    CString code(c.code);
    EXPECT_TRUE(matchLanguageToCustomization(code, &c.allowed));
    EXPECT_EQ(code, CString(c.result)) << utf8(CString(c.code));
  }
  CString code(u"JPN");
  EXPECT_TRUE(matchLanguageToCustomization(code, nullptr));  // no customization loaded
  EXPECT_EQ(code, CString(u"JPN"));

  std::filesystem::remove(programFolder() / "Lingrove_USA.DLL");
  const AllowedLanguages german{0x0407};
  EXPECT_FALSE(matchLanguageToCustomization(code, &german));
  EXPECT_EQ(code, CString(u"USA"));
  EXPECT_TRUE(boxes.empty());
}

// ---- the built libraries ----

std::map<UINT, std::u16string> stringsOf(HMODULE module) {
  std::map<UINT, std::u16string> out;
  for (UINT id = 0; id < 0x10000; ++id) {
    LPWSTR text = nullptr;
    int length = LoadStringW(module, id, reinterpret_cast<LPWSTR>(&text), 0);
    if (length > 0) out[id] = std::u16string(text, static_cast<size_t>(length));
  }
  return out;
}

// The printf conversions of a text, in order ("%%" is not one).
std::vector<std::string> placeholders(const std::u16string& text) {
  static const std::regex conversion("%(%|[-+ #0]*[0-9*]*(\\.[0-9*]+)?(hs|ls|ws|hh|h|ll|l|I64|I32|I)?[a-zA-Z])");
  std::string s = platform::text::toUtf8(text);
  std::vector<std::string> out;
  for (auto it = std::sregex_iterator(s.begin(), s.end(), conversion); it != std::sregex_iterator(); ++it)
    if (it->str() != "%%") out.push_back(it->str());
  return out;
}

TEST_F(LanguageTest, EveryLibraryHasTheUsaIdsWithTheSamePlaceholdersAndStoredNames) {
  installLanguages({"USA", "GBR", "FRA", "DEU", "ESP", "ITA", "NLD", "PRT", "JPN", "CHS", "CHT", "THA"});
  HMODULE usa = LoadLibraryW(u"Lingrove_USA.DLL");
  ASSERT_NE(usa, nullptr);
  const std::map<UINT, std::u16string> us = stringsOf(usa);
  ASSERT_TRUE(us.count(IDS_LOG_STARTED));
  for (const char* code : kAllCodes) {
    SCOPED_TRACE(code);
    HMODULE library = LoadLibraryW(CString((std::string("Lingrove_") + code + ".DLL").c_str()));
    ASSERT_NE(library, nullptr);
    const std::map<UINT, std::u16string> theirs = stringsOf(library);
    for (const auto& [id, text] : us) {
      auto it = theirs.find(id);
      ASSERT_NE(it, theirs.end()) << "string " << id << " missing";
      EXPECT_EQ(placeholders(it->second), placeholders(text)) << "string " << id;
      if (id >= 920 && id <= 924) {
        EXPECT_EQ(it->second, text) << "stored name " << id;
      }
    }
    for (const auto& [id, text] : theirs) EXPECT_TRUE(us.count(id)) << "string " << id << " not in USA";
    FreeLibrary(library);
  }
  FreeLibrary(usa);
}

}  // namespace
