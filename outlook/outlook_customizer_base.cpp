// The Outlook snap-in's shared part (outlook_customizer_base.h).
#include "outlook/outlook_customizer_base.h"

#include "app/customizer_doc.h"
#include "app/file_util.h"
#include "outlook/outlook_install.h"
#include "outlook/outlook_profile_manager.h"

COutlookCustomizerBase::COutlookCustomizerBase()
    : CCustomizer(CString(kOutlookCustomizerName)), m_profileManager(std::make_unique<COutlookProfileManager>(this)) {}

COutlookCustomizerBase::~COutlookCustomizerBase() = default;

CString COutlookCustomizerBase::getSourceProfileName() { return m_profileManager->getSourceProfileName(); }

bool COutlookCustomizerBase::isSupportedOutlookVersion() const { return m_profileManager->isSupportedOutlookVersion(); }

CString COutlookCustomizerBase::getDevicePstPath(CSystemProfile* profile) const {
  return COutlookProfileManager::getDevicePstPath(profile);
}

bool COutlookCustomizerBase::drivePstExists(CSystemProfile* profile) const {
  const CString path = getDevicePstPath(profile);
  return !path.IsEmpty() && fileExists(path);
}

COutlookCustomizerBase* findOutlookCustomizer(CCustomizerDoc* document) {
  if (!document) return nullptr;
  return dynamic_cast<COutlookCustomizerBase*>(document->findCustomizer(CString(kOutlookCustomizerName)));
}
