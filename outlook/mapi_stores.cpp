// Message stores, entries, special folders, messages, attachments and the Exchange identity of a
// session's user.
#include <cstring>
#include <string>
#include <vector>

#include "app/log.h"
#include "outlook/mapi_internal.h"
#include "outlook/mapi_util.h"
#include "platform/com/stream.h"

namespace {

using namespace mapilayer;
using platform::com::Ptr;
using EntryId = CMapiUtil::EntryId;

constexpr ULONG kFirstInboxTag = 0x36D00102;
constexpr ULONG kRequiredSupport = 0x4 /* search */ | 0x8 /* modify */ | 0x100 /* notify */ | 0x1000 /* restriction */;
#ifndef PR_RENDERING_POSITION
#define PR_RENDERING_POSITION PROP_TAG(PT_LONG, 0x370B)
#endif
#ifndef PR_ATTACH_METHOD
#define PR_ATTACH_METHOD PROP_TAG(PT_LONG, 0x3705)
#endif
constexpr ULONG kHomeMta = 0x8007001E;
// The attachment's name as the product writes it and reads it back (8-bit).
constexpr ULONG kAttachNameTag = 0x3704001E;

bool isShortTerm(const BYTE* bytes, ULONG count) { return isShortTermEntryId(bytes, count); }

template <class I>
HRESULT openAs(IMsgStore* store, const EntryId& id, Ptr<I>& out) {
  out.reset();
  Ptr<IUnknown> object;
  ULONG type = 0;
  HRESULT hr = store->OpenEntry(static_cast<ULONG>(id.size()), entryPointer(id), nullptr, MAPI_BEST_ACCESS, &type,
                                object.put());
  if (FAILED(hr)) return hr;
  return object.as(out);
}

// A file name that stays in the folder it is joined to.
bool isPlainFileName(std::string_view name) {
  if (name.empty() || name.size() > 259) return false;
  if (name.find_first_of("\\/:") != std::string_view::npos) return false;
  return name != "." && name != "..";
}

}  // namespace

CString hexFromBytes(const BYTE* bytes, ULONG count) {
  static const char16_t digits[] = u"0123456789ABCDEF";
  std::u16string text;
  text.reserve(count * 2);
  for (ULONG i = 0; i < count; ++i) {
    text += digits[bytes[i] >> 4];
    text += digits[bytes[i] & 0xF];
  }
  return CString(std::move(text));
}

bool bytesFromHex(const CString& hex, std::vector<BYTE>& bytes) {
  bytes.clear();
  const std::u16string_view text = hex.view();
  if (text.size() % 2) return false;
  auto digit = [](char16_t c) -> int {
    if (c >= u'0' && c <= u'9') return c - u'0';
    if (c >= u'A' && c <= u'F') return c - u'A' + 10;
    if (c >= u'a' && c <= u'f') return c - u'a' + 10;
    return -1;
  };
  for (std::size_t i = 0; i < text.size(); i += 2) {
    const int hi = digit(text[i]), lo = digit(text[i + 1]);
    if (hi < 0 || lo < 0) {
      bytes.clear();
      return false;
    }
    bytes.push_back(static_cast<BYTE>(hi * 16 + lo));
  }
  return true;
}

void CMapiUtil::openDefaultMessageStore(Store& store, IMAPISession* session) {
  store.reset();
  if (!session) return;
  const HRESULT hr = guarded(u"openDefaultMessageStore", HRESULT(E_FAIL), [&]() -> HRESULT {
    Ptr<IMAPITable> table;
    HRESULT result = session->GetMsgStoresTable(0, table.put());
    if (FAILED(result)) return result;
    SizedSPropTagArray(3, columns) = {3, {PR_ENTRYID, PR_DISPLAY_NAME_W, PR_DEFAULT_STORE}};
    SPropValue isDefault{};
    isDefault.ulPropTag = PR_DEFAULT_STORE;
    isDefault.Value.b = 1;
    SRestriction restriction{};
    restriction.rt = RES_PROPERTY;
    restriction.res.resProperty = {RELOP_EQ, PR_DEFAULT_STORE, &isDefault};
    Rows rows;
    result = loader().HrQueryAllRows(table.get(), reinterpret_cast<LPSPropTagArray>(&columns), &restriction, nullptr, 0,
                                     rows.put());
    if (FAILED(result)) return result;
    if (rows.count() == 0) return MAPI_E_NOT_FOUND;
    const SPropValue& id = rows.at(0, 0);
    if (id.ulPropTag != PR_ENTRYID) return MAPI_E_NOT_FOUND;
    return session->OpenMsgStore(0, id.Value.bin.cb, reinterpret_cast<LPENTRYID>(id.Value.bin.lpb), nullptr,
                                 MAPI_BEST_ACCESS, store.put());
  });
  if (FAILED(hr)) {
    store.reset();
    writeLog(u"Failed to open Default Message Store.  The failure code is %x", static_cast<unsigned>(hr));
  }
}

void CMapiUtil::openMessageStore(Store& store, const CString& displayName, IMAPISession* session, bool allowDialogs) {
  store.reset();
  guarded(u"openMessageStore", 0, [&] {
    if (!session) return 0;
    const CString wanted = displayName.GetLength() > 255 ? displayName.Left(255) : displayName;
    Ptr<IMAPITable> table;
    if (FAILED(session->GetMsgStoresTable(0, table.put()))) return 0;
    SizedSPropTagArray(2, columns) = {2, {PR_DISPLAY_NAME_A, PR_ENTRYID}};
    Rows rows;
    if (FAILED(loader().HrQueryAllRows(table.get(), reinterpret_cast<LPSPropTagArray>(&columns), nullptr, nullptr, 0,
                                       rows.put())))
      return 0;
    const ULONG flags = MAPI_BEST_ACCESS | (allowDialogs ? 0 : MDB_NO_DIALOG);
    for (ULONG i = 0; i < rows.count(); ++i) {
      const SPropValue& id = rows.at(i, 1);
      if (id.ulPropTag != PR_ENTRYID) continue;
      Store candidate;
      if (FAILED(session->OpenMsgStore(0, id.Value.bin.cb, reinterpret_cast<LPENTRYID>(id.Value.bin.lpb), nullptr, flags,
                                       candidate.put())))
        continue;
      SizedSPropTagArray(1, maskTag) = {1, {PR_STORE_SUPPORT_MASK}};
      ULONG count = 0;
      Buffer<SPropValue> values;
      if (FAILED(candidate->GetProps(reinterpret_cast<LPSPropTagArray>(&maskTag), 0, &count, values.put())) || !values.get())
        continue;
      const bool supported = values->ulPropTag == PR_STORE_SUPPORT_MASK &&
                             (static_cast<ULONG>(values->Value.l) & kRequiredSupport) == kRequiredSupport;
      if (supported && isString8(rows.at(i, 0), PR_DISPLAY_NAME_A) &&
          CString(rows.at(i, 0).Value.lpszA).CompareNoCase(wanted) == 0) {
        store = candidate;
        break;
      }
    }
    return 0;
  });
}

HRESULT CMapiUtil::OpenEntry(IMsgStore* store, const EntryId& id, Ptr<IUnknown>& object, ULONG* type) {
  object.reset();
  if (!store) return E_FAIL;
  return guarded(u"OpenEntry", HRESULT(E_FAIL), [&] {
    ULONG objectType = 0;
    const HRESULT hr = store->OpenEntry(static_cast<ULONG>(id.size()), entryPointer(id), nullptr, MAPI_BEST_ACCESS,
                                        &objectType, object.put());
    if (FAILED(hr)) object.reset();
    if (type) *type = objectType;
    return hr;
  });
}

HRESULT CMapiUtil::OpenEntry(IMsgStore* store, const CString& hexId, Ptr<IUnknown>& object, ULONG* type) {
  EntryId id;
  if (!bytesFromHex(hexId, id)) {
    object.reset();
    return MAPI_E_INVALID_ENTRYID;
  }
  return OpenEntry(store, id, object, type);
}

HRESULT CMapiUtil::getLongTermEntryId(IMsgStore* store, const EntryId& id, EntryId& longTerm) {
  longTerm.clear();
  if (!store) return E_FAIL;
  return guarded(u"getLongTermEntryId", HRESULT(E_FAIL), [&]() -> HRESULT {
    Ptr<IMAPIProp> object;
    HRESULT hr = openAs(store, id, object);
    if (FAILED(hr)) return hr;
    Buffer<SPropValue> value;
    hr = loader().HrGetOneProp(object.get(), PR_ENTRYID, value.put());
    if (FAILED(hr)) return hr;
    longTerm.assign(value->Value.bin.lpb, value->Value.bin.lpb + value->Value.bin.cb);
    return S_OK;
  });
}

HRESULT CMapiUtil::getReceiveFolderEntryId(IMsgStore* store, CString& hexId, bool keepShortTerm) {
  hexId.Empty();
  if (!store) return E_FAIL;
  return guarded(u"getReceiveFolderEntryId", HRESULT(E_FAIL), [&]() -> HRESULT {
    char messageClass[] = "IPM.Note";
    ULONG count = 0;
    Buffer<ENTRYID> id;
    const HRESULT hr = store->GetReceiveFolder(messageClass, 0, &count, id.put(), nullptr);
    if (FAILED(hr) || !id.get()) return hr;
    const BYTE* bytes = reinterpret_cast<const BYTE*>(id.get());
    EntryId result(bytes, bytes + count);
    if (isShortTerm(bytes, count) && !keepShortTerm) {
      EntryId longTerm;
      if (SUCCEEDED(getLongTermEntryId(store, result, longTerm))) result = std::move(longTerm);
    }
    hexId = hexFromBytes(result.data(), static_cast<ULONG>(result.size()));
    return hr;
  });
}

HRESULT CMapiUtil::getSpecialFolderEntryId(IMsgStore* store, ULONG tag, CString& hexId) {
  hexId.Empty();
  if (!store) return E_FAIL;
  return guarded(u"getSpecialFolderEntryId", HRESULT(E_FAIL), [&]() -> HRESULT {
    Buffer<SPropValue> value;
    HRESULT hr = S_OK;
    if (tag >= kFirstInboxTag) {
      CString inboxId;
      hr = getReceiveFolderEntryId(store, inboxId, true);
      if (FAILED(hr)) return hr;
      Ptr<IUnknown> object;
      hr = OpenEntry(store, inboxId, object);
      if (FAILED(hr)) return hr;
      Ptr<IMAPIProp> inbox;
      hr = object.as(inbox);
      if (FAILED(hr)) return hr;
      hr = loader().HrGetOneProp(inbox.get(), tag, value.put());
    } else {
      hr = loader().HrGetOneProp(store, tag, value.put());
    }
    if (FAILED(hr) || !value.get()) return hr;
    EntryId id(value->Value.bin.lpb, value->Value.bin.lpb + value->Value.bin.cb);
    if (isShortTerm(id.data(), static_cast<ULONG>(id.size()))) {
      EntryId longTerm;
      if (SUCCEEDED(getLongTermEntryId(store, id, longTerm))) id = std::move(longTerm);
    }
    hexId = hexFromBytes(id.data(), static_cast<ULONG>(id.size()));
    return hr;
  });
}

HRESULT CMapiUtil::deleteMessage(IMAPIFolder* folder, const EntryId& id) {
  if (!folder) return E_FAIL;
  return guarded(u"deleteMessage", HRESULT(E_FAIL), [&] {
    SBinary one{static_cast<ULONG>(id.size()), const_cast<BYTE*>(id.data())};
    SBinaryArray list{1, &one};
    return folder->DeleteMessages(&list, 0, nullptr, 0);
  });
}

bool CMapiUtil::sendMessage(IMAPIFolder* folder, const EntryId& id) {
  return guarded(u"sendMessage", false, [&] {
    if (!folder) return false;
    Ptr<IUnknown> object;
    ULONG type = 0;
    if (FAILED(folder->OpenEntry(static_cast<ULONG>(id.size()), entryPointer(id), nullptr, MAPI_BEST_ACCESS, &type,
                                 object.put())))
      return false;
    Ptr<IMessage> message;
    if (FAILED(object.as(message))) return false;
    return SUCCEEDED(message->SubmitMessage(0));
  });
}

bool CMapiUtil::createAttachmentFromFile(IMsgStore* store, const EntryId& messageId, const CString& filePath,
                                         const CString& attachmentName) {
  return guarded(u"createAttachmentFromFile", false, [&] {
    if (!store) return false;
    Ptr<IMessage> message;
    if (FAILED(openAs(store, messageId, message))) return false;
    ULONG number = 0;
    Ptr<IAttach> attachment;
    if (FAILED(message->CreateAttach(nullptr, 0, &number, attachment.put()))) return false;
    // Asked for IStream, the property comes back as one.
    Ptr<IStream> data;
    if (FAILED(attachment->OpenProperty(PR_ATTACH_DATA_BIN, &IID_IStream, 0, MAPI_CREATE | MAPI_MODIFY,
                                        reinterpret_cast<LPUNKNOWN*>(data.put()))))
      return false;
    std::string path = ansi(filePath);
    Ptr<IStream> file;
    CMAPILoader& mapi = loader();
    if (FAILED(mapi.OpenStreamOnFile(mapi.MAPIAllocateBuffer, mapi.MAPIFreeBuffer, STGM_READ, path.data(), nullptr,
                                     file.put())))
      return false;
    STATSTG stat{};
    if (FAILED(file->Stat(&stat, STATFLAG_NONAME))) return false;
    if (FAILED(file->CopyTo(data.get(), stat.cbSize, nullptr, nullptr))) return false;
    if (FAILED(data->Commit(STGC_OVERWRITE))) return false;
    // Only an attachment that holds the file's data is saved: an empty one would pass for the file.
    std::string name = ansi(attachmentName);
    SPropValue props[3]{};
    props[0].ulPropTag = kAttachNameTag;
    props[0].Value.lpszA = name.data();
    props[1].ulPropTag = PR_ATTACH_METHOD;
    props[1].Value.l = 1;
    props[2].ulPropTag = PR_RENDERING_POSITION;
    props[2].Value.l = -1;
    if (FAILED(attachment->SetProps(3, props, nullptr))) return false;
    if (FAILED(attachment->SaveChanges(0))) return false;
    return SUCCEEDED(message->SaveChanges(0));
  });
}

bool CMapiUtil::writeAttachmentToFile(IMsgStore* store, const EntryId& messageId, ULONG index, CString& path,
                                      bool join) {
  return guarded(u"writeAttachmentToFile", false, [&] {
    if (!store) return false;
    Ptr<IMessage> message;
    if (FAILED(openAs(store, messageId, message))) return false;
    Ptr<IMAPITable> table;
    if (FAILED(message->GetAttachmentTable(0, table.put()))) return false;
    SizedSPropTagArray(3, columns) = {3, {PR_ATTACH_NUM, kAttachNameTag, PR_ATTACH_SIZE}};
    Rows rows;
    if (FAILED(loader().HrQueryAllRows(table.get(), reinterpret_cast<LPSPropTagArray>(&columns), nullptr, nullptr, 0,
                                       rows.put())))
      return false;
    if (index >= rows.count() || rows.at(index, 0).ulPropTag != PR_ATTACH_NUM ||
        !isString8(rows.at(index, 1), kAttachNameTag))
      return false;
    const std::string name = rows.at(index, 1).Value.lpszA;
    // The name comes from the message's sender: it must not lead the file out of the folder.
    if (!isPlainFileName(name)) return false;
    CString target(name.c_str());
    if (join) {
      target = path;
      if (!target.IsEmpty() && target[target.GetLength() - 1] != u'\\') target += u"\\";
      target += CString(name.c_str());
    }
    Ptr<IAttach> attachment;
    if (FAILED(message->OpenAttach(static_cast<ULONG>(rows.at(index, 0).Value.l), nullptr, MAPI_MODIFY, attachment.put())))
      return false;
    Ptr<IStream> data;
    if (FAILED(attachment->OpenProperty(PR_ATTACH_DATA_BIN, &IID_IStream, 0, MAPI_MODIFY,
                                        reinterpret_cast<LPUNKNOWN*>(data.put()))))
      return false;
    std::string file = ansi(target);
    Ptr<IStream> out;
    CMAPILoader& mapi = loader();
    if (FAILED(mapi.OpenStreamOnFile(mapi.MAPIAllocateBuffer, mapi.MAPIFreeBuffer, STGM_CREATE | STGM_READWRITE,
                                     file.data(), nullptr, out.put())))
      return false;
    if (join) path = target;
    ULARGE_INTEGER size{};
    size.QuadPart = rows.at(index, 2).ulPropTag == PR_ATTACH_SIZE ? static_cast<ULONG>(rows.at(index, 2).Value.l) : 0;
    if (FAILED(data->CopyTo(out.get(), size, nullptr, nullptr))) return false;
    return SUCCEEDED(out->Commit(STGC_OVERWRITE));
  });
}

HRESULT CMapiUtil::openIdentity(IMAPISession* session, Ptr<IMAPIProp>& identity) {
  identity.reset();
  if (!session) return E_FAIL;
  return guarded(u"openIdentity", HRESULT(E_FAIL), [&]() -> HRESULT {
    ULONG count = 0;
    Buffer<ENTRYID> id;
    HRESULT hr = session->QueryIdentity(&count, id.put());
    if (FAILED(hr)) return hr;
    ULONG type = 0;
    Ptr<IUnknown> object;
    hr = session->OpenEntry(count, id.get(), &IID_IMAPIProp, 0, &type, object.put());
    if (FAILED(hr)) return hr;
    return object.as(identity);
  });
}

HRESULT CMapiUtil::readIdentityEmailAddress(IMAPISession* session, CString& address) {
  return guarded(u"readIdentityEmailAddress", HRESULT(E_FAIL), [&]() -> HRESULT {
    Ptr<IMAPIProp> identity;
    HRESULT hr = openIdentity(session, identity);
    if (FAILED(hr)) return hr;
    SizedSPropTagArray(1, tags) = {1, {PR_EMAIL_ADDRESS_A}};
    ULONG count = 0;
    Buffer<SPropValue> values;
    hr = identity->GetProps(reinterpret_cast<LPSPropTagArray>(&tags), 0, &count, values.put());
    if (FAILED(hr) || hr == MAPI_W_ERRORS_RETURNED) return hr;
    if (values.get() && values->ulPropTag == PR_EMAIL_ADDRESS_A && values->Value.lpszA)
      address = CString(values->Value.lpszA);
    return hr;
  });
}

CString getExchangeServerDistinguishedName(IMAPISession* session) {
  CMapiUtil* util = getMapiUtil();
  CString result;
  const HRESULT hr = guarded(u"getExchangeServerDistinguishedName", HRESULT(E_FAIL), [&]() -> HRESULT {
    if (!util) return E_FAIL;
    Ptr<IMAPIProp> identity;
    HRESULT r = util->openIdentity(session, identity);
    if (FAILED(r)) return r;
    SizedSPropTagArray(1, tags) = {1, {kHomeMta}};
    ULONG count = 0;
    Buffer<SPropValue> values;
    r = identity->GetProps(reinterpret_cast<LPSPropTagArray>(&tags), 0, &count, values.put());
    if (FAILED(r) || r == MAPI_W_ERRORS_RETURNED) return r;
    if (!values.get() || values->ulPropTag != kHomeMta || !values->Value.lpszA) return r;
    const std::string mta = values->Value.lpszA;
    const std::size_t slash = mta.rfind('/');
    if (slash == std::string::npos) return r;
    const std::string tail = mta.substr(slash);
    if (tail.size() >= 4 && CString(tail.substr(0, 4).c_str()).CompareNoCase(u"/cn=") == 0)
      result = CString(mta.substr(0, slash).c_str());
    return r;
  });
  if (FAILED(hr) || hr == MAPI_W_ERRORS_RETURNED)
    writeLog(u"{getExchangeServerDistinguishedName}: HResult: %08X", static_cast<unsigned>(hr));
  return result;
}

CString getExchangeMailboxDistinguishedName(IMAPISession* session) {
  CMapiUtil* util = getMapiUtil();
  CString address;
  const HRESULT hr = util ? util->readIdentityEmailAddress(session, address) : E_FAIL;
  if (FAILED(hr)) {
    writeLog(u"{getExchangeMailboxDistinguishedName}: HResult: %08X", static_cast<unsigned>(hr));
    return CString();
  }
  return address;
}
