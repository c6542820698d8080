// What the Outlook snap-ins' tests share: the snap-in host (drive E:, this computer "ALPHA" as the
// login computer) with Outlook placed by `kipo-host outlook set`, host profiles and stores made by
// `kipo-host mapi`, and a document holding the Outlook snap-in the others look for by name.
#pragma once

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "app/customizer_doc.h"
#include "outlook/outlook_customizer_base.h"
#include "outlook/outlook_profile_manager.h"
#include "snapins/factory_context.h"
#include "tests/snapins/snapin_fixture.h"
#include "tests/support/test_host.h"

namespace outlooktest {

// The Outlook snap-in's shared part with a source state a test can set.
class TestOutlook : public COutlookCustomizerBase {
 public:
  int getSourceState() override { return sourceState; }
  int sourceState = kSourceCarry;
};

class OutlookSnapinTest : public snapintest::SnapinTest {
 protected:
  OutlookSnapinTest() { self()->setLoginComputer(true); }
  ~OutlookSnapinTest() override {
    // The document's snap-ins go before the fixture's host.
    doc.reset();
  }

  static void tool(const std::vector<std::string>& args) {
    std::string err;
    ASSERT_EQ(kipotest::runTool(args, nullptr, &err), 0) << err;
  }
  static std::string toolOut(const std::vector<std::string>& args) {
    std::string out;
    kipotest::runTool(args, &out);
    return out;
  }
  static void setOutlook(const char* version, bool internetMailOnly = false) {
    std::vector<std::string> args = {"outlook", "set", "--version", version};
    if (internetMailOnly) args.push_back("--internet-mail-only");
    tool(args);
  }
  // Host profile NAME over the file PATH.
  static void addProfile(const char* name, const char* pst, bool isDefault = false) {
    std::vector<std::string> args = {"mapi", "profile", "add", name, "--pst", pst};
    if (isDefault) args.push_back("--default");
    tool(args);
  }
  // The profile names, one a line, the default one marked as the tool marks it.
  static std::string profiles() { return toolOut({"mapi", "profiles"}); }
  static std::string services(const char* profile) { return toolOut({"mapi", "services", profile}); }

  // A store file at the Windows path, built from the lines of `mapi make`.
  void makeStore(const std::string& windowsPath, const std::string& description) {
    const std::filesystem::path text = host.c("store.txt");
    writeBytes(text, description);
    tool({"mapi", "make", windowsPath, "--from", text.string()});
  }

  // The drive file of this computer, made with an Inbox.
  CString devicePst() { return COutlookProfileManager::getDevicePstPath(self()); }
  void makeDevicePst() {
    std::filesystem::create_directories(drive / "Synchronized Computers" / "ALPHA" / "Outlook");
    makeStore(utf8(devicePst()), "folder Inbox\nitem IPM.Note Hello\n");
  }

  // A document whose snap-in "Outlook" is a TestOutlook, made first; `more` are made after it as
  // the factory would make them.
  template <class... More>
  void makeDocument() {
    doc = std::make_unique<CCustomizerDoc>();
    const CFactoryDocumentScope scope(doc.get());
    auto made = std::make_unique<TestOutlook>();
    outlook = made.get();
    doc->addCustomizer(std::move(made));
    (doc->addCustomizer(std::make_unique<More>()), ...);
  }
  // The same document without an Outlook snap-in.
  template <class... More>
  void makeDocumentWithoutOutlook() {
    doc = std::make_unique<CCustomizerDoc>();
    const CFactoryDocumentScope scope(doc.get());
    outlook = nullptr;
    (doc->addCustomizer(std::make_unique<More>()), ...);
  }
  template <class T>
  T* snapin(const char16_t* name) {
    return dynamic_cast<T*>(doc->findCustomizer(CString(name)));
  }

  std::unique_ptr<CCustomizerDoc> doc;
  TestOutlook* outlook = nullptr;
};

}  // namespace outlooktest
