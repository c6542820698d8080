// The names Outlook gives its default folders, by language: one table, answered by the Outlook
// automation server (a folder's Name) and used by the MAPI stand-in when it makes a new personal
// folders file, so both agree on a host of any language.
#pragma once

#include "platform/base/types.h"

namespace platform::com {

struct OutlookFolderNames {
  const char16_t* topOfFolders;  // the top of the folder tree of a personal folders file
  const char16_t* inbox;
  const char16_t* outbox;
  const char16_t* sentItems;
  const char16_t* deletedItems;
  const char16_t* drafts;
  const char16_t* calendar;
  const char16_t* contacts;
  const char16_t* tasks;
  const char16_t* notes;
  const char16_t* journal;
};

// The names for a language (its primary language id decides; English for any other).
const OutlookFolderNames& outlookFolderNames(LANGID language);
// The names for the host user's language.
const OutlookFolderNames& hostOutlookFolderNames();

}  // namespace platform::com
