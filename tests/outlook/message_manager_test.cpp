// The message manager on stores made by `kipo-host mapi make`: the copy from one store's receive
// folder to another's leaves exactly the source's hidden message there (several old ones go, a
// source without one still clears the target, an undeletable one stops the clearing after 100
// attempts), and stamping it with a profile needs the profile section's "0102300b" value.
#include "outlook/message_manager.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/registry.h"
#include "outlook/mapi_internal.h"
#include "outlook/mapi_loader.h"
#include "outlook/mapi_util.h"
#include "outlook/outlook_install.h"
#include "outlook/outlook_item.h"
#include "tests/outlook/outlook_snapin_fixture.h"
#include "tests/support/faults.h"

namespace {

using outlooktest::OutlookSnapinTest;

constexpr const char* kOld = "associated IPM.MessageManager Outlook 10 Message Manager (Old)\n";
constexpr const char* kView = "associated IPM.Microsoft.FolderDesign.NamedView Settings\n";
constexpr const char* kSource = "associated IPM.MessageManager Outlook 10 Message Manager (Home)\n";

class MessageManagerTest : public OutlookSnapinTest {
 protected:
  void SetUp() override { setOutlook("2003"); }
  void TearDown() override {
    sourceStore.reset();
    targetStore.reset();
    sessions.clear();
    if (util) util->uninitializeMapi();
  }

  // Profiles "Source" and "Target" over stores with these Inbox entries, both opened.
  void open(const std::string& sourceInbox, const std::string& targetInbox) {
    makeStore("C:\\source.pst", "folder Inbox\n" + sourceInbox);
    makeStore("C:\\target.pst", "folder Inbox\n" + targetInbox);
    addProfile("Source", "C:\\source.pst", true);
    addProfile("Target", "C:\\target.pst");
    makeDocument<>();
    util = getMapiUtil();
    ASSERT_TRUE(util->initializeMapi());
    sourceStore = openStore(u"Source");
    targetStore = openStore(u"Target");
    ASSERT_TRUE(sourceStore && targetStore);
  }
  CMapiUtil::Store openStore(const char16_t* profile) {
    sessions.emplace_back();
    EXPECT_TRUE(SUCCEEDED(util->logon(sessions.back(), CString(profile))));
    CMapiUtil::Store store;
    util->openDefaultMessageStore(store, sessions.back().get());
    return store;
  }
  // The hidden messages of a store file as `mapi dump` shows them, in order.
  std::vector<std::string> hidden(const char* file) {
    std::vector<std::string> lines;
    const std::string out = toolOut({"mapi", "dump", file});
    for (std::size_t at = 0; at < out.size();) {
      std::size_t end = out.find('\n', at);
      std::string line = out.substr(at, end - at);
      at = end + 1;
      if (line.find("IPM.MessageManager") != std::string::npos) lines.push_back(line.substr(line.find("Outlook")));
    }
    return lines;
  }
  bool views(const char* file) { return toolOut({"mapi", "dump", file}).find("NamedView") != std::string::npos; }

  CMapiUtil* util = nullptr;
  std::vector<CMapiUtil::Session> sessions;
  CMapiUtil::Store sourceStore;
  CMapiUtil::Store targetStore;
};

// The target's old copies all go and the source's one arrives; other associated messages stay.
TEST_F(MessageManagerTest, TheTargetEndsWithExactlyTheSourcesMessage) {
  ASSERT_NO_FATAL_FAILURE(open(kSource, std::string(kOld) + kView + kOld + kOld));
  CMessageManager manager;
  EXPECT_TRUE(manager.synchronize(sourceStore.get(), targetStore.get()));
  EXPECT_EQ(hidden("C:\\target.pst"), std::vector<std::string>{"Outlook 10 Message Manager (Home)"});
  EXPECT_TRUE(views("C:\\target.pst"));
  EXPECT_EQ(hidden("C:\\source.pst"), std::vector<std::string>{"Outlook 10 Message Manager (Home)"});
}

// Nothing to copy still clears the target, and is no failure.
TEST_F(MessageManagerTest, ASourceWithoutOneStillClearsTheTarget) {
  ASSERT_NO_FATAL_FAILURE(open(kView, std::string(kOld) + kOld));
  CMessageManager manager;
  std::unique_ptr<COutlookItem> item;
  EXPECT_FALSE(manager.getMessageManager(sourceStore.get(), item)) << "a view is not the message manager";
  EXPECT_TRUE(manager.copyMessageManager(sourceStore.get(), targetStore.get()));
  EXPECT_TRUE(hidden("C:\\target.pst").empty());
}

// A hidden message that cannot be deleted is tried 100 times, then left; the copy still happens.
TEST_F(MessageManagerTest, AnUndeletableOldCopyStopsTheClearingButNotTheCopy) {
  ASSERT_NO_FATAL_FAILURE(open(kSource, kOld));
  kipotest::failCall("IMAPIFolder::DeleteMessages", static_cast<DWORD>(MAPI_E_NO_ACCESS));
  CMessageManager manager;
  EXPECT_TRUE(manager.copyMessageManager(sourceStore.get(), targetStore.get()));
  platform::fault::clearLocal();
  EXPECT_TRUE(logHas("{MessageManager}: Quit trying to delete target message manager."));
  int failures = 0;
  for (const std::string& line : linesSince(0)) failures += line == "{MessageManager}: Failed to delete target message manager.";
  EXPECT_EQ(failures, kMessageManagerDeleteAttempts);
  EXPECT_EQ(hidden("C:\\target.pst"),
            (std::vector<std::string>{"Outlook 10 Message Manager (Old)", "Outlook 10 Message Manager (Home)"}));
}

// Stamping needs the profile section's "0102300b" value (the profile's search key): without it
// nothing changes; with it the subject names the profile and the conversation key holds its bytes.
TEST_F(MessageManagerTest, PersonalizeStampsTheMessageWithTheProfilesSection) {
  ASSERT_NO_FATAL_FAILURE(open(kSource, ""));
  CMessageManager manager;
  const CString section = getOutlookProfilesRegkey() + u"\\Source\\" + kMessageManagerSection;
  // The profile's own section holds the value from the profile's creation on.
  CRegistry own(section, false, true);
  ASSERT_TRUE(own.isOpen());
  ASSERT_TRUE(own.deleteValue(kMessageManagerSearchKeyValue));
  EXPECT_FALSE(manager.personalize(sourceStore.get(), CString(u"Source")));
  EXPECT_FALSE(manager.personalize(sourceStore.get(), CString(u"Nobody")));
  EXPECT_FALSE(CRegistry(getOutlookProfilesRegkey() + u"\\Nobody").isOpen()) << "no key is made just to be read";
  EXPECT_EQ(hidden("C:\\source.pst"), std::vector<std::string>{"Outlook 10 Message Manager (Home)"});

  const BYTE key[] = {0x01, 0x02, 0xFE, 0x00, 0x7F};
  ASSERT_TRUE(CRegistry(section, true, true).setBinary(kMessageManagerSearchKeyValue, key, sizeof key));
  EXPECT_TRUE(manager.personalize(sourceStore.get(), CString(u"Source")));
  EXPECT_EQ(hidden("C:\\source.pst"), std::vector<std::string>{"Outlook 10 Message Manager (Source)"});

  std::unique_ptr<COutlookItem> item;
  ASSERT_TRUE(manager.getMessageManager(sourceStore.get(), item));
  platform::com::Ptr<IUnknown> object;
  ASSERT_TRUE(SUCCEEDED(util->OpenEntry(sourceStore.get(), item->entryId, object)));
  platform::com::Ptr<IMAPIProp> message;
  ASSERT_TRUE(SUCCEEDED(object.as(message)));
  LPSPropValue value = nullptr;
  ASSERT_TRUE(SUCCEEDED(getMapiLoader()->HrGetOneProp(message.get(), 0x000B0102, &value)));
  EXPECT_EQ(std::vector<BYTE>(value->Value.bin.lpb, value->Value.bin.lpb + value->Value.bin.cb),
            std::vector<BYTE>(key, key + sizeof key));
  getMapiLoader()->MAPIFreeBuffer(value);
}

}  // namespace
