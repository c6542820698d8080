// Message boxes and resource strings: what each box function hands to the sink (text, caption,
// style, owner, language), which boxes are logged, the tray menu switched off while a box is up,
// outside texts shown literally, strings from the US and a translated library, the missing-string
// box, the default button answered when nobody is there, and the program's exception type.
#include "app/messages.h"

#include <gtest/gtest.h>

#include "app/customizer_exception.h"
#include "app/lingrove.h"
#include "lang/ids.h"
#include "platform/win32/window.h"
#include "tests/app/app_fixture.h"
#include "tests/support/ui_script.h"
#include "tests/support/test_windows.h"

namespace {

using apptest::AppTest;

class MessagesTest : public AppTest {
 protected:
  ~MessagesTest() override {
    setMessageOwnerSource({});
    setTrayMenuSwitch({});
  }
};

TEST_F(MessagesTest, ShowMessageIsALoggedSystemModalInformationBoxWithTheTrayMenuOff) {
  createLog();
  const HWND owner = reinterpret_cast<HWND>(static_cast<ULONG_PTR>(0x1234));
  setMessageOwnerSource([owner] { return owner; });
  bool trayMenu = true;
  std::vector<bool> menuDuringBoxes;
  setTrayMenuSwitch([&trayMenu](bool enabled) { return std::exchange(trayMenu, enabled); });
  // The popup image window of the user interface would cover the box: it is hidden first.
  kipotest::registerWindowClass(u"KipoTest.ImagePopup");
  HWND image = CreateWindowExW(0, u"KipoTest.ImagePopup", u"KIPO_IMAGE_WINDOW", WS_POPUP | WS_VISIBLE, 0, 0, 50, 50,
                               nullptr, nullptr, nullptr, nullptr);
  ASSERT_TRUE(image);
  std::vector<bool> imageDuringBoxes;
  setMessageBoxSink([&](const MessageBoxRequest& box) {
    boxes.push_back(box);
    menuDuringBoxes.push_back(trayMenu);
    imageDuringBoxes.push_back(IsWindowVisible(image) != FALSE);
    return 1;
  });

  const CString fileName(u"E:\\100%s%n%d.pst");
  showMessage(u"Cannot open %s (%d)", fileName, 5);

  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(utf8(boxes[0].text), "Cannot open E:\\100%s%n%d.pst (5)");
  EXPECT_EQ(boxes[0].caption, CString(u"Kipo"));
  EXPECT_EQ(boxes[0].style, 0x1040u);
  EXPECT_EQ(boxes[0].owner, owner);
  EXPECT_EQ(boxes[0].language, 9);
  EXPECT_EQ(menuDuringBoxes, std::vector<bool>{false});
  EXPECT_TRUE(trayMenu);
  EXPECT_EQ(imageDuringBoxes, std::vector<bool>{false});
  DestroyWindow(image);
  EXPECT_EQ(logBytes(), "Cannot open E:\\100%s%n%d.pst (5)<br>");
}

TEST_F(MessagesTest, ALongMessageIsShownAndLoggedCutAt4096Characters) {
  createLog();
  showMessage(u"%s!", CString(u'm', 4100));
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].text, CString(u'm', 4096));
  EXPECT_EQ(logBytes(), std::string(4096, 'm') + "<br>");
}

TEST_F(MessagesTest, StringsComeFromTheLoadedLibraryAndByIdBoxesAreLogged) {
  installLanguages({"USA", "FRA"});
  createLog();
  {
    Lingrove usa(CString(u"USA"), TRUE);
    EXPECT_EQ(loadResString(IDS_XMB_YES_TO_ALL), CString(u"Yes to &All"));
    showMessageById(IDS_LOG_STARTED);
  }
  Lingrove french(CString(u"FRA"), TRUE);
  EXPECT_EQ(utf8(loadResString(IDS_XMB_CANCEL)), "Annuler");
  showMessageById(IDS_XMB_DONT_ASK_AGAIN, u"%s unused");
  ASSERT_EQ(boxes.size(), 2u);
  EXPECT_EQ(boxes[0].text, CString(u"Kipo Started: "));
  EXPECT_EQ(utf8(boxes[1].text), "Ne plus me demander");
  EXPECT_EQ(logBytes(), "Kipo Started: <br>Ne plus me demander<br>");
}

TEST_F(MessagesTest, AMissingStringShowsOneStopBoxAndGivesAnEmptyText) {
  createLog();
  EXPECT_EQ(loadResString(12345), CString());  // no library: the literal fallback
  installLanguages({"FRA"});
  Lingrove french(CString(u"FRA"), FALSE);
  ASSERT_EQ(french.loaded, 1u);
  boxes.clear();
  EXPECT_EQ(loadResString(12346), CString());  // the library's own fallback message

  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(utf8(boxes[0].text), "Impossible de charger la cha\xC3\xAEne de ressource: 12346");
  EXPECT_EQ(boxes[0].style, 16u);
  EXPECT_EQ(boxes[0].caption, CString(u"Kipo"));
  EXPECT_EQ(logBytes(), "Unable to load resource string: 12345<br>"
                        "Impossible de charger la cha\xC3\xAEne de ressource: 12346<br>");
}

TEST_F(MessagesTest, QuestionsAreAnsweredThroughTheSinkAndNotLogged) {
  installLanguages({"USA"});
  Lingrove usa(CString(u"USA"), TRUE);
  createLog();
  answers = {6, 7};
  EXPECT_TRUE(askYesNoById(IDS_XMB_CONTINUE));
  EXPECT_FALSE(askYesNoById(IDS_XMB_CONTINUE));
  ASSERT_EQ(boxes.size(), 2u);
  EXPECT_EQ(boxes[0].text, CString(u"&Continue"));
  EXPECT_EQ(boxes[0].style, 0x1024u);  // Yes/No, question icon, system-modal
  EXPECT_EQ(boxes[0].owner, nullptr);
  EXPECT_EQ(boxes[0].caption, CString(u"Kipo"));
  EXPECT_EQ(logBytes(), "");
}

TEST_F(MessagesTest, DefaultButtonsAndTheRealBoxWithoutASink) {
  struct {
    UINT style;
    int answer;
  } cases[] = {
      {MB_OK, 1},
      {MB_OKCANCEL | MB_DEFBUTTON2, 2},
      {MB_ABORTRETRYIGNORE | MB_DEFBUTTON2, 4},
      {MB_YESNOCANCEL | MB_DEFBUTTON3 | MB_ICONQUESTION, 2},
      {MB_YESNO, 6},
      {MB_YESNO | MB_DEFBUTTON2 | MB_SYSTEMMODAL, 7},
      {MB_YESNO | MB_DEFBUTTON4, 6},  // beyond the buttons: the first
      {MB_RETRYCANCEL, 4},
      {MB_CANCELTRYCONTINUE | MB_DEFBUTTON3, 11},
  };
  for (const auto& c : cases) EXPECT_EQ(defaultButtonOf(c.style), c.answer) << std::hex << c.style;
  // Without a sink the box is a real one, answered here by the UI driver.
  setMessageBoxSink({});
  kipotest::UiScript ui;
  ui.box(u"^q$").answer(IDYES);
  EXPECT_EQ(showMessageBox(nullptr, CString(u"q"), CString(u"Kipo"), MB_YESNO | MB_DEFBUTTON2), IDYES);
  ASSERT_EQ(ui.boxes().size(), 1u);
  EXPECT_EQ(ui.boxes()[0].caption, u"Kipo");
  EXPECT_EQ(ui.boxes()[0].style, static_cast<UINT>(MB_YESNO | MB_DEFBUTTON2));
}

TEST_F(MessagesTest, CustomizerExceptionCarriesItsTextThroughAHeapThrow) {
  installLanguages({"USA", "FRA"});
  Lingrove french(CString(u"FRA"), TRUE);
  const CString outside(u"Unable to open %s%n");
  for (CCustomizerException* thrown : {new CCustomizerException(outside), new CCustomizerException(IDS_XMB_NO_TO_ALL)}) {
    try {
      throw thrown;
    } catch (CException* e) {
      ASSERT_TRUE(e->IsKindOf(RUNTIME_CLASS(CCustomizerException)));
      auto* ce = static_cast<CCustomizerException*>(e);
      char16_t buffer[64] = {};
      EXPECT_TRUE(e->GetErrorMessage(buffer, 64));
      EXPECT_EQ(CString(buffer), ce->getMessage());
      showMessageText(ce->getMessage());
      e->Delete();
    }
  }
  ASSERT_EQ(boxes.size(), 2u);
  EXPECT_EQ(boxes[0].text, outside);
  EXPECT_EQ(utf8(boxes[1].text), "Non pour t&out");
}

}  // namespace
