// The build step that signs the default customization file: the file it writes verifies with the
// product's hash code, an edit of the hashed node breaks it, and bad input is refused.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>

#include "tests/support/test_host.h"

namespace {

namespace fs = std::filesystem;

std::string slurp(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

void spit(const fs::path& p, const std::string& data) { std::ofstream(p, std::ios::binary) << data; }

const fs::path kSource = fs::path(__FILE__).parent_path().parent_path().parent_path();
const std::string kSigner =
    (fs::path(KIPO_HOST_TOOL).parent_path().parent_path() / "kipo-sign" / "kipo-sign").string();

int sign(const std::vector<std::string>& args, std::string* err = nullptr) {
  return kipotest::runProgram(kSigner, args, nullptr, err);
}

TEST(SignTool, SignedFileVerifiesAndAnEditBreaksIt) {
  const fs::path dir = kipotest::freshTempDir("sign");
  const fs::path out = dir / "kipo.xml";
  std::string err;
  ASSERT_EQ(sign({(kSource / "tests/fuzz/seed_customization.xml").string(), out.string()}, &err), 0) << err;
  const std::string text = slurp(out);
  std::smatch m;
  ASSERT_TRUE(std::regex_search(text, m, std::regex("<HashValue reftag=\"Kipo/U3_Customization\">([0-9A-F]{32})</")))
      << text;
  EXPECT_EQ(sign({"--verify", out.string()}, &err), 0) << err;

  // Re-indenting keeps the hash; a changed value early in the hashed node does not. The product
  // hashes only the first half of the node's bytes, so a change late in it, like one outside it,
  // goes unseen: the signer must agree with the program on exactly that.
  struct Case {
    const char* from;
    const char* to;
    int rc;
  } const cases[] = {
      {"\n    <SupportedLanguages>", "\n\n\t<SupportedLanguages>", 0},
      {"Maker Stick", "Maker Stock", 1},
      {"company=\"Maker &amp; Sons\"", "company=\"Maker &amp; Daughters\"", 1},
      {"lcid=\"1036\"", "lcid=\"1031\"", 0},
      {"<Signature>", "<Signature note=\"x\">", 0},
  };
  for (const auto& c : cases) {
    std::string edited = text;
    edited.replace(edited.find(c.from), std::string(c.from).size(), c.to);
    spit(dir / "edited.xml", edited);
    EXPECT_EQ(sign({"--verify", (dir / "edited.xml").string()}), c.rc) << c.from << " -> " << c.to;
  }
  // Nothing left behind of the host the tool worked in.
  for (const auto& e : fs::directory_iterator(dir))
    EXPECT_EQ(e.path().filename().string().rfind(".kipo-sign", 0), std::string::npos) << e.path();
  fs::remove_all(dir);
}

TEST(SignTool, RefusesWhatItCannotSign) {
  const fs::path dir = kipotest::freshTempDir("sign");
  spit(dir / "broken.xml", "<Kipo><U3_Customization>");
  spit(dir / "unsigned.xml", "<Kipo><U3_Customization/></Kipo>");
  std::string err;
  EXPECT_EQ(sign({(dir / "missing.xml").string(), (dir / "out.xml").string()}, &err), 1);
  EXPECT_EQ(sign({(dir / "broken.xml").string(), (dir / "out.xml").string()}, &err), 1);
  EXPECT_EQ(sign({(dir / "unsigned.xml").string(), (dir / "out.xml").string()}, &err), 1);
  EXPECT_NE(err.find("no hash element"), std::string::npos) << err;
  EXPECT_EQ(sign({"--verify", (dir / "unsigned.xml").string()}), 1);
  EXPECT_FALSE(fs::exists(dir / "out.xml"));
  fs::remove_all(dir);
}

}  // namespace
