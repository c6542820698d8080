// The Outlook settings snap-in (outlook_settings_customizer.h).
#include "outlook/outlook_settings_customizer.h"

#include <memory>

#include "app/file_operation.h"
#include "app/file_util.h"
#include "app/folder_lookup.h"
#include "app/profile_database.h"
#include "outlook/mapi_util.h"
#include "outlook/outlook_customizer_base.h"
#include "outlook/outlook_install.h"
#include "outlook/outlook_profile_manager.h"
#include "snapins/factory_context.h"

namespace {

constexpr const char16_t* kAppDataValue = u"AppData";
constexpr const char16_t* kMicrosoftFolder = u"Microsoft";
constexpr const char16_t* kOutlookFolder = u"Outlook";
constexpr const char16_t* kBackupPrefix = u"qx_";
constexpr const char16_t* kNicknameExtension = u"nk2";
constexpr const char16_t* kFavoritesExtension = u"fav";

CString relativeDevicePath(const char16_t* extension) {
  CString path;
  path.Format(u"%s\\%s.%s", CString(kOutlookFolder), CString(kOutlookFolder), CString(extension));
  return path;
}

}  // namespace

// ---- COutlookSettingMoveAside ---------------------------------------------------------------------

COutlookSettingMoveAside::COutlookSettingMoveAside(const CString& extension, const CString& profileName,
                                                   int outlookVersion, bool msmapiInstalled,
                                                   const CString& relativeDevicePath, bool active)
    : m_extension(extension),
      m_profileName(profileName),
      m_outlookVersion(outlookVersion),
      m_msmapiInstalled(msmapiInstalled),
      m_active(active) {
  const CString folder = getOutlookFolder();
  CString source, backup, personalized;
  if (!profileName.IsEmpty()) {
    source.Format(u"%s\\%s.%s", folder, profileName, extension);
    backup.Format(u"%s\\%s%s.%s", folder, CString(kBackupPrefix), profileName, extension);
  }
  if (isOwnProfileMode())
    personalized = source;
  else
    personalized.Format(u"%s\\%s.%s", folder, CString(kPersonalizeProfileName), extension);
  setPaths(source, backup, personalized, relativeDevicePath);
}

CString COutlookSettingMoveAside::getOutlookFolder() {
  return joinPath(joinPath(CFolderLookup::getShellFolder(CString(kAppDataValue)), CString(kMicrosoftFolder)),
                  CString(kOutlookFolder));
}

bool COutlookSettingMoveAside::personalize(CSystemProfile* profile) {
  return !m_active || CFileMoveAside::personalize(profile);
}

bool COutlookSettingMoveAside::depersonalize() {
  if (!m_active || m_personalizedPath.IsEmpty() || !fileExists(m_personalizedPath)) return true;
  return CFileMoveAside::depersonalize();
}

bool COutlookSettingMoveAside::moveAside(CRegistry& key) {
  return !isOwnProfileMode() || CFileMoveAside::moveAside(key);
}

bool COutlookSettingMoveAside::isSafeToReplace() { return !isOwnProfileMode() || CFileMoveAside::isSafeToReplace(); }

bool COutlookSettingMoveAside::synchronize(CSystemProfile* profile) {
  if (m_personalizedPath.IsEmpty() || !fileExists(m_personalizedPath)) return true;
  const CString device = getDevicePath(profile);
  if (device.IsEmpty() || !createDirectoryTree(getParentFolder(device))) return false;
  return copyFileOp(m_personalizedPath, device);
}

// ---- COutlookSettingsCustomizer -------------------------------------------------------------------

COutlookSettingsCustomizer::COutlookSettingsCustomizer()
    : CMoveAsideCustomizer(CString(kOutlookSettingsCustomizerName)), m_document(factoryDocument()) {
  m_outlookVersion = getOutlookVersion();
  if (COutlookCustomizerBase* base = outlook()) {
    CMapiUtil* util = base->getProfileManager()->getMapiUtil();
    m_msmapiInstalled = util && util->isMsmapi32Installed();
  }
}

COutlookSettingsCustomizer::~COutlookSettingsCustomizer() = default;

COutlookCustomizerBase* COutlookSettingsCustomizer::outlook() const { return findOutlookCustomizer(m_document); }

bool COutlookSettingsCustomizer::isApplicable() const {
  COutlookCustomizerBase* base = outlook();
  return base && base->drivePstExists(getProfileDatabase().getLoginProfile()) && base->isSupportedOutlookVersion() &&
         !base->isExchangeMode();
}

bool COutlookSettingsCustomizer::buildEntries() {
  freeMoveAsideVector();
  CString profile;
  if (COutlookCustomizerBase* base = outlook()) {
    profile = base->getSourceProfileName();
    if (profile.IsEmpty()) profile = getDefaultProfile();
  }
  addEntry(std::make_unique<COutlookSettingMoveAside>(CString(kNicknameExtension), profile, m_outlookVersion,
                                                      m_msmapiInstalled, relativeDevicePath(kNicknameExtension), true));
  addEntry(std::make_unique<COutlookSettingMoveAside>(CString(kFavoritesExtension), profile, m_outlookVersion,
                                                      m_msmapiInstalled, relativeDevicePath(kFavoritesExtension), false));
  return true;
}

bool COutlookSettingsCustomizer::personalize() {
  if (!isApplicable()) return true;
  if (!outlook()->isPersonalized()) return true;
  if (!buildEntries()) return false;
  return CMoveAsideCustomizer::personalize();
}

bool COutlookSettingsCustomizer::depersonalize() {
  buildEntries();
  return CMoveAsideCustomizer::depersonalize();
}

bool COutlookSettingsCustomizer::backup() {
  if (!isApplicable()) return true;
  // The records a failed restore left still name host files that are aside; the base puts them
  // back before it moves anything, so they are kept rather than deleted here.
  buildEntries();
  return CMoveAsideCustomizer::backup();
}

bool COutlookSettingsCustomizer::restore() {
  if (isOwnProfileMode()) return CMoveAsideCustomizer::restore();
  setPersonalized(false);
  return true;
}

bool COutlookSettingsCustomizer::postCalculateSyncOps(int calculationResult) {
  buildEntries();
  return CMoveAsideCustomizer::postCalculateSyncOps(calculationResult);
}

bool COutlookSettingsCustomizer::postExecuteSyncOps(CSystemProfile* profile, int executionResult) {
  if (!isPersonalized()) return true;
  return CMoveAsideCustomizer::postExecuteSyncOps(profile, executionResult);
}
