// CEMailAccountPropertyMap: the settings of one Outlook Internet-mail account as a sparse set of
// typed values, numbered 0 to 39 whatever the Outlook version. The numbers, their types and what
// the account writers derive from them are shared by both account layouts (email_account.h), so
// an account read in one layout can be written in the other.
#pragma once

#include <map>

#include "platform/afx/cstring.h"
#include "platform/base/types.h"
#include "platform/com/variant.h"

// The property numbers the program itself looks at.
namespace accountprop {
inline constexpr ULONG kAccountName = 0;
inline constexpr ULONG kDisplayName = 1;
inline constexpr ULONG kClassId = 2;
inline constexpr ULONG kEmail = 3;
inline constexpr ULONG kLeaveOnServer = 7;
inline constexpr ULONG kPop3User = 8;
inline constexpr ULONG kPop3Password = 9;
inline constexpr ULONG kPop3RememberPassword = 10;
inline constexpr ULONG kPop3Server = 11;
inline constexpr ULONG kSmtpUser = 16;
inline constexpr ULONG kSmtpPassword = 17;
inline constexpr ULONG kSmtpRememberPassword = 18;
inline constexpr ULONG kSmtpServer = 19;
inline constexpr ULONG kSmtpUseAuth = 21;
inline constexpr ULONG kSmtpAuthMethod = 22;
inline constexpr ULONG kSmtpUseSpa = 23;
inline constexpr ULONG kSmtpUseSsl = 24;
inline constexpr ULONG kImapServer = 28;
inline constexpr ULONG kHttpPassword = 34;
inline constexpr ULONG kNewSignature = 37;
inline constexpr ULONG kReplySignature = 38;
inline constexpr ULONG kIsDefault = 39;
inline constexpr ULONG kCount = 40;
}  // namespace accountprop

class CEMailAccountPropertyMap {
 public:
  CEMailAccountPropertyMap();
  CEMailAccountPropertyMap(const CEMailAccountPropertyMap& other);
  CEMailAccountPropertyMap& operator=(const CEMailAccountPropertyMap&) = delete;
  virtual ~CEMailAccountPropertyMap();

  // VT_BSTR, VT_I4 or VT_ARRAY|VT_UI1 (the passwords); VT_ERROR for a number outside the table.
  static VARTYPE getPropertyType(ULONG number);

  // A copy of the value into `value` (which the caller clears); false when absent.
  bool getProperty(ULONG number, VARIANT* value) const;
  // Replaces any previous value with a copy of `value`.
  void setProperty(ULONG number, const VARIANT& value);
  void removeProperty(ULONG number);
  bool hasProperty(ULONG number) const { return m_values.count(number) != 0; }

  // Typed conveniences over the variants: a text property (empty when absent or not text), a
  // number (`fallback` when absent or not a number).
  CString getText(ULONG number) const;
  LONG getNumber(ULONG number, LONG fallback = 0) const;
  bool readNumber(ULONG number, LONG& value) const;
  void setText(ULONG number, const CString& text);
  void setNumber(ULONG number, LONG value);

  // Takes the other account's outgoing-mail settings: user, server, authentication (16, 19, 21,
  // 22, 23, 24). Without an authentication method there, the method becomes 1 and the other's
  // POP3 user becomes the SMTP user.
  void copySmtpSettings(const CEMailAccountPropertyMap& other);

  const std::map<ULONG, VARIANT>& values() const { return m_values; }

 private:
  static void initPropertyTypes();
  std::map<ULONG, VARIANT> m_values;
};
