// The list of running processes, read through whichever interface the host offers: the ToolHelp
// snapshot of kernel32, the process status library (PSAPI), and for the 16-bit tasks that run
// inside a virtual DOS machine, the VDM debugging library (VDMDBG). The libraries are loaded by
// name when the list is made; a host without one simply lacks that mode.
#pragma once

#include <deque>
#include <vector>

#include "platform/win32/win32.h"

// One entry of the process list.
struct CProcessRecord {
  char imageName[256] = {};  // ANSI, at most 255 characters
  DWORD processId = 0;       // for a 16-bit task: its NTVDM.EXE process
  WORD taskId = 0;           // 16-bit task id, 0 for an ordinary process
};

class CProcessList {
 public:
  // Mode bits.
  static constexpr DWORD kPsapi = 1;
  static constexpr DWORD kToolHelp = 2;
  static constexpr DWORD kSixteenBit = 4;

  CProcessList();
  ~CProcessList();
  CProcessList(const CProcessList&) = delete;
  CProcessList& operator=(const CProcessList&) = delete;

  // The modes the host offers (16-bit tasks only together with PSAPI or ToolHelp).
  DWORD availableModes() const;
  // Takes the mode when every bit is available and it is not 16-bit tasks alone; returns the mode
  // in force.
  DWORD setMode(DWORD mode);
  DWORD mode() const { return mode_; }

  // Start a new enumeration / continue it; false at the end.
  bool firstProcess(CProcessRecord& record);
  bool nextProcess(CProcessRecord& record);

 private:
  using CreateSnapshotFn = HANDLE (*)(DWORD, DWORD);
  using Process32Fn = BOOL (*)(HANDLE, PROCESSENTRY32*);
  using Module32Fn = BOOL (*)(HANDLE, MODULEENTRY32*);
  using EnumProcessesFn = BOOL (*)(DWORD*, DWORD, DWORD*);
  using EnumProcessModulesFn = BOOL (*)(HANDLE, HMODULE*, DWORD, DWORD*);
  using GetModuleFileNameExFn = DWORD (*)(HANDLE, HMODULE, LPSTR, DWORD);
  using EnumTaskFn = INT (*)(DWORD, TASKENUMPROCEX, LPARAM);

  // A library loaded by name, freed with the list.
  class Library {
   public:
    explicit Library(const char* name) : module_(LoadLibraryA(name)) {}
    ~Library() {
      if (module_) FreeLibrary(module_);
    }
    Library(const Library&) = delete;
    Library& operator=(const Library&) = delete;
    template <class F>
    F entry(const char* name) const {
      return module_ ? reinterpret_cast<F>(GetProcAddress(module_, name)) : nullptr;
    }

   private:
    HMODULE module_;
  };

  void reset();
  bool readToolHelp(CProcessRecord& record, bool first);
  bool readPsapi(CProcessRecord& record);
  void namePsapiProcess(DWORD pid, CProcessRecord& record) const;
  // With 16-bit tasks on, queues the tasks of a virtual DOS machine process just read.
  void queueSixteenBitTasks(const CProcessRecord& record);
  static BOOL taskFound(DWORD threadId, WORD module, WORD task, PSZ moduleName, PSZ fileName, LPARAM self);

  Library psapi_{"PSAPI"};
  Library kernel_{"Kernel32"};
  Library vdmdbg_{"VDMDBG"};
  EnumProcessesFn enumProcesses_ = nullptr;
  EnumProcessModulesFn enumProcessModules_ = nullptr;
  GetModuleFileNameExFn getModuleFileNameEx_ = nullptr;
  CreateSnapshotFn createSnapshot_ = nullptr;
  Process32Fn process32First_ = nullptr;
  Process32Fn process32Next_ = nullptr;
  Module32Fn module32First_ = nullptr;
  Module32Fn module32Next_ = nullptr;
  EnumTaskFn enumTasks_ = nullptr;

  DWORD mode_ = 0;
  HANDLE snapshot_ = INVALID_HANDLE_VALUE;
  std::vector<DWORD> ids_;  // PSAPI: the ids read, and the position of the next one
  std::size_t nextId_ = 0;
  std::deque<CProcessRecord> pending_;  // 16-bit tasks not yet handed out
  DWORD hostPid_ = 0;                   // the NTVDM.EXE process whose tasks are being queued
};
