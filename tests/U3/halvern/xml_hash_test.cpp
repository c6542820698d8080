// The customization file's integrity hash as Halvern signs and verifies it: the node chosen by the
// reftag (else U3_Customization), the MD5 of the first n bytes of its n-unit UTF-16 serialization
// in upper-case hex, a case-blind comparison, the result codes with their boxes, and agreement
// with the main program's signing code (the build's kipo-sign tool) in both directions.
#include <gtest/gtest.h>

#include <regex>

#include "tests/U3/halvern/halvern_fixture.h"
#include "tests/support/faults.h"

namespace {

using namespace halverntest;

constexpr const char* kFile =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
    "<Kipo>\n"
    "  <U3_Customization><OEMCustomer><device name=\"Acme Drive\"/></OEMCustomer></U3_Customization>\n"
    "  <Other>abcd</Other>\n"
    "  <Signature><HashValue>0</HashValue></Signature>\n"
    "</Kipo>\n";

std::string storedHash(const std::string& xml) {
  std::smatch m;
  if (!std::regex_search(xml, m, std::regex("<HashValue[^>]*>([^<]*)</HashValue>"))) return "<none>";
  return m[1];
}

class XmlHashTest : public HalvernTest {
 protected:
  void SetUp() override {
    HalvernTest::SetUp();
    lang_ = std::make_unique<Lingrove>(CString(u"USA"), FALSE);
  }
  int sign(const char* name = "kipo.xml") { return createOrVerifyXmlHash(CString(u"C:\\") + fromUtf8(name).c_str(), true); }
  int verify(const char* name = "kipo.xml") { return createOrVerifyXmlHash(CString(u"C:\\") + fromUtf8(name).c_str(), false); }
  std::unique_ptr<Lingrove> lang_;
};

// Known answers, worked out apart from the code: the MD5 of the first n bytes of the UTF-16LE form
// of the node's n-character markup (for ASCII markup: its first n/2 characters with zero bytes).
TEST_F(XmlHashTest, TheHashCoversTheFirstHalfOfTheNodeBytes) {
  struct Case {
    const char* reftag;  // null: no attribute
    const char* hash;
  } cases[] = {
      {nullptr, "2BD7D060E15212EAAAF7CADEC7686CDF"},
      {"Kipo/Other", "77C3B5C6A3C066EBCFF4DED7B39466DB"},
      {"Kipo/Missing", "D41D8CD98F00B204E9800998ECF8427E"},  // no node: the MD5 of no data
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.reftag ? c.reftag : "default");
    std::string xml = kFile;
    if (c.reftag) xml = std::regex_replace(xml, std::regex("<HashValue>"), std::string("<HashValue reftag=\"") + c.reftag + "\">");
    host.write("kipo.xml", xml);
    EXPECT_EQ(sign(), kHalvernOk);
    EXPECT_EQ(storedHash(host.read("kipo.xml")), c.hash);
    EXPECT_EQ(verify(), kHalvernOk);
  }
  EXPECT_TRUE(boxes.empty());
}

TEST_F(XmlHashTest, VerificationToleratesCaseAndCatchesChanges) {
  host.write("kipo.xml", kFile);
  ASSERT_EQ(sign(), kHalvernOk);
  const std::string signedXml = host.read("kipo.xml");
  const std::string hash = storedHash(signedXml);
  std::string lower = hash;
  for (char& ch : lower) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
  host.write("kipo.xml", std::regex_replace(signedXml, std::regex(hash), lower));
  EXPECT_EQ(verify(), kHalvernOk);
  // Outside the hashed node, or in the second half of its markup (past the bytes hashed), a change
  // goes unseen when it keeps the length; in the first half it does not.
  for (const char* unseen : {"abcd", "rive"}) {
    host.write("kipo.xml", std::regex_replace(signedXml, std::regex(unseen), "wxyz"));
    EXPECT_EQ(verify(), kHalvernOk) << unseen;
  }
  EXPECT_TRUE(boxes.empty());
  host.write("kipo.xml", std::regex_replace(signedXml, std::regex("OEMCustomer"), "OEMKustomer"));
  EXPECT_EQ(verify(), kHashMismatch);
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(text(boxes[0].text), "The Kipo.xml file has been damaged.");
  EXPECT_EQ(boxes[0].style, static_cast<UINT>(MB_ICONERROR));
}

TEST_F(XmlHashTest, EachFailureHasItsCodeAndBox) {
  const std::string noHash = "<Kipo><U3_Customization/><Signature/></Kipo>";
  host.write("nohash.xml", noHash);
  host.write("broken.xml", "<Kipo><U3_Customization></Kipo>");
  host.write("readonly.xml", kFile);
  SetFileAttributesW(u"C:\\readonly.xml", FILE_ATTRIBUTE_READONLY);
  struct Case {
    const char* file;
    bool create;
    int result;
    const char* box;  // null: none
  } cases[] = {
      {"absent.xml", true, kHashFileMissing, nullptr},
      {"absent.xml", false, kHashFileMissing, nullptr},
      {"broken.xml", true, kHashFileNotXml, "Error reading the Kipo.XML file."},
      {"broken.xml", false, kHashFileNotXml, "Error reading the Kipo.XML file."},
      {"nohash.xml", true, kHashNotStored, "Unable to store the hash key in the Kipo.XML file."},
      {"nohash.xml", false, kHashMismatch, "The Kipo.xml file has been damaged - the XML integrity code is missing."},
      {"readonly.xml", true, kHashNotSaved, "Unable to update Kipo.XML file."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.file) + (c.create ? " create" : " verify"));
    boxes.clear();
    EXPECT_EQ(c.create ? sign(c.file) : verify(c.file), c.result);
    if (!c.box) {
      EXPECT_TRUE(boxes.empty());
      continue;
    }
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(text(boxes[0].text), c.box);
    EXPECT_EQ(boxes[0].style, static_cast<UINT>(MB_ICONERROR));
  }
  EXPECT_EQ(host.read("nohash.xml"), noHash);
  EXPECT_EQ(host.read("readonly.xml"), kFile);
}

// A hash that cannot be made is neither written as an empty hash nor matched against one.
TEST_F(XmlHashTest, AHashingFailureWritesNothingAndVerifiesNothing) {
  const std::string emptyHash = std::regex_replace(std::string(kFile), std::regex("<HashValue>0"), "<HashValue>");
  for (const char* call : {"CryptCreateHash", "CryptAcquireContextW"}) {
    SCOPED_TRACE(call);
    host.write("kipo.xml", kFile);
    host.write("empty.xml", emptyHash);
    kipotest::failCall(call, static_cast<DWORD>(NTE_BAD_ALGID));
    boxes.clear();
    EXPECT_EQ(sign(), kHashNotStored);
    EXPECT_EQ(host.read("kipo.xml"), kFile);
    EXPECT_EQ(verify("empty.xml"), kHashNotStored);
    platform::fault::clearLocal();
    ASSERT_FALSE(boxes.empty());
    EXPECT_EQ(text(boxes.back().text), "Unable to store the hash key in the Kipo.XML file.");
  }
}

// The main program's code signs, Halvern verifies; Halvern signs, the main program's code verifies.
TEST_F(XmlHashTest, HalvernAndTheMainProgramAgree) {
  const fs::path plain = kipotest::freshTempDir("halvern-sign") / "plain.xml";
  spit(plain, kFile);
  const fs::path signedByProgram = plain.parent_path() / "signed.xml";
  std::string err;
  ASSERT_EQ(kipotest::runProgram(KIPO_SIGN_TOOL, {plain.string(), signedByProgram.string()}, nullptr, &err), 0) << err;
  host.write("kipo.xml", slurp(signedByProgram));
  EXPECT_EQ(verify(), kHalvernOk);

  host.write("kipo.xml", kFile);
  ASSERT_EQ(sign(), kHalvernOk);
  const fs::path signedByHalvern = plain.parent_path() / "halvern.xml";
  spit(signedByHalvern, host.read("kipo.xml"));
  EXPECT_EQ(kipotest::runProgram(KIPO_SIGN_TOOL, {"--verify", signedByHalvern.string()}, nullptr, &err), 0) << err;
  EXPECT_EQ(storedHash(slurp(signedByProgram)), storedHash(slurp(signedByHalvern)));
  EXPECT_TRUE(boxes.empty());
}

}  // namespace
