// The MAPI stand-in's address book: containers from the profile's address book providers and a
// search path kept in the profile.
#include "platform/modules/mapi32/addrbook.h"

#include <cstring>
#include <vector>

#include "platform/base/text.h"
#include "platform/com/unknown.h"
#include "platform/modules/mapi32/memory.h"
#include "platform/modules/mapi32/profiles.h"
#include "platform/modules/mapi32/table.h"

namespace mapi {
namespace {

namespace text = platform::text;

constexpr BYTE kAbProvider[16] = {0x4B, 0x49, 0x50, 0x4F, 0x2D, 0x4D, 0x41, 0x50,
                                  0x49, 0x2D, 0x41, 0x42, 0x4F, 0x4F, 0x4B, 0x31};
constexpr ULONG kWholeProvider = 0xFFFFFFFF;
constexpr ULONG kContactsFolders = PROP_TAG(PT_MV_BINARY, 0x6620);
constexpr ULONG kFolderNames = PROP_TAG(PT_MV_STRING8, 0x6623);

// A container's entry id: flags, the stand-in's address book id, the provider's id, and the
// contacts folder's index in the provider's lists (all ones for the provider's own container).
std::string containerId(const MAPIUID& provider, ULONG index) {
  std::string id(4, '\0');
  id.append(reinterpret_cast<const char*>(kAbProvider), 16);
  id.append(reinterpret_cast<const char*>(provider.ab), 16);
  for (int i = 0; i < 4; ++i) id += static_cast<char>((index >> (8 * i)) & 0xFF);
  return id;
}

// The containers of the profile: each address book provider's own (depth 1), then its folders'.
std::vector<Row> containers(const std::u16string& profile) {
  std::vector<Row> rows;
  for (const MAPIUID& service : serviceIds(profile)) {
    const Row serviceRow = readSection(profile, service);
    const Value* name = find(serviceRow, PR_SERVICE_NAME_A);
    if (!name || !text::equalNoCase(name->text, u"CONTAB")) continue;
    const Value* providers = find(serviceRow, PR_STORE_PROVIDERS);
    if (!providers || providers->type() != PT_BINARY || providers->bytes.size() % 16) continue;
    for (std::size_t p = 0; p < providers->bytes.size(); p += 16) {
      MAPIUID provider;
      std::memcpy(provider.ab, providers->bytes.data() + p, 16);
      const Row section = readSection(profile, provider);
      const Value* display = find(serviceRow, PR_DISPLAY_NAME_A);
      rows.push_back({binaryValue(PR_ENTRYID, containerId(provider, kWholeProvider)),
                      textValue(PR_DISPLAY_NAME_A, display ? display->text : u""), longValue(PR_CONTAINER_FLAGS, AB_SUBCONTAINERS),
                      longValue(PR_DEPTH, 1), longValue(PR_OBJECT_TYPE, MAPI_ABCONT)});
      const Value* folders = find(section, kContactsFolders);
      const Value* names = find(section, kFolderNames);
      if (!folders || folders->type() != PT_MV_BINARY) continue;
      for (std::size_t k = 0; k < folders->multi.size(); ++k) {
        const std::u16string folderName =
            names && names->type() == PT_MV_STRING8 && k < names->multi.size() ? widen(names->multi[k]) : u"";
        rows.push_back({binaryValue(PR_ENTRYID, containerId(provider, static_cast<ULONG>(k))),
                        textValue(PR_DISPLAY_NAME_A, folderName), longValue(PR_CONTAINER_FLAGS, AB_RECIPIENTS),
                        longValue(PR_DEPTH, 2), longValue(PR_OBJECT_TYPE, MAPI_ABCONT)});
      }
    }
  }
  return rows;
}

class Container final : public ReadOnlyProps<IABContainer> {
 public:
  Container(std::u16string profile, Row row, bool root) : ReadOnlyProps(std::move(row)), profile_(std::move(profile)), root_(root) {}

  HRESULT STDMETHODCALLTYPE GetContentsTable(ULONG, LPMAPITABLE* table) override {
    if (!table) return MAPI_E_INVALID_PARAMETER;
    return newTable({}, {PR_ENTRYID, PR_DISPLAY_NAME_A}, table);
  }
  HRESULT STDMETHODCALLTYPE GetHierarchyTable(ULONG flags, LPMAPITABLE* table) override {
    if (!table) return MAPI_E_INVALID_PARAMETER;
    *table = nullptr;
    std::vector<Row> rows;
    if (root_)
      for (Row& row : containers(profile_)) {
        const Value* depth = find(row, PR_DEPTH);
        if ((flags & CONVENIENT_DEPTH) || (depth && depth->i == 1)) rows.push_back(std::move(row));
      }
    return newTable(std::move(rows), {PR_ENTRYID, PR_DISPLAY_NAME_A, PR_CONTAINER_FLAGS, PR_DEPTH}, table);
  }
  HRESULT STDMETHODCALLTYPE OpenEntry(ULONG, LPENTRYID, LPCIID, ULONG, ULONG*, LPUNKNOWN* object) override {
    if (object) *object = nullptr;
    return MAPI_E_NO_SUPPORT;
  }
  HRESULT STDMETHODCALLTYPE SetSearchCriteria(LPSRestriction, LPVOID, ULONG) override { return MAPI_E_NO_SUPPORT; }
  HRESULT STDMETHODCALLTYPE GetSearchCriteria(ULONG, LPSRestriction*, LPVOID*, ULONG*) override { return MAPI_E_NO_SUPPORT; }
  HRESULT STDMETHODCALLTYPE CreateEntry(ULONG, LPENTRYID, ULONG, LPMAPIPROP* entry) override {
    if (entry) *entry = nullptr;
    return MAPI_E_NO_SUPPORT;
  }
  HRESULT STDMETHODCALLTYPE CopyEntries(SBinaryArray*, ULONG_PTR, LPVOID, ULONG) override { return MAPI_E_NO_SUPPORT; }
  HRESULT STDMETHODCALLTYPE DeleteEntries(SBinaryArray*, ULONG) override { return MAPI_E_NO_SUPPORT; }
  HRESULT STDMETHODCALLTYPE ResolveNames(LPSPropTagArray, ULONG, LPADRLIST, LPVOID) override { return MAPI_E_NO_SUPPORT; }

 private:
  std::u16string profile_;
  bool root_;
};

class AddressBook final : public ReadOnlyProps<IAddrBook> {
 public:
  explicit AddressBook(std::u16string profile) : ReadOnlyProps({}), profile_(std::move(profile)) {}

  HRESULT STDMETHODCALLTYPE OpenEntry(ULONG cb, LPENTRYID entry, LPCIID, ULONG, ULONG* type, LPUNKNOWN* object) override {
    if (!object) return MAPI_E_INVALID_PARAMETER;
    *object = nullptr;
    if (!cb) {
      *object = static_cast<IABContainer*>(new Container(profile_, {longValue(PR_OBJECT_TYPE, MAPI_ABCONT),
                                                                   longValue(PR_CONTAINER_FLAGS, AB_SUBCONTAINERS)},
                                                         true));
      if (type) *type = MAPI_ABCONT;
      return S_OK;
    }
    if (!entry) return MAPI_E_INVALID_PARAMETER;
    const std::string id(reinterpret_cast<const char*>(entry), cb);
    for (Row& row : containers(profile_))
      if (find(row, PR_ENTRYID)->bytes == id) {
        *object = static_cast<IABContainer*>(new Container(profile_, std::move(row), false));
        if (type) *type = MAPI_ABCONT;
        return S_OK;
      }
    return MAPI_E_NOT_FOUND;
  }
  HRESULT STDMETHODCALLTYPE CompareEntryIDs(ULONG cb1, LPENTRYID e1, ULONG cb2, LPENTRYID e2, ULONG, ULONG* result) override {
    if (!result || !e1 || !e2) return MAPI_E_INVALID_PARAMETER;
    *result = cb1 == cb2 && std::memcmp(e1, e2, cb1) == 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Advise(ULONG, LPENTRYID, ULONG, LPMAPIADVISESINK, ULONG_PTR*) override { return MAPI_E_NO_SUPPORT; }
  HRESULT STDMETHODCALLTYPE Unadvise(ULONG_PTR) override { return MAPI_E_NO_SUPPORT; }
  HRESULT STDMETHODCALLTYPE CreateOneOff(LPSTR, LPSTR, LPSTR, ULONG, ULONG*, LPENTRYID*) override { return MAPI_E_NO_SUPPORT; }
  HRESULT STDMETHODCALLTYPE NewEntry(ULONG_PTR, ULONG, ULONG, LPENTRYID, ULONG, LPENTRYID, ULONG*, LPENTRYID*) override {
    return MAPI_E_NO_SUPPORT;
  }
  HRESULT STDMETHODCALLTYPE ResolveName(ULONG_PTR, ULONG, LPSTR, LPADRLIST) override { return MAPI_E_NO_SUPPORT; }
  HRESULT STDMETHODCALLTYPE Address(ULONG_PTR*, LPVOID, LPADRLIST*) override { return MAPI_E_NO_SUPPORT; }
  HRESULT STDMETHODCALLTYPE Details(ULONG_PTR*, LPVOID, LPVOID, ULONG, LPENTRYID, LPVOID, LPVOID, LPSTR, ULONG) override {
    return MAPI_E_NO_SUPPORT;
  }
  HRESULT STDMETHODCALLTYPE RecipOptions(ULONG_PTR, ULONG, LPVOID) override { return MAPI_E_NO_SUPPORT; }
  HRESULT STDMETHODCALLTYPE QueryDefaultRecipOpt(LPSTR, ULONG, ULONG*, LPSPropValue*) override { return MAPI_E_NO_SUPPORT; }
  HRESULT STDMETHODCALLTYPE GetPAB(ULONG*, LPENTRYID*) override { return MAPI_E_NO_SUPPORT; }
  HRESULT STDMETHODCALLTYPE SetPAB(ULONG, LPENTRYID) override { return MAPI_E_NO_SUPPORT; }
  HRESULT STDMETHODCALLTYPE GetDefaultDir(ULONG*, LPENTRYID*) override { return MAPI_E_NO_SUPPORT; }
  HRESULT STDMETHODCALLTYPE SetDefaultDir(ULONG, LPENTRYID) override { return MAPI_E_NO_SUPPORT; }
  HRESULT STDMETHODCALLTYPE GetSearchPath(ULONG, LPSRowSet* path) override {
    if (!path) return MAPI_E_INVALID_PARAMETER;
    *path = nullptr;
    const Row section = readSection(profile_, kProfileSection);
    std::vector<Row> rows;
    if (const Value* kept = find(section, PR_AB_SEARCH_PATH); kept && kept->type() == PT_MV_BINARY) {
      for (const std::string& id : kept->multi) rows.push_back({binaryValue(PR_ENTRYID, id)});
    } else {
      // No path set: every container that holds recipients, in order.
      for (Row& row : containers(profile_))
        if (const Value* f = find(row, PR_CONTAINER_FLAGS); f && (f->i & AB_RECIPIENTS)) rows.push_back(std::move(row));
    }
    std::vector<const Row*> pointers;
    for (const Row& r : rows) pointers.push_back(&r);
    return makeRowSet(pointers, {PR_ENTRYID}, path);
  }
  HRESULT STDMETHODCALLTYPE SetSearchPath(ULONG, LPSRowSet path) override {
    if (!path) return MAPI_E_INVALID_PARAMETER;
    Value list;
    list.tag = PR_AB_SEARCH_PATH;
    for (ULONG i = 0; i < path->cRows; ++i) {
      const SRow& row = path->aRow[i];
      if (row.cValues && !row.lpProps) return MAPI_E_INVALID_PARAMETER;
      bool found = false;
      for (ULONG k = 0; k < row.cValues && !found; ++k)
        if (row.lpProps[k].ulPropTag == PR_ENTRYID) {
          const SBinary& b = row.lpProps[k].Value.bin;
          if (b.cb && !b.lpb) return MAPI_E_INVALID_PARAMETER;
          list.multi.emplace_back(reinterpret_cast<const char*>(b.lpb), b.cb);
          found = true;
        }
      if (!found) return MAPI_E_INVALID_PARAMETER;
    }
    return writeSection(profile_, kProfileSection, {list});
  }
  HRESULT STDMETHODCALLTYPE PrepareRecips(ULONG, LPSPropTagArray, LPADRLIST) override { return MAPI_E_NO_SUPPORT; }

 private:
  std::u16string profile_;
};

}  // namespace

HRESULT newAddressBook(const std::u16string& profile, LPADRBOOK* out) {
  if (!out) return MAPI_E_INVALID_PARAMETER;
  *out = new AddressBook(profile);
  return S_OK;
}

}  // namespace mapi
