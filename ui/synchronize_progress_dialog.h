// CSynchronizeProgressDialog: the progress dialog of a synchronization run. Besides the progress
// texts it names each operation as it starts, ends when the run ends and can cancel the run
// through the run coordinator (the cancel is handed over as a pending request and comes back
// once the run has stopped). A run that was stopped, by the user or by anyone else, ends the
// dialog with IDCANCEL, so the caller never takes it for a completed run.
#pragma once

#include "app/app_messages.h"
#include "ui/progress_dialog.h"

class CSpaceMan;
class CSyncOp;

// The two lines that name an operation about to execute: false for an op of a kind this
// program does not describe (the lines are then left empty). Ops of every synchronizer are
// described here.
bool describeExecutingOp(const CSyncOp* op, CString& firstLine, CString& secondLine);

class CSynchronizeProgressDialog : public CProgressDialog, public CSyncStatusListener {
 public:
  explicit CSynchronizeProgressDialog(CView* view);

  void OnOK() override;
  void OnCancel() override;
  void onFinished() override;
  void onMessage(CAppMessage* message) override;
  void onProgress(CProgress* progress) override;
  void onSyncStatus(CSyncStatus* status) override;

 private:
  CSpaceMan* spaceMan() const;
  // Subject and "cancelled" in view, also once the operation has ended.
  void showCancelled();

  bool m_executionSeen = false;
};
