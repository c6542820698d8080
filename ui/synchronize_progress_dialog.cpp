// The progress dialog of a synchronization run.
#include "ui/synchronize_progress_dialog.h"

#include "app/customizer_doc.h"
#include "app/messages.h"
#include "lang/ids.h"
#include "outlook/item_sync_op.h"
#include "snapins/file_synchronizer.h"
#include "snapins/space_man.h"
#include "ui/dialog_support.h"
#include "ui/login_host.h"

namespace {

constexpr COLORREF kExecutingColour = 0xFF0000;

bool describeFileOp(const CFileSyncOp& op, CString& first, CString& second) {
  const CString device = deviceDisplayName();
  switch (op.kind) {
    case kFileOpHostToDrive:
      first = formatMessageText(loadResString(IDS_PROGRESS_FILE_TO_DEVICE), device);
      second = op.pathA;
      break;
    case kFileOpDriveToHost:
      first = formatMessageText(loadResString(IDS_PROGRESS_FILE_FROM_DEVICE), device);
      second = CString(u"+ ") + op.pathA;
      break;
    case kFileOpDeleteOnDrive:
      first = formatMessageText(loadResString(IDS_PROGRESS_FILE_DELETE), device);
      second = CString(u"x ") + op.pathA;
      break;
    case kFileOpConflict:
      first = loadResString(IDS_PROGRESS_FILE_CONFLICT);
      second = CString(u"** ") + op.pathA;
      break;
    default:
      first.Empty();
      second = op.pathA;
      break;
  }
  return true;
}

bool describeItemOp(const CItemSyncOp& op, CString& first, CString& second) {
  const CString device = deviceDisplayName();
  switch (op.getKind()) {
    case kItemOpSourceToTarget:
      first = formatMessageText(loadResString(IDS_PROGRESS_ITEM_TO_DEVICE), device);
      second = itemDisplayText(op.a);
      break;
    case kItemOpTargetToSource:
      first = formatMessageText(loadResString(IDS_PROGRESS_ITEM_FROM_DEVICE), device);
      second = CString(u"+ ") + itemDisplayText(op.b);
      break;
    case kItemOpDeleteTarget:
      first = formatMessageText(loadResString(IDS_PROGRESS_ITEM_DELETE), device);
      second = CString(u"x ") + itemDisplayText(op.b);
      break;
    case kItemOpConflict:
      first = loadResString(IDS_PROGRESS_ITEM_CONFLICT);
      second = CString(u"** ") + itemDisplayText(op.b);
      break;
    case kItemOpTargetMoved:
      first = loadResString(IDS_PROGRESS_ITEM_MOVE);
      second = CString(u"-> ") + itemDisplayText(op.b);
      break;
    case kItemOpSourceMoved:
      first = loadResString(IDS_PROGRESS_ITEM_MOVE);
      second = CString(u"<- ") + itemDisplayText(op.a);
      break;
    default:
      first.Empty();
      second.Empty();
      break;
  }
  return true;
}

}  // namespace

bool describeExecutingOp(const CSyncOp* op, CString& firstLine, CString& secondLine) {
  firstLine.Empty();
  secondLine.Empty();
  if (const auto* file = dynamic_cast<const CFileSyncOp*>(op)) return describeFileOp(*file, firstLine, secondLine);
  if (const auto* item = dynamic_cast<const CItemSyncOp*>(op)) return describeItemOp(*item, firstLine, secondLine);
  return false;
}

CSynchronizeProgressDialog::CSynchronizeProgressDialog(CView* view) : CProgressDialog(true, view) {}

CSpaceMan* CSynchronizeProgressDialog::spaceMan() const {
  CCustomizerDoc* document = loginHost().document();
  return document ? &document->getSpaceMan() : nullptr;
}

void CSynchronizeProgressDialog::onMessage(CAppMessage* message) {
  if (!m_hWnd) return;
  CSyncStatusListener::onMessage(message);
  CProgressDialog::onMessage(message);
}

void CSynchronizeProgressDialog::onProgress(CProgress* progress) {
  ::SetWindowPos(m_hWnd, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
  if (progress->mode == CProgress::kTexts) {
    CProgressDialog::onProgress(progress);
    return;
  }
  // The run's end, not a full bar, ends this dialog.
  SendDlgItemMessage(IDC_PROGRESS_BAR, PBM_SETPOS, static_cast<WPARAM>(progress->percent), 0);
}

void CSynchronizeProgressDialog::onSyncStatus(CSyncStatus* status) {
  CSpaceMan* coordinator = spaceMan();
  switch (status->code) {
    case CSyncStatus::kOpExecuting: {
      m_secondLineColour = kExecutingColour;
      CString first;
      CString second;
      describeExecutingOp(status->op, first, second);
      setLines(first, second);
      break;
    }
    case CSyncStatus::kExecutionBegins:
      m_executionSeen = true;
      break;
    case CSyncStatus::kExecutionEnded:
      // Sent before the coordinator lowers its stop flag: a raised flag means the run was stopped.
      if (coordinator && coordinator->isStopRequested()) m_cancelled = true;
      PostMessage(WM_PROGRESS_FINISHED);
      break;
    case CSyncStatus::kCalculationEnded:
      // The end of a run that never got to execute (stopped without anything queued after it,
      // such as the device closing): without this the dialog would wait for ever.
      if (!m_executionSeen && coordinator && !coordinator->isRunning() && !coordinator->hasPendingRequest() &&
          !m_finished) {
        m_cancelled = true;
        PostMessage(WM_PROGRESS_FINISHED);
      }
      break;
    default:
      break;
  }
}

void CSynchronizeProgressDialog::showCancelled() {
  setLines(m_subject, loadResString(IDS_PROGRESS_SYNC_CANCELLED));
  if (CWnd* second = GetDlgItem(IDC_PROGRESS_SECOND_LINE)) second->ShowWindow(SW_SHOW);
}

void CSynchronizeProgressDialog::onFinished() {
  if (isFinished()) return;
  if (!m_cancelled) setLines(loadResString(IDS_PROGRESS_SYNC_DONE), CString());
  CProgressDialog::onFinished();
  // The cancel text stays in view after the end.
  if (m_cancelled && m_hWnd) showCancelled();
}

void CSynchronizeProgressDialog::OnOK() { CProgressDialog::OnOK(); }

void CSynchronizeProgressDialog::OnCancel() {
  CSpaceMan* coordinator = spaceMan();
  if (coordinator && coordinator->isRunning()) {
    // A request already pending with the coordinator stops this run too; the click then waits for
    // the run's end like the rest of the dialog (the command id is never handed over as an object).
    m_cancelled = true;
    setLines(m_subject, loadResString(IDS_PROGRESS_CANCELLING));
    if (!coordinator->hasPendingRequest()) coordinator->setPendingRequest(m_hWnd, WM_COMMAND, IDCANCEL, 0);
    return;
  }
  m_cancelled = true;
  showCancelled();
  CProgressDialog::OnCancel();
}
