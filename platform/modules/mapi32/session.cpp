// Sessions, message stores, folders, messages and attachments of the MAPI stand-in. Objects
// read their properties from the store file when asked and keep changes until SaveChanges; a new
// message or attachment exists in the file only from its first SaveChanges. Tables are
// snapshots taken when they are opened.
//
// Entry ids: an object's are the store's (store.h); a store's own entry id names the profile's
// service that holds it: 4 zero flag bytes, the stand-in's store-provider id, the service id.
#include "platform/modules/mapi32/session.h"

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <functional>
#include <memory>
#include <vector>

#include "platform/base/codepage.h"
#include "platform/base/fault.h"
#include "platform/base/text.h"
#include "platform/com/stream.h"
#include "platform/modules/mapi32/addrbook.h"
#include "platform/modules/mapi32/exchange.h"
#include "platform/modules/mapi32/memory.h"
#include "platform/modules/mapi32/profiles.h"
#include "platform/modules/mapi32/store.h"
#include "platform/modules/mapi32/table.h"
#include "platform/win32/time.h"

namespace mapi {
namespace {

namespace text = platform::text;
using platform::com::Ptr;

HRESULT faultOf(std::string_view call, std::u16string_view subject) {
  return static_cast<HRESULT>(platform::fault::check(call, subject));
}

constexpr BYTE kStoreProvider[16] = {0x4B, 0x49, 0x50, 0x4F, 0x2D, 0x4D, 0x41, 0x50,
                                     0x49, 0x2D, 0x53, 0x54, 0x4F, 0x52, 0x45, 0x31};
constexpr ULONG kStoreEntryIdSize = 36;
#define MAPI_W_PARTIAL_COMPLETION static_cast<HRESULT>(0x00040680L)

std::string bytesOf(ULONG cb, LPENTRYID id) {
  return id && cb ? std::string(reinterpret_cast<const char*>(id), cb) : std::string();
}

std::string storeEntryId(const MAPIUID& service) {
  return std::string(4, '\0') + std::string(reinterpret_cast<const char*>(kStoreProvider), 16) +
         std::string(reinterpret_cast<const char*>(service.ab), 16);
}

bool serviceOfStoreId(const std::string& id, MAPIUID& service) {
  if (id.size() != kStoreEntryIdSize || id.compare(0, 4, std::string(4, '\0')) != 0 ||
      std::memcmp(id.data() + 4, kStoreProvider, 16) != 0)
    return false;
  std::memcpy(service.ab, id.data() + 20, 16);
  return true;
}

HRESULT copyOut(const std::string& bytes, ULONG* cb, LPENTRYID* out) {
  LPVOID block = nullptr;
  if (SCODE sc = allocateBuffer(static_cast<ULONG>(bytes.size()), &block); sc != S_OK) return sc;
  std::memcpy(block, bytes.data(), bytes.size());
  *cb = static_cast<ULONG>(bytes.size());
  *out = static_cast<LPENTRYID>(block);
  return S_OK;
}

// How a session names a store's objects. Short-term entry ids (first byte 0x80) carry the
// session's token and are valid in that session only: 0x80, 3 zero bytes, the token (4 bytes),
// then the long-term id's store id and object number. A store hands them out in its tables'
// PR_ENTRYID (beside PR_LONGTERM_ENTRYID_FROM_TABLE) and from GetReceiveFolder when its service
// says so (PR_STANDIN_SHORT_TERM_IDS true in the service's profile section); every call that
// takes an entry id accepts both forms.
#define PR_STANDIN_SHORT_TERM_IDS PROP_TAG(PT_BOOLEAN, 0x67F0)
struct Ids {
  std::string token;  // 4 bytes
  bool shortTerm = false;
  std::string storeEntryId;  // the store's id as the session names it (PR_STORE_ENTRYID)

  std::string shortOf(const std::string& longTerm) const {
    if (!shortTerm || longTerm.size() != 28) return longTerm;
    return std::string("\x80\0\0\0", 4) + token + longTerm.substr(4);
  }
  // The long-term form of either form; empty for a short-term id of another session.
  std::string longOf(const std::string& id) const {
    if (id.empty() || static_cast<unsigned char>(id[0]) < 0x80) return id;
    if (id.size() != 32 || id.compare(4, 4, token) != 0) return {};
    return std::string(4, '\0') + id.substr(8);
  }
};
using IdsPtr = std::shared_ptr<const Ids>;

// Rows for a table, each with PR_INSTANCE_KEY and the long-term id beside PR_ENTRYID.
std::vector<Row> tableRows(std::vector<std::pair<ObjectId, Row>>&& children) {
  std::vector<Row> rows;
  rows.reserve(children.size());
  for (auto& [id, row] : children) {
    if (const Value* e = find(row, PR_ENTRYID)) row.push_back(binaryValue(PR_LONGTERM_ENTRYID_FROM_TABLE, e->bytes));
    rows.push_back(std::move(row));
  }
  return rows;
}

// ---- the property object every store object is ----

template <class I>
class PropObject : public platform::com::SingleInterface<I> {
 public:
  PropObject(std::shared_ptr<Store> store, ObjectId id, bool writable)
      : store_(std::move(store)), id_(id), writable_(writable) {}

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
  HRESULT STDMETHODCALLTYPE SaveChanges(ULONG flags) override { return saveAs("", flags); }
  HRESULT STDMETHODCALLTYPE GetProps(LPSPropTagArray tags, ULONG, ULONG* count, LPSPropValue* values) override {
    Row row;
    if (HRESULT hr = current(row); FAILED(hr)) return hr;
    return makeProps(row, tags, count, values);
  }
  HRESULT STDMETHODCALLTYPE GetPropList(ULONG, LPSPropTagArray* tags) override {
    if (!tags) return MAPI_E_INVALID_PARAMETER;
    Row row;
    if (HRESULT hr = current(row); FAILED(hr)) return hr;
    LPVOID block = nullptr;
    if (SCODE sc = allocateBuffer(static_cast<ULONG>(CbNewSPropTagArray(row.size() + 1)), &block); sc != S_OK) return sc;
    auto* list = static_cast<LPSPropTagArray>(block);
    list->cValues = static_cast<ULONG>(row.size());
    for (std::size_t i = 0; i < row.size(); ++i) list->aulPropTag[i] = row[i].tag;
    *tags = list;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE OpenProperty(ULONG, LPCIID, ULONG, ULONG, LPUNKNOWN* object) override {
    if (object) *object = nullptr;
    return MAPI_E_NO_SUPPORT;
  }
  HRESULT STDMETHODCALLTYPE SetProps(ULONG count, LPSPropValue values, LPSPropProblemArray* problems) override {
    if (problems) *problems = nullptr;
    if (!writable_) return MAPI_E_NO_ACCESS;
    if (count && !values) return MAPI_E_INVALID_PARAMETER;
    for (ULONG i = 0; i < count; ++i) {
      Value v;
      if (HRESULT hr = fromMapi(values[i], v); FAILED(hr)) return hr;
      std::erase(removed_, v.id());
      put(pending_, std::move(v));
    }
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE DeleteProps(LPSPropTagArray tags, LPSPropProblemArray* problems) override {
    if (problems) *problems = nullptr;
    if (!writable_) return MAPI_E_NO_ACCESS;
    if (!tags) return MAPI_E_INVALID_PARAMETER;
    for (ULONG i = 0; i < tags->cValues; ++i) {
      const ULONG id = PROP_ID(tags->aulPropTag[i]);
      std::erase_if(pending_, [&](const Value& v) { return v.id() == id; });
      removed_.push_back(id);
    }
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE CopyTo(ULONG, LPCIID, LPSPropTagArray, ULONG_PTR, LPVOID, LPCIID, LPVOID, ULONG,
                                   LPSPropProblemArray*) override {
    return MAPI_E_NO_SUPPORT;
  }
  HRESULT STDMETHODCALLTYPE CopyProps(LPSPropTagArray, ULONG_PTR, LPVOID, LPCIID, LPVOID, ULONG,
                                      LPSPropProblemArray*) override {
    return MAPI_E_NO_SUPPORT;
  }
  HRESULT STDMETHODCALLTYPE GetNamesFromIDs(LPSPropTagArray*, LPGUID, ULONG, ULONG*, LPMAPINAMEID**) override {
    return MAPI_E_NO_SUPPORT;
  }
  HRESULT STDMETHODCALLTYPE GetIDsFromNames(ULONG, LPMAPINAMEID*, ULONG, LPSPropTagArray*) override {
    return MAPI_E_NO_SUPPORT;
  }

  // The saved properties with this object's unsaved changes over them.
  HRESULT current(Row& row) {
    row.clear();
    if (id_) {
      if (HRESULT hr = store_->props(id_, row); FAILED(hr)) return hr == MAPI_E_NOT_FOUND ? MAPI_E_OBJECT_DELETED : hr;
    }
    for (ULONG id : removed_) std::erase_if(row, [&](const Value& v) { return v.id() == id; });
    for (const Value& v : pending_) put(row, v);
    put(row, longValue(PR_OBJECT_TYPE, objectType()));
    return S_OK;
  }

 protected:
  virtual LONG objectType() const = 0;
  // Creates the object in the file on its first save.
  virtual HRESULT createIn(ObjectId&) { return MAPI_E_NO_SUPPORT; }

  HRESULT saveAs(std::string_view faultPoint, ULONG) {
    if (!writable_) return MAPI_E_NO_ACCESS;
    if (!faultPoint.empty())
      if (HRESULT hr = faultOf(faultPoint, u""); hr) return hr;
    if (!id_) {
      ObjectId made = 0;
      if (HRESULT hr = createIn(made); FAILED(hr)) return hr;
      id_ = made;
      pending_.clear();
      removed_.clear();
      return S_OK;
    }
    std::vector<ULONG> removedTags;
    for (ULONG id : removed_) removedTags.push_back(PROP_TAG(PT_UNSPECIFIED, id));
    if (HRESULT hr = store_->save(id_, pending_, removedTags); FAILED(hr)) return hr;
    pending_.clear();
    removed_.clear();
    return S_OK;
  }

  std::shared_ptr<Store> store_;
  ObjectId id_;
  bool writable_;
  Row pending_;
  std::vector<ULONG> removed_;
};

HRESULT openObject(const std::shared_ptr<Store>& store, ObjectId id, ULONG flags, ULONG* type, LPUNKNOWN* out,
                   const IdsPtr& ids);

// ---- messages and attachments ----

class Message;

class Attachment final : public PropObject<IAttach> {
 public:
  Attachment(std::shared_ptr<Store> store, ObjectId id, Message* message, ULONG number);
  ~Attachment() override;
  HRESULT STDMETHODCALLTYPE OpenProperty(ULONG tag, LPCIID iid, ULONG options, ULONG flags, LPUNKNOWN* object) override;

 protected:
  LONG objectType() const override { return MAPI_ATTACH; }
  HRESULT createIn(ObjectId& out) override;

 private:
  IMessage* message_;  // counted: the attachment keeps its message open
};

class Message final : public PropObject<IMessage> {
 public:
  Message(std::shared_ptr<Store> store, ObjectId id, ObjectId folder, Kind kind, bool writable)
      : PropObject(std::move(store), id, writable), folder_(folder), kind_(kind) {}

  ObjectId id() const { return id_; }
  HRESULT ensureSaved() { return id_ ? S_OK : saveAs("", 0); }
  std::shared_ptr<Store> store() const { return store_; }

  HRESULT STDMETHODCALLTYPE SaveChanges(ULONG flags) override {
    if (HRESULT hr = saveAs("IMessage::SaveChanges", flags); FAILED(hr)) return hr;
    return saveRecipients();
  }
  HRESULT STDMETHODCALLTYPE CopyTo(ULONG ciidExclude, LPCIID, LPSPropTagArray exclude, ULONG_PTR, LPVOID, LPCIID iid,
                                   LPVOID destination, ULONG, LPSPropProblemArray* problems) override {
    if (problems) *problems = nullptr;
    if (!destination || !iid || !(*iid == IID_IMessage)) return MAPI_E_INTERFACE_NOT_SUPPORTED;
    if (ciidExclude) return MAPI_E_NO_SUPPORT;
    if (HRESULT hr = faultOf("IMessage::CopyTo", u""); hr) return hr;
    Row row;
    if (HRESULT hr = current(row); FAILED(hr)) return hr;
    // The copy is a new object: what names this one stays behind; its time and search key go along.
    std::vector<SPropValue> values;
    LPVOID block = nullptr;
    if (SCODE sc = allocateBuffer(static_cast<ULONG>((row.size() + 1) * sizeof(SPropValue)), &block); sc != S_OK) return sc;
    auto* out = static_cast<LPSPropValue>(block);
    ULONG n = 0;
    for (const Value& v : row) {
      switch (v.tag) {
        case PR_ENTRYID: case PR_RECORD_KEY: case PR_SOURCE_KEY: case PR_PARENT_ENTRYID: case PR_PARENT_SOURCE_KEY:
        case PR_STORE_RECORD_KEY: case PR_INSTANCE_KEY: case PR_OBJECT_TYPE: case PR_CHANGE_KEY:
          continue;
        default:
          break;
      }
      bool skip = false;
      for (ULONG k = 0; exclude && k < exclude->cValues; ++k)
        if (PROP_ID(exclude->aulPropTag[k]) == v.id()) skip = true;
      if (skip) continue;
      SCODE sc = S_OK;
      toMapi(&v, v.tag, out[n], block, sc);
      if (sc != S_OK) {
        freeBuffer(block);
        return sc;
      }
      ++n;
    }
    HRESULT hr = static_cast<IMessage*>(destination)->SetProps(n, out, nullptr);
    freeBuffer(block);
    if (FAILED(hr)) return hr;
    // As on Windows, the recipient table goes with the message unless PR_MESSAGE_RECIPIENTS is
    // excluded.
    constexpr ULONG kRecipientsId = 0x0E12;
    for (ULONG k = 0; exclude && k < exclude->cValues; ++k)
      if (PROP_ID(exclude->aulPropTag[k]) == kRecipientsId) return hr;
    std::vector<Row> to;
    if (HRESULT r = recipients(to); FAILED(r)) return r;
    if (to.empty()) return hr;
    std::vector<BYTE> listBytes(sizeof(ADRLIST) + (to.size() - 1) * sizeof(ADRENTRY));
    auto* list = reinterpret_cast<LPADRLIST>(listBytes.data());
    list->cEntries = 0;
    std::vector<LPVOID> blocks;
    const auto freeBlocks = [&] {
      for (LPVOID b : blocks) freeBuffer(b);
    };
    for (const Row& r : to) {
      LPVOID entryBlock = nullptr;
      if (SCODE sc = allocateBuffer(static_cast<ULONG>((r.size() + 1) * sizeof(SPropValue)), &entryBlock); sc != S_OK) {
        freeBlocks();
        return sc;
      }
      blocks.push_back(entryBlock);
      auto* values = static_cast<LPSPropValue>(entryBlock);
      ULONG count = 0;
      for (const Value& v : r) {
        SCODE sc = S_OK;
        toMapi(&v, v.tag, values[count], entryBlock, sc);
        if (sc != S_OK) {
          freeBlocks();
          return sc;
        }
        ++count;
      }
      list->aEntries[list->cEntries++] = ADRENTRY{0, count, values};
    }
    hr = static_cast<IMessage*>(destination)->ModifyRecipients(0, list);
    freeBlocks();
    return hr;
  }

  HRESULT STDMETHODCALLTYPE GetAttachmentTable(ULONG, LPMAPITABLE* table) override {
    if (!table) return MAPI_E_INVALID_PARAMETER;
    *table = nullptr;
    std::vector<std::pair<ObjectId, Row>> children;
    if (id_)
      if (HRESULT hr = store_->childRows(id_, Kind::Attachment, children); FAILED(hr)) return hr;
    return newTable(tableRows(std::move(children)), {PR_ATTACH_NUM, PR_INSTANCE_KEY}, table);
  }
  HRESULT STDMETHODCALLTYPE OpenAttach(ULONG number, LPCIID, ULONG flags, LPATTACH* attach) override {
    if (!attach) return MAPI_E_INVALID_PARAMETER;
    *attach = nullptr;
    std::vector<std::pair<ObjectId, Row>> children;
    if (id_)
      if (HRESULT hr = store_->childRows(id_, Kind::Attachment, children); FAILED(hr)) return hr;
    for (auto& [id, row] : children) {
      const Value* n = find(row, PR_ATTACH_NUM);
      if (n && static_cast<ULONG>(n->i) == number) {
        *attach = new Attachment(store_, id, this, number);
        (void)flags;
        return S_OK;
      }
    }
    return MAPI_E_NOT_FOUND;
  }
  HRESULT STDMETHODCALLTYPE CreateAttach(LPCIID, ULONG, ULONG* number, LPATTACH* attach) override {
    if (!number || !attach) return MAPI_E_INVALID_PARAMETER;
    *attach = nullptr;
    if (!writable_) return MAPI_E_NO_ACCESS;
    *number = nextAttachment_++;
    if (id_) {
      std::vector<std::pair<ObjectId, Row>> children;
      if (HRESULT hr = store_->childRows(id_, Kind::Attachment, children); FAILED(hr)) return hr;
      for (auto& [cid, row] : children)
        if (const Value* n = find(row, PR_ATTACH_NUM); n && static_cast<ULONG>(n->i) >= *number)
          *number = static_cast<ULONG>(n->i) + 1;
      nextAttachment_ = *number + 1;
    }
    *attach = new Attachment(store_, 0, this, *number);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE DeleteAttach(ULONG number, ULONG_PTR, LPVOID, ULONG) override {
    Ptr<IAttach> a;
    if (HRESULT hr = OpenAttach(number, nullptr, 0, a.put()); FAILED(hr)) return hr;
    Row row;
    if (HRESULT hr = static_cast<Attachment*>(a.get())->current(row); FAILED(hr)) return hr;
    const Value* e = find(row, PR_ENTRYID);
    auto id = e ? store_->objectOf(e->bytes) : std::nullopt;
    return id ? store_->remove(*id) : MAPI_E_NOT_FOUND;
  }
  HRESULT STDMETHODCALLTYPE GetRecipientTable(ULONG, LPMAPITABLE* table) override {
    if (!table) return MAPI_E_INVALID_PARAMETER;
    *table = nullptr;
    std::vector<Row> rows;
    if (HRESULT hr = recipients(rows); FAILED(hr)) return hr;
    return newTable(std::move(rows), {PR_ROWID, PR_DISPLAY_NAME_A, PR_EMAIL_ADDRESS_A, PR_RECIPIENT_TYPE}, table);
  }
  // Recipients change with the message: kept here until SaveChanges. Flags 0 replaces the list;
  // MODRECIP_ADD adds; MODRECIP_MODIFY and MODRECIP_REMOVE act on the entries' PR_ROWID.
  HRESULT STDMETHODCALLTYPE ModifyRecipients(ULONG flags, LPVOID modifications) override {
    auto* list = static_cast<LPADRLIST>(modifications);
    if (!list) return MAPI_E_INVALID_PARAMETER;
    if (!writable_) return MAPI_E_NO_ACCESS;
    std::vector<Row> rows;
    if (flags) {
      if (HRESULT hr = recipients(rows); FAILED(hr)) return hr;
    }
    for (ULONG i = 0; i < list->cEntries; ++i) {
      const ADRENTRY& e = list->aEntries[i];
      if (e.cValues && !e.rgPropVals) return MAPI_E_INVALID_PARAMETER;
      Row row;
      for (ULONG k = 0; k < e.cValues; ++k) {
        Value v;
        if (HRESULT hr = fromMapi(e.rgPropVals[k], v); FAILED(hr)) return hr;
        put(row, std::move(v));
      }
      const Value* rowId = find(row, PR_ROWID);
      auto same = [&](const Row& r) {
        const Value* id = find(r, PR_ROWID);
        return rowId && id && id->i == rowId->i;
      };
      if (flags & (MODRECIP_MODIFY | MODRECIP_REMOVE)) {
        auto it = std::find_if(rows.begin(), rows.end(), same);
        if (it == rows.end()) return MAPI_E_NOT_FOUND;
        if (flags & MODRECIP_REMOVE) rows.erase(it);
        else *it = std::move(row);
        continue;
      }
      LONG next = 0;
      for (const Row& r : rows)
        if (const Value* id = find(r, PR_ROWID)) next = std::max<LONG>(next, static_cast<LONG>(id->i) + 1);
      put(row, longValue(PR_ROWID, next));
      rows.push_back(std::move(row));
    }
    pendingRecipients_ = std::move(rows);
    recipientsChanged_ = true;
    return S_OK;
  }
  // Saves the message, marks it submitted, records it in the host's sent log, delivers a copy to
  // each mailbox of the host whose owner is a recipient, and moves it to the store's Sent Items.
  HRESULT STDMETHODCALLTYPE SubmitMessage(ULONG) override {
    if (HRESULT hr = faultOf("IMessage::SubmitMessage", u""); hr) return hr;
    std::vector<Row> to;
    if (HRESULT hr = recipients(to); FAILED(hr)) return hr;
    if (to.empty()) return MAPI_E_NO_RECIPIENTS;
    Row row;
    if (HRESULT hr = current(row); FAILED(hr)) return hr;
    const Value* flags = find(row, PR_MESSAGE_FLAGS);
    put(pending_, longValue(PR_MESSAGE_FLAGS, static_cast<LONG>(((flags ? flags->i : 0) & ~MSGFLAG_UNSENT) | MSGFLAG_SUBMIT)));
    FILETIME ft;
    GetSystemTimeAsFileTime(&ft);
    put(pending_, timeValue(PR_CLIENT_SUBMIT_TIME, (ULONGLONG(ft.dwHighDateTime) << 32) | ft.dwLowDateTime));
    if (HRESULT hr = saveAs("", 0); FAILED(hr)) return hr;
    if (HRESULT hr = saveRecipients(); FAILED(hr)) return hr;
    if (HRESULT hr = current(row); FAILED(hr)) return hr;

    std::vector<std::u16string> names;
    for (const Row& r : to) {
      const Value* address = find(r, PR_EMAIL_ADDRESS_A);
      const Value* name = find(r, PR_DISPLAY_NAME_A);
      names.push_back(address ? address->text : name ? name->text : u"");
    }
    const Value* sender = find(row, PR_SENDER_NAME_A);
    const Value* subject = find(row, PR_SUBJECT_A);
    if (HRESULT hr = logSent(sender ? sender->text : u"", names, subject ? subject->text : u""); FAILED(hr)) return hr;

    // Delivery: a copy of the message's own properties into each matching mailbox's receive folder.
    Row copy;
    for (const Value& v : row) {
      switch (v.tag) {
        case PR_ENTRYID: case PR_RECORD_KEY: case PR_SOURCE_KEY: case PR_PARENT_ENTRYID: case PR_PARENT_SOURCE_KEY:
        case PR_STORE_RECORD_KEY: case PR_INSTANCE_KEY: case PR_OBJECT_TYPE: case PR_CHANGE_KEY: case PR_MESSAGE_FLAGS:
        case PR_LAST_MODIFICATION_TIME: case PR_CREATION_TIME:
          continue;
        default:
          copy.push_back(v);
      }
    }
    put(copy, longValue(PR_MESSAGE_FLAGS, 0));
    auto addressed = [&](const std::vector<std::u16string>& owners) {
      return std::any_of(names.begin(), names.end(), [&](const std::u16string& n) {
        return std::any_of(owners.begin(), owners.end(), [&](const std::u16string& o) { return text::equalNoCase(n, o); });
      });
    };
    auto deliver = [&](const std::u16string& path) -> HRESULT {
      std::shared_ptr<Store> target;
      ObjectId inbox = 0, made = 0;
      if (FAILED(Store::open(path, false, target)) || FAILED(target->receiveFolder(u"IPM.Note", inbox))) return S_OK;
      return target->create(inbox, Kind::Message, copy, made);
    };
    for (const Mailbox& m : allMailboxes()) {
      if (!addressed({m.address(), m.name})) continue;
      Mailbox reachable;
      if (FAILED(findMailbox(m.server, m.name, reachable))) continue;  // held back while the server is down
      if (HRESULT hr = deliver(reachable.path); FAILED(hr)) return hr;
    }
    // Personal folders files of the host's profiles, by their owners' names; each file once.
    for (const PersonalFolders& p : personalFoldersFiles()) {
      if (!addressed(p.owners)) continue;
      if (HRESULT hr = deliver(p.path); FAILED(hr)) return hr;
    }

    // Into Sent Items, keeping its ids.
    Row storeRow;
    if (HRESULT hr = store_->props(Store::kStoreObject, storeRow); FAILED(hr)) return hr;
    const Value* sent = find(storeRow, PR_IPM_SENTMAIL_ENTRYID);
    auto sentFolder = sent ? store_->objectOf(sent->bytes) : std::nullopt;
    if (sentFolder) {
      if (HRESULT hr = store_->move(id_, *sentFolder); FAILED(hr)) return hr;
      folder_ = *sentFolder;
    }
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE SetReadFlag(ULONG) override { return MAPI_E_NO_SUPPORT; }

 protected:
  LONG objectType() const override { return MAPI_MESSAGE; }
  HRESULT createIn(ObjectId& out) override { return store_->create(folder_, kind_, pending_, out); }

 private:
  // The recipients: the unsaved list when there is one, else the saved ones.
  HRESULT recipients(std::vector<Row>& out) {
    out.clear();
    if (recipientsChanged_) {
      out = pendingRecipients_;
      return S_OK;
    }
    if (!id_) return S_OK;
    std::vector<std::pair<ObjectId, Row>> children;
    if (HRESULT hr = store_->childRows(id_, Kind::Recipient, children); FAILED(hr)) return hr;
    for (auto& [cid, row] : children) {
      std::erase_if(row, [](const Value& v) { return v.type() == PT_BINARY && v.id() != PROP_ID(PR_ENTRYID); });
      out.push_back(std::move(row));
    }
    return S_OK;
  }
  HRESULT saveRecipients() {
    if (!recipientsChanged_ || !id_) return S_OK;
    std::vector<ObjectId> old;
    if (HRESULT hr = store_->children(id_, Kind::Recipient, old); FAILED(hr)) return hr;
    for (ObjectId o : old)
      if (HRESULT hr = store_->remove(o); FAILED(hr)) return hr;
    for (const Row& r : pendingRecipients_) {
      ObjectId made = 0;
      if (HRESULT hr = store_->create(id_, Kind::Recipient, r, made); FAILED(hr)) return hr;
    }
    recipientsChanged_ = false;
    pendingRecipients_.clear();
    return S_OK;
  }

  ObjectId folder_;
  Kind kind_;
  ULONG nextAttachment_ = 0;
  std::vector<Row> pendingRecipients_;
  bool recipientsChanged_ = false;
};

Attachment::Attachment(std::shared_ptr<Store> store, ObjectId id, Message* message, ULONG number)
    : PropObject(std::move(store), id, true), message_(message) {
  message_->AddRef();
  if (!id) put(pending_, longValue(PR_ATTACH_NUM, static_cast<LONG>(number)));
}
Attachment::~Attachment() { message_->Release(); }

HRESULT Attachment::createIn(ObjectId& out) {
  // An attachment saved before its new message makes the message exist first.
  if (HRESULT hr = static_cast<Message*>(message_)->ensureSaved(); FAILED(hr)) return hr;
  return store_->create(static_cast<Message*>(message_)->id(), Kind::Attachment, pending_, out);
}

HRESULT Attachment::OpenProperty(ULONG tag, LPCIID, ULONG, ULONG flags, LPUNKNOWN* object) {
  if (!object) return MAPI_E_INVALID_PARAMETER;
  *object = nullptr;
  if (PROP_ID(tag) != PROP_ID(PR_ATTACH_DATA_BIN)) return MAPI_E_NO_SUPPORT;
  Row row;
  if (HRESULT hr = current(row); FAILED(hr)) return hr;
  const Value* data = find(row, PR_ATTACH_DATA_BIN);
  if (!data && !(flags & MAPI_CREATE)) return MAPI_E_NOT_FOUND;
  const bool writable = (flags & (MAPI_MODIFY | MAPI_CREATE)) != 0;
  // A commit of the stream sets the property, saved with the attachment; the stream keeps the
  // attachment alive for as long as it lives.
  Ptr<IAttach> self(this);
  IStream* stream = nullptr;
  HRESULT hr = platform::com::createMemoryStream(
      data && !(flags & MAPI_CREATE) ? data->bytes : std::string(), writable,
      [self](const std::string& bytes) -> HRESULT {
        SPropValue values[2]{};
        values[0].ulPropTag = PR_ATTACH_DATA_BIN;
        values[0].Value.bin = {static_cast<ULONG>(bytes.size()), reinterpret_cast<LPBYTE>(const_cast<char*>(bytes.data()))};
        values[1].ulPropTag = PR_ATTACH_SIZE;
        values[1].Value.l = static_cast<LONG>(bytes.size());
        return self->SetProps(2, values, nullptr);
      },
      &stream);
  if (FAILED(hr)) return hr;
  *object = stream;
  return S_OK;
}

// ---- folders ----

// A contents table's keys, with PR_ENTRYID in the session's short-term form when the store
// hands those out.
class ShortTermDeriver final : public Deriver {
 public:
  ShortTermDeriver(std::unique_ptr<Deriver> keys, IdsPtr ids) : keys_(std::move(keys)), ids_(std::move(ids)) {}
  bool derive(const Row& row, ULONG tag, Value& out) const override {
    if (!keys_->derive(row, tag, out)) return false;
    if (PROP_ID(tag) == PROP_ID(PR_ENTRYID)) out.bytes = ids_->shortOf(out.bytes);
    return true;
  }

 private:
  std::unique_ptr<Deriver> keys_;
  IdsPtr ids_;
};

class Folder final : public PropObject<IMAPIFolder> {
 public:
  Folder(std::shared_ptr<Store> store, ObjectId id, bool writable, IdsPtr ids)
      : PropObject(std::move(store), id, writable), ids_(std::move(ids)) {}

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
    if (object && riid == IID_IMAPIContainer) {
      *object = static_cast<IMAPIContainer*>(this);
      AddRef();
      return S_OK;
    }
    return PropObject::QueryInterface(riid, object);
  }
  HRESULT STDMETHODCALLTYPE GetProps(LPSPropTagArray tags, ULONG, ULONG* count, LPSPropValue* values) override {
    Row row;
    if (HRESULT hr = current(row); FAILED(hr)) return hr;
    row.push_back(binaryValue(PR_STORE_ENTRYID, ids_->storeEntryId));
    return makeProps(row, tags, count, values);
  }
  HRESULT STDMETHODCALLTYPE GetContentsTable(ULONG flags, LPMAPITABLE* table) override {
    if (!table) return MAPI_E_INVALID_PARAMETER;
    *table = nullptr;
    {
      // The folder's display name is the fault's subject.
      Row self;
      const Value* name = SUCCEEDED(current(self)) ? find(self, PR_DISPLAY_NAME_W) : nullptr;
      if (HRESULT hr = faultOf("IMAPIContainer::GetContentsTable", name ? std::u16string_view(name->text) : u""); hr)
        return hr;
    }
    std::vector<std::pair<ObjectId, Row>> children;
    const Kind kind = (flags & MAPI_ASSOCIATED) ? Kind::Associated : Kind::Message;
    if (HRESULT hr = store_->childRows(id_, kind, children, true); FAILED(hr)) return hr;
    std::vector<Row> rows;
    rows.reserve(children.size());
    for (auto& child : children) rows.push_back(std::move(child.second));
    return newTable(std::move(rows), {PR_ENTRYID, PR_SUBJECT_A, PR_MESSAGE_CLASS_A}, table,
                    std::make_unique<ShortTermDeriver>(store_->tableDeriver(id_), ids_));
  }
  HRESULT STDMETHODCALLTYPE GetHierarchyTable(ULONG flags, LPMAPITABLE* table) override {
    if (!table) return MAPI_E_INVALID_PARAMETER;
    *table = nullptr;
    std::vector<std::pair<ObjectId, Row>> all;
    // CONVENIENT_DEPTH: every folder below, each before its own subfolders, with its depth.
    std::function<HRESULT(ObjectId, LONG)> walk = [&](ObjectId parent, LONG depth) -> HRESULT {
      std::vector<std::pair<ObjectId, Row>> children;
      if (HRESULT hr = store_->childRows(parent, Kind::Folder, children); FAILED(hr)) return hr;
      for (auto& child : children) {
        const ObjectId id = child.first;
        put(child.second, longValue(PROP_TAG(PT_LONG, 0x3005) /* PR_DEPTH */, depth));
        all.push_back(std::move(child));
        if (flags & CONVENIENT_DEPTH)
          if (HRESULT hr = walk(id, depth + 1); FAILED(hr)) return hr;
      }
      return S_OK;
    };
    if (HRESULT hr = walk(id_, 1); FAILED(hr)) return hr;
    std::vector<Row> rows = tableRows(std::move(all));
    for (Row& row : rows) {
      for (Value& v : row)
        if (v.tag == PR_ENTRYID) v.bytes = ids_->shortOf(v.bytes);
      row.push_back(binaryValue(PR_STORE_ENTRYID, ids_->storeEntryId));
    }
    return newTable(std::move(rows), {PR_ENTRYID, PR_DISPLAY_NAME_W}, table);
  }
  HRESULT STDMETHODCALLTYPE OpenEntry(ULONG cb, LPENTRYID entry, LPCIID, ULONG flags, ULONG* type, LPUNKNOWN* object) override {
    if (!cb) return openObject(store_, id_, flags, type, object, ids_);
    auto id = store_->objectOf(ids_->longOf(bytesOf(cb, entry)));
    if (!id) return MAPI_E_INVALID_ENTRYID;
    return openObject(store_, *id, flags, type, object, ids_);
  }
  HRESULT STDMETHODCALLTYPE SetSearchCriteria(LPSRestriction, LPVOID, ULONG) override { return MAPI_E_NO_SUPPORT; }
  HRESULT STDMETHODCALLTYPE GetSearchCriteria(ULONG, LPSRestriction*, LPVOID*, ULONG*) override { return MAPI_E_NO_SUPPORT; }

  HRESULT STDMETHODCALLTYPE CreateMessage(LPCIID, ULONG flags, LPMESSAGE* message) override {
    if (!message) return MAPI_E_INVALID_PARAMETER;
    *message = nullptr;
    if (HRESULT hr = faultOf("IMAPIFolder::CreateMessage", u""); hr) return hr;
    Kind kind;
    ObjectId parent;
    if (HRESULT hr = store_->kindOf(id_, kind, parent); FAILED(hr)) return hr == MAPI_E_NOT_FOUND ? MAPI_E_OBJECT_DELETED : hr;
    *message = new Message(store_, 0, id_, (flags & MAPI_ASSOCIATED) ? Kind::Associated : Kind::Message, true);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE CopyMessages(LPVOID, LPCIID, LPVOID, ULONG_PTR, LPVOID, ULONG) override {
    return MAPI_E_NO_SUPPORT;
  }
  HRESULT STDMETHODCALLTYPE DeleteMessages(SBinaryArray* list, ULONG_PTR, LPVOID, ULONG) override {
    if (!list || (list->cValues && !list->lpbin)) return MAPI_E_INVALID_PARAMETER;
    if (HRESULT hr = faultOf("IMAPIFolder::DeleteMessages", u""); hr) return hr;
    bool missed = false;
    for (ULONG i = 0; i < list->cValues; ++i) {
      auto id = store_->objectOf(ids_->longOf(std::string(reinterpret_cast<const char*>(list->lpbin[i].lpb), list->lpbin[i].cb)));
      Kind kind;
      ObjectId parent = 0;
      if (!id || FAILED(store_->kindOf(*id, kind, parent)) || parent != id_ ||
          (kind != Kind::Message && kind != Kind::Associated)) {
        missed = true;
        continue;
      }
      if (HRESULT hr = store_->remove(*id); FAILED(hr)) return hr;
    }
    return missed ? MAPI_W_PARTIAL_COMPLETION : S_OK;
  }
  HRESULT STDMETHODCALLTYPE CreateFolder(ULONG type, LPSTR name, LPSTR comment, LPCIID, ULONG flags,
                                         LPMAPIFOLDER* folder) override {
    if (!folder) return MAPI_E_INVALID_PARAMETER;
    *folder = nullptr;
    if (!name || !*name || type != FOLDER_GENERIC) return MAPI_E_INVALID_PARAMETER;
    const std::u16string wanted = text::ansiToWide(name);
    if (HRESULT hr = faultOf("IMAPIFolder::CreateFolder", wanted); hr) return hr;
    std::vector<std::pair<ObjectId, Row>> children;
    if (HRESULT hr = store_->childRows(id_, Kind::Folder, children); FAILED(hr)) return hr;
    for (auto& [id, row] : children) {
      const Value* n = find(row, PR_DISPLAY_NAME_W);
      if (n && text::equalNoCase(n->text, wanted)) {
        if (!(flags & OPEN_IF_EXISTS)) return MAPI_E_COLLISION;
        *folder = new Folder(store_, id, true, ids_);
        return S_OK;
      }
    }
    Row props = {textValue(PR_DISPLAY_NAME_W, wanted), longValue(PR_FOLDER_TYPE, FOLDER_GENERIC),
                 textValue(PR_CONTAINER_CLASS_A, u"IPF.Note")};
    if (comment && *comment) props.push_back(textValue(PR_COMMENT_A, text::ansiToWide(comment)));
    ObjectId made = 0;
    if (HRESULT hr = store_->create(id_, Kind::Folder, props, made); FAILED(hr)) return hr;
    *folder = new Folder(store_, made, true, ids_);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE CopyFolder(ULONG, LPENTRYID, LPCIID, LPVOID, LPSTR, ULONG_PTR, LPVOID, ULONG) override {
    return MAPI_E_NO_SUPPORT;
  }
  HRESULT STDMETHODCALLTYPE DeleteFolder(ULONG cb, LPENTRYID entry, ULONG_PTR, LPVOID, ULONG flags) override {
    auto id = store_->objectOf(ids_->longOf(bytesOf(cb, entry)));
    if (!id) return MAPI_E_INVALID_ENTRYID;
    if (HRESULT hr = faultOf("IMAPIFolder::DeleteFolder", u""); hr) return hr;
    Kind kind;
    ObjectId parent = 0;
    if (HRESULT hr = store_->kindOf(*id, kind, parent); FAILED(hr)) return hr;
    if (kind != Kind::Folder || parent != id_) return MAPI_E_NOT_FOUND;
    std::vector<ObjectId> inside;
    if (HRESULT hr = store_->children(*id, Kind::Folder, inside); FAILED(hr)) return hr;
    if (!inside.empty() && !(flags & DEL_FOLDERS)) return MAPI_E_HAS_FOLDERS;
    for (Kind k : {Kind::Message, Kind::Associated}) {
      if (HRESULT hr = store_->children(*id, k, inside); FAILED(hr)) return hr;
      if (!inside.empty() && !(flags & DEL_MESSAGES)) return MAPI_E_HAS_MESSAGES;
    }
    return store_->remove(*id);
  }
  HRESULT STDMETHODCALLTYPE SetReadFlags(SBinaryArray*, ULONG_PTR, LPVOID, ULONG) override { return MAPI_E_NO_SUPPORT; }
  HRESULT STDMETHODCALLTYPE GetMessageStatus(ULONG, LPENTRYID, ULONG, ULONG*) override { return MAPI_E_NO_SUPPORT; }
  HRESULT STDMETHODCALLTYPE SetMessageStatus(ULONG, LPENTRYID, ULONG, ULONG, ULONG*) override { return MAPI_E_NO_SUPPORT; }
  HRESULT STDMETHODCALLTYPE SaveContentsSort(LPSSortOrderSet, ULONG) override { return MAPI_E_NO_SUPPORT; }
  HRESULT STDMETHODCALLTYPE EmptyFolder(ULONG_PTR, LPVOID, ULONG) override { return MAPI_E_NO_SUPPORT; }

 protected:
  LONG objectType() const override { return MAPI_FOLDER; }

 private:
  IdsPtr ids_;
};

HRESULT openObject(const std::shared_ptr<Store>& store, ObjectId id, ULONG flags, ULONG* type, LPUNKNOWN* out,
                   const IdsPtr& ids) {
  if (!out) return MAPI_E_INVALID_PARAMETER;
  *out = nullptr;
  Kind kind;
  ObjectId parent = 0;
  if (HRESULT hr = store->kindOf(id, kind, parent); FAILED(hr)) return hr;
  const bool writable = (flags & (MAPI_MODIFY | MAPI_BEST_ACCESS)) != 0;
  ULONG objectType = 0;
  switch (kind) {
    case Kind::Folder:
      *out = static_cast<IMAPIFolder*>(new Folder(store, id, writable, ids));
      objectType = MAPI_FOLDER;
      break;
    case Kind::Message:
    case Kind::Associated:
      *out = static_cast<IMessage*>(new Message(store, id, parent, kind, writable));
      objectType = MAPI_MESSAGE;
      break;
    default:
      return MAPI_E_NOT_FOUND;
  }
  if (type) *type = objectType;
  return S_OK;
}

// ---- message stores ----

class MsgStore final : public PropObject<IMsgStore> {
 public:
  MsgStore(std::shared_ptr<Store> store, Row service, MAPIUID serviceId, IdsPtr ids)
      : PropObject(std::move(store), Store::kStoreObject, true), service_(std::move(service)), serviceId_(serviceId),
        ids_(std::move(ids)) {}

  HRESULT STDMETHODCALLTYPE GetProps(LPSPropTagArray tags, ULONG, ULONG* count, LPSPropValue* values) override {
    Row row;
    if (HRESULT hr = current(row); FAILED(hr)) return hr;
    if (const Value* name = find(service_, PR_DISPLAY_NAME_A)) put(row, textValue(PR_DISPLAY_NAME_A, name->text));
    if (const Value* mask = find(service_, PR_STORE_SUPPORT_MASK)) put(row, *mask);
    const Value* flags = find(service_, PR_RESOURCE_FLAGS);
    put(row, boolValue(PR_DEFAULT_STORE, flags && (flags->i & SERVICE_DEFAULT_STORE)));
    put(row, binaryValue(PR_ENTRYID, storeEntryId(serviceId_)));
    put(row, longValue(PR_OBJECT_TYPE, MAPI_STORE));
    return makeProps(row, tags, count, values);
  }
  HRESULT STDMETHODCALLTYPE Advise(ULONG, LPENTRYID, ULONG, LPMAPIADVISESINK, ULONG_PTR*) override { return MAPI_E_NO_SUPPORT; }
  HRESULT STDMETHODCALLTYPE Unadvise(ULONG_PTR) override { return MAPI_E_NO_SUPPORT; }
  HRESULT STDMETHODCALLTYPE CompareEntryIDs(ULONG cb1, LPENTRYID e1, ULONG cb2, LPENTRYID e2, ULONG, ULONG* result) override {
    if (!result || !e1 || !e2) return MAPI_E_INVALID_PARAMETER;
    const std::string a = ids_->longOf(bytesOf(cb1, e1)), b = ids_->longOf(bytesOf(cb2, e2));
    if (a.empty() || b.empty()) return MAPI_E_INVALID_ENTRYID;
    *result = a == b;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE OpenEntry(ULONG cb, LPENTRYID entry, LPCIID, ULONG flags, ULONG* type, LPUNKNOWN* object) override {
    if (!cb) return openObject(store_, Store::kRootFolder, flags, type, object, ids_);
    auto id = store_->objectOf(ids_->longOf(bytesOf(cb, entry)));
    if (!id) {
      if (object) *object = nullptr;
      return MAPI_E_INVALID_ENTRYID;
    }
    return openObject(store_, *id, flags, type, object, ids_);
  }
  HRESULT STDMETHODCALLTYPE SetReceiveFolder(LPSTR, ULONG, ULONG, LPENTRYID) override { return MAPI_E_NO_SUPPORT; }
  HRESULT STDMETHODCALLTYPE GetReceiveFolder(LPSTR messageClass, ULONG, ULONG* cb, LPENTRYID* entry, LPSTR* explicitClass) override {
    if (!cb || !entry) return MAPI_E_INVALID_PARAMETER;
    *entry = nullptr;
    *cb = 0;
    if (explicitClass) *explicitClass = nullptr;
    ObjectId folder = 0;
    if (HRESULT hr = store_->receiveFolder(messageClass ? text::ansiToWide(messageClass) : u"", folder); FAILED(hr)) return hr;
    return copyOut(ids_->shortOf(store_->entryId(folder)), cb, entry);
  }
  HRESULT STDMETHODCALLTYPE GetReceiveFolderTable(ULONG, LPMAPITABLE*) override { return MAPI_E_NO_SUPPORT; }
  HRESULT STDMETHODCALLTYPE StoreLogoff(ULONG*) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE AbortSubmit(ULONG, LPENTRYID, ULONG) override { return MAPI_E_NO_SUPPORT; }
  HRESULT STDMETHODCALLTYPE GetOutgoingQueue(ULONG, LPMAPITABLE*) override { return MAPI_E_NO_SUPPORT; }
  HRESULT STDMETHODCALLTYPE SetLockState(LPMESSAGE, ULONG) override { return MAPI_E_NO_SUPPORT; }
  HRESULT STDMETHODCALLTYPE FinishedMsg(ULONG, ULONG, LPENTRYID) override { return MAPI_E_NO_SUPPORT; }
  HRESULT STDMETHODCALLTYPE NotifyNewMail(LPNOTIFICATION) override { return MAPI_E_NO_SUPPORT; }

 protected:
  LONG objectType() const override { return MAPI_STORE; }

 private:
  Row service_;
  MAPIUID serviceId_;
  IdsPtr ids_;
};

// ---- sessions ----

bool isExchange(const Row& service) {
  const Value* name = find(service, PR_SERVICE_NAME_A);
  return name && text::equalNoCase(name->text, u"MSEMS") && find(service, PR_PROFILE_UNRESOLVED_SERVER) &&
         find(service, PR_PROFILE_UNRESOLVED_NAME);
}

bool isStoreService(const Row& service) {
  const Value* name = find(service, PR_SERVICE_NAME_A);
  return (name && (text::equalNoCase(name->text, u"MSPST MS") || text::equalNoCase(name->text, u"INTERSTOR")) &&
          find(service, PR_PST_PATH)) ||
         isExchange(service);
}

// The store file of a store service: its personal folders file, or its mailbox's (which needs the
// server); the store's display name likewise.
HRESULT storePath(const Row& service, std::u16string& path, std::u16string& display) {
  if (isExchange(service)) {
    Mailbox mailbox;
    if (HRESULT hr = findMailbox(find(service, PR_PROFILE_UNRESOLVED_SERVER)->text,
                                 find(service, PR_PROFILE_UNRESOLVED_NAME)->text, mailbox);
        FAILED(hr))
      return hr;
    path = mailbox.path;
    display = u"Mailbox - " + mailbox.name;
    return S_OK;
  }
  path = find(service, PR_PST_PATH)->text;
  const Value* name = find(service, PR_DISPLAY_NAME_A);
  display = name ? name->text : u"";
  return S_OK;
}

constexpr BYTE kIdentityProvider[16] = {0x4B, 0x49, 0x50, 0x4F, 0x2D, 0x4D, 0x41, 0x50,
                                        0x49, 0x2D, 0x55, 0x53, 0x45, 0x52, 0x30, 0x31};

// The session's identity: the Exchange mailbox owner, as a property object.
class Identity final : public ReadOnlyProps<IMAPIProp> {
 public:
  using ReadOnlyProps::ReadOnlyProps;
};

class Session final : public platform::com::SingleInterface<IMAPISession> {
 public:
  explicit Session(std::u16string profile) : profile_(std::move(profile)) {
    static std::atomic<std::uint32_t> counter{0};
    const std::uint32_t token = (static_cast<std::uint32_t>(::getpid()) << 12) ^ ++counter;
    token_.assign(reinterpret_cast<const char*>(&token), 4);
    registration_ = registerSession(profile_);
  }
  ~Session() override { end(); }

  HRESULT STDMETHODCALLTYPE GetLastError(HRESULT, ULONG, LPMAPIERROR* error) override {
    if (error) *error = nullptr;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetMsgStoresTable(ULONG, LPMAPITABLE* table) override {
    if (!table) return MAPI_E_INVALID_PARAMETER;
    *table = nullptr;
    if (HRESULT hr = live(); FAILED(hr)) return hr;
    std::vector<Row> rows;
    for (const MAPIUID& s : serviceIds(profile_)) {
      Row service = readSection(profile_, s);
      if (!isStoreService(service)) continue;
      const Value* flags = find(service, PR_RESOURCE_FLAGS);
      const bool isDefault = flags && (flags->i & SERVICE_DEFAULT_STORE);
      Row row;
      put(row, binaryValue(PR_ENTRYID, storeEntryId(s)));
      put(row, binaryValue(PR_INSTANCE_KEY, std::string(reinterpret_cast<const char*>(s.ab), 16)));
      put(row, binaryValue(PR_SERVICE_UID, std::string(reinterpret_cast<const char*>(s.ab), 16)));
      if (isExchange(service)) {
        put(row, textValue(PR_DISPLAY_NAME_A, u"Mailbox - " + find(service, PR_PROFILE_UNRESOLVED_NAME)->text));
      } else if (const Value* name = find(service, PR_DISPLAY_NAME_A)) {
        put(row, textValue(PR_DISPLAY_NAME_A, name->text));
      }
      if (const Value* mask = find(service, PR_STORE_SUPPORT_MASK)) put(row, *mask);
      put(row, boolValue(PR_DEFAULT_STORE, isDefault));
      put(row, longValue(PR_RESOURCE_FLAGS, isDefault ? STATUS_DEFAULT_STORE : 0));
      put(row, binaryValue(PR_MDB_PROVIDER, std::string(reinterpret_cast<const char*>(kStoreProvider), 16)));
      rows.push_back(std::move(row));
    }
    return newTable(std::move(rows), {PR_ENTRYID, PR_DISPLAY_NAME_A, PR_DEFAULT_STORE}, table);
  }
  HRESULT STDMETHODCALLTYPE OpenMsgStore(ULONG_PTR, ULONG cb, LPENTRYID entry, LPCIID, ULONG, LPMDB* out) override {
    if (!out) return MAPI_E_INVALID_PARAMETER;
    *out = nullptr;
    if (HRESULT hr = live(); FAILED(hr)) return hr;
    MAPIUID service;
    if (!serviceOfStoreId(bytesOf(cb, entry), service)) return MAPI_E_INVALID_ENTRYID;
    Row row = readSection(profile_, service);
    if (!isStoreService(row)) return MAPI_E_NOT_FOUND;
    std::u16string path, display;
    if (HRESULT hr = storePath(row, path, display); FAILED(hr)) return hr;
    std::shared_ptr<Store> store;
    if (HRESULT hr = Store::open(path, false, store); FAILED(hr)) return hr;
    put(row, textValue(PR_DISPLAY_NAME_A, display));
    *out = new MsgStore(store, row, service, idsFor(row, service));
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE OpenAddressBook(ULONG_PTR, LPCIID, ULONG, LPADRBOOK* book) override {
    if (!book) return MAPI_E_INVALID_PARAMETER;
    *book = nullptr;
    if (HRESULT hr = live(); FAILED(hr)) return hr;
    return newAddressBook(profile_, book);
  }
  HRESULT STDMETHODCALLTYPE OpenProfileSection(LPMAPIUID uid, LPCIID, ULONG flags, LPPROFSECT* section) override {
    if (HRESULT hr = live(); FAILED(hr)) return hr;
    return openProfileSection(profile_, uid, flags, section);
  }
  HRESULT STDMETHODCALLTYPE GetStatusTable(ULONG, LPMAPITABLE* table) override {
    if (!table) return MAPI_E_INVALID_PARAMETER;
    *table = nullptr;
    if (HRESULT hr = live(); FAILED(hr)) return hr;
    std::vector<Row> rows;
    rows.push_back({longValue(PR_RESOURCE_TYPE, MAPI_SUBSYSTEM), textValue(PR_DISPLAY_NAME_A, profile_),
                    textValue(PR_PROVIDER_DISPLAY_A, u"MAPI Subsystem"), longValue(PR_STATUS_CODE, 1)});
    rows.push_back({longValue(PR_RESOURCE_TYPE, MAPI_SPOOLER), textValue(PR_DISPLAY_NAME_A, u"MAPI Spooler"),
                    textValue(PR_PROVIDER_DISPLAY_A, u"MAPI Spooler"), longValue(PR_STATUS_CODE, 1)});
    return newTable(std::move(rows), {PR_RESOURCE_TYPE, PR_DISPLAY_NAME_A}, table);
  }
  HRESULT STDMETHODCALLTYPE OpenEntry(ULONG cb, LPENTRYID entry, LPCIID iid, ULONG flags, ULONG* type, LPUNKNOWN* object) override {
    if (!object) return MAPI_E_INVALID_PARAMETER;
    *object = nullptr;
    if (HRESULT hr = live(); FAILED(hr)) return hr;
    const std::string id = bytesOf(cb, entry);
    MAPIUID service;
    if (serviceOfStoreId(id, service)) {
      LPMDB store = nullptr;
      if (HRESULT hr = OpenMsgStore(0, cb, entry, iid, flags, &store); FAILED(hr)) return hr;
      *object = store;
      if (type) *type = MAPI_STORE;
      return S_OK;
    }
    // An object of one of the profile's stores: the store whose id the entry id carries.
    if (id.size() == kStoreEntryIdSize && std::memcmp(id.data() + 4, kIdentityProvider, 16) == 0) {
      MAPIUID s;
      std::memcpy(s.ab, id.data() + 20, 16);
      Row row = readSection(profile_, s);
      if (!isExchange(row)) return MAPI_E_NOT_FOUND;
      Mailbox mailbox;
      if (HRESULT hr = findMailbox(find(row, PR_PROFILE_UNRESOLVED_SERVER)->text, find(row, PR_PROFILE_UNRESOLVED_NAME)->text,
                                   mailbox);
          FAILED(hr))
        return hr;
      *object = static_cast<IMAPIProp*>(new Identity({textValue(PR_DISPLAY_NAME_A, mailbox.name),
                                                      textValue(PR_EMAIL_ADDRESS_A, mailbox.address()),
                                                      textValue(PROP_TAG(PT_STRING8, 0x8007), mailbox.homeMta()),
                                                      binaryValue(PR_ENTRYID, id), longValue(PR_OBJECT_TYPE, MAPI_MAILUSER)}));
      if (type) *type = MAPI_MAILUSER;
      return S_OK;
    }
    for (const MAPIUID& s : serviceIds(profile_)) {
      Row row = readSection(profile_, s);
      if (!isStoreService(row)) continue;
      std::u16string path, display;
      if (FAILED(storePath(row, path, display))) continue;
      std::shared_ptr<Store> store;
      if (FAILED(Store::open(path, false, store))) continue;
      const IdsPtr ids = idsFor(row, s);
      if (auto object_ = store->objectOf(ids->longOf(id))) return openObject(store, *object_, flags, type, object, ids);
    }
    return MAPI_E_NOT_FOUND;
  }
  HRESULT STDMETHODCALLTYPE CompareEntryIDs(ULONG cb1, LPENTRYID e1, ULONG cb2, LPENTRYID e2, ULONG, ULONG* result) override {
    if (!result || !e1 || !e2) return MAPI_E_INVALID_PARAMETER;
    const Ids ids{token_, false, {}};
    const std::string a = ids.longOf(bytesOf(cb1, e1)), b = ids.longOf(bytesOf(cb2, e2));
    if (a.empty() || b.empty()) return MAPI_E_INVALID_ENTRYID;
    *result = a == b;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Advise(ULONG, LPENTRYID, ULONG, LPMAPIADVISESINK, ULONG_PTR*) override { return MAPI_E_NO_SUPPORT; }
  HRESULT STDMETHODCALLTYPE Unadvise(ULONG_PTR) override { return MAPI_E_NO_SUPPORT; }
  HRESULT STDMETHODCALLTYPE MessageOptions(ULONG_PTR, ULONG, LPSTR, LPMESSAGE) override { return MAPI_E_NO_SUPPORT; }
  HRESULT STDMETHODCALLTYPE QueryDefaultMessageOpt(LPSTR, ULONG, ULONG*, LPSPropValue*) override { return MAPI_E_NO_SUPPORT; }
  HRESULT STDMETHODCALLTYPE EnumAdrTypes(ULONG, ULONG*, LPSTR**) override { return MAPI_E_NO_SUPPORT; }
  // The identity is the owner of the profile's Exchange mailbox; a profile without one has none.
  HRESULT STDMETHODCALLTYPE QueryIdentity(ULONG* cb, LPENTRYID* entry) override {
    if (!cb || !entry) return MAPI_E_INVALID_PARAMETER;
    *cb = 0;
    *entry = nullptr;
    if (HRESULT hr = live(); FAILED(hr)) return hr;
    for (const MAPIUID& s : serviceIds(profile_))
      if (isExchange(readSection(profile_, s)))
        return copyOut(std::string(4, '\0') + std::string(reinterpret_cast<const char*>(kIdentityProvider), 16) +
                           std::string(reinterpret_cast<const char*>(s.ab), 16),
                       cb, entry);
    return MAPI_E_NOT_FOUND;
  }
  HRESULT STDMETHODCALLTYPE Logoff(ULONG_PTR, ULONG, ULONG) override {
    end();
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE SetDefaultStore(ULONG, ULONG, LPENTRYID) override { return MAPI_E_NO_SUPPORT; }
  HRESULT STDMETHODCALLTYPE AdminServices(ULONG, LPSERVICEADMIN* admin) override {
    if (!admin) return MAPI_E_INVALID_PARAMETER;
    *admin = nullptr;
    if (HRESULT hr = live(); FAILED(hr)) return hr;
    return newServiceAdmin(profile_, admin);
  }
  HRESULT STDMETHODCALLTYPE ShowForm(ULONG_PTR, LPMDB, LPMAPIFOLDER, LPCIID, ULONG, LPMESSAGE, ULONG, ULONG, ULONG, ULONG,
                                     LPSTR) override {
    return MAPI_E_NO_SUPPORT;
  }
  HRESULT STDMETHODCALLTYPE PrepareForm(LPCIID, LPMESSAGE, ULONG*) override { return MAPI_E_NO_SUPPORT; }

 private:
  HRESULT live() const { return loggedOff_ ? MAPI_E_INVALID_OBJECT : S_OK; }
  void end() {
    if (loggedOff_) return;
    loggedOff_ = true;
    unregisterSession(profile_, registration_);
  }
  IdsPtr idsFor(const Row& service, const MAPIUID& serviceId) const {
    const Value* v = find(service, PR_STANDIN_SHORT_TERM_IDS);
    return std::make_shared<Ids>(Ids{token_, v && v->type() == PT_BOOLEAN && v->i != 0, storeEntryId(serviceId)});
  }

  std::u16string profile_;
  std::u16string registration_;
  std::string token_;
  bool loggedOff_ = false;
};

}  // namespace

HRESULT newSession(const std::u16string& profile, LPMAPISESSION* out) {
  if (!out) return MAPI_E_INVALID_PARAMETER;
  *out = nullptr;
  if (!profileExists(profile)) return MAPI_E_LOGON_FAILED;
  *out = new Session(profile);
  return S_OK;
}

}  // namespace mapi
