// The MAPI loader: which library the host's install names, the current directory around the load,
// a library lacking an entry point, and the singletons' lifetime.
#include <filesystem>

#include "app/registry.h"
#include "outlook/outlook_install.h"
#include "tests/outlook/mapi_layer_fixture.h"

namespace {

using mapilayertest::MapiLayerTest;
namespace fs = std::filesystem;

std::u16string currentDirectory() {
  char16_t buffer[MAX_PATH] = {};
  GetCurrentDirectoryW(MAX_PATH, buffer);
  return buffer;
}

std::u16string loadedFile(const char16_t* name) {
  HMODULE module = GetModuleHandleW(name);
  if (!module) return u"<not loaded>";
  char16_t buffer[MAX_PATH] = {};
  GetModuleFileNameW(module, buffer, MAX_PATH);
  return buffer;
}

struct InstallCase {
  const char* name;
  std::vector<std::string> outlookSet;  // empty: no Outlook on the host
  const char16_t* component;             // what the component installer names ("" for nothing)
  const char16_t* loadedName;            // the module the loader holds
  const char16_t* loadedPath;
  bool loaded;
};

TEST_F(MapiLayerTest, TheLoaderTakesTheComponentPathElseTheMailClientsDllPathExFromItsOwnFolder) {
  const InstallCase cases[] = {
      {"Office install", {"--version", "2003"}, u"msmapi32.dll", u"MSMAPI32.DLL", nullptr, true},
      {"Internet mail only", {"--version", "2000", "--internet-mail-only"}, u"", u"mapi32.dll",
       u"C:\\WINDOWS\\system32\\mapi32.dll", true},
      {"no Outlook", {}, u"", u"mapi32.dll", u"<not loaded>", false},
  };
  for (const InstallCase& c : cases) {
    SCOPED_TRACE(c.name);
    kipotest::TestHost caseHost;
    if (!c.outlookSet.empty()) {
      std::vector<std::string> args{"outlook", "set"};
      args.insert(args.end(), c.outlookSet.begin(), c.outlookSet.end());
      ASSERT_NO_FATAL_FAILURE(tool(args));
    }
    CString component = getMapiInstallationPath();
    component.MakeLower();
    if (*c.component)
      EXPECT_GE(component.Find(c.component), 0) << utf8(component);
    else
      EXPECT_TRUE(component.IsEmpty()) << utf8(component);

    ASSERT_TRUE(SetCurrentDirectoryW(u"C:\\Program Files"));
    createMapiLoader();
    ASSERT_NE(getMapiLoader(), nullptr);
    EXPECT_EQ(getMapiLoader()->isLoaded(), c.loaded);
    // The library's folder was current only for the load.
    EXPECT_EQ(currentDirectory(), u"C:\\Program Files");
    const std::u16string file = loadedFile(c.loadedName);
    if (c.loadedPath)
      EXPECT_EQ(file, c.loadedPath);
    else
      EXPECT_NE(file.find(u"\\MSMAPI\\"), std::u16string::npos) << platform::text::toUtf8(file);
    createMapiUtil();
    EXPECT_EQ(getMapiUtil()->isMsmapi32Installed(), *c.component != 0);
    stop();
    EXPECT_EQ(GetModuleHandleW(c.loadedName), nullptr);
  }
}

TEST_F(MapiLayerTest, ALibraryLackingOneEntryPointIsDiscardedAndEveryLaterCallFailsQuietly) {
  // Only under its undecorated name, which the loader does not take.
  fs::create_directories(host.c("Program Files/Partial"));
  fs::copy_file(KIPO_PARTIAL_MAPI, host.c("Program Files/Partial/mapi32.dll"));
  CRegistry client;
  ASSERT_TRUE(client.open(CString(u"HKEY_LOCAL_MACHINE\\SOFTWARE\\Clients\\Mail\\Microsoft Outlook"), true, true));
  ASSERT_TRUE(client.setString(u"DllPathEx", CString(u"C:\\Program Files\\Partial\\mapi32.dll")));

  ASSERT_TRUE(SetCurrentDirectoryW(u"C:\\"));
  createMapiLoader();
  CMAPILoader* first = getMapiLoader();
  ASSERT_NE(first, nullptr);
  // Found in its own folder (there is no system MAPI on this host), and held until destroyed.
  EXPECT_EQ(loadedFile(u"mapi32.dll"), u"C:\\Program Files\\Partial\\mapi32.dll");
  EXPECT_FALSE(first->isLoaded());
  EXPECT_EQ(currentDirectory(), u"C:\\");
  createMapiLoader();
  EXPECT_EQ(getMapiLoader(), first);

  CMapiUtil& util = start();
  EXPECT_EQ(getMapiLoader(), nullptr);
  EXPECT_EQ(GetModuleHandleW(u"mapi32.dll"), nullptr);
  EXPECT_FALSE(util.initializeMapi());
  EXPECT_EQ(util.getProfileCount(), -1);
  CMapiUtil::Session session;
  EXPECT_TRUE(FAILED(util.logon(session, CString(u"Outlook"))));
  EXPECT_FALSE(session);
  EXPECT_FALSE(util.createMAPIProfile(CString(u"KipoSync")));
  EXPECT_TRUE(util.uninitializeMapi());
  // Silent: the owner turns the failed start into its own message.
  EXPECT_TRUE(boxes.empty());
  EXPECT_EQ(logBytes().find("Caught"), std::string::npos) << logBytes();
}

TEST_F(MapiLayerTest, DestroyingTheLoaderEmptiesTheLayersReferenceToIt) {
  setOutlook();
  tool({"mapi", "profile", "add", "Outlook", "--pst", "C:\\outlook.pst", "--default"});
  CMapiUtil& util = start();
  ASSERT_TRUE(util.initializeMapi());
  EXPECT_EQ(mapiLoaderReference(), getMapiLoader());
  EXPECT_EQ(util.getProfileCount(), 1);
  EXPECT_TRUE(util.uninitializeMapi());
  destroyMapiLoader();
  destroyMapiLoader();
  EXPECT_EQ(mapiLoaderReference(), nullptr);
  // The library is gone; the functions find no loader instead of calling into it.
  EXPECT_EQ(util.getProfileCount(), -1);
  EXPECT_TRUE(util.uninitializeMapi());
  // A new loader serves again after the next initialisation.
  ASSERT_TRUE(start().initializeMapi());
  EXPECT_EQ(util.getProfileCount(), 1);
  util.uninitializeMapi();
}

}  // namespace
