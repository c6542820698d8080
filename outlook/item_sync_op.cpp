// One planned item op and its failure question (item_sync_op.h).
#include "outlook/item_sync_op.h"

#include "app/messages.h"
#include "lang/ids.h"
#include "outlook/item_synchronizer.h"
#include "outlook/outlook_folder.h"
#include "outlook/outlook_item.h"
#include "outlook/outlook_names.h"

CItemSyncOp::CItemSyncOp(DWORD opKind, CItemSynchronizer* opOwner, LONGLONG delta, COutlookItem* source,
                         COutlookItem* target, CItemSnapshot* entry, UINT mode)
    : CSyncOp(opKind, opOwner, delta),
      a(source),
      b(target),
      s(entry),
      conflictMode(mode) {}

CString CItemSyncOp::getSubject() const {
  if (a) return a->subject;
  if (b) return b->subject;
  return CString();
}

CString CItemSyncOp::getFolderPath() const {
  const COutlookItem* item = a ? a : b;
  return item && item->parentFolder ? item->parentFolder->getPath() : CString();
}

CString CItemSyncOp::failureText() const {
  const CString aSubject = a ? a->subject : CString();
  const CString bSubject = b ? b->subject : CString();
  switch (kind) {
    case kItemOpSourceToTarget: return formatMessageText(loadResString(IDS_ITEM_OP_COPY).GetString(), aSubject);
    case kItemOpTargetToSource: return formatMessageText(loadResString(IDS_ITEM_OP_COPY).GetString(), bSubject);
    case kItemOpNone: return formatMessageText(loadResString(IDS_ITEM_OP_DELETE).GetString(), aSubject);
    case kItemOpDeleteTarget: return formatMessageText(loadResString(IDS_ITEM_OP_DELETE).GetString(), bSubject);
    case kItemOpConflict: return formatMessageText(loadResString(IDS_ITEM_OP_CONFLICT).GetString(), aSubject);
    case kItemOpTargetMoved:
    case kItemOpSourceMoved: return formatMessageText(loadResString(IDS_ITEM_OP_MOVE).GetString(), aSubject);
    default: return loadResString(IDS_SYNC_OP_UNKNOWN);
  }
}

bool CItemSyncOp::reportFailure() {
  if (succeeded) return true;
  return askYesNoById(IDS_FILEOP_CONTINUE_QUESTION, failureText());
}

CString itemDisplayText(const COutlookItem* item) { return item ? item->subject : CString(); }

CString itemFolderText(const COutlookItem* item) {
  if (!item) return CString();
  if (item->parentFolder) return convertToDisplayFolderPath(item->parentFolder->getPath());
  return item->parentFolderName;
}
