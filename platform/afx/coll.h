// The framework's collections: CArray, CList and CMap templates with POSITION iteration, and the
// named collections built on them (CStringArray, CObList, CMapStringToString, ...).
//
// Object and pointer collections never own what they hold: the product deletes its objects.
// CMap is a chained hash table (17 buckets unless InitHashTable says otherwise, never rehashed,
// new entries at the head of their chain), so enumeration order is the class library's order.
#pragma once

#include <cassert>
#include <cstring>
#include <type_traits>
#include <utility>
#include <vector>

#include "platform/afx/archive.h"
#include "platform/afx/cstring.h"
#include "platform/afx/object.h"

// An iteration position in a CList or CMap: opaque to the caller, null at the end.
struct __POSITION {};
using POSITION = __POSITION*;

#define BEFORE_START_POSITION (reinterpret_cast<POSITION>(static_cast<INT_PTR>(-1)))

// Element helpers the product may specialize for its own types, as with the class library.
template <class TYPE, class ARG_TYPE = const TYPE&>
BOOL AFXAPI CompareElements(const TYPE* pElement1, const ARG_TYPE* pElement2) {
  return *pElement1 == *pElement2;
}

template <class ARG_KEY>
inline UINT AFXAPI HashKey(ARG_KEY key) {
  if constexpr (std::is_pointer_v<std::decay_t<ARG_KEY>>)
    return static_cast<UINT>(reinterpret_cast<DWORD_PTR>(key) >> 4);
  else
    return static_cast<UINT>(static_cast<DWORD_PTR>(key) >> 4);
}

namespace platform::afx {
inline UINT hashText(const char16_t* key) {
  UINT hash = 0;
  if (key)
    while (*key) hash = (hash << 5) + hash + *key++;
  return hash;
}
}  // namespace platform::afx

template <>
inline UINT AFXAPI HashKey<LPCWSTR>(LPCWSTR key) { return platform::afx::hashText(key); }
template <>
inline UINT AFXAPI HashKey<const CString&>(const CString& key) { return platform::afx::hashText(key.GetString()); }
template <>
inline UINT AFXAPI HashKey<CString>(CString key) { return platform::afx::hashText(key.GetString()); }

// Writes or reads `count` elements: plain data as its bytes (little-endian host), other types
// through their archive operators.
template <class TYPE>
void AFXAPI SerializeElements(CArchive& ar, TYPE* pElements, INT_PTR nCount) {
  if constexpr (std::is_pointer_v<TYPE>) {
    (void)ar, (void)pElements, (void)nCount;
    AfxThrowNotSupportedException();  // addresses mean nothing in a file
  } else if constexpr (std::is_trivially_copyable_v<TYPE>) {
    const size_t bytes = static_cast<size_t>(nCount) * sizeof(TYPE);
    if (ar.IsStoring()) {
      ar.Write(pElements, static_cast<UINT>(bytes));
    } else if (ar.Read(pElements, static_cast<UINT>(bytes)) != bytes) {
      AfxThrowArchiveException(CArchiveException::endOfFile, ar.GetFileName());
    }
  } else {
    for (INT_PTR i = 0; i < nCount; ++i) {
      if (ar.IsStoring())
        ar << pElements[i];
      else
        ar >> pElements[i];
    }
  }
}

// ---------------------------------------------------------------------------------------------

template <class TYPE, class ARG_TYPE = const TYPE&>
class CArray : public CObject {
 public:
  CArray() = default;
  CArray(const CArray&) = delete;  // the class library's arrays are copied with Copy()
  CArray& operator=(const CArray&) = delete;

  INT_PTR GetSize() const { return static_cast<INT_PTR>(data_.size()); }
  INT_PTR GetCount() const { return GetSize(); }
  BOOL IsEmpty() const { return data_.empty(); }
  INT_PTR GetUpperBound() const { return GetSize() - 1; }
  // New elements are value-initialized (zero for plain data). growBy is accepted and ignored:
  // growth is amortized anyway.
  void SetSize(INT_PTR nNewSize, INT_PTR nGrowBy = -1) {
    (void)nGrowBy;
    assert(nNewSize >= 0);
    data_.resize(static_cast<size_t>(nNewSize < 0 ? 0 : nNewSize));
  }
  void FreeExtra() { data_.shrink_to_fit(); }
  void RemoveAll() { data_.clear(); }

  const TYPE& GetAt(INT_PTR nIndex) const { return data_.at(checked(nIndex)); }
  TYPE& GetAt(INT_PTR nIndex) { return data_.at(checked(nIndex)); }
  void SetAt(INT_PTR nIndex, ARG_TYPE newElement) { data_.at(checked(nIndex)) = newElement; }
  TYPE& ElementAt(INT_PTR nIndex) { return data_.at(checked(nIndex)); }
  const TYPE& ElementAt(INT_PTR nIndex) const { return data_.at(checked(nIndex)); }
  TYPE& operator[](INT_PTR nIndex) { return ElementAt(nIndex); }
  const TYPE& operator[](INT_PTR nIndex) const { return GetAt(nIndex); }
  const TYPE* GetData() const { return data_.empty() ? nullptr : data_.data(); }
  TYPE* GetData() { return data_.empty() ? nullptr : data_.data(); }

  void SetAtGrow(INT_PTR nIndex, ARG_TYPE newElement) {
    TYPE copy(newElement);  // newElement may live in this array
    if (nIndex >= GetSize()) SetSize(nIndex + 1);
    data_.at(checked(nIndex)) = std::move(copy);
  }
  INT_PTR Add(ARG_TYPE newElement) {
    TYPE copy(newElement);
    data_.push_back(std::move(copy));
    return GetSize() - 1;
  }
  // Returns the index of the first appended element.
  INT_PTR Append(const CArray& src) {
    const INT_PTR old = GetSize();
    if (&src == this) {
      std::vector<TYPE> copy(data_);
      data_.insert(data_.end(), copy.begin(), copy.end());
    } else {
      data_.insert(data_.end(), src.data_.begin(), src.data_.end());
    }
    return old;
  }
  void Copy(const CArray& src) {
    if (&src != this) data_ = src.data_;
  }
  // Inserting beyond the end grows the array first, as SetAtGrow would.
  void InsertAt(INT_PTR nIndex, ARG_TYPE newElement, INT_PTR nCount = 1) {
    assert(nIndex >= 0 && nCount >= 0);
    if (nIndex < 0 || nCount <= 0) return;
    TYPE copy(newElement);
    if (nIndex >= GetSize()) SetSize(nIndex);
    data_.insert(data_.begin() + nIndex, static_cast<size_t>(nCount), copy);
  }
  void InsertAt(INT_PTR nStartIndex, const CArray* pNewArray) {
    if (!pNewArray || pNewArray->IsEmpty()) return;
    std::vector<TYPE> copy(pNewArray->data_);
    if (nStartIndex >= GetSize()) SetSize(nStartIndex);
    data_.insert(data_.begin() + checked(nStartIndex), copy.begin(), copy.end());
  }
  void RemoveAt(INT_PTR nIndex, INT_PTR nCount = 1) {
    assert(nIndex >= 0 && nCount >= 0 && nIndex + nCount <= GetSize());
    if (nIndex < 0 || nCount <= 0 || nIndex + nCount > GetSize()) return;
    data_.erase(data_.begin() + nIndex, data_.begin() + nIndex + nCount);
  }

  void Serialize(CArchive& ar) override {
    if (ar.IsStoring()) {
      ar.WriteCount(static_cast<DWORD_PTR>(GetSize()));
    } else {
      DWORD_PTR count = ar.ReadCount();
      ar.EnsureAvailable(count, std::is_trivially_copyable_v<TYPE> ? sizeof(TYPE) : 1);
      SetSize(static_cast<INT_PTR>(count));
    }
    SerializeElements<TYPE>(ar, GetData(), GetSize());
  }

  // Range-for support for the platform's own code.
  auto begin() { return data_.begin(); }
  auto end() { return data_.end(); }
  auto begin() const { return data_.begin(); }
  auto end() const { return data_.end(); }

 private:
  // An index outside the array is a programming error; at() then throws std::out_of_range
  // rather than touching memory that is not the array's.
  static size_t checked(INT_PTR nIndex) {
    assert(nIndex >= 0);
    return static_cast<size_t>(nIndex);
  }

  std::vector<TYPE> data_;
};

// ---------------------------------------------------------------------------------------------

template <class TYPE, class ARG_TYPE = const TYPE&>
class CList : public CObject {
  struct Node : __POSITION {
    Node* next = nullptr;
    Node* prev = nullptr;
    TYPE data;
    explicit Node(ARG_TYPE value) : data(value) {}
    Node() : data() {}
  };

 public:
  explicit CList(INT_PTR nBlockSize = 10) { (void)nBlockSize; }
  CList(const CList&) = delete;
  CList& operator=(const CList&) = delete;
  ~CList() override { RemoveAll(); }

  INT_PTR GetCount() const { return count_; }
  INT_PTR GetSize() const { return count_; }
  BOOL IsEmpty() const { return count_ == 0; }

  TYPE& GetHead() { return nonEmpty(head_)->data; }
  const TYPE& GetHead() const { return nonEmpty(head_)->data; }
  TYPE& GetTail() { return nonEmpty(tail_)->data; }
  const TYPE& GetTail() const { return nonEmpty(tail_)->data; }

  TYPE RemoveHead() {
    Node* node = nonEmpty(head_);
    TYPE value = std::move(node->data);
    unlink(node);
    return value;
  }
  TYPE RemoveTail() {
    Node* node = nonEmpty(tail_);
    TYPE value = std::move(node->data);
    unlink(node);
    return value;
  }
  POSITION AddHead(ARG_TYPE newElement) { return linkBefore(head_, new Node(newElement)); }
  POSITION AddTail(ARG_TYPE newElement) { return linkAfter(tail_, new Node(newElement)); }
  void AddHead(CList* pNewList) {
    // Walk backwards so the other list's order is kept at our head.
    for (POSITION pos = pNewList->GetTailPosition(); pos;) AddHead(pNewList->GetPrev(pos));
  }
  void AddTail(CList* pNewList) {
    for (POSITION pos = pNewList->GetHeadPosition(); pos;) AddTail(pNewList->GetNext(pos));
  }
  void RemoveAll() {
    while (head_) unlink(head_);
  }

  POSITION GetHeadPosition() const { return head_; }
  POSITION GetTailPosition() const { return tail_; }
  // Returns the element at rPosition and moves rPosition to the next one (null after the last).
  TYPE& GetNext(POSITION& rPosition) {
    Node* node = at(rPosition);
    rPosition = node->next;
    return node->data;
  }
  const TYPE& GetNext(POSITION& rPosition) const {
    Node* node = at(rPosition);
    rPosition = node->next;
    return node->data;
  }
  TYPE& GetPrev(POSITION& rPosition) {
    Node* node = at(rPosition);
    rPosition = node->prev;
    return node->data;
  }
  const TYPE& GetPrev(POSITION& rPosition) const {
    Node* node = at(rPosition);
    rPosition = node->prev;
    return node->data;
  }
  TYPE& GetAt(POSITION position) { return at(position)->data; }
  const TYPE& GetAt(POSITION position) const { return at(position)->data; }
  void SetAt(POSITION pos, ARG_TYPE newElement) { at(pos)->data = newElement; }
  void RemoveAt(POSITION position) { unlink(at(position)); }
  POSITION InsertBefore(POSITION position, ARG_TYPE newElement) {
    if (!position) return AddHead(newElement);
    return linkBefore(at(position), new Node(newElement));
  }
  POSITION InsertAfter(POSITION position, ARG_TYPE newElement) {
    if (!position) return AddTail(newElement);
    return linkAfter(at(position), new Node(newElement));
  }

  // The first position after startAfter (or from the head) holding an equal element, or null.
  POSITION Find(ARG_TYPE searchValue, POSITION startAfter = nullptr) const {
    Node* node = startAfter ? at(startAfter)->next : head_;
    for (; node; node = node->next)
      if (CompareElements<TYPE, std::remove_cvref_t<ARG_TYPE>>(&node->data, &searchValue)) return node;
    return nullptr;
  }
  POSITION FindIndex(INT_PTR nIndex) const {
    if (nIndex < 0 || nIndex >= count_) return nullptr;
    Node* node = head_;
    while (nIndex-- > 0) node = node->next;
    return node;
  }

  void Serialize(CArchive& ar) override {
    if (ar.IsStoring()) {
      ar.WriteCount(static_cast<DWORD_PTR>(count_));
      for (Node* node = head_; node; node = node->next) SerializeElements<TYPE>(ar, &node->data, 1);
    } else {
      DWORD_PTR count = ar.ReadCount();
      ar.EnsureAvailable(count, 1);
      while (count-- > 0) {
        Node* node = new Node();
        linkAfter(tail_, node);
        SerializeElements<TYPE>(ar, &node->data, 1);
      }
    }
  }

 private:
  static Node* at(POSITION position) {
    assert(position && position != BEFORE_START_POSITION);
    return static_cast<Node*>(position);
  }
  static Node* nonEmpty(Node* node) {
    assert(node);  // GetHead/RemoveHead on an empty list is a programming error
    return node;
  }
  Node* linkBefore(Node* before, Node* node) {
    node->next = before;
    node->prev = before ? before->prev : tail_;
    if (node->prev) node->prev->next = node; else head_ = node;
    if (before) before->prev = node; else tail_ = node;
    ++count_;
    return node;
  }
  Node* linkAfter(Node* after, Node* node) {
    node->prev = after;
    node->next = after ? after->next : head_;
    if (node->next) node->next->prev = node; else tail_ = node;
    if (after) after->next = node; else head_ = node;
    ++count_;
    return node;
  }
  void unlink(Node* node) {
    if (node->prev) node->prev->next = node->next; else head_ = node->next;
    if (node->next) node->next->prev = node->prev; else tail_ = node->prev;
    --count_;
    delete node;
  }

  Node* head_ = nullptr;
  Node* tail_ = nullptr;
  INT_PTR count_ = 0;
};

// ---------------------------------------------------------------------------------------------

template <class KEY, class ARG_KEY, class VALUE, class ARG_VALUE>
class CMap : public CObject {
 public:
  struct CPair {
    const KEY key;
    VALUE value;
  };

 private:
  struct Assoc : __POSITION {
    Assoc* next = nullptr;
    UINT hash = 0;
    KEY key;
    VALUE value;
    explicit Assoc(ARG_KEY k) : key(k), value() {}
  };

 public:
  explicit CMap(INT_PTR nBlockSize = 10) { (void)nBlockSize; }
  CMap(const CMap&) = delete;
  CMap& operator=(const CMap&) = delete;
  ~CMap() override { RemoveAll(); }

  INT_PTR GetCount() const { return count_; }
  INT_PTR GetSize() const { return count_; }
  BOOL IsEmpty() const { return count_ == 0; }
  UINT GetHashTableSize() const { return tableSize_; }
  // Sets the bucket count; only before the first entry, as with the class library.
  void InitHashTable(UINT hashSize, BOOL bAllocNow = TRUE) {
    (void)bAllocNow;
    assert(count_ == 0 && hashSize > 0);
    if (count_ != 0 || hashSize == 0) return;
    table_.assign(hashSize, nullptr);
    tableSize_ = hashSize;
  }

  BOOL Lookup(ARG_KEY key, VALUE& rValue) const {
    UINT bucket, hash;
    const Assoc* a = find(key, bucket, hash);
    if (!a) return FALSE;
    rValue = a->value;
    return TRUE;
  }
  VALUE& operator[](ARG_KEY key) {
    UINT bucket, hash;
    Assoc* a = find(key, bucket, hash);
    if (!a) {
      if (table_.empty()) table_.assign(tableSize_, nullptr);
      a = new Assoc(key);
      a->hash = hash;
      a->next = table_[bucket];
      table_[bucket] = a;
      ++count_;
    }
    return a->value;
  }
  void SetAt(ARG_KEY key, ARG_VALUE newValue) { (*this)[key] = newValue; }
  BOOL RemoveKey(ARG_KEY key) {
    if (table_.empty()) return FALSE;
    const UINT hash = HashKey<ARG_KEY>(key);
    for (Assoc** link = &table_[hash % tableSize_]; *link; link = &(*link)->next) {
      if (CompareElements<KEY, std::remove_cvref_t<ARG_KEY>>(&(*link)->key, &key)) {
        Assoc* gone = *link;
        *link = gone->next;
        delete gone;
        --count_;
        return TRUE;
      }
    }
    return FALSE;
  }
  void RemoveAll() {
    for (Assoc*& head : table_) {
      while (head) {
        Assoc* gone = head;
        head = head->next;
        delete gone;
      }
    }
    table_.clear();
    count_ = 0;
  }

  void Serialize(CArchive& ar) override {
    if (ar.IsStoring()) {
      ar.WriteCount(static_cast<DWORD_PTR>(count_));
      for (POSITION pos = GetStartPosition(); pos;) {
        KEY key{};
        VALUE value{};
        GetNextAssoc(pos, key, value);
        SerializeElements<KEY>(ar, &key, 1);
        SerializeElements<VALUE>(ar, &value, 1);
      }
    } else {
      DWORD_PTR count = ar.ReadCount();
      ar.EnsureAvailable(count, 1);
      while (count-- > 0) {
        KEY key{};
        VALUE value{};
        SerializeElements<KEY>(ar, &key, 1);
        SerializeElements<VALUE>(ar, &value, 1);
        SetAt(key, value);
      }
    }
  }

  // Enumeration: buckets in order, each chain from its newest entry.
  POSITION GetStartPosition() const { return count_ == 0 ? nullptr : BEFORE_START_POSITION; }
  void GetNextAssoc(POSITION& rNextPosition, KEY& rKey, VALUE& rValue) const {
    assert(rNextPosition);
    const Assoc* a = rNextPosition == BEFORE_START_POSITION ? firstFrom(0) : static_cast<const Assoc*>(rNextPosition);
    assert(a);
    if (!a) {  // a position from another map or after RemoveAll: end the walk
      rNextPosition = nullptr;
      rKey = KEY();
      rValue = VALUE();
      return;
    }
    const Assoc* next = a->next ? a->next : firstFrom(a->hash % tableSize_ + 1);
    rNextPosition = const_cast<Assoc*>(next);
    rKey = a->key;
    rValue = a->value;
  }

 private:
  Assoc* find(ARG_KEY key, UINT& bucket, UINT& hash) const {
    hash = HashKey<ARG_KEY>(key);
    bucket = hash % tableSize_;
    if (table_.empty()) return nullptr;
    for (Assoc* a = table_[bucket]; a; a = a->next)
      if (CompareElements<KEY, std::remove_cvref_t<ARG_KEY>>(&a->key, &key)) return a;
    return nullptr;
  }
  const Assoc* firstFrom(UINT bucket) const {
    for (; bucket < table_.size(); ++bucket)
      if (table_[bucket]) return table_[bucket];
    return nullptr;
  }

  std::vector<Assoc*> table_;
  UINT tableSize_ = 17;
  INT_PTR count_ = 0;
};

// ---------------------------------------------------------------------------------------------
// The named collections.

// Distinct classes (not aliases), so product headers may forward-declare them. Pointer and
// object collections hold pointers only; the serializable ones are the string and number arrays.
class CStringArray : public CArray<CString, const CString&> {
  DECLARE_SERIAL(CStringArray)
 public:
  using CArray<CString, const CString&>::CArray;
};

class CPtrArray : public CArray<void*, void*> {
  DECLARE_DYNAMIC(CPtrArray)
 public:
  using CArray<void*, void*>::CArray;
};

class CObArray : public CArray<CObject*, CObject*> {
  DECLARE_DYNAMIC(CObArray)
 public:
  using CArray<CObject*, CObject*>::CArray;
};

class CDWordArray : public CArray<DWORD, DWORD> {
  DECLARE_SERIAL(CDWordArray)
 public:
  using CArray<DWORD, DWORD>::CArray;
};

class CUIntArray : public CArray<UINT, UINT> {
  DECLARE_SERIAL(CUIntArray)
 public:
  using CArray<UINT, UINT>::CArray;
};

class CByteArray : public CArray<BYTE, BYTE> {
  DECLARE_SERIAL(CByteArray)
 public:
  using CArray<BYTE, BYTE>::CArray;
};

class CWordArray : public CArray<WORD, WORD> {
  DECLARE_SERIAL(CWordArray)
 public:
  using CArray<WORD, WORD>::CArray;
};

class CStringList : public CList<CString, const CString&> {
  DECLARE_SERIAL(CStringList)
 public:
  using CList<CString, const CString&>::CList;
};

class CPtrList : public CList<void*, void*> {
  DECLARE_DYNAMIC(CPtrList)
 public:
  using CList<void*, void*>::CList;
};

class CObList : public CList<CObject*, CObject*> {
  DECLARE_DYNAMIC(CObList)
 public:
  using CList<CObject*, CObject*>::CList;
};

class CMapStringToString : public CMap<CString, const CString&, CString, const CString&> {
  DECLARE_SERIAL(CMapStringToString)
 public:
  using CMap<CString, const CString&, CString, const CString&>::CMap;
};

class CMapStringToPtr : public CMap<CString, const CString&, void*, void*> {
  DECLARE_DYNAMIC(CMapStringToPtr)
 public:
  using CMap<CString, const CString&, void*, void*>::CMap;
};

class CMapStringToOb : public CMap<CString, const CString&, CObject*, CObject*> {
  DECLARE_DYNAMIC(CMapStringToOb)
 public:
  using CMap<CString, const CString&, CObject*, CObject*>::CMap;
};

class CMapPtrToPtr : public CMap<void*, void*, void*, void*> {
  DECLARE_DYNAMIC(CMapPtrToPtr)
 public:
  using CMap<void*, void*, void*, void*>::CMap;
};

