// The Outlook 2000 signature choice of the carried profile (account_signature_prefs.h).
#include "outlook/account_signature_prefs.h"

#include "app/registry.h"
#include "outlook/outlook_install.h"

namespace {

constexpr const char16_t* kSignatureSection = u"0a0d020000000000c000000000000046";
constexpr const char16_t* kSignatureNameValue = u"001e0361";
constexpr const char16_t* kDefaultProfileValue = u"DefaultProfile";

CString signatureSectionKey(const CString& profileName) {
  CString path;
  path.Format(u"%s\\%s\\%s", getOutlookProfilesRegkey(), profileName, CString(kSignatureSection));
  return path;
}

}  // namespace

CString readHostDefaultProfile() {
  CRegistry profiles(getOutlookProfilesRegkey(), false, false);
  CString name;
  if (!profiles.getString(kDefaultProfileValue, name)) return CString();
  return name;
}

bool readOutlook2000SignaturePrefs(const CString& profileName, CString& name, DWORD& addToReplies) {
  if (profileName.IsEmpty()) return false;
  CRegistry section(signatureSectionKey(profileName), false, false);
  if (!section.getString(kSignatureNameValue, name)) return false;
  CRegistry preferences(CString(kOutlook2000PreferencesKey), false, false);
  DWORD flag = 0;
  if (preferences.getDword(kAddSigToReplyNoteValue, flag)) addToReplies = flag;
  return true;
}

bool writeOutlook2000SignaturePrefs(const CString& profileName, const CString& name, DWORD addToReplies) {
  if (profileName.IsEmpty()) return false;
  CRegistry section(signatureSectionKey(profileName), false, true);
  // No section: no signature to take away, but none can be set either.
  if (!section.isOpen()) return name.IsEmpty();
  const bool written = name.IsEmpty() ? section.deleteValue(kSignatureNameValue)
                                      : section.setString(kSignatureNameValue, name, REG_SZ);
  if (!written) return false;
  CRegistry preferences(CString(kOutlook2000PreferencesKey), false, true);
  if (preferences.isOpen()) preferences.setDword(kAddSigToReplyNoteValue, addToReplies);
  return true;
}
