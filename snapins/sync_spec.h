// The synchronization protocol: the request that describes a run (CSyncSpec), one planned
// operation (CSyncOp) and the synchronizer that plans and executes operations (CSynchronizer).
// The run coordinator (space_man.h) drives synchronizers through calculate and execute; file,
// archive and Outlook synchronizers implement the protocol.
#pragma once

#include <vector>

#include "platform/base/types.h"

class CCustomizer;
class CSpaceRecord;
class CSystemProfile;

// Directions of a run (CSyncSpec::mode), passed unchanged to every calculate and execute call.
inline constexpr DWORD kSyncDriveToHost = 0;
inline constexpr DWORD kSyncHostToDrive = 1;
inline constexpr DWORD kSyncBothWays = 2;

// Results of calculate and execute steps.
inline constexpr int kSyncFailed = 0;
inline constexpr int kSyncDone = 1;
inline constexpr int kSyncCancelled = 2;
inline constexpr int kSyncNotMine = 3;  // executeSyncOp: the op is not of this synchronizer's class

// The op kind of a deletion on the drive: the run list puts these first.
inline constexpr DWORD kSyncOpDelete = 4;

// One requested run. `execute` travels with the request: a synchronization asked for while
// another run is in progress keeps its execution when it is queued behind that run.
class CSyncSpec {
 public:
  CSyncSpec() = default;
  CSyncSpec(DWORD runMode, CSystemProfile* computer, std::vector<CCustomizer*> taking, bool executeRun = false)
      : mode(runMode), profile(computer), customizers(std::move(taking)), execute(executeRun) {}
  virtual ~CSyncSpec() = default;

  // Mode, profile object and snap-in array (same pointers, same order); `execute` is not compared.
  bool operator==(const CSyncSpec& other) const;

  DWORD mode = kSyncBothWays;
  CSystemProfile* profile = nullptr;     // not owned
  std::vector<CCustomizer*> customizers;  // not owned
  bool execute = false;
};

class CSynchronizer;

// One planned operation. Kinds are defined by the synchronizer that made it.
class CSyncOp {
 public:
  CSyncOp() = default;
  CSyncOp(DWORD opKind, CSynchronizer* opOwner, LONGLONG delta) : kind(opKind), owner(opOwner), byteDelta(delta) {}
  virtual ~CSyncOp() = default;
  CSyncOp(const CSyncOp&) = delete;
  CSyncOp& operator=(const CSyncOp&) = delete;

  virtual bool hasSameKind(const CSyncOp& other) const { return kind == other.kind; }
  // The owner's executeSyncOp with this op; kSyncFailed without an owner.
  virtual int execute(DWORD mode);
  // Asked after the op failed; true lets the run continue.
  virtual bool askToContinue() = 0;

  DWORD kind = 0;
  CSynchronizer* owner = nullptr;  // not owned
  LONGLONG byteDelta = 0;          // how much the drive's contents grow when the op runs
};

class CSynchronizer {
 public:
  CSynchronizer() = default;
  virtual ~CSynchronizer() = default;
  CSynchronizer(const CSynchronizer&) = delete;
  CSynchronizer& operator=(const CSynchronizer&) = delete;

  // Plans the ops for the record (CSpaceRecord::addSyncOp): kSyncFailed, kSyncDone or
  // kSyncCancelled. Implementations set currentRecord.
  virtual int calculateSyncOps(CSpaceRecord* record, DWORD mode) = 0;
  virtual bool preExecuteSyncOps() = 0;
  virtual bool postExecuteSyncOps(bool succeeded, int argument) = 0;
  // kSyncFailed, kSyncDone, kSyncCancelled or kSyncNotMine.
  virtual int executeSyncOp(CSyncOp* op, DWORD mode) = 0;
  // The sum of the deltas of the ops planned in the current calculation.
  virtual LONGLONG getByteCount() { return byteCount; }

  bool enabled = true;
  LONGLONG byteCount = 0;
  CSpaceRecord* currentRecord = nullptr;  // not owned
};
