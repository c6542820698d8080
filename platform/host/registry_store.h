// The registry store: the host's keys and values in host.db, shared by every process of the
// host, with a per-process cache in front. Keys form a tree under two stored roots
// (HKEY_LOCAL_MACHINE and HKEY_USERS); the Win32 calls in platform/win32/registry.cpp map the
// five predefined keys onto it and add handles, access rights and the merged classes view.
//
// Every committed write bumps the shared Registry counter; each call that reads first compares
// the counter (and the host epoch) with what its cache was loaded under and drops the cache when
// another process, or another host, has changed things. Key ids come from AUTOINCREMENT, so a
// deleted key's id is never given to a new key and a stale handle is recognised as deleted.
//
// All of this runs under the process's registry lock (lock()); node pointers and references
// returned by the store are valid until the next write or the next sync(). Lock order: the
// registry lock before the database's, so no code may call the registry while it holds the
// database lock or is inside a Database::Transaction of its own.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "platform/base/types.h"
#include "platform/host/database.h"

namespace platform::host {
class Host;
}

namespace platform::registry {

using KeyId = std::int64_t;

struct Value {
  std::u16string name;
  DWORD type = 0;
  std::string data;  // the exact bytes
};

struct Child {
  std::u16string name;
  KeyId id = 0;
};

struct Node {
  KeyId id = 0;
  KeyId parent = 0;  // 0 for the two stored roots
  KeyId hive = 0;    // the stored root, or for keys under HKEY_USERS the user hive they belong to
  std::u16string name;
  std::uint64_t written = 0;  // FILETIME ticks of the last change to the key's values or subkeys

  bool valuesLoaded = false;
  std::vector<Value> values;  // creation order
  std::unordered_map<std::u16string, std::size_t> valueIndex;  // upcased name -> position

  bool childrenLoaded = false;
  std::vector<Child> children;  // sorted by the upcase table
  std::unordered_map<std::u16string, KeyId> childIndex;  // upcased name -> id
};

// The process's registry lock; every store use happens under it.
std::unique_lock<std::recursive_mutex> lock();

class Store {
 public:
  // The store of the current host, synchronised with the shared counter: the cache is dropped
  // when another process committed a write or the process switched hosts. Call under lock().
  static Store& get();
  // The host epoch the store (and every handle made under it) belongs to.
  std::uint64_t epoch() const { return epoch_; }

  host::Database& db();

  // The stored roots, created when missing.
  KeyId machineRoot();
  KeyId usersRoot();
  // HKEY_USERS\<sid> of the host's current user, created (with Software\Classes) when missing.
  KeyId currentUserHive();
  // The SID-shaped name under HKEY_USERS of a user, assigned on first use and kept.
  std::u16string userSid(std::u16string_view userName);

  // The node of a key, or null when it does not exist (deleted).
  Node* node(KeyId id);
  // The direct subkey `name` (any case) of `parent`, or 0.
  KeyId child(KeyId parent, std::u16string_view name);
  // Follows a path of backslash-separated names; 0 when some part is missing. Empty components
  // are not accepted.
  KeyId walk(KeyId from, std::u16string_view path);
  const std::vector<Child>& children(KeyId id);
  const std::vector<Value>& values(KeyId id);
  const Value* value(KeyId id, std::u16string_view name);
  // Levels between a key and its hive's root (0 for the root itself).
  std::size_t depth(KeyId id);
  // The full stored path ("HKEY_USERS\S-1-5-...\Software"), for messages.
  std::u16string pathOf(KeyId id);

  // Writes; each must run inside a WriteScope. They do no access checks. A key name must be a
  // non-empty name without backslash or NUL (the Win32 calls check it before they get here).
  KeyId createChild(KeyId parent, std::u16string_view name);
  void setValue(KeyId id, std::u16string_view name, DWORD type, std::string_view data);
  // False when there is no such value.
  bool deleteValue(KeyId id, std::u16string_view name);
  // Removes the key with its whole subtree.
  void deleteTree(KeyId id);

  // Drops every cached node (after a write, a rollback or a database error).
  void invalidate();
  // Changes whenever the cache is dropped, for caches built over the store's answers.
  std::uint64_t generation() const { return generation_; }

 private:
  friend class WriteScope;
  Store() = default;
  void sync();
  KeyId topRoot(std::u16string_view name);
  void loadValues(Node& n);
  void loadChildren(Node& n);
  void touch(KeyId id, std::uint64_t now);

  host::Host* host_ = nullptr;
  std::uint64_t epoch_ = 0;
  std::uint64_t seen_ = ~0ull;
  std::unordered_map<KeyId, std::unique_ptr<Node>> nodes_;
  std::unordered_map<KeyId, bool> missing_;
  KeyId machine_ = 0, users_ = 0;
  std::u16string userName_;
  KeyId userHive_ = 0;
  int writeDepth_ = 0;
  bool dirty_ = false;  // the current write scope changed something
  // The database's data version under which the cache was emptied last (-1: not known). While
  // it stands, no other process has committed since, and the cache can serve a write scope.
  std::int64_t cacheVersion_ = -1;
  std::uint64_t generation_ = 0;
};

// One write transaction on the store: takes the registry lock, then BEGIN IMMEDIATE; commit()
// makes it durable and bumps the shared counter so other processes reload. Destroyed without
// commit, it rolls back (the outermost one) and drops the cache. Scopes nest; only the outermost
// commits.
class WriteScope {
 public:
  WriteScope();
  ~WriteScope();
  WriteScope(const WriteScope&) = delete;
  WriteScope& operator=(const WriteScope&) = delete;
  Store& store() { return store_; }
  void commit();

 private:
  std::unique_lock<std::recursive_mutex> lock_;
  Store& store_;
  host::Database::Transaction tx_;
  bool committed_ = false;
};

// Host creation: while a new host is being set up, writes are not refused for a user who is
// not an administrator (the machine's keys of a new host are written by "setup", whoever the
// user is). Active from beginSetup() until endSetup() or until the process switches hosts.
void beginSetup();
void endSetup();
bool setupActive();

// Path of HKEY_CURRENT_CONFIG under HKEY_LOCAL_MACHINE.
inline constexpr std::u16string_view kCurrentConfigPath = u"SYSTEM\\CurrentControlSet\\Hardware Profiles\\Current";
// Path of the classes key under HKEY_LOCAL_MACHINE and under a user's hive.
inline constexpr std::u16string_view kClassesPath = u"Software\\Classes";

}  // namespace platform::registry
