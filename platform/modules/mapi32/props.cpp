// Property values and restrictions of the MAPI stand-in.
#include "platform/modules/mapi32/props.h"

#include <algorithm>
#include <cstring>

#include "platform/base/codepage.h"
#include "platform/base/text.h"
#include "platform/modules/mapi32/memory.h"

namespace mapi {
namespace {

namespace text = platform::text;

std::u16string wideOf(LPCWSTR s) { return s ? std::u16string(s) : std::u16string(); }

// Three-way comparison of two values of comparable types; nullopt when they cannot be compared.
std::optional<int> compare(const Value& a, const Value& b, bool ignoreCase) {
  const ULONG ta = a.type(), tb = b.type();
  if (isStringType(ta) && isStringType(tb)) {
    int c = ignoreCase ? text::compareNoCase(a.text, b.text) : a.text.compare(b.text);
    return c < 0 ? -1 : c > 0 ? 1 : 0;
  }
  if (ta != tb) return std::nullopt;
  switch (ta) {
    case PT_I2: case PT_LONG: case PT_BOOLEAN: case PT_I8: case PT_SYSTIME: case PT_CURRENCY: case PT_ERROR:
      return a.i < b.i ? -1 : a.i > b.i ? 1 : 0;
    case PT_R4: case PT_DOUBLE: case PT_APPTIME:
      return a.d < b.d ? -1 : a.d > b.d ? 1 : 0;
    case PT_BINARY: case PT_CLSID: {
      // MAPI orders binary values by length first, then bytes.
      if (a.bytes.size() != b.bytes.size()) return a.bytes.size() < b.bytes.size() ? -1 : 1;
      int c = std::memcmp(a.bytes.data(), b.bytes.data(), a.bytes.size());
      return c < 0 ? -1 : c > 0 ? 1 : 0;
    }
    default:
      return std::nullopt;
  }
}

bool relation(ULONG relop, int c) {
  switch (relop) {
    case RELOP_LT: return c < 0;
    case RELOP_LE: return c <= 0;
    case RELOP_GT: return c > 0;
    case RELOP_GE: return c >= 0;
    case RELOP_EQ: return c == 0;
    case RELOP_NE: return c != 0;
    default: return false;
  }
}

bool contentMatches(ULONG fuzzy, const Value& have, const Value& want) {
  const bool ignoreCase = fuzzy & (FL_IGNORECASE | FL_LOOSE);
  if (isStringType(have.type()) && isStringType(want.type())) {
    std::u16string h = ignoreCase ? text::upcased(have.text) : have.text;
    std::u16string w = ignoreCase ? text::upcased(want.text) : want.text;
    switch (fuzzy & 0xFFFF) {
      case FL_SUBSTRING: return h.find(w) != std::u16string::npos;
      case FL_PREFIX: return h.compare(0, w.size(), w) == 0;
      default: return h == w;
    }
  }
  if (have.type() == PT_BINARY && want.type() == PT_BINARY) {
    switch (fuzzy & 0xFFFF) {
      case FL_SUBSTRING: return have.bytes.find(want.bytes) != std::string::npos;
      case FL_PREFIX: return have.bytes.compare(0, want.bytes.size(), want.bytes) == 0;
      default: return have.bytes == want.bytes;
    }
  }
  return false;
}

std::size_t sizeOf(const Value& v) {
  switch (v.type()) {
    case PT_STRING8: return narrow(v.text).size() + 1;
    case PT_UNICODE: return (v.text.size() + 1) * 2;
    case PT_BINARY: case PT_CLSID: return v.bytes.size();
    case PT_I2: case PT_BOOLEAN: return 2;
    case PT_LONG: case PT_R4: case PT_ERROR: return 4;
    default: return 8;
  }
}

}  // namespace

Value longValue(ULONG tag, LONG v) {
  Value out;
  out.tag = tag;
  out.i = v;
  return out;
}
Value boolValue(ULONG tag, bool v) {
  Value out;
  out.tag = tag;
  out.i = v ? 1 : 0;
  return out;
}
Value textValue(ULONG tag, std::u16string v) {
  Value out;
  out.tag = tag;
  out.text = std::move(v);
  return out;
}
Value binaryValue(ULONG tag, std::string v) {
  Value out;
  out.tag = tag;
  out.bytes = std::move(v);
  return out;
}
Value timeValue(ULONG tag, ULONGLONG filetime) {
  Value out;
  out.tag = tag;
  out.i = static_cast<LONGLONG>(filetime);
  return out;
}

bool isStringType(ULONG type) { return type == PT_STRING8 || type == PT_UNICODE; }

std::u16string widen(std::string_view ansi) {
  std::u16string out(ansi.size(), u'\0');
  for (std::size_t i = 0; i < ansi.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(ansi[i]);
    if (c >= 0x80) return text::ansiToWide(ansi);
    out[i] = c;
  }
  return out;
}

std::string narrow(std::u16string_view wide) {
  std::string out(wide.size(), '\0');
  for (std::size_t i = 0; i < wide.size(); ++i) {
    if (wide[i] >= 0x80) return text::wideToAnsi(wide);
    out[i] = static_cast<char>(wide[i]);
  }
  return out;
}

const Value* find(const Row& row, ULONG tag) {
  for (const Value& v : row)
    if (v.id() == PROP_ID(tag)) return &v;
  return nullptr;
}

void put(Row& row, Value v) {
  for (Value& have : row)
    if (have.id() == v.id()) {
      have = std::move(v);
      return;
    }
  row.push_back(std::move(v));
}

HRESULT fromMapi(const SPropValue& from, Value& to) {
  to = Value{};
  to.tag = from.ulPropTag;
  const PV& pv = from.Value;
  switch (PROP_TYPE(from.ulPropTag)) {
    case PT_I2: to.i = pv.i; break;
    case PT_LONG: to.i = pv.l; break;
    case PT_BOOLEAN: to.i = pv.b ? 1 : 0; break;
    case PT_ERROR: to.i = pv.err; break;
    case PT_I8: to.i = pv.li.QuadPart; break;
    case PT_CURRENCY: to.i = pv.cur.int64; break;
    case PT_SYSTIME: to.i = static_cast<LONGLONG>((ULONGLONG(pv.ft.dwHighDateTime) << 32) | pv.ft.dwLowDateTime); break;
    case PT_R4: to.d = pv.flt; break;
    case PT_DOUBLE: to.d = pv.dbl; break;
    case PT_APPTIME: to.d = pv.at; break;
    case PT_STRING8: to.text = widen(pv.lpszA ? pv.lpszA : ""); break;
    case PT_UNICODE: to.text = wideOf(pv.lpszW); break;
    case PT_BINARY:
      if (pv.bin.cb && !pv.bin.lpb) return MAPI_E_INVALID_PARAMETER;
      to.bytes.assign(reinterpret_cast<const char*>(pv.bin.lpb), pv.bin.cb);
      break;
    case PT_CLSID:
      if (!pv.lpguid) return MAPI_E_INVALID_PARAMETER;
      to.bytes.assign(reinterpret_cast<const char*>(pv.lpguid), sizeof(GUID));
      break;
    case PT_MV_BINARY:
      if (pv.MVbin.cValues && !pv.MVbin.lpbin) return MAPI_E_INVALID_PARAMETER;
      for (ULONG k = 0; k < pv.MVbin.cValues; ++k) {
        if (pv.MVbin.lpbin[k].cb && !pv.MVbin.lpbin[k].lpb) return MAPI_E_INVALID_PARAMETER;
        to.multi.emplace_back(reinterpret_cast<const char*>(pv.MVbin.lpbin[k].lpb), pv.MVbin.lpbin[k].cb);
      }
      break;
    case PT_MV_STRING8:
      if (pv.MVszA.cValues && !pv.MVszA.lppszA) return MAPI_E_INVALID_PARAMETER;
      for (ULONG k = 0; k < pv.MVszA.cValues; ++k) to.multi.emplace_back(pv.MVszA.lppszA[k] ? pv.MVszA.lppszA[k] : "");
      break;
    case PT_MV_LONG:
      if (pv.MVl.cValues && !pv.MVl.lpl) return MAPI_E_INVALID_PARAMETER;
      for (ULONG k = 0; k < pv.MVl.cValues; ++k)
        to.multi.emplace_back(reinterpret_cast<const char*>(&pv.MVl.lpl[k]), sizeof(LONG));
      break;
    default:
      return MAPI_E_INVALID_PARAMETER;
  }
  return S_OK;
}

namespace {
// Room for a row's strings and bytes inside the row's own block, so a row is one allocation;
// what does not fit is chained to the block.
struct Arena {
  char* next = nullptr;
  char* end = nullptr;
  LPVOID take(std::size_t n, LPVOID owner, SCODE& failure) {
    n = (n + 7) & ~std::size_t(7);
    if (next && static_cast<std::size_t>(end - next) >= n) {
      char* p = next;
      next += n;
      return p;
    }
    LPVOID p = nullptr;
    if (n > 0x7FFFFFFF || (failure = allocateMore(static_cast<ULONG>(n), owner, &p)) != S_OK) return nullptr;
    return p;
  }
};
thread_local Arena* t_arena = nullptr;

// The bytes a value takes beyond its SPropValue, roughly (the arena's size).
std::size_t dataSize(const Value* v) {
  if (!v) return 0;
  std::size_t n = v->text.size() * 2 + 2 + v->bytes.size() + 8;
  for (const std::string& m : v->multi) n += m.size() + sizeof(SBinary) + 9;
  return n;
}
}  // namespace

bool toMapi(const Value* v, ULONG wanted, SPropValue& out, LPVOID owner, SCODE& failure) {
  failure = S_OK;
  out = SPropValue{};
  ULONG type = PROP_TYPE(wanted);
  const bool fits = v && (type == PT_UNSPECIFIED || type == v->type() || (isStringType(type) && isStringType(v->type())));
  if (!fits) {
    out.ulPropTag = PROP_TAG(PT_ERROR, PROP_ID(wanted));
    out.Value.err = MAPI_E_NOT_FOUND;
    return false;
  }
  if (type == PT_UNSPECIFIED) type = v->type();
  out.ulPropTag = PROP_TAG(type, PROP_ID(wanted));
  PV& pv = out.Value;
  auto chain = [&](const void* src, std::size_t n) -> LPVOID {
    LPVOID p = nullptr;
    if (t_arena) {
      p = t_arena->take(n, owner, failure);
      if (!p) return nullptr;
    } else if (n > 0x7FFFFFFF || (failure = allocateMore(static_cast<ULONG>(n), owner, &p)) != S_OK) {
      return nullptr;
    }
    if (n) std::memcpy(p, src, n);
    return p;
  };
  switch (type) {
    case PT_I2: pv.i = static_cast<short>(v->i); break;
    case PT_LONG: pv.l = static_cast<LONG>(v->i); break;
    case PT_BOOLEAN: pv.b = v->i ? 1 : 0; break;
    case PT_ERROR: pv.err = static_cast<SCODE>(v->i); break;
    case PT_I8: pv.li.QuadPart = v->i; break;
    case PT_CURRENCY: pv.cur.int64 = v->i; break;
    case PT_SYSTIME:
      pv.ft.dwLowDateTime = static_cast<DWORD>(ULONGLONG(v->i));
      pv.ft.dwHighDateTime = static_cast<DWORD>(ULONGLONG(v->i) >> 32);
      break;
    case PT_R4: pv.flt = static_cast<float>(v->d); break;
    case PT_DOUBLE: pv.dbl = v->d; break;
    case PT_APPTIME: pv.at = v->d; break;
    case PT_STRING8: {
      std::string a = narrow(v->text);
      pv.lpszA = static_cast<LPSTR>(chain(a.c_str(), a.size() + 1));
      break;
    }
    case PT_UNICODE:
      pv.lpszW = static_cast<LPWSTR>(chain(v->text.c_str(), (v->text.size() + 1) * sizeof(char16_t)));
      break;
    case PT_BINARY:
      pv.bin.cb = static_cast<ULONG>(v->bytes.size());
      pv.bin.lpb = static_cast<LPBYTE>(chain(v->bytes.data(), v->bytes.size()));
      break;
    case PT_CLSID:
      pv.lpguid = static_cast<LPGUID>(chain(v->bytes.data(), std::min(v->bytes.size(), sizeof(GUID))));
      break;
    case PT_MV_BINARY: {
      LPVOID p = nullptr;
      failure = allocateMore(static_cast<ULONG>(v->multi.size() * sizeof(SBinary)), owner, &p);
      auto* list = static_cast<SBinary*>(p);
      for (std::size_t k = 0; failure == S_OK && k < v->multi.size(); ++k) {
        list[k].cb = static_cast<ULONG>(v->multi[k].size());
        list[k].lpb = static_cast<LPBYTE>(chain(v->multi[k].data(), v->multi[k].size()));
      }
      pv.MVbin = {static_cast<ULONG>(v->multi.size()), list};
      break;
    }
    case PT_MV_STRING8: {
      LPVOID p = nullptr;
      failure = allocateMore(static_cast<ULONG>(v->multi.size() * sizeof(LPSTR)), owner, &p);
      auto* list = static_cast<LPSTR*>(p);
      for (std::size_t k = 0; failure == S_OK && k < v->multi.size(); ++k)
        list[k] = static_cast<LPSTR>(chain(v->multi[k].c_str(), v->multi[k].size() + 1));
      pv.MVszA = {static_cast<ULONG>(v->multi.size()), list};
      break;
    }
    case PT_MV_LONG: {
      LPVOID p = nullptr;
      failure = allocateMore(static_cast<ULONG>(v->multi.size() * sizeof(LONG)), owner, &p);
      auto* list = static_cast<LONG*>(p);
      for (std::size_t k = 0; failure == S_OK && k < v->multi.size(); ++k)
        std::memcpy(&list[k], v->multi[k].data(), std::min(v->multi[k].size(), sizeof(LONG)));
      pv.MVl = {static_cast<ULONG>(v->multi.size()), list};
      break;
    }
    default:
      break;
  }
  return true;
}

HRESULT makeProps(const Row& row, LPSPropTagArray tags, ULONG* count, LPSPropValue* out) {
  if (!count || !out) return MAPI_E_INVALID_PARAMETER;
  *count = 0;
  *out = nullptr;
  std::vector<ULONG> wanted;
  if (tags) {
    wanted.assign(tags->aulPropTag, tags->aulPropTag + tags->cValues);
  } else {
    for (const Value& v : row) wanted.push_back(v.tag);
  }
  LPVOID block = nullptr;
  if (SCODE sc = allocateBuffer(static_cast<ULONG>(std::max<std::size_t>(wanted.size(), 1) * sizeof(SPropValue)), &block);
      sc != S_OK)
    return sc;
  auto* values = static_cast<LPSPropValue>(block);
  bool errors = false;
  for (std::size_t k = 0; k < wanted.size(); ++k) {
    SCODE failure = S_OK;
    if (!toMapi(find(row, wanted[k]), wanted[k], values[k], block, failure)) errors = true;
    if (failure != S_OK) {
      freeBuffer(block);
      return failure;
    }
  }
  *count = static_cast<ULONG>(wanted.size());
  *out = values;
  return errors ? MAPI_W_ERRORS_RETURNED : S_OK;
}

const Value* lookup(const Row& row, ULONG tag, const Deriver* deriver, Value& scratch) {
  if (const Value* v = find(row, tag)) return v;
  if (deriver && deriver->derive(row, tag, scratch)) return &scratch;
  return nullptr;
}

HRESULT makeRowSet(const std::vector<const Row*>& rows, const std::vector<ULONG>& columns, LPSRowSet* out,
                   const Deriver* deriver) {
  *out = nullptr;
  LPVOID block = nullptr;
  if (SCODE sc = allocateBuffer(static_cast<ULONG>(CbNewSRowSet(std::max<std::size_t>(rows.size(), 1))), &block); sc != S_OK)
    return sc;
  auto* set = static_cast<LPSRowSet>(block);
  set->cRows = 0;
  std::vector<const Value*> foundBuffer;
  std::vector<Value> scratchBuffer;
  for (const Row* row : rows) {
    std::vector<const Value*>& found = foundBuffer;
    std::vector<Value>& scratch = scratchBuffer;
    found.assign(columns.size(), nullptr);
    scratch.resize(columns.size());
    std::size_t extra = 0;
    for (std::size_t k = 0; k < columns.size(); ++k) {
      found[k] = lookup(*row, columns[k], deriver, scratch[k]);
      extra += dataSize(found[k]);
    }
    const std::size_t head = std::max<std::size_t>(columns.size(), 1) * sizeof(SPropValue);
    LPVOID props = nullptr;
    if (head + extra > 0x7FFFFFFF) {
      freeRows(set);
      return MAPI_E_NOT_ENOUGH_MEMORY;
    }
    if (SCODE sc = allocateBuffer(static_cast<ULONG>(head + extra), &props); sc != S_OK) {
      freeRows(set);
      return sc;
    }
    auto* values = static_cast<LPSPropValue>(props);
    SRow& r = set->aRow[set->cRows++];
    r = SRow{0, static_cast<ULONG>(columns.size()), values};
    Arena arena{static_cast<char*>(props) + head, static_cast<char*>(props) + head + extra};
    t_arena = &arena;
    for (std::size_t k = 0; k < columns.size(); ++k) {
      SCODE failure = S_OK;
      toMapi(found[k], columns[k], values[k], props, failure);
      if (failure != S_OK) {
        t_arena = nullptr;
        freeRows(set);
        return failure;
      }
    }
    t_arena = nullptr;
  }
  *out = set;
  return S_OK;
}

HRESULT copyRestriction(const SRestriction& from, Restriction& to, int depth) {
  if (depth > 64) return MAPI_E_TOO_COMPLEX;
  to = Restriction{};
  to.rt = from.rt;
  auto copyValueOf = [&](LPSPropValue p) -> HRESULT {
    if (!p) return MAPI_E_INVALID_PARAMETER;
    Value v;
    if (HRESULT hr = fromMapi(*p, v); FAILED(hr)) return hr;
    to.value = std::move(v);
    return S_OK;
  };
  auto copySubs = [&](ULONG n, LPSRestriction list) -> HRESULT {
    if (n && !list) return MAPI_E_INVALID_PARAMETER;
    to.subs.resize(n);
    for (ULONG k = 0; k < n; ++k)
      if (HRESULT hr = copyRestriction(list[k], to.subs[k], depth + 1); FAILED(hr)) return hr;
    return S_OK;
  };
  switch (from.rt) {
    case RES_AND: return copySubs(from.res.resAnd.cRes, from.res.resAnd.lpRes);
    case RES_OR: return copySubs(from.res.resOr.cRes, from.res.resOr.lpRes);
    case RES_NOT: return copySubs(1, from.res.resNot.lpRes);
    case RES_CONTENT:
      to.op = from.res.resContent.ulFuzzyLevel;
      to.tag = from.res.resContent.ulPropTag;
      return copyValueOf(from.res.resContent.lpProp);
    case RES_PROPERTY:
      if (from.res.resProperty.relop > RELOP_NE) return MAPI_E_TOO_COMPLEX;
      to.op = from.res.resProperty.relop;
      to.tag = from.res.resProperty.ulPropTag;
      return copyValueOf(from.res.resProperty.lpProp);
    case RES_COMPAREPROPS:
      if (from.res.resCompareProps.relop > RELOP_NE) return MAPI_E_TOO_COMPLEX;
      to.op = from.res.resCompareProps.relop;
      to.tag = from.res.resCompareProps.ulPropTag1;
      to.tag2 = from.res.resCompareProps.ulPropTag2;
      return S_OK;
    case RES_BITMASK:
      if (from.res.resBitMask.relBMR > BMR_NEZ) return MAPI_E_INVALID_PARAMETER;
      to.op = from.res.resBitMask.relBMR;
      to.tag = from.res.resBitMask.ulPropTag;
      to.mask = from.res.resBitMask.ulMask;
      return S_OK;
    case RES_SIZE:
      if (from.res.resSize.relop > RELOP_NE) return MAPI_E_TOO_COMPLEX;
      to.op = from.res.resSize.relop;
      to.tag = from.res.resSize.ulPropTag;
      to.mask = from.res.resSize.cb;
      return S_OK;
    case RES_EXIST:
      to.tag = from.res.resExist.ulPropTag;
      return S_OK;
    default:
      return MAPI_E_TOO_COMPLEX;
  }
}

bool matches(const Restriction& r, const Row& row, const Deriver* deriver) {
  switch (r.rt) {
    case RES_AND:
      return std::all_of(r.subs.begin(), r.subs.end(), [&](const Restriction& s) { return matches(s, row, deriver); });
    case RES_OR:
      return std::any_of(r.subs.begin(), r.subs.end(), [&](const Restriction& s) { return matches(s, row, deriver); });
    case RES_NOT:
      return !matches(r.subs[0], row, deriver);
    case RES_CONTENT: {
      Value scratch;
      const Value* have = lookup(row, r.tag, deriver, scratch);
      return have && r.value && contentMatches(r.op, *have, *r.value);
    }
    case RES_PROPERTY: {
      // A row without the property does not match, whatever the relation (NE included).
      Value scratch;
      const Value* have = lookup(row, r.tag, deriver, scratch);
      if (!have || !r.value) return false;
      auto c = compare(*have, *r.value, false);
      return c && relation(r.op, *c);
    }
    case RES_COMPAREPROPS: {
      Value s1, s2;
      const Value* a = lookup(row, r.tag, deriver, s1);
      const Value* b = lookup(row, r.tag2, deriver, s2);
      if (!a || !b) return false;
      auto c = compare(*a, *b, false);
      return c && relation(r.op, *c);
    }
    case RES_BITMASK: {
      Value scratch;
      const Value* have = lookup(row, r.tag, deriver, scratch);
      if (!have || have->type() != PT_LONG) return false;
      const bool zero = (static_cast<ULONG>(have->i) & r.mask) == 0;
      return r.op == BMR_EQZ ? zero : !zero;
    }
    case RES_SIZE: {
      Value scratch;
      const Value* have = lookup(row, r.tag, deriver, scratch);
      if (!have) return false;
      const std::size_t n = sizeOf(*have);
      return relation(r.op, n < r.mask ? -1 : n > r.mask ? 1 : 0);
    }
    case RES_EXIST: {
      Value scratch;
      return lookup(row, r.tag, deriver, scratch) != nullptr;
    }
    default:
      return false;
  }
}

}  // namespace mapi
