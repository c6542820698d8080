// Reading version blocks from files and walking them. The walk trusts nothing in the block: every
// node's length is checked against its parent before a key or value is read.
#include "platform/win32/version.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "platform/base/fault.h"
#include "platform/base/text.h"
#include "platform/host/module_registry.h"
#include "platform/host/paths.h"
#include "platform/win32/error.h"

namespace {

using platform::module::ResourceSet;

// The version block of a file, or false with the Windows error.
bool readVersionBlock(LPCWSTR fileName, std::vector<std::uint8_t>& block, DWORD& error) {
  if (!fileName || !*fileName) {
    error = ERROR_INVALID_PARAMETER;
    return false;
  }
  std::u16string_view name = platform::text::view(fileName);
  if ((error = platform::fault::check("GetFileVersionInfoW", name))) return false;
  std::string linux;
  if (name[0] == u'/') {
    linux = platform::text::toUtf8(name);
  } else {
    platform::host::ResolvedPath r = platform::host::resolvePath(name);
    if (r.error) {
      error = r.error;
      return false;
    }
    if (!r.exists) {
      error = ERROR_FILE_NOT_FOUND;
      return false;
    }
    linux = r.linux;
  }
  std::shared_ptr<const ResourceSet> set = platform::module::resourcesOfFile(linux, error);
  if (!set) return false;
  const platform::rsrc::Entry* found = nullptr;
  for (const auto& e : set->entries) {
    if (e.type.isText() || e.type.number != platform::rsrc::kTypeVersion) continue;
    if (!found || e.name.number == 1) found = &e;
    if (e.name.number == 1) break;
  }
  if (!found) {
    error = ERROR_RESOURCE_TYPE_NOT_FOUND;
    return false;
  }
  const std::uint8_t* p = set->data(*found);
  // The block's own length must fit the resource and hold at least a node header.
  const std::size_t own = found->size < 2 ? 0 : static_cast<std::size_t>(p[0] | (p[1] << 8));
  if (own < 6 || own > found->size) {
    error = ERROR_BAD_FORMAT;
    return false;
  }
  block.assign(p, p + own);
  return true;
}

std::uint16_t get16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] | (p[1] << 8)); }

struct Node {
  std::size_t start = 0, end = 0;  // offsets in the block; end is start + wLength
  std::uint16_t valueLength = 0;
  std::uint16_t type = 0;
  std::u16string key;
  std::size_t value = 0, valueBytes = 0;
  std::size_t children = 0;
};

std::size_t align4(std::size_t v) { return (v + 3) & ~std::size_t{3}; }

// Parses the node at `at`, which must lie inside [at, limit).
bool parseNode(const std::uint8_t* block, std::size_t at, std::size_t limit, bool root, Node& node) {
  if (at > limit || limit - at < 6) return false;
  const std::size_t length = get16(block + at);
  if (length < 6 || length > limit - at) return false;
  node.start = at;
  node.end = at + length;
  node.valueLength = get16(block + at + 2);
  node.type = get16(block + at + 4);
  node.key.clear();
  std::size_t p = at + 6;
  for (;; p += 2) {
    if (node.end - p < 2) return false;
    char16_t c = get16(block + p);
    if (!c) break;
    node.key += c;
  }
  node.value = align4(p + 2);
  node.valueBytes = root ? node.valueLength : (node.type == 1 ? node.valueLength * 2u : node.valueLength);
  if (node.valueBytes == 0) {
    node.value = std::min(node.value, node.end);  // a block may end right after its key
  } else if (node.value > node.end || node.end - node.value < node.valueBytes) {
    return false;
  }
  node.children = std::min(align4(node.value + node.valueBytes), node.end);
  return true;
}

bool findChild(const std::uint8_t* block, const Node& parent, std::u16string_view key, Node& child) {
  std::size_t at = parent.children;
  while (at < parent.end) {
    if (!parseNode(block, at, parent.end, false, child)) return false;
    if (platform::text::equalNoCase(child.key, key)) return true;
    at = align4(child.end);
  }
  return false;
}

}  // namespace

DWORD GetFileVersionInfoSizeW(LPCWSTR fileName, LPDWORD handle) {
  if (handle) *handle = 0;
  std::vector<std::uint8_t> block;
  DWORD error = 0;
  if (!readVersionBlock(fileName, block, error)) {
    SetLastError(error);
    return 0;
  }
  return static_cast<DWORD>(align4(block.size()));
}

BOOL GetFileVersionInfoW(LPCWSTR fileName, DWORD, DWORD length, LPVOID data) {
  if (!data) {
    SetLastError(ERROR_INVALID_DATA);
    return FALSE;
  }
  std::vector<std::uint8_t> block;
  DWORD error = 0;
  if (!readVersionBlock(fileName, block, error)) {
    SetLastError(error);
    return FALSE;
  }
  const std::size_t copied = std::min<std::size_t>(block.size(), length);
  if (copied < 6) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  // A cut copy states its cut length, so a later query cannot read past the caller's buffer.
  block[0] = static_cast<std::uint8_t>(copied);
  block[1] = static_cast<std::uint8_t>(copied >> 8);
  std::memcpy(data, block.data(), copied);
  return TRUE;
}

BOOL VerQueryValueW(LPCVOID blockPointer, LPCWSTR subBlock, LPVOID* buffer, PUINT length) {
  if (length) *length = 0;
  if (!blockPointer || !subBlock || !buffer) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  const auto* block = static_cast<const std::uint8_t*>(blockPointer);
  Node node;
  if (!parseNode(block, 0, get16(block), true, node)) {
    SetLastError(ERROR_RESOURCE_DATA_NOT_FOUND);
    return FALSE;
  }
  std::u16string_view path = platform::text::view(subBlock);
  bool isRoot = true;
  while (!path.empty()) {
    std::size_t sep = path.find(u'\\');
    std::u16string_view part = path.substr(0, sep);
    path = sep == std::u16string_view::npos ? std::u16string_view() : path.substr(sep + 1);
    if (part.empty()) continue;
    Node child;
    if (!findChild(block, node, part, child)) {
      SetLastError(ERROR_RESOURCE_TYPE_NOT_FOUND);
      return FALSE;
    }
    node = child;
    isRoot = false;
  }
  if (isRoot && node.valueBytes < sizeof(VS_FIXEDFILEINFO)) {
    SetLastError(ERROR_RESOURCE_DATA_NOT_FOUND);
    return FALSE;
  }
  *buffer = const_cast<std::uint8_t*>(block + node.value);
  if (length) *length = node.valueLength;
  return TRUE;
}
