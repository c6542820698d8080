// Writing and checked reading of resource sections and version blocks (see module_format.h).
// Everything is little-endian; every offset and length read from a file is checked before use.
#include "platform/host/module_format.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>

namespace platform::rsrc {

namespace {

void put16(std::vector<std::uint8_t>& out, std::uint16_t v) {
  out.push_back(static_cast<std::uint8_t>(v));
  out.push_back(static_cast<std::uint8_t>(v >> 8));
}
void put32(std::vector<std::uint8_t>& out, std::uint32_t v) {
  put16(out, static_cast<std::uint16_t>(v));
  put16(out, static_cast<std::uint16_t>(v >> 16));
}
void set16(std::vector<std::uint8_t>& out, std::size_t at, std::uint16_t v) {
  out[at] = static_cast<std::uint8_t>(v);
  out[at + 1] = static_cast<std::uint8_t>(v >> 8);
}
void set32(std::vector<std::uint8_t>& out, std::size_t at, std::uint32_t v) {
  set16(out, at, static_cast<std::uint16_t>(v));
  set16(out, at + 2, static_cast<std::uint16_t>(v >> 16));
}
std::uint16_t get16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] | (p[1] << 8)); }
std::uint32_t get32(const std::uint8_t* p) { return get16(p) | (static_cast<std::uint32_t>(get16(p + 2)) << 16); }
void padTo(std::vector<std::uint8_t>& out, std::size_t base, std::size_t alignment) {
  while ((out.size() - base) % alignment) out.push_back(0);
}
void putText(std::vector<std::uint8_t>& out, std::u16string_view text) {
  for (char16_t c : text) put16(out, c);
  put16(out, 0);
}

// Entry type/name field: high bit clear = number, high bit set = offset of a counted name.
constexpr std::uint32_t kNameFlag = 0x80000000u;

}  // namespace

bool operator==(const Id& a, const Id& b) { return a.number == b.number && a.text == b.text; }

std::uint32_t crc32(const std::uint8_t* data, std::size_t size) {
  static const auto table = [] {
    std::array<std::uint32_t, 256> t{};
    for (std::uint32_t i = 0; i < 256; ++i) {
      std::uint32_t c = i;
      for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
      t[i] = c;
    }
    return t;
  }();
  std::uint32_t c = 0xFFFFFFFFu;
  for (std::size_t i = 0; i < size; ++i) c = table[(c ^ data[i]) & 0xFF] ^ (c >> 8);
  return c ^ 0xFFFFFFFFu;
}

std::vector<std::uint8_t> writeResourceFile(const std::vector<Resource>& resources) {
  std::vector<std::uint8_t> out(kSectionMagic.begin(), kSectionMagic.end());
  put32(out, kFormatVersion);
  put32(out, static_cast<std::uint32_t>(resources.size()));
  const std::size_t entriesAt = out.size();
  out.resize(entriesAt + kEntrySize * resources.size());
  auto idField = [&out](const Id& id) -> std::uint32_t {
    if (!id.isText()) return id.number;
    std::uint32_t at = static_cast<std::uint32_t>(out.size());
    put16(out, static_cast<std::uint16_t>(id.text.size()));
    for (char16_t c : id.text) put16(out, c);
    return at | kNameFlag;
  };
  for (std::size_t i = 0; i < resources.size(); ++i) {
    const std::size_t e = entriesAt + i * kEntrySize;
    set32(out, e, idField(resources[i].type));
    set32(out, e + 4, idField(resources[i].name));
    set16(out, e + 8, resources[i].language);
  }
  for (std::size_t i = 0; i < resources.size(); ++i) {
    padTo(out, 0, kDataAlignment);
    const std::size_t e = entriesAt + i * kEntrySize;
    set32(out, e + 12, static_cast<std::uint32_t>(out.size()));
    set32(out, e + 16, static_cast<std::uint32_t>(resources[i].data.size()));
    out.insert(out.end(), resources[i].data.begin(), resources[i].data.end());
  }
  padTo(out, 0, kDataAlignment);
  const std::uint32_t sectionSize = static_cast<std::uint32_t>(out.size());
  put32(out, sectionSize);
  put32(out, crc32(out.data(), sectionSize));
  out.insert(out.end(), kTrailerMagic.begin(), kTrailerMagic.end());
  return out;
}

bool parseSection(const std::uint8_t* data, std::size_t size, std::vector<Entry>& entries, std::string& problem) {
  entries.clear();
  if (size < kHeaderSize || std::memcmp(data, kSectionMagic.data(), kSectionMagic.size()) != 0) {
    problem = "resource section has no header";
    return false;
  }
  if (get32(data + 8) != kFormatVersion) {
    problem = "resource section has an unknown format version";
    return false;
  }
  const std::uint32_t count = get32(data + 12);
  if (count > kMaxEntries || count > (size - kHeaderSize) / kEntrySize) {
    problem = "resource section claims more entries than it holds";
    return false;
  }
  auto readId = [&](std::uint32_t field, Id& id) -> bool {
    if (!(field & kNameFlag)) {
      if (field == 0 || field > 0xFFFF) return false;
      id = Id::of(static_cast<std::uint16_t>(field));
      return true;
    }
    const std::size_t at = field & ~kNameFlag;
    if (at % 2 || at > size || size - at < 2) return false;
    const std::size_t length = get16(data + at);
    if (length == 0 || (size - at - 2) / 2 < length) return false;
    id.number = 0;
    id.text.resize(length);
    for (std::size_t k = 0; k < length; ++k) id.text[k] = static_cast<char16_t>(get16(data + at + 2 + 2 * k));
    return true;
  };
  entries.reserve(count);
  for (std::uint32_t i = 0; i < count; ++i) {
    const std::uint8_t* e = data + kHeaderSize + static_cast<std::size_t>(i) * kEntrySize;
    Entry entry;
    if (!readId(get32(e), entry.type) || !readId(get32(e + 4), entry.name)) {
      problem = "resource entry " + std::to_string(i) + " has a bad type or name";
      return false;
    }
    entry.language = get16(e + 8);
    entry.offset = get32(e + 12);
    entry.size = get32(e + 16);
    if (entry.offset % kDataAlignment || entry.offset > size || size - entry.offset < entry.size) {
      problem = "resource entry " + std::to_string(i) + " lies outside the section";
      return false;
    }
    entries.push_back(std::move(entry));
  }
  return true;
}

namespace {

// Reads exactly `size` bytes at `offset`; false on a short read.
bool readAt(int fd, std::uint64_t offset, std::uint8_t* into, std::size_t size) {
  while (size) {
    ssize_t n = ::pread(fd, into, size, static_cast<off_t>(offset));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    into += n;
    offset += static_cast<std::uint64_t>(n);
    size -= static_cast<std::size_t>(n);
  }
  return true;
}

struct Fd {
  int fd;
  ~Fd() {
    if (fd >= 0) ::close(fd);
  }
};

// Where the section of an open file starts and how long it is, from its trailer.
Found locate(int fd, std::uint64_t fileSize, std::uint64_t& start, std::uint32_t& sectionSize, std::uint32_t& crc,
             std::string& problem) {
  if (fileSize < kTrailerSize) return Found::None;
  std::uint8_t trailer[kTrailerSize];
  if (!readAt(fd, fileSize - kTrailerSize, trailer, kTrailerSize)) {
    problem = "cannot read the file's end";
    return Found::Unreadable;
  }
  if (std::memcmp(trailer + 8, kTrailerMagic.data(), kTrailerMagic.size()) != 0) return Found::None;
  sectionSize = get32(trailer);
  crc = get32(trailer + 4);
  if (sectionSize < kHeaderSize || sectionSize > kMaxSectionSize || sectionSize > fileSize - kTrailerSize) {
    problem = "resource trailer names a section larger than the file";
    return Found::Corrupt;
  }
  start = fileSize - kTrailerSize - sectionSize;
  return Found::Section;
}

}  // namespace

Found readSectionOfFile(const std::filesystem::path& file, std::vector<std::uint8_t>& section, std::string& problem,
                        int* errnoValue) {
  section.clear();
  Fd f{::open(file.c_str(), O_RDONLY | O_CLOEXEC)};
  struct stat st {};
  if (f.fd < 0 || ::fstat(f.fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    if (errnoValue) *errnoValue = f.fd < 0 ? errno : (S_ISDIR(st.st_mode) ? EISDIR : errno);
    problem = "cannot open " + file.string();
    return Found::Unreadable;
  }
  std::uint64_t start = 0;
  std::uint32_t size = 0, crc = 0;
  Found found = locate(f.fd, static_cast<std::uint64_t>(st.st_size), start, size, crc, problem);
  if (found != Found::Section) return found;
  section.resize(size);
  if (!readAt(f.fd, start, section.data(), size)) {
    problem = "cannot read the resource section";
    section.clear();
    return Found::Unreadable;
  }
  if (crc32(section.data(), size) != crc) {
    problem = "resource section checksum does not match";
    section.clear();
    return Found::Corrupt;
  }
  return Found::Section;
}

bool attachResourceFile(const std::filesystem::path& target, const std::vector<std::uint8_t>& resourceFile,
                        std::string& problem) {
  if (resourceFile.size() < kTrailerSize + kHeaderSize ||
      std::memcmp(resourceFile.data() + resourceFile.size() - 8, kTrailerMagic.data(), 8) != 0) {
    problem = "not a resource file";
    return false;
  }
  Fd f{::open(target.c_str(), O_RDWR | O_CLOEXEC)};
  struct stat st {};
  if (f.fd < 0 || ::fstat(f.fd, &st) != 0) {
    problem = "cannot open " + target.string() + ": " + std::strerror(errno);
    return false;
  }
  std::uint64_t end = static_cast<std::uint64_t>(st.st_size);
  std::uint64_t start = 0;
  std::uint32_t size = 0, crc = 0;
  // An earlier section (a rebuilt file that was not relinked) is replaced, not stacked.
  if (locate(f.fd, end, start, size, crc, problem) == Found::Section) end = start;
  if (::ftruncate(f.fd, static_cast<off_t>(end)) != 0) {
    problem = "cannot truncate " + target.string() + ": " + std::strerror(errno);
    return false;
  }
  std::size_t done = 0;
  while (done < resourceFile.size()) {
    ssize_t n = ::pwrite(f.fd, resourceFile.data() + done, resourceFile.size() - done,
                         static_cast<off_t>(end + done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      problem = "cannot write " + target.string() + ": " + std::strerror(errno);
      return false;
    }
    done += static_cast<std::size_t>(n);
  }
  return true;
}

// ---- version blocks ----

namespace {

// Node layout: WORD wLength, WORD wValueLength, WORD wType, key (NUL-terminated UTF-16), padding
// to 32 bits, value, padding to 32 bits, children (each starting 32-bit aligned). Alignment is
// relative to the start of the whole block. wLength covers the node up to the end of its last
// child but not the padding after it.
void writeNode(std::vector<std::uint8_t>& out, const VersionNode& node, const FixedInfo* fixed) {
  padTo(out, 0, 4);
  const std::size_t start = out.size();
  put16(out, 0);
  std::uint16_t valueLength = 0;
  if (fixed)
    valueLength = kFixedInfoSize;
  else if (node.kind == VersionNode::Text)
    valueLength = static_cast<std::uint16_t>(node.textValue.size() + 1);
  else if (node.kind == VersionNode::Binary)
    valueLength = static_cast<std::uint16_t>(node.binValue.size());
  put16(out, valueLength);
  put16(out, node.kind == VersionNode::Binary || fixed ? 0 : 1);
  putText(out, node.key);
  padTo(out, 0, 4);
  if (fixed) {
    put32(out, kFixedSignature);
    put32(out, 0x00010000);
    for (std::uint32_t v : {fixed->fileVersionMS, fixed->fileVersionLS, fixed->productVersionMS,
                            fixed->productVersionLS, fixed->fileFlagsMask, fixed->fileFlags, fixed->fileOS,
                            fixed->fileType, fixed->fileSubtype, fixed->fileDateMS, fixed->fileDateLS})
      put32(out, v);
  } else if (node.kind == VersionNode::Text) {
    putText(out, node.textValue);
  } else if (node.kind == VersionNode::Binary) {
    out.insert(out.end(), node.binValue.begin(), node.binValue.end());
  }
  for (const VersionNode& child : node.children) writeNode(out, child, nullptr);
  set16(out, start, static_cast<std::uint16_t>(out.size() - start));
}

}  // namespace

std::vector<std::uint8_t> writeVersionInfo(const FixedInfo& fixed, const std::vector<VersionNode>& children) {
  VersionNode root;
  root.key = u"VS_VERSION_INFO";
  root.children = children;
  std::vector<std::uint8_t> out;
  writeNode(out, root, &fixed);
  return out;
}

std::vector<std::uint8_t> writeSimpleVersionInfo(
    const FixedInfo& fixed, std::uint16_t language, std::uint16_t codePage,
    const std::vector<std::pair<std::u16string, std::u16string>>& strings) {
  static const char16_t hex[] = u"0123456789abcdef";
  std::u16string tableKey;
  for (int shift = 28; shift >= 0; shift -= 4)
    tableKey += hex[((static_cast<std::uint32_t>(language) << 16 | codePage) >> shift) & 0xF];
  VersionNode table{tableKey, VersionNode::Block, {}, {}, {}};
  for (const auto& [key, value] : strings)
    table.children.push_back(VersionNode{key, VersionNode::Text, value, {}, {}});
  VersionNode stringInfo{u"StringFileInfo", VersionNode::Block, {}, {}, {table}};
  VersionNode translation{u"Translation", VersionNode::Binary, {}, {}, {}};
  put16(translation.binValue, language);
  put16(translation.binValue, codePage);
  VersionNode varInfo{u"VarFileInfo", VersionNode::Block, {}, {}, {translation}};
  return writeVersionInfo(fixed, {stringInfo, varInfo});
}

bool parseVersionText(const std::string& text, std::uint32_t& ms, std::uint32_t& ls) {
  std::uint32_t parts[4] = {0, 0, 0, 0};
  std::size_t part = 0, i = 0;
  if (text.empty()) return false;
  while (i < text.size()) {
    if (part >= 4) return false;
    std::uint32_t value = 0;
    std::size_t digits = 0;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9') {
      value = value * 10 + static_cast<std::uint32_t>(text[i++] - '0');
      if (value > 0xFFFF) return false;
      ++digits;
    }
    if (!digits) return false;
    parts[part++] = value;
    if (i < text.size() && text[i++] != '.') return false;
    if (i == text.size() && text.back() == '.') return false;
  }
  ms = parts[0] << 16 | parts[1];
  ls = parts[2] << 16 | parts[3];
  return true;
}

}  // namespace platform::rsrc
