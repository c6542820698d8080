// kipo-host mapi: the host's MAPI profiles and message stores, for tests and the demo — list
// profiles, services and stores, add a profile with a personal folders file, and dump, build,
// deliver into and move within a store file. It works on the registry and the store files
// through the MAPI stand-in's own code, so what it writes is what the product reads.
//
// The text a store is built from (`mapi make STORE --from FILE`), one entry a line:
//   # a comment
//   folder Inbox/Projects          the folder at that path under the top of the folder tree
//                                  (made when missing); later entries go into it
//   item IPM.Note Weekly report    a message of that class and subject in the current folder
//   associated IPM.Microsoft.FolderDesign.NamedView Settings   an associated message likewise
#include <cstdio>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "platform/base/codepage.h"
#include "platform/base/text.h"
#include "platform/com/unknown.h"
#include "platform/modules/mapi32/exchange.h"
#include "platform/modules/mapi32/points.h"
#include "platform/modules/mapi32/profiles.h"
#include "platform/modules/mapi32/store.h"
#include "platform/win32/file.h"
#include "platform/win32/time.h"
#include "tools/kipo-host/command.h"

namespace kipohost {
namespace {

namespace text = platform::text;
using platform::com::Ptr;
using mapi::Kind;
using mapi::ObjectId;
using mapi::Store;

constexpr ULONG kSentRepresenting = PR_SENDER_NAME_A;
constexpr std::size_t kMaxMakeFile = 16 << 20;

std::string hresult(HRESULT hr) {
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "0x%08X", static_cast<unsigned>(hr));
  return buffer;
}

std::string utf8(const std::u16string& s) { return text::toUtf8(s); }

std::string textOf(const mapi::Row& row, ULONG tag) {
  const mapi::Value* v = mapi::find(row, tag);
  return v && mapi::isStringType(v->type()) ? utf8(v->text) : std::string();
}

int openStore(const std::string& path, bool create, std::shared_ptr<Store>& store) {
  HRESULT hr = Store::open(text::fromUtf8(path), create, store);
  if (FAILED(hr)) return failure("cannot open the store " + path + " (" + hresult(hr) + ")");
  return 0;
}

ObjectId topOf(Store& store) {
  mapi::Row row;
  if (FAILED(store.props(Store::kStoreObject, row))) return 0;
  const mapi::Value* v = mapi::find(row, PR_IPM_SUBTREE_ENTRYID);
  auto id = v ? store.objectOf(v->bytes) : std::nullopt;
  return id.value_or(0);
}

// The folder at a "/"-separated path under the top of the tree; made when `make` is set.
HRESULT folderAt(Store& store, const std::string& path, bool make, ObjectId& out) {
  ObjectId at = topOf(store);
  if (!at) return MAPI_E_CORRUPT_DATA;
  std::stringstream parts(path);
  for (std::string part; std::getline(parts, part, '/');) {
    if (part.empty()) continue;
    std::vector<std::pair<ObjectId, mapi::Row>> children;
    if (HRESULT hr = store.childRows(at, Kind::Folder, children); FAILED(hr)) return hr;
    ObjectId next = 0;
    for (auto& [id, row] : children)
      if (text::equalNoCase(text::fromUtf8(textOf(row, PR_DISPLAY_NAME_W)), text::fromUtf8(part))) next = id;
    if (!next) {
      if (!make) return MAPI_E_NOT_FOUND;
      mapi::Row props = {mapi::textValue(PR_DISPLAY_NAME_W, text::fromUtf8(part)), mapi::longValue(PR_FOLDER_TYPE, FOLDER_GENERIC),
                         mapi::textValue(PR_CONTAINER_CLASS_A, u"IPF.Note")};
      if (HRESULT hr = store.create(at, Kind::Folder, props, next); FAILED(hr)) return hr;
    }
    at = next;
  }
  out = at;
  return S_OK;
}

void dumpFolder(Store& store, ObjectId folder, int depth) {
  std::vector<std::pair<ObjectId, mapi::Row>> children;
  for (Kind kind : {Kind::Message, Kind::Associated}) {
    if (FAILED(store.childRows(folder, kind, children))) continue;
    for (auto& [id, row] : children)
      std::printf("%*s%s %s %s\n", depth * 2, "", kind == Kind::Message ? "item" : "associated",
                  textOf(row, PR_MESSAGE_CLASS_A).c_str(), textOf(row, PR_SUBJECT_A).c_str());
  }
  if (FAILED(store.childRows(folder, Kind::Folder, children))) return;
  for (auto& [id, row] : children) {
    std::printf("%*sfolder %s\n", depth * 2, "", textOf(row, PR_DISPLAY_NAME_W).c_str());
    dumpFolder(store, id, depth + 1);
  }
}

int dump(const std::vector<std::string>& args) {
  if (args.size() != 1) return usageError("mapi dump STORE");
  std::shared_ptr<Store> store;
  if (int rc = openStore(args[0], false, store)) return rc;
  const ObjectId top = topOf(*store);
  if (!top) return failure("the store has no folder tree");
  dumpFolder(*store, top, 0);
  return 0;
}

int make(const std::vector<std::string>& args) {
  if (args.size() != 3 || args[1] != "--from") return usageError("mapi make STORE --from FILE");
  std::ifstream in(args[2], std::ios::binary | std::ios::ate);
  if (!in) return failure("cannot read " + args[2]);
  const std::streamoff size = in.tellg();
  if (size < 0 || static_cast<std::uintmax_t>(size) > kMaxMakeFile) return failure(args[2] + " is too large");
  in.seekg(0);
  std::shared_ptr<Store> store;
  if (int rc = openStore(args[0], true, store)) return rc;
  ObjectId folder = topOf(*store);
  int lineNumber = 0;
  for (std::string line; std::getline(in, line);) {
    ++lineNumber;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty() || line[0] == '#') continue;
    const auto space = line.find(' ');
    const std::string word = line.substr(0, space);
    const std::string rest = space == std::string::npos ? std::string() : line.substr(space + 1);
    HRESULT hr = S_OK;
    if (word == "folder") {
      hr = folderAt(*store, rest, true, folder);
    } else if (word == "item" || word == "associated") {
      const auto split = rest.find(' ');
      if (rest.empty() || split == 0) return failure(args[2] + ":" + std::to_string(lineNumber) + ": an item needs a class");
      const std::string cls = rest.substr(0, split);
      const std::string subject = split == std::string::npos ? std::string() : rest.substr(split + 1);
      mapi::Row props = {mapi::textValue(PR_MESSAGE_CLASS_A, text::fromUtf8(cls)),
                         mapi::textValue(PR_SUBJECT_A, text::fromUtf8(subject)), mapi::longValue(PR_MESSAGE_FLAGS, 1)};
      ObjectId id = 0;
      hr = store->create(folder, word == "item" ? Kind::Message : Kind::Associated, props, id);
    } else {
      return failure(args[2] + ":" + std::to_string(lineNumber) + ": unknown entry \"" + word + "\"");
    }
    if (FAILED(hr)) return failure(args[2] + ":" + std::to_string(lineNumber) + ": " + hresult(hr));
  }
  return 0;
}

int deliver(const std::vector<std::string>& args) {
  std::string from, subject, body;
  if (args.empty()) return usageError("mapi deliver STORE --from A --subject S [--body B]");
  for (std::size_t i = 1; i < args.size(); ++i) {
    if (i + 1 >= args.size()) return usageError("mapi deliver STORE --from A --subject S [--body B]");
    if (args[i] == "--from") from = args[++i];
    else if (args[i] == "--subject") subject = args[++i];
    else if (args[i] == "--body") body = args[++i];
    else return usageError("mapi deliver STORE --from A --subject S [--body B]");
  }
  if (from.empty()) return usageError("mapi deliver needs --from");
  std::shared_ptr<Store> store;
  if (int rc = openStore(args[0], false, store)) return rc;
  ObjectId inbox = 0;
  if (HRESULT hr = store->receiveFolder(u"IPM.Note", inbox); FAILED(hr)) return failure("no receive folder (" + hresult(hr) + ")");
  mapi::Row props = {mapi::textValue(PR_MESSAGE_CLASS_A, u"IPM.Note"), mapi::textValue(PR_SUBJECT_A, text::fromUtf8(subject)),
                     mapi::textValue(kSentRepresenting, text::fromUtf8(from)), mapi::longValue(PR_MESSAGE_FLAGS, 0)};
  if (!body.empty()) props.push_back(mapi::textValue(PR_BODY_A, text::fromUtf8(body)));
  ObjectId id = 0;
  if (HRESULT hr = store->create(inbox, Kind::Message, props, id); FAILED(hr)) return failure("delivery failed (" + hresult(hr) + ")");
  return 0;
}

// Moves the first item of that subject (searched folder by folder) into the folder at a path: the
// item keeps its entry id, source key and modification time.
int move(const std::vector<std::string>& args) {
  if (args.size() != 3) return usageError("mapi move STORE ITEM FOLDER");
  std::shared_ptr<Store> store;
  if (int rc = openStore(args[0], false, store)) return rc;
  ObjectId target = 0;
  if (HRESULT hr = folderAt(*store, args[2], false, target); FAILED(hr)) return failure("no folder " + args[2]);
  std::vector<ObjectId> folders = {topOf(*store)};
  for (std::size_t i = 0; i < folders.size(); ++i) {
    std::vector<std::pair<ObjectId, mapi::Row>> rows;
    for (Kind kind : {Kind::Message, Kind::Associated}) {
      if (FAILED(store->childRows(folders[i], kind, rows))) continue;
      for (auto& [id, row] : rows)
        if (textOf(row, PR_SUBJECT_A) == args[1]) {
          HRESULT hr = store->move(id, target);
          return FAILED(hr) ? failure("move failed (" + hresult(hr) + ")") : 0;
        }
    }
    std::vector<ObjectId> sub;
    if (SUCCEEDED(store->children(folders[i], Kind::Folder, sub))) folders.insert(folders.end(), sub.begin(), sub.end());
  }
  return failure("no item \"" + args[1] + "\"");
}

int profiles(const std::vector<std::string>&) {
  const std::u16string byDefault = mapi::defaultProfile();
  for (const std::u16string& name : mapi::profileNames())
    std::printf("%s%s\n", utf8(name).c_str(), text::equalNoCase(name, byDefault) ? " (default)" : "");
  return 0;
}

int services(const std::vector<std::string>& args) {
  if (args.size() != 1) return usageError("mapi services PROFILE");
  const std::u16string profile = text::fromUtf8(args[0]);
  if (!mapi::profileExists(profile)) return failure("no profile " + args[0]);
  for (const MAPIUID& uid : mapi::serviceIds(profile)) {
    const mapi::Row row = mapi::readSection(profile, uid);
    const mapi::Value* flags = mapi::find(row, PR_RESOURCE_FLAGS);
    std::printf("%s\t%s\t%s%s\n", utf8(mapi::sectionName(uid)).c_str(), textOf(row, PR_SERVICE_NAME_A).c_str(),
                textOf(row, PR_DISPLAY_NAME_A).c_str(), flags && (flags->i & SERVICE_DEFAULT_STORE) ? "\t(default store)" : "");
    if (const std::string path = textOf(row, PR_PST_PATH); !path.empty()) std::printf("\t%s\n", path.c_str());
  }
  return 0;
}

// One line per store file: the personal folders files of each profile, then the Exchange
// mailboxes ("exchange:SERVER", "Mailbox - NAME", the file), whatever their server's state.
int stores(const std::vector<std::string>&) {
  for (const std::u16string& profile : mapi::profileNames())
    for (const MAPIUID& uid : mapi::serviceIds(profile)) {
      const mapi::Row row = mapi::readSection(profile, uid);
      if (const std::string path = textOf(row, PR_PST_PATH); !path.empty())
        std::printf("%s\t%s\t%s\n", utf8(profile).c_str(), textOf(row, PR_DISPLAY_NAME_A).c_str(), path.c_str());
    }
  for (const mapi::Mailbox& m : mapi::allMailboxes())
    std::printf("exchange:%s\tMailbox - %s\t%s\n", utf8(m.server).c_str(), utf8(m.name).c_str(), utf8(m.path).c_str());
  return 0;
}

// `mapi profile add NAME (--pst PATH | --exchange SERVER --mailbox NAME) [--address ADDR] [--default]`: a
// profile with one store service, and with --address an Internet mail service of that address.
int profileAdd(const std::vector<std::string>& args) {
  if (args.empty()) return usageError("mapi profile add NAME --pst PATH [--default]");
  std::string pst, server, mailbox, address;
  bool makeDefault = false;
  for (std::size_t i = 1; i < args.size(); ++i) {
    if (args[i] == "--pst" && i + 1 < args.size()) pst = args[++i];
    else if (args[i] == "--address" && i + 1 < args.size()) address = args[++i];
    else if (args[i] == "--exchange" && i + 1 < args.size()) server = args[++i];
    else if (args[i] == "--mailbox" && i + 1 < args.size()) mailbox = args[++i];
    else if (args[i] == "--default") makeDefault = true;
    else return usageError("mapi profile add NAME (--pst PATH | --exchange SERVER --mailbox NAME) [--address ADDR] [--default]");
  }
  if (pst.empty() == server.empty() || server.empty() != mailbox.empty())
    return usageError("mapi profile add NAME (--pst PATH | --exchange SERVER --mailbox NAME) [--address ADDR] [--default]");
  Ptr<IProfAdmin> admin;
  mapi::newProfAdmin(admin.put());
  const std::string name = text::wideToAnsi(text::fromUtf8(args[0]));
  if (HRESULT hr = admin->CreateProfile(const_cast<LPSTR>(name.c_str()), nullptr, 0, 0); FAILED(hr))
    return failure("cannot make the profile (" + hresult(hr) + ")");
  Ptr<IMsgServiceAdmin> services;
  HRESULT hr = admin->AdminServices(const_cast<LPSTR>(name.c_str()), nullptr, 0, 0, services.put());
  if (SUCCEEDED(hr))
    hr = services->CreateMsgService(const_cast<LPSTR>(server.empty() ? "MSPST MS" : "MSEMS"), nullptr, 0, 0);
  if (SUCCEEDED(hr)) {
    const std::u16string profile = text::fromUtf8(args[0]);
    MAPIUID uid = mapi::serviceIds(profile).back();
    const std::string a = text::wideToAnsi(text::fromUtf8(server.empty() ? std::string("Personal Folders") : mailbox));
    const std::string b = text::wideToAnsi(text::fromUtf8(server.empty() ? pst : server));
    SPropValue props[2]{};
    props[0].ulPropTag = server.empty() ? PR_DISPLAY_NAME_A : PR_PROFILE_UNRESOLVED_NAME;
    props[0].Value.lpszA = const_cast<LPSTR>(a.c_str());
    props[1].ulPropTag = server.empty() ? PR_PST_PATH : PR_PROFILE_UNRESOLVED_SERVER;
    props[1].Value.lpszA = const_cast<LPSTR>(b.c_str());
    hr = services->ConfigureMsgService(&uid, 0, 0, 2, props);
  }
  // The Internet mail account whose address names the owner of the profile's personal folders.
  if (SUCCEEDED(hr) && !address.empty()) {
    const std::string display = text::wideToAnsi(u"Internet E-mail - " + text::fromUtf8(address));
    hr = services->CreateMsgService(const_cast<LPSTR>("IMAIL"), const_cast<LPSTR>(display.c_str()), 0, 0);
    const std::vector<MAPIUID> ids = mapi::serviceIds(text::fromUtf8(args[0]));
    if (SUCCEEDED(hr) && !ids.empty()) {
      MAPIUID uid = ids.back();
      const std::string a = text::wideToAnsi(text::fromUtf8(address));
      SPropValue props[2]{};
      props[0].ulPropTag = PR_DISPLAY_NAME_A;
      props[0].Value.lpszA = const_cast<LPSTR>(display.c_str());
      props[1].ulPropTag = PR_EMAIL_ADDRESS_A;
      props[1].Value.lpszA = const_cast<LPSTR>(a.c_str());
      hr = services->ConfigureMsgService(&uid, 0, 0, 2, props);
    }
  }
  if (SUCCEEDED(hr) && makeDefault) hr = admin->SetDefaultProfile(const_cast<LPSTR>(name.c_str()), 0);
  if (FAILED(hr)) {
    admin->DeleteProfile(const_cast<LPSTR>(name.c_str()), 0);
    return failure("cannot set up the profile (" + hresult(hr) + ")");
  }
  return 0;
}

// Makes each missing folder of a Windows folder path.
bool makeFolders(const std::u16string& folder) {
  for (std::size_t i = 3; i <= folder.size(); ++i) {
    if (i < folder.size() && folder[i] != u'\\') continue;
    const std::u16string part = folder.substr(0, i);
    if (GetFileAttributesW(part.c_str()) == INVALID_FILE_ATTRIBUTES && !CreateDirectoryW(part.c_str(), nullptr)) return false;
  }
  return true;
}

// `mapi exchange add SERVER --mailbox NAME [--org O --site S]`: a mailbox of a listed server, with
// its store file in the server's data folder on the host.
int exchangeAdd(const std::vector<std::string>& args) {
  const char* usage = "mapi exchange add SERVER --mailbox NAME [--org O --site S]";
  if (args.empty()) return usageError(usage);
  mapi::Mailbox m;
  m.server = text::fromUtf8(args[0]);
  m.organization = u"First Organization";
  m.site = u"First Site";
  for (std::size_t i = 1; i < args.size(); ++i) {
    if (i + 1 >= args.size()) return usageError(usage);
    if (args[i] == "--mailbox") m.name = text::fromUtf8(args[++i]);
    else if (args[i] == "--org") m.organization = text::fromUtf8(args[++i]);
    else if (args[i] == "--site") m.site = text::fromUtf8(args[++i]);
    else return usageError(usage);
  }
  if (m.name.empty()) return usageError(usage);
  const std::u16string folder = u"C:\\Program Files\\Exchsrvr\\MDBDATA\\" + m.server;
  if (!makeFolders(folder)) return failure("cannot make " + utf8(folder));
  m.path = folder + u"\\" + m.name + u".mbx";
  if (HRESULT hr = mapi::addMailbox(m); FAILED(hr))
    return failure(hr == MAPI_E_NETWORK_ERROR ? "no server " + args[0] + " in the host's server table (kipo-host net add)"
                                              : "cannot add the mailbox (" + hresult(hr) + ")");
  std::printf("%s\n", utf8(m.path).c_str());
  return 0;
}

int sent(const std::vector<std::string>& args) {
  if (!args.empty()) return usageError("mapi sent");
  for (const std::u16string& line : mapi::sentLog()) std::printf("%s\n", utf8(line).c_str());
  return 0;
}

int mapiCommand(const std::vector<std::string>& args) {
  mapi::joinFaultPoints();
  if (args.empty()) return usageError("mapi profiles|profile add|services|stores|dump|make|deliver|move|sent|exchange add ...");
  const std::vector<std::string> rest(args.begin() + 1, args.end());
  const std::string& what = args[0];
  if (what == "profiles") return profiles(rest);
  if (what == "profile" && !rest.empty() && rest[0] == "add") return profileAdd({rest.begin() + 1, rest.end()});
  if (what == "services") return services(rest);
  if (what == "stores") return stores(rest);
  if (what == "dump") return dump(rest);
  if (what == "make") return make(rest);
  if (what == "deliver") return deliver(rest);
  if (what == "move") return move(rest);
  if (what == "sent") return sent(rest);
  if (what == "exchange" && !rest.empty() && rest[0] == "add") return exchangeAdd({rest.begin() + 1, rest.end()});
  return usageError("unknown mapi command " + what);
}

RegisterCommand mapiCommandEntry(
    {"mapi",
     "mapi profiles                    list the MAPI profiles (the default one marked)\n"
     "mapi profile add NAME (--pst PATH | --exchange SERVER --mailbox NAME) [--address ADDR] [--default]\n"
     "                                 a profile with a personal folders file or a mailbox\n"
     "mapi exchange add SERVER --mailbox NAME [--org O --site S]   a mailbox of a listed server\n"
     "mapi services PROFILE            list a profile's message services\n"
     "mapi stores                      list the store files of every profile and every mailbox\n"
     "mapi dump STORE                  print a store file's folders and items\n"
     "mapi make STORE --from FILE      build a store file from a text description\n"
     "mapi deliver STORE --from A --subject S [--body B]   a message into the receive folder\n"
     "mapi move STORE ITEM FOLDER      move the item of that subject to the folder at that path\n"
     "mapi sent                        the host's sent log: sender, recipients, subject",
     true, mapiCommand});

}  // namespace
}  // namespace kipohost
