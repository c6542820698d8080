// Outlook 2000 keeps the signature choice outside its account store: the signature's name in a
// section of the MAPI profile, and whether replies get it in Outlook's preferences. These read
// and write those two places for the carried profile, and name the keys the e-mail accounts
// snap-in and the Outlook 2000 account record share.
#pragma once

#include "platform/afx/cstring.h"
#include "platform/base/types.h"

inline constexpr const char16_t* kOmiAccountManagerKey =
    u"HKEY_CURRENT_USER\\Software\\Microsoft\\Office\\Outlook\\OMI Account Manager";
inline constexpr const char16_t* kOutlook2000PreferencesKey =
    u"HKEY_CURRENT_USER\\Software\\Microsoft\\Office\\9.0\\Outlook\\Preferences";
inline constexpr const char16_t* kAddSigToReplyNoteValue = u"AddSigToReplyNote";
// Under outlookPrefsKeyFor: the signature choice carried from an Outlook 2000 host.
inline constexpr const char16_t* kV9WhichSignatureValue = u"V9_WHICH_SIGNATURE";
inline constexpr const char16_t* kV9AddSigToReplyNoteValue = u"V9_AddSigToReplyNote";

// The host's default MAPI profile ("DefaultProfile"), read without creating the profiles key.
CString readHostDefaultProfile();

// The signature name ("001e0361" of the profile's section "0a0d020000000000c000000000000046")
// of `profileName`; false when it has none. `addToReplies` receives "AddSigToReplyNote" when the
// host has it and is left unchanged otherwise. Nothing is created.
bool readOutlook2000SignaturePrefs(const CString& profileName, CString& name, DWORD& addToReplies);
// Writes both into existing keys (none is created): an empty name deletes "001e0361". False when
// a name cannot be written (a profile without the section has no signature to delete); the reply
// flag's own result does not count.
bool writeOutlook2000SignaturePrefs(const CString& profileName, const CString& name, DWORD addToReplies);
