// What the Outlook page's and the folder selection's tests share: the options fixture on a host
// where `kipo-host outlook set` placed Outlook 2003's MAPI, a default host profile "Outlook" over a
// store made by `kipo-host mapi make`, and the MAPI singletons made as the profile manager makes
// them (the dialog alone takes them from the process).
#pragma once

#include <fstream>
#include <string>
#include <vector>

#include "outlook/mapi_loader.h"
#include "outlook/mapi_util.h"
#include "tests/support/test_host.h"
#include "tests/ui/options_fixture.h"

namespace outlookpagetest {

// The store's folders below the default ones (Inbox, Sent Items, Calendar, ... made with it).
inline constexpr const char* kStoreText =
    "folder Inbox/Projects\n"
    "item IPM.Note Plan\n"
    "folder Inbox/Projects/2026\n"
    "folder Archive\n"
    "folder Archive/Sent Items\n";

class MapiStoreTest : public optionstest::OptionsTest {
 protected:
  MapiStoreTest() {
    tool({"outlook", "set", "--version", "2003"});
    std::ofstream(host.c("store.txt")) << kStoreText;
    tool({"mapi", "make", "C:\\Outlook.pst", "--from", host.c("store.txt").string()});
    tool({"mapi", "profile", "add", "Outlook", "--pst", "C:\\Outlook.pst", "--default"});
  }
  ~MapiStoreTest() override {
    store.reset();
    session.reset();
    if (getMapiUtil() != nullptr) getMapiUtil()->uninitializeMapi();
    destroyMapiLoader();
    destroyMapiUtil();
  }

  static void tool(const std::vector<std::string>& args) {
    std::string err;
    ASSERT_EQ(kipotest::runTool(args, nullptr, &err), 0) << err;
  }

  // MAPI started and the default store of the profile "Outlook" open.
  void openStore() {
    createMapiLoader();
    createMapiUtil();
    CMapiUtil* util = getMapiUtil();
    ASSERT_TRUE(util->initializeMapi());
    ASSERT_EQ(util->logon(session, CString(u"Outlook")), S_OK);
    util->openDefaultMessageStore(store, session.get());
    ASSERT_TRUE(store);
  }

  // The entry id text of the folder at that newline-separated path, as the folder tree reads it.
  CString folderId(const CString& path) {
    CMapiUtil* util = getMapiUtil();
    platform::com::Ptr<IMAPIFolder> top;
    EXPECT_EQ(util->openIpmSubtree(store.get(), top), S_OK);
    std::vector<std::unique_ptr<COutlookFolder>> all;
    EXPECT_TRUE(util->getFolderHierarchyList(store.get(), top.get(), CString(), all));
    for (const auto& folder : all)
      if (folder->folderPath == path) return folder->entryId.getId();
    ADD_FAILURE() << "no folder " << utf8(path);
    return CString();
  }

  CMapiUtil::Session session;
  CMapiUtil::Store store;
};

}  // namespace outlookpagetest
