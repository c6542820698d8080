// Strict Base64: what the stand-in's readers of device fields and certificates accept.
#include "platform/base/base64.h"

#include <gtest/gtest.h>

namespace {

TEST(Base64, DecodesWholePaddedGroupsOnly) {
  struct Case {
    const char* in;
    bool ok;
    std::string out;
  } cases[] = {
      {"", true, ""},
      {"SzdQ", true, "K7P"},
      {"SzdQAA==", true, std::string("K7P\0", 4)},
      {"SzdQAAA=", true, std::string("K7P\0\0", 5)},
      {"+/+/", true, "\xfb\xff\xbf"},
      {"SzdQAA", false, ""},          // not a whole group
      {"Sz=Q", false, ""},            // padding inside a group
      {"S===", false, ""},            // too much padding
      {"SzdQ====", false, ""},        // a group of padding alone
      {"AA==SzdQ", false, ""},        // padding before the end
      {"SzdQ\nAA==", false, ""},      // no line breaks
      {"Sz-Q", false, ""},            // URL alphabet is not this one
  };
  for (const auto& c : cases) {
    std::string out = "sentinel";
    EXPECT_EQ(platform::base64::decode(c.in, out), c.ok) << c.in;
    if (c.ok) {
      EXPECT_EQ(out, c.out) << c.in;
    }
  }
}

}  // namespace
