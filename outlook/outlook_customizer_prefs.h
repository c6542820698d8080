// The Outlook snap-in's preferences for one synchronized computer: the "synchronize" flag every
// snap-in has and the Outlook folders a synchronization run carries, one COutlookFolderSyncPref
// per folder. The default records come from the customization file (a special folder it does not
// list is not synchronized by default).
//
// Stored in the device pref store under "Synchronized Computers\<profile key>\Outlook":
// "numOutlookSyncPrefs" (REG_DWORD) and one subkey "OutlookSyncPref<i>" per record with
// "itemPath", "folderId" (REG_SZ), "recursive", "synchronize", "includeRecentItems" ("true" /
// "false"), "daysOld" (REG_DWORD), "limitAttachmentSize" ("true"/"false"), "maxAttachmentSizeKb"
// and "conflictResolution" (REG_DWORD).
#pragma once

#include <vector>

#include "outlook/outlook_folder_sync_pref.h"
#include "platform/base/types.h"
#include "snapins/customizer.h"

class CU3CustomConfig;

class COutlookCustomizerPrefs : public CCustomizerPrefs {
 public:
  // The customization whose default synchronization settings make the default records; none (the
  // default) leaves the default list empty. Objects made afterwards see it.
  static void setCustomization(const CU3CustomConfig* config);

  // The default records of the special folders the customization lists; no records yet.
  COutlookCustomizerPrefs();
  ~COutlookCustomizerPrefs() override;
  COutlookCustomizerPrefs(const COutlookCustomizerPrefs& other);
  COutlookCustomizerPrefs& operator=(const COutlookCustomizerPrefs& other);

  // Synchronize on, and the records equal to the defaults in number and order.
  bool isDefault() const override;
  // Synchronize on, and copies of the default records.
  void setDefaults() override;
  // Missing count: the defaults. A value that cannot be read keeps its default and makes the
  // result false; the records that can be read are all kept.
  bool read(CSystemProfile* profile, CCustomizer* customizer) override;
  // Every value is tried; false when any failed.
  bool write(CSystemProfile* profile, CCustomizer* customizer) override;

  // The Inbox record's synchronize flag and, unless flagOnly, its day window (days of -1: all
  // items). Without an Inbox record, enabling appends one (from the Inbox default when there is
  // one); disabling changes nothing.
  bool setInboxSync(bool enable, DWORD days, bool flagOnly);

  // The records were read from the store or set to the defaults: an empty list then means the
  // user carries no folders, not that nothing is known yet.
  bool isLoaded() const { return m_loaded; }

  COutlookFolderSyncPrefList& records() { return m_folderPrefs; }
  const COutlookFolderSyncPrefList& records() const { return m_folderPrefs; }
  const std::vector<COutlookFolderSyncPref>& defaultRecords() const { return m_defaultFolderPrefs; }

 private:
  COutlookFolderSyncPrefList m_folderPrefs;
  std::vector<COutlookFolderSyncPref> m_defaultFolderPrefs;
  bool m_loaded = false;
};
