// MAPI profiles as they live in the host registry, and the administration objects over them
// (IProfAdmin, IMsgServiceAdmin, IProviderAdmin, IProfSect).
//
// Layout (the product reads and writes parts of it directly, and a copy of the profiles key
// carries whole profiles):
//   <profiles key> = HKEY_CURRENT_USER\Software\Microsoft\Windows NT\CurrentVersion\Windows
//       Messaging Subsystem\Profiles (Windows 5 and later), else
//       HKEY_CURRENT_USER\Software\Microsoft\Windows Messaging Subsystem\Profiles
//   <profiles key>\DefaultProfile            REG_SZ, the default profile's name
//   <profiles key>\<profile>\<section>       one key per profile section, named by its MAPIUID in
//                                            32 lower-case hex digits
//   ...\<section>\<tttt><iiii>               one REG_BINARY value per property, named by its type
//                                            then its id in 8 lower-case hex digits
// Property data: PT_LONG and PT_ERROR 4 bytes, PT_I2 and PT_BOOLEAN 2, PT_I8, PT_SYSTIME,
// PT_CURRENCY, PT_DOUBLE and PT_APPTIME 8 (little-endian), PT_R4 4; PT_STRING8 the 8-bit text
// with its NUL; PT_UNICODE UTF-16LE with its NUL; PT_BINARY the bytes; multi-valued types a
// 4-byte count then, per value, a 4-byte length and the bytes (8-bit strings without NUL).
// Sections of a profile:
//   8503020000000000c000000000000046   the profile's own: PR_SEARCH_KEY (16 bytes made at
//                                      creation), PR_SERVICES (the service ids in order)
//   13dbb0c8aa05101a9bb000aa002fc45a   the global section (PR_PROFILE_CONFIG_FLAGS, ...)
//   <service id>                       a service: PR_SERVICE_NAME_A, PR_DISPLAY_NAME_A,
//                                      PR_RESOURCE_FLAGS, PR_SERVICE_UID, PR_PROVIDER_DISPLAY_A,
//                                      PR_STORE_PROVIDERS (its provider ids in order) and the
//                                      configuration properties it was given
//   <provider id>                      a provider: PR_PROVIDER_UID, PR_SERVICE_UID,
//                                      PR_PROVIDER_DLL_NAME_A, PR_PROVIDER_DISPLAY_A,
//                                      PR_DISPLAY_NAME_A, PR_RESOURCE_TYPE, PR_RESOURCE_FLAGS and
//                                      the properties it was created with
// Every size read back from the registry is checked; a value that does not decode is treated
// as missing.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/modules/mapi32/props.h"

namespace mapi {

// The profile's own section id.
inline constexpr MAPIUID kProfileSection = {
    {0x85, 0x03, 0x02, 0x00, 0x00, 0x00, 0x00, 0x00, 0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

std::u16string profilesKeyPath();  // under HKEY_CURRENT_USER
std::u16string sectionName(const MAPIUID& uid);
std::u16string propertyValueName(ULONG tag);

// Registry form of a value, and back (nullopt when the bytes do not fit the type).
std::string encodeValue(const Value& v);
std::optional<Value> decodeValue(ULONG tag, const std::string& bytes);

std::vector<std::u16string> profileNames();
bool profileExists(const std::u16string& name);
std::u16string defaultProfile();

// A profile section's properties, read from the registry now.
Row readSection(const std::u16string& profile, const MAPIUID& uid);
HRESULT writeSection(const std::u16string& profile, const MAPIUID& uid, const Row& values);
HRESULT deleteSectionProps(const std::u16string& profile, const MAPIUID& uid, const std::vector<ULONG>& tags);

// The profile's services in order, as the service table lists them.
std::vector<MAPIUID> serviceIds(const std::u16string& profile);

// A personal folders file of the host (named by a personal folders or INTERSTOR service of any
// profile) with the names its owner goes by, which SubmitMessage matches recipients against,
// without regard to case: the display name its service was configured with, and the address
// (PR_EMAIL_ADDRESS_A) of each Internet mail service of the same profile. A file named by several
// profiles is listed once with all their names.
struct PersonalFolders {
  std::u16string path;
  std::vector<std::u16string> owners;
};
std::vector<PersonalFolders> personalFoldersFiles();

// Deletes the profile's key (and the default-profile value when it named it).
HRESULT deleteProfile(const std::u16string& profile);
// A profile deleted while sessions are open on it (in any process of the host): hidden, and not
// to be created again, until its last session ends, when it is deleted. The open sessions are
// runtime state kept beside the profiles, not in them (a copy of the profiles key carries none):
//   HKEY_CURRENT_USER\Software\Microsoft\Windows Messaging Subsystem\Sessions\<profile>
//     "<pid>.<process start>.<n>"   REG_DWORD 1, one per open session (a dead process's are ignored)
//     "DeletePending"               REG_DWORD 1, once DeleteProfile was called
bool isMarkedForDeletion(const std::u16string& profile);
// Records a session opened on the profile in this process; the returned name unregisters it.
std::u16string registerSession(const std::u16string& profile);
// Ends a session; deletes the profile when it was marked and this was its last session.
void unregisterSession(const std::u16string& profile, const std::u16string& name);

HRESULT newProfAdmin(LPPROFADMIN* out);
HRESULT newServiceAdmin(const std::u16string& profile, LPSERVICEADMIN* out);
HRESULT openProfileSection(const std::u16string& profile, LPMAPIUID uid, ULONG flags, LPPROFSECT* out);

// A personal folders store's capabilities, kept with its service.
inline constexpr LONG kPstSupportMask = 0x4 | 0x8 | 0x100 | 0x1000;

}  // namespace mapi
