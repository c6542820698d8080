// Special-folder names asked from Outlook's automation object once per process, the language
// library's names without Outlook, and the MAPI layer's exception text.
#include <memory>

#include "app/lingrove.h"
#include "lang/ids.h"
#include "outlook/mapi_loader.h"
#include "outlook/outlook_names.h"
#include "platform/com/com.h"
#include "platform/com/outlook_application.h"
#include "platform/host/host.h"
#include "tests/outlook/mapi_layer_fixture.h"

namespace {

class OutlookNamesTest : public mapilayertest::MapiLayerTest {
 protected:
  OutlookNamesTest() {
    installLanguages({"USA", "FRA"});
    language = std::make_unique<Lingrove>(CString(u"USA"), TRUE);
    EXPECT_EQ(CoInitialize(nullptr), S_OK);
  }
  ~OutlookNamesTest() override { CoUninitialize(); }
  std::size_t count(const std::string& text) const {
    std::size_t n = 0;
    const std::string log = logBytes();
    for (std::size_t at = log.find(text); at != std::string::npos; at = log.find(text, at + 1)) ++n;
    return n;
  }
  std::unique_ptr<Lingrove> language;
};

TEST_F(OutlookNamesTest, OutlookNamesItsFoldersInItsOwnLanguageAndIsQuitWhenStartedForThat) {
  ASSERT_NO_FATAL_FAILURE(setOutlook());
  platform::host::Host::current().setFact("user_locale", "040C");
  EXPECT_EQ(LoadResStringOutlook(IDS_OUTLOOK_CALENDAR), u"Calendrier");
  EXPECT_EQ(platform::com::outlookAutomationLog(), std::vector<std::u16string>{u"Quit"});
  // The rest come from the names read then: Outlook is not asked again.
  EXPECT_EQ(LoadResStringOutlook(IDS_OUTLOOK_INBOX), u"Bo\u00EEte de r\u00E9ception");
  EXPECT_EQ(LoadResStringOutlook(IDS_OUTLOOK_SENT_ITEMS), u"\u00C9l\u00E9ments envoy\u00E9s");
  EXPECT_EQ(platform::com::outlookAutomationLog().size(), 1u);
  // An id that is no special folder: the language library's string, logged.
  EXPECT_EQ(LoadResStringOutlook(IDS_MAPI_EXCEPTION), u"A MAPI exception occurred.");
  EXPECT_EQ(count("{LoadResStringOutlook: failed}"), 1u);
}

TEST_F(OutlookNamesTest, WithoutOutlookTheLibrarysNamesAreKeptAndTheFailureLoggedOnce) {
  EXPECT_EQ(LoadResStringOutlook(IDS_OUTLOOK_INBOX), u"Inbox");
  EXPECT_EQ(LoadResStringOutlook(IDS_OUTLOOK_TASKS), u"Tasks");
  EXPECT_EQ(LoadResStringOutlook(IDS_OUTLOOK_NOTES), u"Notes");
  EXPECT_EQ(count("{CreateInstance(Outlook.Application): failed} Outlook does not exist"), 1u);
  EXPECT_EQ(count("{LoadResStringOutlook: failed}"), 0u);
}

TEST_F(OutlookNamesTest, TheMapiExceptionAlwaysSaysString665) {
  language = std::make_unique<Lingrove>(CString(u"FRA"), TRUE);
  CMapiException started(CMapiException::kNotStarted);
  CMapiException notInitialized(CMapiException::kNotInitialized, MAPI_E_NOT_INITIALIZED);
  EXPECT_EQ(started.getHresult(), 0);
  EXPECT_EQ(notInitialized.getHresult(), MAPI_E_NOT_INITIALIZED);
  EXPECT_EQ(started.getMessage(), u"Exception Mapi s'est produit.");
  EXPECT_EQ(notInitialized.getMessage(), started.getMessage());
}

}  // namespace
