// The synchronization protocol's shared behaviour (sync_spec.h).
#include "snapins/sync_spec.h"

bool CSyncSpec::operator==(const CSyncSpec& other) const {
  return mode == other.mode && profile == other.profile && customizers == other.customizers;
}

int CSyncOp::execute(DWORD mode) { return owner ? owner->executeSyncOp(this, mode) : kSyncFailed; }
