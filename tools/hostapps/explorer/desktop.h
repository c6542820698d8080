// Explorer's desktop icons: the "FolderView" list view filled with the virtual items and one item
// per entry of the user's and All Users' Desktop folders, named as XP names them, and kept up to
// date without ever moving an icon that stays.
//
// An item is known by its parsing name (the full path, or "::{CLSID}"), kept as its item data's
// key, so a refresh removes what went, renames what is now shown otherwise (the extension rule
// changed) and adds what came, each new one in the next free grid cell. An icon that goes and
// comes back while Explorer runs returns to where it was, if nothing took its place meanwhile.
// Explorer reads the folders only; it never creates or deletes anything under them.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "platform/base/types.h"

namespace hostapps::explorer {

class Desktop {
 public:
  // `list` is the desktop's list view, of this process; `workArea` the screen less the taskbar.
  Desktop(HWND list, RECT workArea);
  ~Desktop();
  Desktop(const Desktop&) = delete;
  Desktop& operator=(const Desktop&) = delete;

  // Reads the folders and the naming settings again and brings the list view in line.
  void refresh();

  // The change-notification handles on the Desktop folders (none for a folder that is missing),
  // for the message loop to wait on; `changed` is called with the one that was signalled.
  const std::vector<HANDLE>& watches() const { return watches_; }
  void changed(HANDLE watch);

  // Looks at what programs told the shell since the last look; refreshes when a notification
  // names a Desktop folder or an item in one, or the file associations changed.
  void checkShellChanges();

 private:
  struct Entry {
    std::u16string key;   // parsing name
    std::u16string name;  // what the icon shows
  };
  std::vector<Entry> entries() const;
  void watchFolders();
  void closeWatches();
  bool concernsDesktop(const std::u16string& item) const;

  HWND list_;
  std::vector<std::u16string> folders_;  // the Desktop folders as last read
  std::vector<HANDLE> watches_;
  std::map<LPARAM, std::u16string> keys_;       // item data -> key
  std::map<std::u16string, POINT> lastPlace_;   // upper-cased key -> where a removed icon stood
  LPARAM nextParam_ = 1;
  std::int64_t lastChange_ = 0;
};

}  // namespace hostapps::explorer
