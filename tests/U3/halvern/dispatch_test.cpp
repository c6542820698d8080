// Halvern's command line: the usage text before any language library, the split into word and
// argument (quotes and blanks), command words in any case, the language chosen by
// "U3_ENV_LANGUAGE" before the user locale, and the result without a language library.
#include <gtest/gtest.h>

#include "tests/U3/halvern/halvern_fixture.h"

namespace {

using namespace halverntest;

constexpr const char* kUsage =
    "*** Halvern.exe supports the following commands. ***\n"
    ">> Halvern.exe -s/-appStop\n"
    ">> Halvern.exe -c/-hostCleanUp\n"
    ">> Halvern.exe -d/-deviceUninstall\n";

class DispatchTest : public HalvernTest {};

TEST_F(DispatchTest, AnEmptyLinePrintsTheUsageWithoutALanguageLibrary) {
  fs::remove_all(programFolder());
  std::string out;
  EXPECT_EQ(run(u"", &out), kHalvernUsage);
  EXPECT_EQ(out, kUsage);
  // A command needs the library: without one nothing runs.
  EXPECT_EQ(run(u"-VerifyHash", &out), kHalvernNoLanguage);
  EXPECT_EQ(out, "");
  EXPECT_TRUE(boxes.empty());
}

// The word ends at the first blank; quotes around word and argument go; the word matches in any case.
TEST_F(DispatchTest, CommandWordsAndArguments) {
  host.write("My Files/kipo.xml", "<Kipo><U3_Customization a=\"1\"/><Signature><HashValue/></Signature></Kipo>");
  struct Case {
    const char16_t* line;
    int result;
    bool usage;
  } cases[] = {
      {u"-VerifyHash", kHalvernUsage, true},
      {u"-verifyhash   \"\"", kHalvernUsage, true},
      {u"-VERIFYHASH C:\\absent.xml", kHashFileMissing, false},
      {u"\"-CreateHash\" \"C:\\My Files\\kipo.xml\"", kHalvernOk, false},
      {u"-verifyHASH   \"C:\\My Files\\kipo.xml\"", kHalvernOk, false},
      {u"-CREATEHASH C:\\My Files\\kipo.xml\"", kHalvernOk, false},
      {u"-Unknown", kHalvernFailed, false},
      {u"RemoveKeyContainerX", kHalvernFailed, false},
      {u" -c", kHalvernFailed, false},  // a leading blank leaves an empty word
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(toUtf8(c.line));
    std::string out;
    EXPECT_EQ(run(c.line, &out), c.result);
    EXPECT_EQ(out, c.usage ? kUsage : "");
  }
  EXPECT_TRUE(boxes.empty()) << boxTexts()[0];
  EXPECT_NE(host.read("My Files/kipo.xml").find("<HashValue>"), std::string::npos);
}

TEST_F(DispatchTest, TheLanguageComesFromU3EnvLanguageBeforeTheUserLocale) {
  struct Case {
    const char16_t* value;  // null: not set
    const char* code;
  } cases[] = {
      {nullptr, "USA"}, {u"", "USA"},       {u"1036", "FRA"}, {u"1041", "JPN"},
      {u"2057", "USA"}, {u"3084", "FRA"},   {u"9999", ""},    {u"fr", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.value ? toUtf8(c.value) : "unset");
    SetEnvironmentVariableW(u"U3_ENV_LANGUAGE", c.value);
    EXPECT_EQ(text(getU3LanguageCode()), c.code);
  }
  // The user locale decides when the variable is empty.
  std::string err;
  ASSERT_EQ(kipotest::runTool({"set", "--user-locale", "040c"}, nullptr, &err), 0) << err;
  SetEnvironmentVariableW(u"U3_ENV_LANGUAGE", u"");
  EXPECT_EQ(text(getU3LanguageCode()), "FRA");
  SetEnvironmentVariableW(u"U3_ENV_LANGUAGE", u"1033");
  EXPECT_EQ(text(getU3LanguageCode()), "USA");
}

// The library of the chosen language gives the texts; one that is not there falls back to English.
TEST_F(DispatchTest, MessagesComeFromTheChosenLibrary) {
  SetEnvironmentVariableW(u"U3_ENV_LANGUAGE", u"1036");
  EXPECT_EQ(run(u"-c"), kHalvernOk);
  SetEnvironmentVariableW(u"U3_ENV_LANGUAGE", u"1031");  // German: not installed here
  EXPECT_EQ(run(u"-c"), kHalvernOk);
  ASSERT_EQ(boxes.size(), 2u);
  EXPECT_EQ(text(boxes[0].text), "Impossible de détruire les registres Windows de Kipo - Clé non trouvée.\n");
  EXPECT_EQ(text(boxes[1].text), "Unable to remove the Kipo Windows registry entries - Key not found.\n");
  EXPECT_EQ(boxes[0].style, static_cast<UINT>(MB_ICONINFORMATION));

  fs::remove(programFolder() / "Lingrove_USA.DLL");
  boxes.clear();
  EXPECT_EQ(run(u"-c"), kHalvernNoLanguage);
  EXPECT_TRUE(boxes.empty());
}

TEST_F(DispatchTest, AMissingStringShowsTheLoaderBox) {
  Lingrove language(CString(u"USA"), FALSE);
  ASSERT_TRUE(language.module);
  EXPECT_EQ(text(loadHalvernString(IDS_HALVERN_DATA_REMOVED)).substr(0, 4), "Your");
  EXPECT_TRUE(loadHalvernString(65000).IsEmpty());
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(text(boxes[0].text), "Unable to load resource string");
  EXPECT_EQ(boxes[0].style, static_cast<UINT>(MB_ICONERROR));
}

}  // namespace
