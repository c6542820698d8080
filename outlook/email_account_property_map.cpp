// The account property set (email_account_property_map.h).
#include "outlook/email_account_property_map.h"

#include <array>
#include <mutex>

namespace {

std::array<VARTYPE, accountprop::kCount> g_types{};

void copyInto(VARIANT& target, const VARIANT& source) {
  VariantInit(&target);
  VariantCopy(&target, &source);
}

}  // namespace

void CEMailAccountPropertyMap::initPropertyTypes() {
  static std::once_flag once;
  std::call_once(once, [] {
    g_types.fill(VT_BSTR);
    for (ULONG n : {6, 7, 10, 12, 13, 14, 15, 18, 20, 21, 22, 23, 24, 27, 29, 31, 32, 36, 39}) g_types[n] = VT_I4;
    for (ULONG n : {accountprop::kPop3Password, accountprop::kSmtpPassword}) g_types[n] = VT_ARRAY | VT_UI1;
  });
}

CEMailAccountPropertyMap::CEMailAccountPropertyMap() { initPropertyTypes(); }

CEMailAccountPropertyMap::CEMailAccountPropertyMap(const CEMailAccountPropertyMap& other) {
  initPropertyTypes();
  for (const auto& [number, value] : other.m_values) copyInto(m_values[number], value);
}

CEMailAccountPropertyMap::~CEMailAccountPropertyMap() {
  for (auto& entry : m_values) VariantClear(&entry.second);
}

VARTYPE CEMailAccountPropertyMap::getPropertyType(ULONG number) {
  initPropertyTypes();
  return number < accountprop::kCount ? g_types[number] : static_cast<VARTYPE>(VT_ERROR);
}

bool CEMailAccountPropertyMap::getProperty(ULONG number, VARIANT* value) const {
  auto it = m_values.find(number);
  if (it == m_values.end() || !value) return false;
  copyInto(*value, it->second);
  return true;
}

void CEMailAccountPropertyMap::setProperty(ULONG number, const VARIANT& value) {
  removeProperty(number);
  copyInto(m_values[number], value);
}

void CEMailAccountPropertyMap::removeProperty(ULONG number) {
  auto it = m_values.find(number);
  if (it == m_values.end()) return;
  VariantClear(&it->second);
  m_values.erase(it);
}

CString CEMailAccountPropertyMap::getText(ULONG number) const {
  auto it = m_values.find(number);
  if (it == m_values.end() || it->second.vt != VT_BSTR || !it->second.bstrVal) return CString();
  return CString(it->second.bstrVal, static_cast<int>(SysStringLen(it->second.bstrVal)));
}

bool CEMailAccountPropertyMap::readNumber(ULONG number, LONG& value) const {
  auto it = m_values.find(number);
  if (it == m_values.end()) return false;
  if (it->second.vt == VT_I4 || it->second.vt == VT_UI4) {
    value = it->second.lVal;
    return true;
  }
  // A number stored in another form (a variant set by a caller) is converted, as Outlook's own
  // account code accepts it.
  VARIANT converted;
  VariantInit(&converted);
  if (FAILED(VariantChangeType(&converted, &it->second, 0, VT_I4))) return false;
  value = converted.lVal;
  VariantClear(&converted);
  return true;
}

LONG CEMailAccountPropertyMap::getNumber(ULONG number, LONG fallback) const {
  LONG value = fallback;
  return readNumber(number, value) ? value : fallback;
}

void CEMailAccountPropertyMap::setText(ULONG number, const CString& text) {
  VARIANT v;
  VariantInit(&v);
  v.vt = VT_BSTR;
  v.bstrVal = SysAllocStringLen(text.GetString(), static_cast<UINT>(text.GetLength()));
  removeProperty(number);
  m_values[number] = v;
}

void CEMailAccountPropertyMap::setNumber(ULONG number, LONG value) {
  VARIANT v;
  VariantInit(&v);
  v.vt = VT_I4;
  v.lVal = value;
  removeProperty(number);
  m_values[number] = v;
}

void CEMailAccountPropertyMap::copySmtpSettings(const CEMailAccountPropertyMap& other) {
  auto take = [&](ULONG number) {
    removeProperty(number);
    VARIANT v;
    VariantInit(&v);
    if (other.getProperty(number, &v)) setProperty(number, v);
    VariantClear(&v);
  };
  for (ULONG n : {accountprop::kSmtpUser, accountprop::kSmtpServer, accountprop::kSmtpUseAuth, accountprop::kSmtpAuthMethod})
    take(n);
  if (other.getNumber(accountprop::kSmtpAuthMethod, 0) == 0) {
    setNumber(accountprop::kSmtpAuthMethod, 1);
    if (other.hasProperty(accountprop::kPop3User)) {
      VARIANT v;
      VariantInit(&v);
      other.getProperty(accountprop::kPop3User, &v);
      setProperty(accountprop::kSmtpUser, v);
      VariantClear(&v);
    }
  }
  for (ULONG n : {accountprop::kSmtpUseSpa, accountprop::kSmtpUseSsl}) take(n);
}
