// The cookies snap-in (cookies_customizer.h).
#include "snapins/cookies_customizer.h"

#include "app/file_operation.h"
#include "app/file_util.h"
#include "app/folder_lookup.h"
#include "app/log.h"
#include "app/messages.h"
#include "app/profile_database.h"
#include "app/registry.h"
#include "app/system_profile.h"
#include "lang/ids.h"
#include "platform/win32/file.h"
#include "platform/win32/shell.h"
#include "platform/win32/system.h"
#include "snapins/factory_context.h"
#include "snapins/file_tar.h"
#include "snapins/space_man.h"

namespace {

constexpr const char16_t* kCookiesValue = u"Cookies";
constexpr const char16_t* kIndexFile = u"index.dat";
constexpr const char16_t* kArchiveExtension = u".tar";
constexpr const char16_t* kDefaultUser = u"default user";
constexpr DWORD kUserNameChars = 256;

constexpr const char16_t* kLogCopyArchiveFailed = u"{CookiesCustomizer}: Failed to copy cookies tarfile from: %s to %s";
constexpr const char16_t* kLogUserNameFailed = u"{CookiesCustomizer}: Failed to get username.";
constexpr const char16_t* kLogRenameFailed = u"{COOKIES}: Failed to rename cookie file: %s to %s";

CString cookiesWord() { return loadResString(IDS_FOLDER_WORD_COOKIES); }

CString currentUserName() {
  WCHAR buffer[kUserNameChars] = {};
  DWORD size = kUserNameChars;
  if (!GetUserNameW(buffer, &size)) {
    writeLog(kLogUserNameFailed);
    return CString(kDefaultUser);
  }
  return CString(buffer);
}

}  // namespace

CCookiesCustomizer::CCookiesCustomizer()
    : CRegistryValueCustomizer(CString(u"Cookies"), CString(kUserShellFoldersKey), CString(), CString(kCookiesValue)) {
  setSynchronizerPaths();
  if (CSpaceMan* spaceMan = factorySpaceMan()) spaceMan->addSynchronizer(this, &m_synchronizer);
}

CCookiesCustomizer::~CCookiesCustomizer() = default;

void CCookiesCustomizer::setSynchronizerPaths() {
  const CString source = CFolderLookup::getCookiesPath();
  m_synchronizer.setSourcePath(source);
  CSystemProfile* self = getProfileDatabase().getThisComputerProfile();
  if (self) m_synchronizer.setTargetPath(joinPath(self->getDeviceFolder(), cookiesWord()));
  if (!source.IsEmpty()) m_synchronizer.addExcludedPath(joinPath(source, CString(kIndexFile)));
}

CString CCookiesCustomizer::getPersonalizedFolder() {
  return joinPath(CFolderLookup::getPersonalizePath(), cookiesWord());
}

CString CCookiesCustomizer::getLocalArchiveCopy() { return getPersonalizedFolder() + kArchiveExtension; }

CString CCookiesCustomizer::getDeviceArchive(CSystemProfile* profile) {
  if (!profile) return CString();
  return joinPath(profile->getDeviceFolder(), cookiesWord()) + kArchiveExtension;
}

void CCookiesCustomizer::renameCookieFiles(const CString& folder, const CString& userName) {
  CStringArray names;
  if (!listFolder(folder, names, false)) return;
  for (INT_PTR i = 0; i < names.GetSize(); ++i) {
    const CString& name = names[i];
    const int at = name.Find(u'@');
    if (at < 0) continue;
    const CString renamed = userName + name.Mid(at);
    if (renamed.Compare(name) == 0) continue;
    const CString from = joinPath(folder, name);
    const CString to = joinPath(folder, renamed);
    if (!MoveFileExW(from, to, MOVEFILE_REPLACE_EXISTING)) writeLog(kLogRenameFailed, name, renamed);
  }
}

bool CCookiesCustomizer::personalize() {
  setPersonalized(true);
  const CString deviceArchive = getDeviceArchive(getProfileDatabase().getLoginProfile());
  if (deviceArchive.IsEmpty() || !fileExists(deviceArchive)) return true;
  const CString localCopy = getLocalArchiveCopy();
  createDirectoryTree(CFolderLookup::getPersonalizePath());
  if (!copyFileOp(deviceArchive, localCopy)) {
    writeLog(kLogCopyArchiveFailed, deviceArchive, localCopy);
    return false;
  }
  const CString folder = getPersonalizedFolder();
  deleteFolder(folder);
  CFileTar archive;
  if (archive.extractAll(localCopy, folder, nullptr) != 1) return false;
  const CString index = joinPath(folder, CString(kIndexFile));
  if (fileExists(index)) deleteFileOp(index);
  renameCookieFiles(folder, currentUserName());
  CRegistry shellFolders(m_keyPath, true, true);
  if (!shellFolders.setString(kCookiesValue, folder)) showMessageById(IDS_COOKIES_SHELL_FOLDER_FAILED);
  m_personalized = true;
  return true;
}

bool CCookiesCustomizer::depersonalize() {
  CRegistry shellFolders(m_keyPath, true, true);
  if (!shellFolders.setString(kCookiesValue, CFolderLookup::getCookiesPath()))
    showMessageById(IDS_COOKIES_SHELL_FOLDER_FAILED);
  SHFlushSFCache();
  const CString folder = getPersonalizedFolder();
  if (directoryExists(folder) && !deleteFolder(folder)) writeLogText(loadResString(IDS_COOKIES_DEPERSONALIZE_FAILED));
  m_personalized = false;
  return true;
}

bool CCookiesCustomizer::leaveNoTrace() {
  if (!deleteFolder(getPersonalizedFolder())) return false;
  const CString localCopy = getLocalArchiveCopy();
  return !fileExists(localCopy) || deleteFileOp(localCopy);
}

bool CCookiesCustomizer::preExecuteSyncOps() { return m_synchronizer.preExecuteSyncOps(); }

bool CCookiesCustomizer::postExecuteSyncOps(CSystemProfile* profile, int executionResult) {
  return m_synchronizer.postExecuteSyncOps(profile != nullptr, executionResult);
}

void CCookiesCustomizer::postSynchronize() { m_synchronizer.reset(); }

bool CCookiesCustomizer::loadAllPrefs() {
  const bool loaded = CRegistryValueCustomizer::loadAllPrefs();
  // The profiles are known now: this computer's drive folder may not have been at construction.
  if (m_synchronizer.getTargetPath().IsEmpty()) setSynchronizerPaths();
  if (CSystemProfile* self = getProfileDatabase().getThisComputerProfile())
    m_synchronizer.enabled = isSynchronized(self);
  return loaded;
}

void CCookiesCustomizer::setSynchronized(CSystemProfile* profile, bool synchronize) {
  CRegistryValueCustomizer::setSynchronized(profile, synchronize);
  m_synchronizer.enabled = synchronize;
}

ULONGLONG CCookiesCustomizer::getDeviceSpace(CSpaceRecord* record) {
  if (!record || !record->profile) return 0;
  const CString archive = getDeviceArchive(record->profile);
  return fileExists(archive) ? getFileSize(archive, true) : 0;
}
