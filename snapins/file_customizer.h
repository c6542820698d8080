// The file snap-in "Files": carries the user's desktop, My Documents, Favorites and any further
// folders or files the user chose (its preference records, file_customizer_prefs.h), keeps them in
// step between host and drive through one file synchronizer, and swaps the host's Explorer
// settings that go with them while the user is logged in: the Favorites location and menu order,
// the show-hidden-files setting and the desktop icon positions. The desktop and My Documents are
// shown from the drive by two folder snap-ins (folder_customizer.h) that it owns.
//
// Host values parked while personalized, under localPrefs: "Favorites" (the host's Favorites
// path), the key "FavoritesMenuOrder" (Explorer's MenuOrder\Favorites) and "hidden" (Explorer's
// show-hidden setting); the crash recovery reads them too.
#pragma once

#include <map>
#include <memory>
#include <vector>

#include "platform/afx/cstring.h"
#include "platform/base/types.h"
#include "snapins/customizer.h"
#include "snapins/desktop_icons.h"
#include "snapins/file_customizer_prefs.h"
#include "snapins/file_synchronizer.h"
#include "snapins/folder_customizer.h"

class CSpaceMan;

inline constexpr const char16_t* kFileCustomizerName = u"Files";

class CFileCustomizer : public CCustomizer {
 public:
  // Registers the synchronizer with the document's run coordinator (found through the
  // application's document templates).
  CFileCustomizer();
  // Registers with the given coordinator (none: not registered).
  explicit CFileCustomizer(CSpaceMan* spaceMan);
  ~CFileCustomizer() override;

  // ---- passes ----
  bool backup() override;
  bool personalize() override;
  bool depersonalize() override;
  bool restore() override;
  bool leaveNoTrace() override;

  // ---- synchronization ----
  bool preCalculateSyncOps(CSystemProfile* profile) override;
  bool preExecuteSyncOps() override;
  bool postExecuteSyncOps(CSystemProfile* profile, int executionResult) override;
  ULONGLONG getDeviceSpace(CSpaceRecord* record) override;

  // ---- preferences ----
  bool savePrefs(CSystemProfile* profile) override;
  bool loadPrefs(CSystemProfile* profile) override;
  bool loadAllPrefs() override;
  bool saveAllPrefs() override;
  bool hasDefaultPrefs(CSystemProfile* profile) override;
  void setDefaultPrefs(CSystemProfile* profile) override;
  bool removeProfileData(CSystemProfile* profile) override;
  // 2 when both folder snap-ins can carry, localPrefs holds "Favorites" and icon positions are
  // stored; else 0.
  int getSourceState() override;
  CCustomizerPrefs& getPrefs(CSystemProfile* profile) override;

  // The profile's prefs, made with defaults on first use.
  CFileCustomizerPrefs& getFilePrefs(CSystemProfile* profile);

  // ---- the options pages and the synchronize dialog ----
  CFileSyncPrefList& fileSyncPrefs(CSystemProfile* profile);
  // False when the record is not in the list.
  bool removeFileSyncPref(CSystemProfile* profile, const CFileSyncPref* record);
  void setDesktopSync(CSystemProfile* profile, bool synchronize);
  // days 0xFFFFFFFF: no day limit.
  void setDesktopSyncDays(CSystemProfile* profile, bool synchronize, DWORD days);
  void setFavoritesSync(CSystemProfile* profile, bool on);

  // Device locations and exclusions of the profile's records, and the synchronizer's records
  // made from them.
  void prepareRecords(CSystemProfile* profile);

  CFolderCustomizer& desktopFolder() { return *m_desktop; }
  CFolderCustomizer& myDocumentsFolder() { return *m_myDocuments; }
  CFileSynchronizer& synchronizer() { return *m_synchronizer; }
  // The pause before the icon positions are put back (3000 ms; Explorer first shows the host's
  // items again).
  void setIconRestoreDelay(DWORD milliseconds) { m_iconRestoreDelay = milliseconds; }

 private:
  void setUpSynchronizer(CSystemProfile* profile);

  std::unique_ptr<CFolderCustomizer> m_desktop;
  std::unique_ptr<CFolderCustomizer> m_myDocuments;
  bool m_iconsSaved = false;
  CDesktopIconStore m_iconStore;
  std::map<CSystemProfile*, std::unique_ptr<CFileCustomizerPrefs>> m_filePrefs;
  std::unique_ptr<CFileSynchronizer> m_synchronizer;
  // What the synchronizer walks: the records of the profile of the current run.
  std::vector<CFileSyncPrefRecord> m_syncRecords;
  DWORD m_iconRestoreDelay = 3000;
};
