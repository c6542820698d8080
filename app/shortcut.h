// CShortcut: one shortcut (".lnk") file read and changed through the shell-link object, as the
// file snap-in and the files page look at what a shortcut points to.
#pragma once

#include "platform/afx/cstring.h"
#include "platform/com/persist.h"
#include "platform/com/shelllink.h"

class CShortcut {
 public:
  // What a shortcut's target is (getTargetType).
  enum TargetType { Program = 0, ExistingFile = 1, ExistingFolder = 2, Missing = 3 };

  // Creates the shell link object (in-process) and asks it for its persist-file interface; both
  // stay null when that fails (COM must be initialised on the thread). Nothing is loaded yet.
  explicit CShortcut(const CString& path);
  // Releases the persist-file interface, then the link.
  ~CShortcut();
  CShortcut(const CShortcut&) = delete;
  CShortcut& operator=(const CShortcut&) = delete;

  // The target, resolved once without user interface, update, search, tracking or link info
  // (flags 0x79) and read preferring the UNC name (at most 260 characters); empty when the link
  // cannot be loaded.
  CString getTargetPath();
  // Program when the target's name ends in ".exe", ".bat" or ".com" (before its existence is
  // looked at), else an existing folder, an existing file, or Missing.
  int getTargetType();
  // Set the value on the link and save it to its path; false when the objects are missing or a
  // step fails.
  bool setTargetPath(const CString& target);
  bool setArguments(const CString& arguments);

 private:
  // Loads the link file once (read mode).
  bool load();
  bool save();

  bool m_loaded = false;
  CString m_path;
  IShellLinkW* m_link = nullptr;
  IPersistFile* m_persistFile = nullptr;
  CString m_targetPath;
};
