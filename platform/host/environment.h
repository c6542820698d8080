// The process's Windows environment block and the standard folders of a host.
//
// Each program of the host starts with a block built from the host (buildHostEnvironment): the
// system's variables (SystemRoot, windir, ProgramFiles, COMPUTERNAME, ...), then the values of
// "HKLM\SYSTEM\CurrentControlSet\Control\Session Manager\Environment", then the user's
// variables (USERPROFILE, APPDATA, HOMEDRIVE, ...), then the values of "HKCU\Environment"
// (REG_EXPAND_SZ values expanded against what came before; a user Path is appended to the
// machine's), as Windows' logon does. Linux variables other than KIPO_HOST are never visible.
//
// A parent passes its block to a child instead: it puts encodeForChild(block) into the child's
// Linux environment as KIPO_ENVBLOCK (the block given to CreateProcess, else the parent's current
// block), and the child takes that block as its own on first use. A program started without it
// builds its own from the host. setInheritedEnvironment does the same inside a process (and for
// tests). KIPO_HOST itself is not part of the Windows block.
//
// Names are case-insensitive (by the shared upper-casing table) and keep the case they were set
// with; the block is kept sorted by upper-cased name, as Windows keeps it. A switch of host
// (Host::reopen, in tests) drops the block; the next use builds it again.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform::host {

class Host;

// Linux variable by which a parent hands its block to a child.
inline constexpr const char* kEnvBlockVariable = "KIPO_ENVBLOCK";

// One variable per entry, "NAME=value".
std::vector<std::u16string> buildHostEnvironment(Host& host);

std::optional<std::u16string> getEnvironmentVariable(std::u16string_view name);
// A null value deletes. Returns false for an empty name or one containing '='.
bool setEnvironmentVariable(std::u16string_view name, std::optional<std::u16string_view> value);
// The block, "A=1\0B=2\0\0" (at least two NULs when empty).
std::u16string environmentBlock();
// %NAME% of defined variables replaced by their values; others are left as they are.
std::u16string expandEnvironmentStrings(std::u16string_view text);

// Makes `block` ("A=1\0B=2\0\0") the process's environment.
void setInheritedEnvironment(std::u16string_view block);
// Replaces the process's environment by a fresh one from the host, as Explorer does when it is
// told (WM_SETTINGCHANGE "Environment") that the registry's environment changed.
void regenerateEnvironment();
// The value a parent sets for kEnvBlockVariable ('%' escapes '%' and the NULs), and back.
std::string encodeForChild(std::u16string_view block);
std::u16string decodeFromParent(std::string_view encoded);

// The standard folders of a host as Windows paths (no trailing backslash).
namespace folders {
inline constexpr const char16_t* SystemDrive = u"C:";
inline constexpr const char16_t* Windows = u"C:\\WINDOWS";
inline constexpr const char16_t* System = u"C:\\WINDOWS\\system32";
inline constexpr const char16_t* ProgramFiles = u"C:\\Program Files";
inline constexpr const char16_t* CommonFiles = u"C:\\Program Files\\Common Files";
inline constexpr const char16_t* Profiles = u"C:\\Documents and Settings";
inline constexpr const char16_t* AllUsers = u"C:\\Documents and Settings\\All Users";
// "C:\Documents and Settings\<user name fact>"
std::u16string userProfile(Host& host);
}  // namespace folders

}  // namespace platform::host
