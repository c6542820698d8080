// One Outlook folder that synchronization runs carry between the host and the drive's personal
// folders file, with its size limit, day window, recursion and conflict mode. The Outlook
// snap-in's preferences keep a list of them per computer; the item synchronizer reads them to
// set up each run.
#pragma once

#include <memory>
#include <vector>

#include "platform/afx/cstring.h"
#include "platform/base/types.h"

class COutlookFolderSyncPref {
 public:
  // How an item changed on both sides is resolved.
  static constexpr UINT kKeepBoth = 0;
  static constexpr UINT kSourceWins = 1;
  static constexpr UINT kTargetWins = 2;

  explicit COutlookFolderSyncPref(const CString& path = CString(), const CString& id = CString())
      : itemPath(path), folderId(id) {}

  // The paths equal ignoring case and every setting equal; the folder id is not compared (a
  // default record names its folder by path only).
  bool operator==(const COutlookFolderSyncPref& other) const;
  bool operator!=(const COutlookFolderSyncPref& other) const { return !(*this == other); }

  // The size limit in bytes, in 64 bits (a limit of 4 million kilobytes and more does not wrap).
  ULONGLONG maxAttachmentSizeBytes() const { return static_cast<ULONGLONG>(maxAttachmentSizeKb) * 1024; }

  CString itemPath;  // folder names joined by newlines, or a special folder's localized name
  CString folderId;  // entry id as hex text; empty when the folder is known only by name
  bool limitAttachmentSize = false;
  DWORD maxAttachmentSizeKb = 100;
  bool recursive = true;
  bool synchronize = true;
  bool includeRecentItems = false;
  DWORD daysOld = 30;
  DWORD conflictResolution = kKeepBoth;
};

// A computer's folder records, in stored order; the Outlook snap-in's preferences own them.
using COutlookFolderSyncPrefList = std::vector<std::unique_ptr<COutlookFolderSyncPref>>;
