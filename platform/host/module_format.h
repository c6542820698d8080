// The resource section of a program or module file and the version block inside it: writing (by
// the resource compiler at build time and by the stand-in for its built-in modules) and checked
// reading (by the module loader). Standard C++ only, so the build-time compiler can carry this
// file without the rest of the platform. The layout is described in tools/kiporc/FORMAT.md.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace platform::rsrc {

inline constexpr std::array<char, 8> kSectionMagic = {'K', 'I', 'P', 'O', 'R', 'S', 'R', 'C'};
inline constexpr std::array<char, 8> kTrailerMagic = {'K', 'I', 'P', 'O', 'R', 'E', 'N', 'D'};
inline constexpr std::uint32_t kFormatVersion = 1;
inline constexpr std::size_t kHeaderSize = 16;
inline constexpr std::size_t kEntrySize = 24;
inline constexpr std::size_t kTrailerSize = 16;
inline constexpr std::size_t kDataAlignment = 8;
// Bounds that keep a hostile file from making the reader allocate without limit.
inline constexpr std::uint32_t kMaxSectionSize = 256u << 20;
inline constexpr std::uint32_t kMaxEntries = 1u << 20;

// Windows' standard resource type numbers.
enum : std::uint16_t {
  kTypeCursor = 1,
  kTypeBitmap = 2,
  kTypeIcon = 3,
  kTypeMenu = 4,
  kTypeDialog = 5,
  kTypeString = 6,
  kTypeRcData = 10,
  kTypeGroupIcon = 14,
  kTypeVersion = 16,
  kTypeHtml = 23,
  kTypeManifest = 24,
  kTypeDlgInit = 240,  // the class library's initial data of a dialog's controls
};

// A resource type or name: a number (1..0xFFFF) or a text, never both.
struct Id {
  std::uint16_t number = 0;
  std::u16string text;
  bool isText() const { return !text.empty(); }
  static Id of(std::uint16_t n) { return Id{n, {}}; }
  static Id of(std::u16string t) { return Id{0, std::move(t)}; }
};
bool operator==(const Id& a, const Id& b);

struct Resource {
  Id type;
  Id name;
  std::uint16_t language = 0;
  std::vector<std::uint8_t> data;
};

// One entry of a parsed section; offset and size are checked against the section.
struct Entry {
  Id type;
  Id name;
  std::uint16_t language = 0;
  std::uint32_t offset = 0;
  std::uint32_t size = 0;
};

// The section followed by its trailer: on its own this is a resource-only module file; appended
// to an ELF file it is that file's resource section.
std::vector<std::uint8_t> writeResourceFile(const std::vector<Resource>& resources);

// Parses section bytes (without trailer). False with a reason when anything is out of bounds.
bool parseSection(const std::uint8_t* data, std::size_t size, std::vector<Entry>& entries, std::string& problem);

enum class Found { None, Section, Corrupt, Unreadable };
// Reads the resource section of any file: Section (bytes filled, parsed by the caller), None
// when the file ends without a trailer, Corrupt when the trailer or checksum does not hold,
// Unreadable when the file cannot be opened or read (errnoValue set).
Found readSectionOfFile(const std::filesystem::path& file, std::vector<std::uint8_t>& section, std::string& problem,
                        int* errnoValue = nullptr);

// Replaces the resource section of `target` (or adds one) with the section inside
// `resourceFile` (a file written by writeResourceFile). False with a reason on failure.
bool attachResourceFile(const std::filesystem::path& target, const std::vector<std::uint8_t>& resourceFile,
                        std::string& problem);

std::uint32_t crc32(const std::uint8_t* data, std::size_t size);

// ---- version blocks (VS_VERSIONINFO) ----

inline constexpr std::uint32_t kFixedSignature = 0xFEEF04BD;
inline constexpr std::size_t kFixedInfoSize = 52;

struct FixedInfo {
  std::uint32_t fileVersionMS = 0, fileVersionLS = 0;
  std::uint32_t productVersionMS = 0, productVersionLS = 0;
  std::uint32_t fileFlagsMask = 0x3F, fileFlags = 0;
  std::uint32_t fileOS = 0x40004;  // VOS_NT_WINDOWS32
  std::uint32_t fileType = 1;      // VFT_APP
  std::uint32_t fileSubtype = 0;
  std::uint32_t fileDateMS = 0, fileDateLS = 0;
};

// One node of the block: a key with a text value, a binary value, or no value (a block of
// children, such as "StringFileInfo").
struct VersionNode {
  enum Kind { Block, Text, Binary };
  std::u16string key;
  Kind kind = Block;
  std::u16string textValue;
  std::vector<std::uint8_t> binValue;
  std::vector<VersionNode> children;
};

// The whole block: "VS_VERSION_INFO" with the fixed record and the given children
// ("StringFileInfo", "VarFileInfo").
std::vector<std::uint8_t> writeVersionInfo(const FixedInfo& fixed, const std::vector<VersionNode>& children);

// A block with the usual children for one language and code page: StringFileInfo/<llllcccc>
// with the strings in order, and VarFileInfo/Translation.
std::vector<std::uint8_t> writeSimpleVersionInfo(const FixedInfo& fixed, std::uint16_t language,
                                                 std::uint16_t codePage,
                                                 const std::vector<std::pair<std::u16string, std::u16string>>& strings);

// "1.2.3.4" (missing parts are 0) as the two version words; false when it is not that shape.
bool parseVersionText(const std::string& text, std::uint32_t& ms, std::uint32_t& ls);

}  // namespace platform::rsrc
