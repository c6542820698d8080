// The process list over ToolHelp, PSAPI and VDMDBG (see process_list.h).
#include "Utilities/Corlith/process_list.h"

#include <cstring>

namespace {

// PSAPI: the id array grows by this many entries until the library leaves room to spare.
constexpr DWORD kIdBlock = 256;
// The module file name read for a PSAPI record, in characters.
constexpr DWORD kModuleNameChars = 256;

void copyName(const char* name, CProcessRecord& record) {
  std::size_t n = std::strlen(name);
  if (n > sizeof record.imageName - 1) n = sizeof record.imageName - 1;
  std::memcpy(record.imageName, name, n);
  record.imageName[n] = 0;
}

// The part after the last backslash, stepping by characters so that a trail byte of a
// two-byte character is never taken for one.
const char* lastComponent(const char* path) {
  const char* last = path;
  for (const char* p = path; *p; p = CharNextA(p))
    if (*p == '\\') last = p + 1;
  return last;
}

// Ends in "NTVDM.EXE", in any case.
bool isVirtualDosMachine(const char* imageName) {
  char upper[sizeof CProcessRecord::imageName] = {};
  std::strncpy(upper, imageName, sizeof upper - 1);
  CharUpperBuffA(upper, static_cast<DWORD>(std::strlen(upper)));
  constexpr char kVdm[] = "NTVDM.EXE";
  const std::size_t n = std::strlen(upper), k = sizeof kVdm - 1;
  return n >= k && std::strcmp(upper + n - k, kVdm) == 0;
}

}  // namespace

CProcessList::CProcessList() {
  enumProcesses_ = psapi_.entry<EnumProcessesFn>("EnumProcesses");
  enumProcessModules_ = psapi_.entry<EnumProcessModulesFn>("EnumProcessModules");
  getModuleFileNameEx_ = psapi_.entry<GetModuleFileNameExFn>("GetModuleFileNameExA");
  createSnapshot_ = kernel_.entry<CreateSnapshotFn>("CreateToolhelp32Snapshot");
  process32First_ = kernel_.entry<Process32Fn>("Process32First");
  process32Next_ = kernel_.entry<Process32Fn>("Process32Next");
  module32First_ = kernel_.entry<Module32Fn>("Module32First");
  module32Next_ = kernel_.entry<Module32Fn>("Module32Next");
  enumTasks_ = vdmdbg_.entry<EnumTaskFn>("VDMEnumTaskWOWEx");
  const DWORD available = availableModes();
  if (available & kToolHelp)
    mode_ = kToolHelp;
  else if (available & kPsapi)
    mode_ = kPsapi;
  if (available & kSixteenBit) mode_ |= kSixteenBit;
}

CProcessList::~CProcessList() { reset(); }

DWORD CProcessList::availableModes() const {
  DWORD modes = 0;
  if (enumProcesses_ && enumProcessModules_ && getModuleFileNameEx_) modes |= kPsapi;
  if (createSnapshot_ && process32Next_ && module32First_ && module32Next_) modes |= kToolHelp;
  if (enumTasks_ && (modes & (kPsapi | kToolHelp))) modes |= kSixteenBit;
  return modes;
}

DWORD CProcessList::setMode(DWORD mode) {
  if ((mode & ~availableModes()) == 0 && mode != kSixteenBit) mode_ = mode;
  return mode_;
}

void CProcessList::reset() {
  if (snapshot_ != INVALID_HANDLE_VALUE) CloseHandle(snapshot_);
  snapshot_ = INVALID_HANDLE_VALUE;
  ids_.clear();
  nextId_ = 0;
  pending_.clear();
}

bool CProcessList::firstProcess(CProcessRecord& record) {
  reset();
  bool found = false;
  if (mode_ & kToolHelp) {
    snapshot_ = createSnapshot_(TH32CS_SNAPPROCESS, 0);
    if (snapshot_ == INVALID_HANDLE_VALUE) return false;
    found = readToolHelp(record, true);
  } else if (mode_ & kPsapi) {
    DWORD capacity = kIdBlock;
    for (;;) {
      ids_.assign(capacity, 0);
      DWORD bytes = 0;
      if (!enumProcesses_(ids_.data(), capacity * sizeof(DWORD), &bytes)) {
        ids_.clear();
        return false;
      }
      if (bytes < capacity * sizeof(DWORD)) {
        ids_.resize(bytes / sizeof(DWORD));
        break;
      }
      capacity += kIdBlock;
    }
    found = readPsapi(record);
  }
  if (found) queueSixteenBitTasks(record);
  return found;
}

bool CProcessList::nextProcess(CProcessRecord& record) {
  if (!pending_.empty()) {
    record = pending_.front();
    pending_.pop_front();
    return true;
  }
  bool found = false;
  if (mode_ & kToolHelp)
    found = snapshot_ != INVALID_HANDLE_VALUE && readToolHelp(record, false);
  else if (mode_ & kPsapi)
    found = readPsapi(record);
  if (found) queueSixteenBitTasks(record);
  return found;
}

bool CProcessList::readToolHelp(CProcessRecord& record, bool first) {
  PROCESSENTRY32 entry{};
  entry.dwSize = sizeof entry;
  Process32Fn read = first ? process32First_ : process32Next_;
  if (!read || !read(snapshot_, &entry)) return false;
  record = CProcessRecord{};
  copyName(entry.szExeFile, record);
  record.processId = entry.th32ProcessID;
  return true;
}

bool CProcessList::readPsapi(CProcessRecord& record) {
  if (nextId_ >= ids_.size()) return false;
  const DWORD pid = ids_[nextId_++];
  record = CProcessRecord{};
  record.processId = pid;
  namePsapiProcess(pid, record);
  return true;
}

void CProcessList::namePsapiProcess(DWORD pid, CProcessRecord& record) const {
  HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, pid);
  if (!process) {
    copyName("N/A (security restriction)", record);
    return;
  }
  HMODULE module = nullptr;
  DWORD needed = 0;
  char path[kModuleNameChars + 1] = {};
  if (enumProcessModules_(process, &module, sizeof module, &needed) &&
      getModuleFileNameEx_(process, module, path, kModuleNameChars))
    copyName(lastComponent(path), record);
  else
    copyName("N/A (error)", record);
  CloseHandle(process);
}

void CProcessList::queueSixteenBitTasks(const CProcessRecord& record) {
  if (!(mode_ & kSixteenBit) || record.taskId != 0 || !isVirtualDosMachine(record.imageName)) return;
  hostPid_ = record.processId;
  enumTasks_(record.processId, &CProcessList::taskFound, reinterpret_cast<LPARAM>(this));
}

BOOL CProcessList::taskFound(DWORD, WORD, WORD task, PSZ, PSZ fileName, LPARAM self) {
  auto* list = reinterpret_cast<CProcessList*>(self);
  CProcessRecord record;
  copyName(fileName, record);
  record.processId = list->hostPid_;
  record.taskId = task;
  list->pending_.push_back(record);
  return FALSE;
}
