// One synchronized Outlook folder's settings (outlook_folder_sync_pref.h).
#include "outlook/outlook_folder_sync_pref.h"

bool COutlookFolderSyncPref::operator==(const COutlookFolderSyncPref& other) const {
  return itemPath.CompareNoCase(other.itemPath) == 0 && limitAttachmentSize == other.limitAttachmentSize &&
         maxAttachmentSizeKb == other.maxAttachmentSizeKb && recursive == other.recursive &&
         synchronize == other.synchronize && includeRecentItems == other.includeRecentItems &&
         daysOld == other.daysOld && conflictResolution == other.conflictResolution;
}
