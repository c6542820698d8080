// The message manager: Outlook keeps a hidden message in a store's receive folder (an associated
// message of class "IPM.MessageManager") whose subject names the MAPI profile and whose
// conversation key is a value of that profile's registry section. CMessageManager finds it,
// stamps it with the profile it now belongs to, and copies it from one store to another (the
// e-mail account snap-ins carry it with the accounts). The message and the registry value are
// carried as opaque data. Every member catches what is thrown inside it, reports it under its own
// name and returns false.
#pragma once

#include <memory>
#include <vector>

#include "platform/afx/cstring.h"
#include "platform/afx/object.h"
#include "platform/base/types.h"
#include "platform/modules/mapi32/mapidefs.h"

class CMAPILoader;
class CMapiUtil;
class COutlookItem;

inline constexpr const char* kMessageManagerClass = "IPM.MessageManager";
// The profile registry section that holds the search key, and its value.
inline constexpr const char16_t* kMessageManagerSection = u"8503020000000000c000000000000046";
inline constexpr const char16_t* kMessageManagerSearchKeyValue = u"0102300b";
// Attempts at clearing the target's old hidden messages before a copy.
inline constexpr int kMessageManagerDeleteAttempts = 100;

class CMessageManager : public CObject {
 public:
  // Takes the process-wide MAPI loader and utility object as they are now.
  CMessageManager();
  ~CMessageManager() override;

  // The first associated message of the exact class in the store's receive folder that makes an
  // item record; false when there is none.
  bool getMessageManager(IMsgStore* store, std::unique_ptr<COutlookItem>& item);
  // Subject and conversation key of the hidden message; saved whatever SetProps answered. True
  // when SetProps succeeded.
  bool setupMessageManager(IMsgStore* store, const COutlookItem& item, const CString& subject, ULONG byteCount,
                           const BYTE* bytes);
  // The profile section's "0102300b" bytes; false when the value is missing.
  bool readProfileSearchKey(const CString& profileName, std::vector<BYTE>& bytes);
  // Stamps the store's hidden message with the profile ("Outlook 10 Message Manager (<name>)").
  bool personalize(IMsgStore* store, const CString& profileName);
  // Deletes the target's hidden messages (up to 100 attempts), then copies the source's one
  // there. True when the source has none.
  bool copyMessageManager(IMsgStore* source, IMsgStore* target);
  // copyMessageManager, logged when it fails.
  bool synchronize(IMsgStore* source, IMsgStore* target);

 private:
  CMAPILoader* m_loader;
  CMapiUtil* m_util;
};
