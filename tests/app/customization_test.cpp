// The customization file: what a load reads and applies (branding both ways, images, languages,
// switches, presets one record per element), the integrity hash (its byte rule, sign then verify,
// edits that do and do not break it, a lower-case hash, the reftag), and bad files: missing,
// corrupt (reported with line and position, left as they were), UTF-16.
#include "app/customization.h"

#include <gtest/gtest.h>

#include <cctype>
#include <memory>
#include <string>

#include "app/program_texts.h"
#include "lang/ids.h"
#include "platform/base/text.h"
#include "tests/app/app_fixture.h"

namespace {

using apptest::AppTest;

constexpr const char16_t* kConfigFolder = u"C:\\Drive";
constexpr const char* kConfigFile = "Drive/kipo.xml";

const std::string kSample = R"(<?xml version="1.0" encoding="UTF-8"?>
<Kipo>
  <U3_Customization>
    <OEMCustomer url="http://maker.example" company="Maker &amp; Sons" LogoFile="logo.bmp">
      <application name="Kipo Pro" exeicon="app.ico" trayicon="tray.ico" captionicon="" pulldownbmp="pull.bmp"/>
      <device name="Maker Stick"/>
      <support url="" email="help@maker.example"/>
      <U3Vendor url="http://u3.example" LogoFile="u3.bmp"/>
    </OEMCustomer>
    <UpgradeURL updateURL="http://update.maker.example" home="">
      <KipoProduct id="10" type="full"/>
      <KipoProduct type="trial"/>
      <KipoProduct id="12" type="lite"/>
    </UpgradeURL>
    <SupportedLanguages>
      <language lcid="1033"/>
      <language lcid="1036"/>
    </SupportedLanguages>
    <SupportedProducts SoftwareUpdateEnabled="YES" VeskSecurityEnabled="No"/>
    <Synchronization>
      <DefaultSettings ItemName="My Documents" IncludeRecentFiles="true" Recusive="1" DaysOld="30"/>
      <DefaultSettings ItemName="Desktop" Recusive="true"/>
      <DefaultSettings IncludeRecentFiles="true" Recusive="true" DaysOld="7"/>
      <DefaultSettings ItemName="Favorites" IncludeRecentFiles="True" Recusive="false" DaysOld="x"/>
    </Synchronization>
  </U3_Customization>
  <Signature>
    <HashValue reftag="Kipo/U3_Customization"></HashValue>
  </Signature>
</Kipo>
)";

class CustomizationTest : public AppTest {
 protected:
  CustomizationTest()
      : saved_{g_applicationName, g_deviceName,  g_makerWebAddress, g_supportWebAddress,
               g_supportEmailAddress, g_companyName, g_updateAddress,  g_homeAddress} {
    installLanguages({"USA"});
    std::filesystem::create_directories(host.c("Drive"));
    createLog();
    language = std::make_unique<Lingrove>(CString(u"USA"), FALSE);
  }
  ~CustomizationTest() override {
    CString* texts[] = {&g_applicationName,     &g_deviceName,  &g_makerWebAddress, &g_supportWebAddress,
                        &g_supportEmailAddress, &g_companyName, &g_updateAddress,   &g_homeAddress};
    for (std::size_t i = 0; i < std::size(texts); ++i) *texts[i] = saved_[i];
  }

  void writeConfig(const std::string& bytes) { writeBytes(host.c(kConfigFile), bytes); }
  std::string config() const { return readBytes(host.c(kConfigFile)); }
  void point(CU3CustomConfig& c) const { c.setPaths(CString(kConfigFolder), CString(kCustomizationFileName)); }

  std::vector<std::string> boxTexts() const {
    std::vector<std::string> out;
    for (const MessageBoxRequest& b : boxes) out.push_back(utf8(b.text));
    return out;
  }
  static std::string text(UINT id) { return utf8(loadResString(id)); }
  static std::string withPath(UINT id) {
    return utf8(formatMessageText(loadResString(id).GetString(), CString(u"C:\\Drive\\kipo.xml")));
  }

  // The signed file's stored hash.
  std::string storedHash() {
    CXMLHelper xml;
    CString hash;
    EXPECT_TRUE(xml.load(CString(u"C:\\Drive\\kipo.xml")));
    EXPECT_TRUE(xml.getText(CString(kHashValuePath), hash));
    return utf8(hash);
  }

  std::unique_ptr<Lingrove> language;

 private:
  CString saved_[8];
};

TEST_F(CustomizationTest, PathsAndFileName) {
  CU3CustomConfig c;
  c.setPaths(CString(u"E:"), CString(u"kipo.xml"));
  EXPECT_EQ(c.configFolder, CString(u"E:\\"));
  EXPECT_EQ(c.configPath, CString(u"E:\\kipo.xml"));
  EXPECT_TRUE(utf8(c.userDataFolder).ends_with("\\Brackwater\\Kipo\\")) << utf8(c.userDataFolder);
  EXPECT_EQ(CU3CustomConfig::getFileName(CString(u"C:\\a\\b.ico")), CString(u"b.ico"));
  EXPECT_EQ(CU3CustomConfig::getFileName(CString(u"b.ico")), CString(u"b.ico"));
}

TEST_F(CustomizationTest, LoadAppliesBrandingAndReadsTheLists) {
  writeConfig(kSample);
  g_supportWebAddress = u"http://builtin.example/support";
  g_homeAddress = u"http://builtin.example/home";
  CU3CustomConfig c;
  point(c);
  ASSERT_TRUE(c.load());
  EXPECT_TRUE(boxes.empty()) << boxTexts()[0];
  EXPECT_TRUE(c.loaded);

  EXPECT_EQ(g_applicationName, CString(u"Kipo Pro"));
  EXPECT_EQ(g_deviceName, CString(u"Maker Stick"));
  EXPECT_EQ(g_makerWebAddress, CString(u"http://maker.example"));
  EXPECT_EQ(g_companyName, CString(u"Maker & Sons"));
  EXPECT_EQ(g_supportEmailAddress, CString(u"help@maker.example"));
  EXPECT_EQ(g_updateAddress, CString(u"http://update.maker.example"));
  // Empty in the file: the built-in text stays and is copied into the object.
  EXPECT_EQ(g_supportWebAddress, CString(u"http://builtin.example/support"));
  EXPECT_EQ(c.supportAddress, CString(u"http://builtin.example/support"));
  EXPECT_EQ(c.homeAddress, CString(u"http://builtin.example/home"));
  EXPECT_EQ(c.u3VendorAddress, CString(u"http://u3.example"));

  // Image names are files in the per-user data folder; an empty name stays empty.
  EXPECT_EQ(c.trayIconFile, c.userDataFolder + CString(u"tray.ico"));
  EXPECT_EQ(c.pulldownBitmapFile, c.userDataFolder + CString(u"pull.bmp"));
  EXPECT_EQ(c.u3VendorLogoFile, c.userDataFolder + CString(u"u3.bmp"));
  EXPECT_TRUE(c.captionIconFile.IsEmpty());
  EXPECT_EQ(c.trayIcon, nullptr) << "no such icon file: the handle stays empty";

  EXPECT_EQ(c.languages, (std::vector<WORD>{1033, 1036}));
  EXPECT_TRUE(c.softwareUpdateEnabled);
  EXPECT_FALSE(c.veskSecurityEnabled);
  ASSERT_EQ(c.products.size(), 3u);
  EXPECT_EQ(c.products[1], (std::pair<CString, CString>(CString(), CString(u"trial"))));
  EXPECT_EQ(c.products[2], (std::pair<CString, CString>(CString(u"12"), CString(u"lite"))));
}

TEST_F(CustomizationTest, EmptyApplicationNameEmptiesItAndMissingDeviceNameTakesTheBuiltInString) {
  writeConfig("<Kipo><U3_Customization><OEMCustomer><application name=\"\"/></OEMCustomer></U3_Customization></Kipo>");
  g_deviceName = u"something else";
  CU3CustomConfig c;
  point(c);
  ASSERT_TRUE(c.load());
  EXPECT_TRUE(g_applicationName.IsEmpty());
  EXPECT_EQ(g_deviceName, loadResString(IDS_DEFAULT_DEVICE_NAME));
  EXPECT_TRUE(c.softwareUpdateEnabled == false && c.veskSecurityEnabled == true) << "defaults kept";
  EXPECT_TRUE(c.languages.empty());
}

// One record per DefaultSettings element: an element that lacks an attribute gets an empty value
// and never shifts the values of the elements after it.
TEST_F(CustomizationTest, DefaultSettingsAreOneRecordPerElement) {
  writeConfig(kSample);
  CU3CustomConfig c;
  point(c);
  ASSERT_TRUE(c.load());
  ASSERT_EQ(c.defaultSettings.size(), 4u);
  EXPECT_EQ(c.defaultSettings[1].includeRecentFiles, CString());
  EXPECT_EQ(c.defaultSettings[1].daysOld, CString());
  EXPECT_EQ(c.defaultSettings[2].itemName, CString());
  EXPECT_EQ(c.defaultSettings[2].daysOld, CString(u"7"));

  struct Case {
    const char16_t* item;
    bool found, recent, recursive;
    long days;
  } cases[] = {
      {u"My Documents", true, true, true, 30},
      {u"Desktop", true, false, true, 0},
      {u"Favorites", true, false, false, 0},  // "True" is not "true"
      {u"my documents", false, false, false, 0},  // names are case-sensitive
      {u"Cookies", false, false, false, 0},
  };
  for (const Case& k : cases) {
    bool recent = !k.recent, recursive = !k.recursive;
    long days = -1;
    EXPECT_EQ(c.getDefaultSyncSettings(CString(k.item), recent, recursive, days), k.found) << utf8(CString(k.item));
    if (!k.found) continue;
    EXPECT_EQ(recent, k.recent) << utf8(CString(k.item));
    EXPECT_EQ(recursive, k.recursive) << utf8(CString(k.item));
    EXPECT_EQ(days, k.days) << utf8(CString(k.item));
  }
}

// ---- the integrity hash ----

TEST_F(CustomizationTest, HashCoversTheFirstHalfOfTheMarkupBytes) {
  // "ab" is 4 bytes in UTF-16LE; only the first 2 ("a", 0) enter the digest.
  EXPECT_EQ(hashNodeMarkup(CString(u"abcd")), CString(u"AA3A791E273BCE9CF4A2A7CAA9028B36"));
  EXPECT_EQ(hashNodeMarkup(CString()), CString(u"D41D8CD98F00B204E9800998ECF8427E"));
  EXPECT_TRUE(customizationHashMatches(CString(u"aa3a791e273bce9cf4a2a7caa9028b36"), CString(u"AA3A791E273BCE9CF4A2A7CAA9028B36")));
  EXPECT_FALSE(customizationHashMatches(CString(), CString()));

  // The node's canonical markup is what is hashed.
  writeConfig("<Kipo>\n  <U3_Customization>\n    <a x='1'></a>\n  </U3_Customization>\n  <Signature><HashValue/></Signature>\n</Kipo>");
  CXMLHelper xml;
  ASSERT_TRUE(xml.load(CString(u"C:\\Drive\\kipo.xml")));
  EXPECT_EQ(computeCustomizationHash(xml), CString(u"9CD47B0ADE2428A0DCFB5BEE5D0E54BC"));
}

TEST_F(CustomizationTest, SignThenVerify) {
  writeConfig(kSample);
  CU3CustomConfig c;
  point(c);
  c.writeSignature();
  EXPECT_TRUE(boxes.empty()) << boxTexts()[0];
  const std::string hash = storedHash();
  EXPECT_EQ(hash.size(), 32u);
  EXPECT_EQ(hash.find_first_not_of("0123456789ABCDEF"), std::string::npos) << hash;
  EXPECT_TRUE(c.verifySignature());
  EXPECT_TRUE(boxes.empty());

  // Signing again gives the same hash: the signature lies outside the hashed node.
  c.writeSignature();
  EXPECT_EQ(storedHash(), hash);
}

TEST_F(CustomizationTest, EditsThatBreakTheHashAndOnesThatDoNot) {
  writeConfig(kSample);
  CU3CustomConfig c;
  point(c);
  c.writeSignature();
  const std::string signedFile = config();
  ASSERT_TRUE(c.verifySignature());

  struct Edit {
    const char* what;
    std::string from, to;
    bool stillValid;
  } edits[] = {
      {"a changed name early in the node", "Kipo Pro", "Kipo Pra", false},
      {"an attribute added early", "<device name=", "<device x=\"1\" name=", false},
      {"the node re-indented", "\n      <device", "\n\n\t<device", true},
      // The hash's length rule: the second half of the markup's bytes is not covered.
      {"a change in the last part of the node", "DaysOld=\"x\"", "DaysOld=\"y\"", true},
      {"a comment outside the hashed node", "<Signature>", "<!-- checked --><Signature>", true},
  };
  for (const Edit& e : edits) {
    SCOPED_TRACE(e.what);
    std::string edited = signedFile;
    const std::size_t at = edited.find(e.from);
    ASSERT_NE(at, std::string::npos);
    edited.replace(at, e.from.size(), e.to);
    writeConfig(edited);
    boxes.clear();
    EXPECT_EQ(c.verifySignature(), e.stillValid);
    if (!e.stillValid) {
      EXPECT_EQ(boxTexts(), (std::vector<std::string>{withPath(IDS_CUSTOMIZATION_VERIFY_FAILED)}));
      EXPECT_NE(logBytes().find("does not match"), std::string::npos);
    }
  }
}

TEST_F(CustomizationTest, LowerCaseHashVerifies) {
  writeConfig(kSample);
  CU3CustomConfig c;
  point(c);
  c.writeSignature();
  std::string file = config();
  const std::string hash = storedHash();
  std::string lower = hash;
  for (char& ch : lower) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
  ASSERT_NE(lower, hash);
  file.replace(file.find(hash), hash.size(), lower);
  writeConfig(file);
  EXPECT_TRUE(c.verifySignature());
  EXPECT_TRUE(boxes.empty());
}

TEST_F(CustomizationTest, ReftagChoosesTheHashedNode) {
  // Without a reftag the customization node is hashed; with one naming nothing, the empty text.
  const std::string body = "<Kipo><U3_Customization><a/></U3_Customization><Other><b/></Other><Signature>";
  struct Case {
    std::string signature;
    std::u16string expected;
  } cases[] = {
      {"<HashValue></HashValue>", hashNodeMarkup(CString(u"<U3_Customization><a/></U3_Customization>")).str()},
      {"<HashValue reftag=\"Kipo/Other\"></HashValue>", hashNodeMarkup(CString(u"<Other><b/></Other>")).str()},
      {"<HashValue reftag=\"Kipo/Nothing\"></HashValue>", u"D41D8CD98F00B204E9800998ECF8427E"},
  };
  for (const Case& k : cases) {
    writeConfig(body + k.signature + "</Signature></Kipo>");
    CU3CustomConfig c;
    point(c);
    c.writeSignature();
    EXPECT_EQ(storedHash(), utf8(CString(k.expected))) << k.signature;
    EXPECT_TRUE(c.verifySignature());
  }
}

TEST_F(CustomizationTest, MissingHashElement) {
  writeConfig("<Kipo><U3_Customization/></Kipo>");
  CU3CustomConfig c;
  point(c);
  EXPECT_FALSE(c.verifySignature());
  ASSERT_EQ(boxes.size(), 2u);
  EXPECT_EQ(utf8(boxes[0].text), text(IDS_CUSTOMIZATION_DAMAGED));
  EXPECT_EQ(utf8(boxes[0].caption), text(IDS_CUSTOMIZATION_CAPTION));
  EXPECT_EQ(boxes[0].owner, nullptr);
  EXPECT_EQ(utf8(boxes[1].text), withPath(IDS_CUSTOMIZATION_VERIFY_FAILED));

  // Signing needs the element: nothing is created, the file is left alone.
  const std::string before = config();
  boxes.clear();
  c.writeSignature();
  EXPECT_EQ(boxTexts(), (std::vector<std::string>{text(IDS_CUSTOMIZATION_HASH_NOT_SET), withPath(IDS_CUSTOMIZATION_SIGN_FAILED)}));
  EXPECT_EQ(config(), before);
}

// ---- bad files ----

TEST_F(CustomizationTest, MissingFileIsReportedByEveryOperation) {
  CU3CustomConfig c;
  point(c);
  EXPECT_FALSE(c.load());
  EXPECT_FALSE(c.verifySignature());
  c.writeSignature();
  EXPECT_FALSE(c.save());
  EXPECT_EQ(boxTexts(), std::vector<std::string>(4, withPath(IDS_CUSTOMIZATION_UNREADABLE)));
  EXPECT_FALSE(c.loaded);
  EXPECT_FALSE(host.isFile(kConfigFile)) << "nothing creates it";
}

TEST_F(CustomizationTest, CorruptFileIsReportedWithLineAndPositionAndLeftAlone) {
  const std::string corrupt = "<Kipo>\n  <U3_Customization>\n    <application name=\"x\">\n  </U3_Customization>\n</Kipo>\n";
  writeConfig(corrupt);
  const std::string savedName = utf8(g_applicationName);
  CU3CustomConfig c;
  point(c);
  EXPECT_FALSE(c.load());
  EXPECT_FALSE(c.loaded);
  EXPECT_EQ(boxTexts(), (std::vector<std::string>{withPath(IDS_CUSTOMIZATION_UNREADABLE)}));
  EXPECT_EQ(utf8(g_applicationName), savedName);
  const std::string log = logBytes();
  EXPECT_NE(log.find("{CXMLHelper}: Failed to load XML file 'C:\\Drive\\kipo.xml' "), std::string::npos) << log;
  EXPECT_NE(log.find(" line:4, position:"), std::string::npos) << log;

  boxes.clear();
  c.writeSignature();
  EXPECT_FALSE(c.save());
  EXPECT_FALSE(c.verifySignature());
  EXPECT_EQ(boxTexts(), (std::vector<std::string>{withPath(IDS_CUSTOMIZATION_SIGN_FAILED),
                                                  withPath(IDS_CUSTOMIZATION_UNREADABLE),
                                                  withPath(IDS_CUSTOMIZATION_VERIFY_FAILED)}));
  EXPECT_EQ(config(), corrupt) << "a corrupt file is never written";
}

TEST_F(CustomizationTest, Utf16FileLoadsSignsAndStaysUtf16) {
  std::u16string text = platform::text::fromUtf8(kSample);
  text.replace(text.find(u"UTF-8"), 5, u"UTF-16");
  text.replace(text.find(u"Maker Stick"), 11, u"Clé \u65E5\u672C");
  std::string bytes = "\xFF\xFE";
  for (char16_t ch : text) bytes += static_cast<char>(ch & 0xFF), bytes += static_cast<char>(ch >> 8);
  writeConfig(bytes);

  CU3CustomConfig c;
  point(c);
  ASSERT_TRUE(c.load());
  EXPECT_EQ(g_deviceName, CString(u"Clé \u65E5\u672C"));
  c.writeSignature();
  EXPECT_TRUE(c.verifySignature());
  EXPECT_TRUE(boxes.empty()) << boxTexts()[0];
  EXPECT_EQ(config().substr(0, 4), std::string("\xFF\xFE<\0", 4));
}

TEST_F(CustomizationTest, SaveWritesFieldsIntoExistingNodesOnly) {
  writeConfig(kSample);
  CU3CustomConfig c;
  point(c);
  ASSERT_TRUE(c.load());
  c.applicationName = u"Renamed";
  c.captionIconFile = u"C:\\elsewhere\\cap.ico";
  c.languages = {1031, 1040};
  ASSERT_TRUE(c.save());
  const std::string file = config();
  EXPECT_NE(file.find("name=\"Renamed\""), std::string::npos);
  EXPECT_NE(file.find("captionicon=\"cap.ico\""), std::string::npos);
  EXPECT_NE(file.find("lcid=\"1031\""), std::string::npos);
  EXPECT_NE(file.find("<KipoProduct type=\"trial\"/>"), std::string::npos) << "no id is added to the product without one";

  writeConfig("<Kipo><U3_Customization/></Kipo>");
  ASSERT_TRUE(c.save());
  EXPECT_EQ(config().find("Renamed"), std::string::npos) << "missing nodes are not created";
}

TEST_F(CustomizationTest, LanguageCheckUsesTheLoadedList) {
  installLanguages({"USA", "DEU", "FRA"});
  CU3CustomConfig c;
  CString code(u"DEU");
  EXPECT_TRUE(matchLanguageToCustomization(code, c)) << "no customization: any language";
  EXPECT_EQ(code, CString(u"DEU"));

  writeConfig(kSample);  // allows 1033 and 1036
  point(c);
  ASSERT_TRUE(c.load());
  code = u"FRA";
  EXPECT_TRUE(matchLanguageToCustomization(code, c));
  EXPECT_EQ(code, CString(u"FRA"));
  code = u"DEU";
  EXPECT_TRUE(matchLanguageToCustomization(code, c));
  EXPECT_EQ(code, CString(u"USA"));
}

}  // namespace
