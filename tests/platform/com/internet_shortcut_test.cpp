// The Internet shortcut object: the URL rules of SetURL and GetURL, and InvokeCommand opening the
// URL through the shell (recorded by the host) or failing as the shell does.
#include <gtest/gtest.h>

#include "platform/base/text.h"
#include "platform/com/controls.h"
#include "platform/com/runtime.h"
#include "platform/host/process_table.h"
#include "tests/support/test_host.h"

namespace {

class InternetShortcutTest : public ::testing::Test {
 protected:
  InternetShortcutTest() {
    CoInitialize(nullptr);
    EXPECT_EQ(CoCreateInstance(CLSID_InternetShortcut, nullptr, CLSCTX_INPROC_SERVER, IID_IUniformResourceLocatorW,
                               url_.putVoid()),
              S_OK);
  }
  ~InternetShortcutTest() override {
    url_.reset();
    CoUninitialize();
  }
  std::u16string get() {
    LPWSTR text = reinterpret_cast<LPWSTR>(0xdeadbeef);
    const HRESULT hr = url_->GetURL(&text);
    if (hr == S_FALSE) return text ? u"<not null>" : u"<none>";
    std::u16string s = text ? text : u"<null>";
    CoTaskMemFree(text);
    return s;
  }
  kipotest::TestHost host_;
  platform::com::Ptr<IUniformResourceLocatorW> url_;
};

TEST_F(InternetShortcutTest, SetUrlWantsASchemeUnlessAFlagLetsHttpBeGuessed) {
  EXPECT_EQ(get(), u"<none>") << "a new object has no URL";
  struct Case {
    const char16_t* given;
    DWORD flags;
    HRESULT hr;
    const char16_t* kept;
  };
  const Case cases[] = {
      {u"http://www.example.com/a%20b", 0, S_OK, u"http://www.example.com/a%20b"},
      {u"  mailto:someone@example.com ", 0, S_OK, u"mailto:someone@example.com"},
      {u"www.example.com", 0, URL_E_INVALID_SYNTAX, u"mailto:someone@example.com"},  // left as it was
      {u"C:\\x.html", 0, URL_E_INVALID_SYNTAX, u"mailto:someone@example.com"},        // a drive is no scheme
      {u"www.example.com", IURL_SETURL_FL_GUESS_PROTOCOL, S_OK, u"http://www.example.com"},
      {u"example.org", IURL_SETURL_FL_USE_DEFAULT_PROTOCOL, S_OK, u"http://example.org"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(url_->SetURL(c.given, c.flags), c.hr) << platform::text::toUtf8(c.given);
    EXPECT_EQ(get(), c.kept) << platform::text::toUtf8(c.given);
  }
  EXPECT_EQ(url_->SetURL(nullptr, 0), S_OK);
  EXPECT_EQ(get(), u"<none>");
}

TEST_F(InternetShortcutTest, InvokeCommandOpensTheUrlThroughTheShell) {
  URLINVOKECOMMANDINFOW info{sizeof info, IURL_INVOKECOMMAND_FL_USE_DEFAULT_VERB, nullptr, nullptr};
  EXPECT_EQ(url_->InvokeCommand(&info), E_INVALIDARG) << "no URL yet";
  ASSERT_EQ(url_->SetURL(u"https://www.example.com/kipo", 0), S_OK);
  URLINVOKECOMMANDINFOW small{sizeof small - 1, 0, nullptr, u"open"};
  EXPECT_EQ(url_->InvokeCommand(&small), E_INVALIDARG);
  EXPECT_EQ(url_->InvokeCommand(&info), S_OK);
  auto opens = platform::host::shellOpens();
  ASSERT_EQ(opens.size(), 1u);
  EXPECT_EQ(opens[0].target, u"https://www.example.com/kipo");
  EXPECT_EQ(opens[0].verb, u"open");
  EXPECT_EQ(opens[0].kind, "url");

  ASSERT_EQ(url_->SetURL(u"kipo-nothing:x", 0), S_OK);
  EXPECT_EQ(url_->InvokeCommand(&info), URL_E_UNREGISTERED_PROTOCOL);
  EXPECT_EQ(platform::host::shellOpens().size(), 1u) << "nothing more was opened";
}

}  // namespace
