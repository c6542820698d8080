// The run coordinator: CSpaceMan queues synchronization requests, runs each one's steps in order
// on the UI thread (pre-calculate, the space table, post-calculate, pre-execute, execution,
// post-execute) and can be stopped; CSpaceRecord is one computer and one snap-in of its space
// table (bytes on the drive, bytes the run would add). Requests reach the hidden window
// "QX Spaceman" as WM_USER+80 with the CSyncSpec, which the window's owner then owns; a request
// made while a run is in progress stops that run and is queued as the pending request, posted when
// the run has ended. Status goes out as CSyncStatus messages, always sent through the switchboard.
#pragma once

#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <unordered_set>
#include <vector>

#include "platform/afx/afxwin.h"
#include "platform/afx/cstring.h"
#include "platform/base/types.h"
#include "snapins/customizer.h"
#include "snapins/sync_spec.h"

class CSpaceMan;
class CSyncStatus;

// Window message of a queued request; wParam: the CSyncSpec (owned by the receiver).
inline constexpr UINT WM_SPACEMAN_REQUEST = WM_USER + 80;

class CSpaceRecord {
 public:
  CSpaceRecord(CSpaceMan* owner, CCustomizer* customizer, CSystemProfile* profile,
               std::vector<CSynchronizer*> synchronizers);
  virtual ~CSpaceRecord() = default;
  CSpaceRecord(const CSpaceRecord&) = delete;
  CSpaceRecord& operator=(const CSpaceRecord&) = delete;

  // Queues the op on the owner's run list (a deletion at the front, anything else at the end);
  // planned bytes become the op owner's byte count; sends code 9 with the table's planned total.
  // False (nothing queued) for null.
  bool addSyncOp(std::unique_ptr<CSyncOp> op);
  // Set the field and send code 5 / 6 for the record; the result is the send's.
  bool setPlannedBytes(LONGLONG bytes);
  bool setDeviceBytes(ULONGLONG bytes);
  // The owner's cancellation check (pumps messages).
  bool isCancelled();

  // planned := 0; device bytes from the snap-in (no message); then, when the record is part of
  // the current sync request, calculateSyncOps. kSyncFailed / kSyncDone / kSyncCancelled.
  int evaluate(DWORD mode);
  void updateDeviceSpace();
  // planned := 0, then every synchronizer in registration order; cancelled returns at once, a
  // failure makes the result failed and the loop goes on. Without synchronizers: done.
  int calculateSyncOps(DWORD mode);

  ULONGLONG deviceBytes = 0;
  LONGLONG plannedBytes = 0;
  CCustomizer* customizer = nullptr;       // not owned
  CSystemProfile* profile = nullptr;       // not owned
  std::vector<CSynchronizer*> synchronizers;  // not owned (the snap-in's)
  CSpaceMan* owner = nullptr;
};

// The coordinator's hidden window: WM_USER+80 -> CSpaceMan::startCalculatorInternal.
class CSpaceManWindow : public CWnd {
 public:
  explicit CSpaceManWindow(CSpaceMan* owner) : m_spaceMan(owner) {}
  // Creates "QX Spaceman" (never shown, 10 by 10), owned by `parent` (none: null).
  BOOL create(HWND parent);

 protected:
  afx_msg LRESULT OnStartCalculator(WPARAM wParam, LPARAM lParam);
  DECLARE_MESSAGE_MAP()

 private:
  CSpaceMan* m_spaceMan;
};

class CSpaceMan {
 public:
  // A request stored while a run is in progress, posted when the run has ended. A request of the
  // coordinator itself carries its sync request (owned here until posted); a dialog's carries plain words.
  struct PendingRequest {
    // Spelled out: a nested struct's member initializers are not usable for std::optional's
    // construction inside its enclosing class (clang refuses emplace()).
    PendingRequest() noexcept {}
    HWND window = nullptr;
    UINT message = 0;
    WPARAM firstWord = 0;
    LPARAM secondWord = 0;
    std::unique_ptr<CSyncSpec> spec;  // when set, posted as the first word
  };
  using RunList = std::deque<std::unique_ptr<CSyncOp>>;
  using SpaceRow = std::vector<std::unique_ptr<CSpaceRecord>>;

  // `customizers` is the document's snap-in list: the default set of a request and the columns of
  // the space table. Creates the hidden window, owned by the main window when there is one.
  explicit CSpaceMan(const CCustomizerList& customizers);
  virtual ~CSpaceMan();
  CSpaceMan(const CSpaceMan&) = delete;
  CSpaceMan& operator=(const CSpaceMan&) = delete;

  // Registers a snap-in's synchronizer (appended to that snap-in's list).
  void addSynchronizer(CCustomizer* customizer, CSynchronizer* synchronizer);
  // Forgets every registration and the space table, and drops the requests that name the
  // snap-ins (they are going away). Not while a run is in progress (stopRun first).
  void freeSynchronizers();

  // Queues a run (profile null: this computer's; customizers null: all of the document's). While
  // a run is in progress the request becomes the pending one (stopping that run) unless one is
  // pending already; idle, it is posted to the window unless a request is already waiting there.
  // A dropped synchronization request still makes the request it was dropped for execute.
  // Always true.
  bool requestCalculation(DWORD mode, CSystemProfile* profile, const std::vector<CCustomizer*>* customizers);
  // The same with execution.
  virtual bool requestSynchronization(DWORD mode, CSystemProfile* profile,
                                      const std::vector<CCustomizer*>* customizers);

  // While a run is in progress and nothing is pending: stores the request and raises stop (true).
  // Otherwise stores nothing (false); a sync request given is then deleted.
  bool setPendingRequest(HWND window, UINT message, WPARAM firstWord, LPARAM secondWord);
  bool setPendingRequest(HWND window, UINT message, std::unique_ptr<CSyncSpec> spec, LPARAM secondWord);
  // Pumps the application's messages, then answers stop.
  bool isCancelled();
  // Stops the running run at its next check without queueing anything (its snap-ins are going
  // away); `ended` is called once when the run has ended, before anything pending is posted.
  void stopRun(std::function<void()> ended);

  // The window's handler: runs the sync request unless a run is in progress (refused, false); a null sync request
  // is logged. Afterwards posts the pending request when its window still exists.
  bool startCalculatorInternal(std::unique_ptr<CSyncSpec> spec);
  virtual bool filterSyncOps();

  void buildSpaceRecords();
  CSpaceRecord* findSpaceRecord(const CSystemProfile* profile, const CString& customizerName);
  int countSyncOps(DWORD kind) const;
  ULONGLONG totalDeviceBytes() const;
  LONGLONG totalPlannedBytes() const;
  bool isInCurrentSpec(const CSpaceRecord* record) const;
  // Deletes every op, empties the run list and sets every record's planned bytes to 0 (silently).
  void freeSyncOps();
  // Deletes the ops owned by the snap-in's synchronizers.
  void freeCustomizerSyncOps(CCustomizer* customizer);

  bool isRunning() const { return m_running; }
  bool isExecuting() const { return m_executing; }
  bool isExecuteRequested() const { return m_executeRequested; }
  bool isStopRequested() const { return m_stop; }
  bool isTableValid() const { return m_tableValid; }
  bool hasPendingRequest() const { return m_pending.has_value(); }
  const CSyncSpec* getCurrentSpec() const { return m_currentSpec.get(); }
  const RunList& getRunList() const { return m_runList; }
  const std::vector<SpaceRow>& getSpaceTable() const { return m_spaceTable; }
  const std::vector<CString>& getProfileKeys() const { return m_profileKeys; }
  const std::vector<CSynchronizer*>* getSynchronizers(CCustomizer* customizer) const;
  HWND windowHandle() const { return m_window.GetSafeHwnd(); }

 protected:
  void runCalculation();
  int calculateSpaceTable();
  int executeSyncOps(DWORD mode);

 private:
  friend class CSpaceRecord;
  friend class CSpaceManWindow;
  void queueOp(std::unique_ptr<CSyncOp> op);
  bool queueRequest(std::unique_ptr<CSyncSpec> spec);
  // After an exception ended a run's phases.
  void afterException();
  std::unique_ptr<CSyncSpec> makeSpec(DWORD mode, CSystemProfile* profile,
                                      const std::vector<CCustomizer*>* customizers, bool execute) const;
  // A request of ours waits in the window's queue; its sync request, or null.
  CSyncSpec* queuedRequest() const;
  void postPendingRequest();
  // A close the message pump held back while the run held the snap-ins goes through now.
  void passHeldBackClose();
  void sendStatus(CSyncStatus* status);
  CCustomizer* customizerOf(const CSynchronizer* synchronizer) const;

  const CCustomizerList& m_customizers;
  std::vector<SpaceRow> m_spaceTable;
  std::vector<CString> m_profileKeys;
  RunList m_runList;
  bool m_tableValid = false;
  std::unique_ptr<CSyncSpec> m_currentSpec;
  CSpaceManWindow m_window;
  bool m_stop = false;
  std::optional<PendingRequest> m_pending;
  bool m_running = false;
  bool m_executing = false;
  bool m_executeRequested = false;
  // The run list holds the complete plan of the current sync request's last calculation, not yet executed:
  // only then may a synchronization of that sync request skip calculating.
  bool m_planReady = false;
  std::map<CCustomizer*, std::vector<CSynchronizer*>> m_synchronizers;
  std::function<void()> m_runEnded;
  // Specs posted to the window and not yet received: owned (freed with the window when they never
  // arrive). Only these are taken from WM_USER+80, which any process can post.
  std::unordered_set<CSyncSpec*> m_posted;
};
