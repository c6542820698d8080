// One planned operation of the Outlook item synchronizer: the source item A, the target item B,
// the snapshot entry S linking them, the op kind and the folder's conflict mode. Its items belong
// to their folder records (the synchronizer's folder trees), its entry to the snapshot; the op
// owns neither. The progress and synchronize dialogs read what they show through the accessors.
#pragma once

#include "platform/afx/cstring.h"
#include "platform/base/types.h"
#include "snapins/sync_spec.h"

class CItemSnapshot;
class COutlookItem;
class CItemSynchronizer;

// Item op kinds (6 is not valid; 3 is never planned).
inline constexpr DWORD kItemOpNothing = 0;
inline constexpr DWORD kItemOpSourceToTarget = 1;  // A changed or new: copy A to the target, replacing B
inline constexpr DWORD kItemOpTargetToSource = 2;  // B changed or new: copy B to the source, replacing A
inline constexpr DWORD kItemOpNone = 3;            // succeeds at once
inline constexpr DWORD kItemOpDeleteTarget = kSyncOpDelete;  // A is gone: delete B, drop S
inline constexpr DWORD kItemOpConflict = 5;        // resolved by the conflict mode
inline constexpr DWORD kItemOpTargetMoved = 7;     // B moved: copy B to the source folder paired with B's
inline constexpr DWORD kItemOpSourceMoved = 8;     // A moved: copy A to the target folder paired with A's

class CItemSyncOp : public CSyncOp {
 public:
  CItemSyncOp(DWORD opKind, CItemSynchronizer* opOwner, LONGLONG delta, COutlookItem* source,
              COutlookItem* target, CItemSnapshot* entry, UINT mode);

  // Asked after a failure: true at once when the op succeeded, else the user's answer to string
  // 443 with the failure text of the op's kind.
  bool askToContinue() override { return reportFailure(); }
  bool reportFailure();
  // The failure text of the op's kind (the first line of the question).
  CString failureText() const;

  // What the dialogs show of the op.
  DWORD getKind() const { return kind; }
  // A's subject, else B's; empty without either.
  CString getSubject() const;
  // The folder path of A's folder, else of B's (folder names joined by newlines).
  CString getFolderPath() const;
  LONGLONG getByteDelta() const { return byteDelta; }

  COutlookItem* a;       // not owned
  COutlookItem* b;       // not owned
  CItemSnapshot* s;      // not owned; cleared when the op removed it from the snapshot
  UINT conflictMode;     // 0 keep both, 1 source wins, 2 target wins
  bool succeeded = false;
  // Not owned: B's copy on the host that a cut-off run already made; the op then only takes the
  // version A it replaces away and records the copy.
  COutlookItem* madeCopy = nullptr;
};

// What the synchronize and progress dialogs show of an item: its subject, and its folder's path
// as the user reads it (backslashes between the names). Empty without an item.
CString itemDisplayText(const COutlookItem* item);
CString itemFolderText(const COutlookItem* item);
