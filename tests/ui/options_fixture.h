// What the options tests share: a drive with this computer's profile and folder, a document with
// the file snap-in (registered with its coordinator), the program's application object, the
// English library, and an options host that hands out the document and records what the pages ask
// of the program.
#pragma once

#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/customizer_doc.h"
#include "app/preference_file.h"
#include "app/profile_database.h"
#include "app/registry.h"
#include "app/system_profile.h"
#include "platform/com/runtime.h"
#include "platform/afx/afxwin.h"
#include "snapins/file_customizer.h"
#include "tests/snapins/snapin_fixture.h"
#include "ui/login_host.h"
#include "ui/options_host.h"

namespace optionstest {

namespace fs = std::filesystem;

// A document whose factory makes only the file snap-in.
class FilesDoc : public CCustomizerDoc {
 protected:
  void makeCustomizers() override { addCustomizer(std::make_unique<CFileCustomizer>(&getSpaceMan())); }
};

class RecordingOptionsHost : public COptionsHost {
 public:
  RecordingOptionsHost() { setOptionsHost(this); }
  ~RecordingOptionsHost() override { setOptionsHost(nullptr); }
  CCustomizerDoc* document() override { return doc; }
  bool isU3Customization() override { return u3; }
  bool isAutostartEnabled() override { return autostart; }
  int deviceKind() override { return kind; }
  bool isSynchronizeDialogShown() override { return synchronizing; }
  void logout() override {
    ++logouts;
    if (onLogout) onLogout();
  }
  void runComputerSetup(HWND) override {
    ++setups;
    if (onSetup) onSetup();
  }
  int runLargeFolderDialog(CWnd*, const CString& folder) override {
    largeFolders.push_back(folder);
    return largeFolderAnswer;
  }

  CCustomizerDoc* doc = nullptr;
  bool u3 = false;
  bool autostart = false;
  int kind = 10;
  bool synchronizing = false;
  int logouts = 0;
  int setups = 0;
  int largeFolderAnswer = IDCANCEL;
  std::function<void()> onLogout;
  std::function<void()> onSetup;
  std::vector<CString> largeFolders;
};

// Listeners go to the document's switchboard stand-in: none, so they are only counted.
class ListeningLoginHost : public CLoginHost {
 public:
  ListeningLoginHost() { setLoginHost(this); }
  ~ListeningLoginHost() override { setLoginHost(nullptr); }
  bool addListener(CSwitchboardListener*) override { return ++listeners, true; }
  bool removeListener(CSwitchboardListener*) override { return --listeners, true; }
  int listeners = 0;
};

// A box text made from `format`: its literal pieces (between the "%" fields) appear in order.
inline bool madeFrom(const CString& text, const CString& format) {
  int at = 0;
  int start = 0;
  const int length = format.GetLength();
  for (int i = 0; i <= length; ++i) {
    if (i < length && format[i] != u'%') continue;
    const CString piece = format.Mid(start, i - start);
    if (!piece.IsEmpty()) {
      const int found = text.Find(piece.GetString(), at);
      if (found < 0 || (start == 0 && found != 0)) return false;
      at = found + piece.GetLength();
    }
    start = i + 2;  // the field's letter
    ++i;
  }
  return true;
}

class OptionsTest : public snapintest::SnapinTest {
 protected:
  CWinApp application{u"Kipo"};

  OptionsTest() {
    // The page of files registers as a drop target, which needs OLE on the thread.
    OleInitialize(nullptr);
    // The store reads from the registry only while the drive has its pref file.
    fs::create_directories(computersFolder() / "ALPHA");
    writeBytes(computersFolder() / "customizer.pref", "");
    CRegistry(CPreferenceFile::getPrefsRootPath(), true, true);
    doc.createCustomizers();
    doc.getSpaceMan().buildSpaceRecords();
    optionsHost.doc = &doc;
  }
  ~OptionsTest() override {
    doc.deleteCustomizers();
    OleUninitialize();
  }

  CFileCustomizer& files() { return *dynamic_cast<CFileCustomizer*>(doc.findCustomizer(kFileCustomizerName)); }

  // A profile of computer `name` with `nickname`; `listed` gives it its folder on the drive.
  CSystemProfile* addProfile(const char16_t* name, const char16_t* nickname, bool listed = true) {
    auto p = std::make_unique<CSystemProfile>();
    p->m_computerName = name;
    p->m_nickname = nickname;
    CSystemProfile* raw = p.get();
    getProfileDatabase().profiles().push_back(std::move(p));
    if (listed) fs::create_directories(computersFolder() / utf8(raw->getKey()));
    return raw;
  }

  // The boxes shown, as the string ids their texts were made from (0 for other texts).
  std::vector<UINT> boxIds(std::initializer_list<UINT> known) const {
    std::vector<UINT> ids;
    for (const MessageBoxRequest& b : boxes) {
      UINT found = 0;
      for (UINT id : known)
        if (madeFrom(b.text, loadResString(id))) found = id;
      ids.push_back(found);
    }
    return ids;
  }

  FilesDoc doc;
  RecordingOptionsHost optionsHost;
  ListeningLoginHost loginHost;
};

}  // namespace optionstest
