// Property values as the stand-in keeps them (owned, C++ form), their conversion to and from
// MAPI's SPropValue, and restrictions, copied at Restrict time and evaluated against rows.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/com/unknown.h"
#include "platform/modules/mapi32/mapidefs.h"

namespace mapi {

// One property. Strings are kept as UTF-16 whatever width they were set with and are handed out
// in the width asked for (8-bit through the host's ANSI code page).
struct Value {
  ULONG tag = PR_NULL;
  LONGLONG i = 0;           // PT_I2, PT_LONG, PT_BOOLEAN (0/1), PT_I8, PT_SYSTIME, PT_ERROR, PT_CURRENCY
  double d = 0;             // PT_R4, PT_DOUBLE, PT_APPTIME
  std::u16string text;      // PT_STRING8, PT_UNICODE
  std::string bytes;        // PT_BINARY, PT_CLSID
  std::vector<std::string> multi;  // PT_MV_BINARY, PT_MV_STRING8 (8-bit), PT_MV_LONG (4 bytes each)

  ULONG id() const { return PROP_ID(tag); }
  ULONG type() const { return PROP_TYPE(tag); }
};

Value longValue(ULONG tag, LONG v);
Value boolValue(ULONG tag, bool v);
Value textValue(ULONG tag, std::u16string v);
Value binaryValue(ULONG tag, std::string v);
Value timeValue(ULONG tag, ULONGLONG filetime);

using Row = std::vector<Value>;

// The value with this tag's id, or null.
const Value* find(const Row& row, ULONG tag);
// Sets (replaces by id) a value in the row.
void put(Row& row, Value v);
bool isStringType(ULONG type);
// 8-bit text of the host's ANSI code page to UTF-16 and back; plain ASCII without a code page
// conversion, as most stored text is.
std::u16string widen(std::string_view ansi);
std::string narrow(std::u16string_view wide);

// A caller's value in owned form; MAPI_E_INVALID_PARAMETER for a type the stand-in does not keep.
HRESULT fromMapi(const SPropValue& from, Value& to);
// The value as asked for by `wanted` (a tag; PT_UNSPECIFIED takes the stored type), with its
// data chained to `owner`. A value of another type, or none, becomes PT_ERROR MAPI_E_NOT_FOUND
// (returns false so the caller can report MAPI_W_ERRORS_RETURNED).
bool toMapi(const Value* v, ULONG wanted, SPropValue& out, LPVOID owner, SCODE& failure);

// Properties a table's rows do not carry but compute when asked (a store's keys from the row's
// object): derive() fills `out` and returns true for a tag it knows.
class Deriver {
 public:
  virtual ~Deriver() = default;
  virtual bool derive(const Row& row, ULONG tag, Value& out) const = 0;
};

// The row's value for the tag, stored or derived (then in `scratch`); null when neither.
const Value* lookup(const Row& row, ULONG tag, const Deriver* deriver, Value& scratch);

// A row set of these rows and columns, in one allocation per row as MAPI hands them out.
HRESULT makeRowSet(const std::vector<const Row*>& rows, const std::vector<ULONG>& columns, LPSRowSet* out,
                   const Deriver* deriver = nullptr);
// The values asked for (all when tags is null), in one block.
HRESULT makeProps(const Row& row, LPSPropTagArray tags, ULONG* count, LPSPropValue* out);

// A restriction copied out of the caller's memory.
struct Restriction {
  ULONG rt = RES_AND;
  ULONG op = 0;    // relop, fuzzy level or BMR
  ULONG tag = 0;
  ULONG tag2 = 0;  // compare-props' second tag
  ULONG mask = 0;  // bitmask's mask, size's byte count
  std::optional<Value> value;
  std::vector<Restriction> subs;
};

// MAPI_E_TOO_COMPLEX for a form the stand-in does not evaluate or a nesting deeper than 64;
// MAPI_E_INVALID_PARAMETER for a malformed one.
HRESULT copyRestriction(const SRestriction& from, Restriction& to, int depth = 0);
bool matches(const Restriction& r, const Row& row, const Deriver* deriver = nullptr);

// The IMAPIProp part of the stand-in's read-only objects (address-book containers, the session's
// identity): properties from a row, every change refused.
template <class I>
class ReadOnlyProps : public platform::com::SingleInterface<I> {
 public:
  explicit ReadOnlyProps(Row row) : row_(std::move(row)) {}
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
    if (object && riid == IID_IMAPIProp) {
      *object = static_cast<IMAPIProp*>(this);
      this->AddRef();
      return S_OK;
    }
    return platform::com::SingleInterface<I>::QueryInterface(riid, object);
  }
  HRESULT STDMETHODCALLTYPE GetLastError(HRESULT, ULONG, LPMAPIERROR* error) override {
    if (error) *error = nullptr;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE SaveChanges(ULONG) override { return MAPI_E_NO_ACCESS; }
  HRESULT STDMETHODCALLTYPE GetProps(LPSPropTagArray tags, ULONG, ULONG* count, LPSPropValue* values) override {
    return makeProps(row_, tags, count, values);
  }
  HRESULT STDMETHODCALLTYPE GetPropList(ULONG, LPSPropTagArray*) override { return MAPI_E_NO_SUPPORT; }
  HRESULT STDMETHODCALLTYPE OpenProperty(ULONG, LPCIID, ULONG, ULONG, LPUNKNOWN* object) override {
    if (object) *object = nullptr;
    return MAPI_E_NO_SUPPORT;
  }
  HRESULT STDMETHODCALLTYPE SetProps(ULONG, LPSPropValue, LPSPropProblemArray*) override { return MAPI_E_NO_ACCESS; }
  HRESULT STDMETHODCALLTYPE DeleteProps(LPSPropTagArray, LPSPropProblemArray*) override { return MAPI_E_NO_ACCESS; }
  HRESULT STDMETHODCALLTYPE CopyTo(ULONG, LPCIID, LPSPropTagArray, ULONG_PTR, LPVOID, LPCIID, LPVOID, ULONG,
                                   LPSPropProblemArray*) override {
    return MAPI_E_NO_SUPPORT;
  }
  HRESULT STDMETHODCALLTYPE CopyProps(LPSPropTagArray, ULONG_PTR, LPVOID, LPCIID, LPVOID, ULONG, LPSPropProblemArray*) override {
    return MAPI_E_NO_SUPPORT;
  }
  HRESULT STDMETHODCALLTYPE GetNamesFromIDs(LPSPropTagArray*, LPGUID, ULONG, ULONG*, LPMAPINAMEID**) override {
    return MAPI_E_NO_SUPPORT;
  }
  HRESULT STDMETHODCALLTYPE GetIDsFromNames(ULONG, LPMAPINAMEID*, ULONG, LPSPropTagArray*) override { return MAPI_E_NO_SUPPORT; }

 protected:
  Row row_;
};

}  // namespace mapi
