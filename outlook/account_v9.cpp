// The Outlook 2000 account record (account_v9.h).
#include "outlook/account_v9.h"

#include <string>

#include "app/log.h"
#include "app/profile_database.h"
#include "app/registry.h"
#include "outlook/account_outlook_link.h"
#include "outlook/account_signature_prefs.h"
#include "outlook/mapi_loader.h"
#include "outlook/mapi_util.h"
#include "platform/base/codepage.h"

namespace {

namespace p = accountprop;

constexpr const char16_t* kSmtpPromptValue = u"SMTP Prompt for Password";
constexpr const char16_t* kPop3PromptValue = u"POP3 Prompt for Password";
constexpr const char16_t* kLeaveMailValue = u"Leave Mail On Server";
constexpr const char16_t* kSmtpSicilyValue = u"SMTP Use Sicily";
constexpr const char16_t* kDefaultAccountValue = u"Default Mail Account";
constexpr const char16_t* kPersonalizeProfile = u"Kipo";
constexpr const char16_t* kImailService = u"IMAIL";
constexpr const char16_t* kImailDisplayPrefix = u"Internet Email - ";
constexpr ULONG kImailAccountNameTag = 0x661F001E;

constexpr const char16_t* kLogNoLoader = u"{OutlookAccountV9}: Failed to get MapiLoader in writeSettings.";
constexpr const char16_t* kLogNoProfAdmin = u"{OutlookAccountV9}: Failed to get prof admin in writeSettings.";
constexpr const char16_t* kLogNoService = u"{OutlookAccountV9}: Failed to add service to profile in writeSettings.";
constexpr const char16_t* kLogNoServiceAdmin = u"{OutlookAccountV9}: Failed to admin services";

const CAccountValueNames& table() {
  static const CAccountValueNames names = {
      {0, REG_SZ, u"Account Name"},
      {1, REG_SZ, u"SMTP Display Name"},
      {3, REG_SZ, u"SMTP Email Address"},
      {4, REG_SZ, u"SMTP Reply To Email Address"},
      {5, REG_SZ, u"SMTP Organization Name"},
      {6, REG_DWORD, u"POP3 Timeout"},
      {7, REG_DWORD, u"Leave Mail On Server"},
      {8, REG_SZ, u"POP3 User Name"},
      {9, REG_BINARY, u"POP3 Password2"},
      {11, REG_SZ, u"POP3 Server"},
      {12, REG_DWORD, u"POP3 Port"},
      {13, REG_DWORD, u"POP3 Use Sicily"},
      {14, REG_DWORD, u"POP3 Secure Connection"},
      {16, REG_SZ, u"SMTP User Name"},
      {17, REG_BINARY, u"SMTP Password2"},
      {19, REG_SZ, u"SMTP Server"},
      {20, REG_DWORD, u"SMTP Port"},
      {24, REG_DWORD, u"SMTP Secure Connection"},
      {25, REG_SZ, u"IMAP User Name"},
      {28, REG_SZ, u"IMAP Server"},
      {29, REG_DWORD, u"IMAP Port"},
      {30, REG_SZ, u"IMAP Root Folder"},
      {31, REG_DWORD, u"IMAP Use Sicily"},
      {32, REG_DWORD, u"IMAP Secure Connection"},
      {37, REG_SZ, u"New Signature"},
      {38, REG_SZ, u"Reply-Forward Signature"},
      {39, REG_DWORD, u"Is Default Account"},
  };
  return names;
}

// A prompt value of 0 or none means the password is remembered.
LONG rememberedFrom(CRegistry& key, LPCWSTR prompt) {
  DWORD value = 0;
  return !key.getDword(prompt, value) || value == 0 ? 1 : 0;
}

DWORD sicilyOf(const CEMailAccountPropertyMap& account) {
  if (account.getNumber(p::kSmtpUseAuth, 0) == 0) return 0;
  if (account.getNumber(p::kSmtpUseSpa, 0) != 0) return 1;
  const LONG method = account.getNumber(p::kSmtpAuthMethod, 0);
  if (method == 0) return 2;
  if (method == 1 || method == 2) return 3;
  return 0;
}

}  // namespace

const CAccountValueNames& COutlookAccountV9::initValueNames() { return table(); }

COutlookAccountV9::COutlookAccountV9() : CEMailAccountInRegistry(table()) {}

COutlookAccountV9::COutlookAccountV9(const CEMailAccountPropertyMap& other) : CEMailAccountInRegistry(table(), other) {}

bool COutlookAccountV9::read(const CString& accountKey) {
  if (!CEMailAccountInRegistry::read(accountKey)) return false;
  CRegistry key(accountKey, false, false);
  if (!key.isOpen()) return true;

  setNumber(p::kSmtpRememberPassword, rememberedFrom(key, kSmtpPromptValue));
  setNumber(p::kPop3RememberPassword, rememberedFrom(key, kPop3PromptValue));

  if (hasProperty(p::kPop3Server)) {
    setText(p::kClassId, CString(kPop3AccountClassId));
  } else if (hasProperty(p::kImapServer)) {
    setText(p::kClassId, CString(kImapAccountClassId));
  }

  DWORD sicily = 0;
  key.getDword(kSmtpSicilyValue, sicily);
  for (ULONG n : {p::kSmtpUseAuth, p::kSmtpAuthMethod, p::kSmtpUseSpa}) removeProperty(n);
  if (sicily == 2) {
    setNumber(p::kSmtpUseAuth, 1);
  } else if (sicily == 3) {
    setNumber(p::kSmtpUseAuth, 1);
    setNumber(p::kSmtpAuthMethod, 1);
  } else if (sicily == 1) {
    for (ULONG n : {p::kSmtpUseAuth, p::kSmtpAuthMethod, p::kSmtpUseSpa}) setNumber(n, 1);
  }

  // A host account takes the host's signature choice; a carried one the choice stored with it.
  CString signature;
  DWORD addToReplies = 0;
  if (accountKey.Find(kOmiAccountManagerKey) >= 0) {
    const CString profile = m_link ? m_link->getSourceProfileName() : CString();
    readOutlook2000SignaturePrefs(profile, signature, addToReplies);
  } else {
    CRegistry stored(outlookPrefsKeyFor(getProfileDatabase().getLoginProfile()), false, false);
    stored.getString(kV9WhichSignatureValue, signature);
    stored.getDword(kV9AddSigToReplyNoteValue, addToReplies);
  }
  removeProperty(p::kNewSignature);
  removeProperty(p::kReplySignature);
  if (!signature.IsEmpty()) {
    setText(p::kNewSignature, signature);
    if (addToReplies) setText(p::kReplySignature, signature);
  }

  CRegistry root(parentKeyOf(parentKeyOf(accountKey)), false, false);
  CString defaultName;
  const bool isDefault = root.getString(kDefaultAccountValue, defaultName) && defaultName == accountKeyName(accountKey);
  setNumber(p::kIsDefault, isDefault ? 1 : 0);
  return true;
}

bool COutlookAccountV9::addProfileService() {
  CMapiUtil* util = m_link ? m_link->getMapiUtil() : nullptr;
  if (!util || !util->isMsmapi32Installed()) return true;
  CMAPILoader* loader = m_link->getMapiLoader();
  if (!loader || !loader->isLoaded()) {
    writeLog(kLogNoLoader);
    return false;
  }
  CMapiUtil::ProfAdmin admin;
  if (FAILED(loader->MAPIAdminProfiles(0, admin.put())) || !admin) {
    writeLog(kLogNoProfAdmin);
    return false;
  }
  const CString accountName = getText(p::kAccountName);
  MAPIUID service{};
  if (!util->addServiceToProfile(admin.get(), CString(kPersonalizeProfile), CString(kImailService),
                                 CString(kImailDisplayPrefix) + accountName, &service)) {
    writeLog(kLogNoService);
    return false;
  }
  std::string profile = platform::text::wideToAnsi(CString(kPersonalizeProfile).view());
  CMapiUtil::ServiceAdmin services;
  if (FAILED(admin->AdminServices(profile.data(), nullptr, 0, 0, services.put())) || !services) {
    writeLog(kLogNoServiceAdmin);
    return false;
  }
  std::string name = platform::text::wideToAnsi(accountName.view());
  SPropValue value{};
  value.ulPropTag = kImailAccountNameTag;
  value.Value.lpszA = name.data();
  return util->configureMessageService(services.get(), &service, &value, 1);
}

bool COutlookAccountV9::writeSettings(const CString& accountKey) {
  if (!CEMailAccountInRegistry::write(accountKey)) return false;
  bool result = addProfileService();
  if (result) {
    CRegistry key(accountKey, true, true);
    key.setDword(kSmtpPromptValue, getNumber(p::kSmtpRememberPassword, 0) == 0 ? 1 : 0);
    key.setDword(kPop3PromptValue, getNumber(p::kPop3RememberPassword, 0) == 0 ? 1 : 0);
    key.deleteValue(kLeaveMailValue);
    LONG leave = 0;
    if (readNumber(p::kLeaveOnServer, leave)) key.setDword(kLeaveMailValue, static_cast<DWORD>(leave) & 1);
    key.setDword(kSmtpSicilyValue, sicilyOf(*this));
  }
  if (getNumber(p::kIsDefault, 0) == 1) {
    CRegistry host{CString(kOmiAccountManagerKey)};
    if (!host.setString(kDefaultAccountValue, accountKeyName(accountKey), REG_SZ)) result = false;
    if (result) {
      const CString profile = m_link ? m_link->getSourceProfileName() : CString();
      const CString reply = getText(p::kReplySignature);
      result = writeOutlook2000SignaturePrefs(profile, getText(p::kNewSignature), reply.IsEmpty() ? 0 : 1);
    }
  }
  return result;
}
