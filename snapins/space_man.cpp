// The run coordinator and its space table (space_man.h).
#include "snapins/space_man.h"

#include <algorithm>
#include <utility>

#include "app/app_messages.h"
#include "app/customizer_exception.h"
#include "app/document_host_services.h"
#include "app/log.h"
#include "app/profile_database.h"
#include "app/system_profile.h"
#include "platform/afx/exception.h"

namespace {

constexpr const char16_t* kWindowName = u"QX Spaceman";

constexpr const char16_t* kLogNullSpec = u"{CSpaceMan::startCalculatorInternal} error: syncSpecPtr is NULL";
constexpr const char16_t* kLogRefusedWhileRunning =
    u"{CSpaceMan::startCalculatorInternal}: A run is in progress; request dropped.";
constexpr const char16_t* kLogFailedSpaceTable = u"{SPACEMAN}: Failed to calculate space table.";
constexpr const char16_t* kLogFailedPreCalculate = u"{SPACEMAN}: Failed preCalculate.";
constexpr const char16_t* kLogFailedPostCalculate = u"{SPACEMAN}: Failed postCalculate.";
constexpr const char16_t* kLogFailedFilter = u"{SpaceMan}: Failed to filter sync ops.";
constexpr const char16_t* kLogFailedPreExecute = u"{SPACEMAN}: Failed preExecute.";
constexpr const char16_t* kLogFailedPostExecute = u"{SPACEMAN}: Failed postExecute %s.";
constexpr const char16_t* kLogUserStopped =
    u"{SPACEMAN}: User decided not to continue after failed operation - customizer %s failed";
constexpr const char16_t* kLogExceptionText = u"{SpaceMan}: %s";
// The component structured exceptions and unknown ones are logged under.
constexpr const char16_t* kComponent = u"SpaceMan";
constexpr const char16_t* kLogExceptionSynchronizing = u"An exception occurred during synchronization.";
constexpr const char16_t* kLogExceptionCalculating = u"An exception occurred during calculation.";
constexpr const char16_t* kLogTableBusy = u"{SpaceMan}: The space table cannot be rebuilt while a run is in progress.";

CString errorTextOf(CException* exception) {
  WCHAR text[1024] = {};
  exception->GetErrorMessage(text, 1024);
  return CString(text);
}

void postPercent(int percent) { documentHostServices().postAppMessage(new CProgress(percent)); }

}  // namespace

// ---- CSpaceRecord -------------------------------------------------------------------------------

CSpaceRecord::CSpaceRecord(CSpaceMan* spaceMan, CCustomizer* snapin, CSystemProfile* computer,
                           std::vector<CSynchronizer*> registered)
    : customizer(snapin), profile(computer), synchronizers(std::move(registered)), owner(spaceMan) {}

bool CSpaceRecord::addSyncOp(std::unique_ptr<CSyncOp> op) {
  if (!op || !owner) return false;
  CSyncOp* queued = op.get();
  owner->queueOp(std::move(op));
  if (queued->owner) plannedBytes = queued->owner->getByteCount();
  owner->sendStatus(new CSyncStatus(this, queued, owner->totalPlannedBytes()));
  return true;
}

bool CSpaceRecord::setPlannedBytes(LONGLONG bytes) {
  plannedBytes = bytes;
  return documentHostServices().sendAppMessage(new CSyncStatus(CSyncStatus::kPlannedBytesSet, this));
}

bool CSpaceRecord::setDeviceBytes(ULONGLONG bytes) {
  deviceBytes = bytes;
  return documentHostServices().sendAppMessage(new CSyncStatus(CSyncStatus::kDeviceBytesSet, this));
}

bool CSpaceRecord::isCancelled() { return owner ? owner->isCancelled() : false; }

int CSpaceRecord::evaluate(DWORD mode) {
  plannedBytes = 0;
  updateDeviceSpace();
  if (!owner || !owner->isInCurrentSpec(this)) return kSyncDone;
  return calculateSyncOps(mode);
}

void CSpaceRecord::updateDeviceSpace() { deviceBytes = customizer ? customizer->getDeviceSpace(this) : 0; }

int CSpaceRecord::calculateSyncOps(DWORD mode) {
  plannedBytes = 0;
  int result = kSyncDone;
  for (CSynchronizer* synchronizer : synchronizers) {
    const int step = synchronizer->calculateSyncOps(this, mode);
    if (step == kSyncCancelled) return kSyncCancelled;
    if (step == kSyncFailed) result = kSyncFailed;
  }
  return result;
}

// ---- the hidden window --------------------------------------------------------------------------

BEGIN_MESSAGE_MAP(CSpaceManWindow, CWnd)
  ON_MESSAGE(WM_SPACEMAN_REQUEST, OnStartCalculator)
END_MESSAGE_MAP()

BOOL CSpaceManWindow::create(HWND parent) {
  LPCWSTR windowClass = AfxRegisterWndClass(0);
  return CreateEx(0, windowClass, kWindowName, 0, 0, 0, 10, 10, parent, nullptr);
}

LRESULT CSpaceManWindow::OnStartCalculator(WPARAM wParam, LPARAM) {
  auto* spec = reinterpret_cast<CSyncSpec*>(wParam);
  if (!spec) {
    m_spaceMan->startCalculatorInternal(nullptr);
  } else if (m_spaceMan->m_posted.erase(spec) != 0) {
    m_spaceMan->startCalculatorInternal(std::unique_ptr<CSyncSpec>(spec));
  }
  // Anything else is not a request of ours (any process can post this message).
  return 0;
}

// ---- CSpaceMan ----------------------------------------------------------------------------------

CSpaceMan::CSpaceMan(const CCustomizerList& customizers) : m_customizers(customizers), m_window(this) {
  m_window.create(platform::afx::hwndOf(AfxGetMainWnd()));
}

CSpaceMan::~CSpaceMan() {
  m_spaceTable.clear();
  m_currentSpec.reset();
  if (m_window.GetSafeHwnd()) m_window.DestroyWindow();
  // Requests still queued went with the window.
  for (CSyncSpec* spec : m_posted) delete spec;
  m_posted.clear();
  m_runList.clear();
  m_synchronizers.clear();
}

void CSpaceMan::addSynchronizer(CCustomizer* customizer, CSynchronizer* synchronizer) {
  if (!customizer || !synchronizer) return;
  m_synchronizers[customizer].push_back(synchronizer);
}

void CSpaceMan::freeSynchronizers() {
  // A request of ours names the snap-ins that are going away.
  if (m_pending && m_pending->spec) m_pending.reset();
  // Requests still waiting in the window's queue too: their messages are then ignored.
  for (CSyncSpec* spec : m_posted) delete spec;
  m_posted.clear();
  if (!m_running) {
    m_currentSpec.reset();
    m_tableValid = false;
  }
  m_spaceTable.clear();
  m_profileKeys.clear();
  m_synchronizers.clear();
}

const std::vector<CSynchronizer*>* CSpaceMan::getSynchronizers(CCustomizer* customizer) const {
  auto it = m_synchronizers.find(customizer);
  return it == m_synchronizers.end() ? nullptr : &it->second;
}

CCustomizer* CSpaceMan::customizerOf(const CSynchronizer* synchronizer) const {
  for (const auto& [customizer, list] : m_synchronizers) {
    if (std::find(list.begin(), list.end(), synchronizer) != list.end()) return customizer;
  }
  return nullptr;
}

std::unique_ptr<CSyncSpec> CSpaceMan::makeSpec(DWORD mode, CSystemProfile* profile,
                                               const std::vector<CCustomizer*>* customizers,
                                               bool execute) const {
  std::vector<CCustomizer*> taking;
  if (customizers) {
    taking = *customizers;
  } else {
    for (const auto& customizer : m_customizers) taking.push_back(customizer.get());
  }
  if (!profile) profile = getProfileDatabase().getThisComputerProfile();
  return std::make_unique<CSyncSpec>(mode, profile, std::move(taking), execute);
}

CSyncSpec* CSpaceMan::queuedRequest() const {
  HWND window = m_window.GetSafeHwnd();
  if (!window) return nullptr;
  MSG msg;
  if (!PeekMessageW(&msg, window, WM_SPACEMAN_REQUEST, WM_SPACEMAN_REQUEST, PM_NOREMOVE)) return nullptr;
  auto* spec = reinterpret_cast<CSyncSpec*>(msg.wParam);
  // A message somebody else posted still counts as waiting: the request coalesces with it.
  return m_posted.count(spec) ? spec : nullptr;
}

bool CSpaceMan::requestCalculation(DWORD mode, CSystemProfile* profile, const std::vector<CCustomizer*>* customizers) {
  return queueRequest(makeSpec(mode, profile, customizers, false));
}

bool CSpaceMan::requestSynchronization(DWORD mode, CSystemProfile* profile,
                                       const std::vector<CCustomizer*>* customizers) {
  return queueRequest(makeSpec(mode, profile, customizers, true));
}

bool CSpaceMan::queueRequest(std::unique_ptr<CSyncSpec> spec) {
  if (m_pending) {
    // Dropped for the request already waiting; an execution asked for stays asked for.
    if (spec->execute && m_pending->spec) m_pending->spec->execute = true;
    return true;
  }
  if (m_running) {
    setPendingRequest(m_window.GetSafeHwnd(), WM_SPACEMAN_REQUEST, std::move(spec), 0);
    return true;
  }
  HWND window = m_window.GetSafeHwnd();
  if (!window || !IsWindow(window)) return true;
  MSG waiting;
  if (PeekMessageW(&waiting, window, WM_SPACEMAN_REQUEST, WM_SPACEMAN_REQUEST, PM_NOREMOVE)) {
    if (CSyncSpec* queued = queuedRequest(); queued && spec->execute) queued->execute = true;
    return true;
  }
  CSyncSpec* raw = spec.release();
  m_posted.insert(raw);
  if (!PostMessageW(window, WM_SPACEMAN_REQUEST, reinterpret_cast<WPARAM>(raw), 0)) {
    m_posted.erase(raw);
    delete raw;
  }
  return true;
}

bool CSpaceMan::setPendingRequest(HWND window, UINT message, WPARAM firstWord, LPARAM secondWord) {
  if (!m_running || m_pending) return false;
  m_pending.emplace(PendingRequest{});  // (clang 14 cannot default-construct it in place)
  m_pending->window = window;
  m_pending->message = message;
  m_pending->firstWord = firstWord;
  m_pending->secondWord = secondWord;
  m_stop = true;
  return true;
}

bool CSpaceMan::setPendingRequest(HWND window, UINT message, std::unique_ptr<CSyncSpec> spec, LPARAM secondWord) {
  if (!m_running || m_pending) return false;  // the sync request is freed here
  m_pending.emplace(PendingRequest{});  // (clang 14 cannot default-construct it in place)
  m_pending->window = window;
  m_pending->message = message;
  m_pending->spec = std::move(spec);
  m_pending->secondWord = secondWord;
  m_stop = true;
  return true;
}

bool CSpaceMan::isCancelled() {
  documentHostServices().processMessages();
  return m_stop;
}

void CSpaceMan::postPendingRequest() {
  if (!m_pending) return;
  PendingRequest request = std::move(*m_pending);
  m_pending.reset();
  if (!request.window || !IsWindow(request.window)) return;
  if (!request.spec) {
    PostMessageW(request.window, request.message, request.firstWord, request.secondWord);
    return;
  }
  CSyncSpec* raw = request.spec.release();
  const bool ours = request.window == m_window.GetSafeHwnd() && request.message == WM_SPACEMAN_REQUEST;
  if (ours) m_posted.insert(raw);
  if (!PostMessageW(request.window, request.message, reinterpret_cast<WPARAM>(raw), request.secondWord)) {
    if (ours) m_posted.erase(raw);
    delete raw;
  }
}

bool CSpaceMan::startCalculatorInternal(std::unique_ptr<CSyncSpec> spec) {
  if (m_running) {
    writeLog(kLogRefusedWhileRunning);
    return false;
  }
  if (!spec) {
    writeLog(kLogNullSpec);
    return false;
  }
  if (!m_currentSpec || !(*spec == *m_currentSpec)) m_tableValid = false;
  m_executeRequested = spec->execute;
  m_currentSpec = std::move(spec);
  runCalculation();
  if (m_runEnded) {
    auto ended = std::move(m_runEnded);
    m_runEnded = nullptr;
    ended();
  }
  postPendingRequest();
  passHeldBackClose();
  return true;
}

void CSpaceMan::passHeldBackClose() {
  CDocumentHostServices& services = documentHostServices();
  if (!services.isClosePending()) return;
  services.clearClosePending();
  if (HWND main = services.getMainWindow()) PostMessageW(main, WM_CLOSE, 0, 0);
}

void CSpaceMan::stopRun(std::function<void()> ended) {
  if (!m_running) return;
  m_stop = true;
  m_runEnded = std::move(ended);
}

bool CSpaceMan::filterSyncOps() { return true; }

void CSpaceMan::sendStatus(CSyncStatus* status) { documentHostServices().sendAppMessage(status); }

void CSpaceMan::runCalculation() {
  m_running = true;
  m_stop = false;
  const CSyncSpec spec = *m_currentSpec;
  try {
    // The dialog calculated this very sync request a moment ago: go straight to execution. A plan that
    // was executed, stopped, failed or freed since is calculated again; executing it as it stands
    // would move nothing, or only part of what the user saw.
    const bool skipCalculation = m_tableValid && m_executeRequested && m_planReady;
    m_planReady = false;
    if (!skipCalculation && !m_stop) {
      bool preOk = true;
      for (CCustomizer* customizer : spec.customizers) {
        if (isCancelled()) break;
        if (!customizer->preCalculateSyncOps(spec.profile)) preOk = false;
      }
      int calculation = kSyncFailed;
      if (!m_stop && preOk) {
        calculation = calculateSpaceTable();
        if (calculation == kSyncFailed) writeLog(kLogFailedSpaceTable);
      } else {
        writeLog(kLogFailedPreCalculate);
      }
      bool postOk = true;
      for (CCustomizer* customizer : spec.customizers) {
        if (isCancelled()) break;
        if (!customizer->postCalculateSyncOps(calculation)) postOk = false;
      }
      if (!postOk) writeLog(kLogFailedPostCalculate);
      m_planReady = calculation == kSyncDone && !m_stop;
    }
    if (!m_stop && m_executeRequested) {
      m_executing = true;
      sendStatus(new CSyncStatus(CSyncStatus::kExecutionBegins));
      if (!filterSyncOps()) writeLog(kLogFailedFilter);
      bool preOk = true;
      for (CCustomizer* customizer : spec.customizers) {
        if (isCancelled()) break;
        if (!customizer->preExecuteSyncOps()) {
          writeLog(kLogFailedPreExecute);
          preOk = false;
        }
      }
      // The snap-ins are told what happened to their ops: nothing ran when the run was stopped
      // or a snap-in failed to prepare, and a snapshot saved as if it had would lose files.
      int execution = kSyncCancelled;
      if (!preOk) {
        execution = kSyncFailed;
      } else if (!m_stop) {
        execution = executeSyncOps(spec.mode);
      }
      for (CCustomizer* customizer : spec.customizers) {
        if (!customizer->postExecuteSyncOps(spec.profile, execution)) {
          writeLog(kLogFailedPostExecute, customizer->getName());
        }
        isCancelled();
      }
      m_executing = false;
      freeSyncOps();
      sendStatus(new CSyncStatus(CSyncStatus::kExecutionEnded));
    }
  } catch (CCustomizerException* e) {
    writeLog(kLogExceptionText, e->getMessage());
    e->Delete();
    afterException();
  } catch (CException* e) {
    writeLog(kLogExceptionText, errorTextOf(e));
    e->Delete();
    afterException();
  } catch (...) {
    documentHostServices().reportUnknownException(CString(kComponent));
    afterException();
  }
  m_stop = false;
  m_running = false;
  m_executing = false;
  m_executeRequested = false;
  m_tableValid = true;
  sendStatus(new CSyncStatus(CSyncStatus::kCalculationEnded));
}

void CSpaceMan::afterException() {
  m_executing = false;
  m_planReady = false;
  if (m_executeRequested) {
    writeLog(kLogExceptionSynchronizing);
    freeSyncOps();
    sendStatus(new CSyncStatus(CSyncStatus::kExecutionEnded));
  } else {
    writeLog(kLogExceptionCalculating);
  }
}

int CSpaceMan::calculateSpaceTable() {
  freeSyncOps();
  sendStatus(new CSyncStatus(CSyncStatus::kCalculationBegins));
  int result = kSyncDone;
  for (auto& row : m_spaceTable) {
    for (auto& record : row) {
      const int step = record->evaluate(m_currentSpec ? m_currentSpec->mode : kSyncBothWays);
      if (step == kSyncCancelled) return kSyncCancelled;
      if (step == kSyncFailed) result = kSyncFailed;
    }
  }
  sendStatus(new CSyncStatus(CSyncStatus::kCalculationEnded));
  return result;
}

int CSpaceMan::executeSyncOps(DWORD mode) {
  const size_t count = m_runList.size();
  for (size_t i = 0; i < m_runList.size(); ++i) {
    CSyncOp* op = m_runList[i].get();
    postPercent(static_cast<int>(static_cast<double>(i + 1) / static_cast<double>(count) * 100.0));
    const int result = op->execute(mode);
    if (result == kSyncCancelled) return kSyncCancelled;
    if (result == kSyncDone) continue;
    // Failed, or an op its owner does not know: it did not run.
    if (!op->askToContinue()) {
      CCustomizer* customizer = customizerOf(op->owner);
      writeLog(kLogUserStopped, customizer ? customizer->getName() : CString());
      postPercent(100);
      return kSyncFailed;
    }
  }
  postPercent(100);
  return kSyncDone;
}

void CSpaceMan::queueOp(std::unique_ptr<CSyncOp> op) {
  if (op->kind == kSyncOpDelete) {
    m_runList.push_front(std::move(op));
  } else {
    m_runList.push_back(std::move(op));
  }
}

void CSpaceMan::buildSpaceRecords() {
  if (m_running) {
    // The running calculation walks the table.
    writeLog(kLogTableBusy);
    return;
  }
  m_spaceTable.clear();
  m_profileKeys.clear();
  for (auto& profile : getProfileDatabase().profiles()) {
    SpaceRow row;
    for (const auto& customizer : m_customizers) {
      const auto* registered = getSynchronizers(customizer.get());
      row.push_back(std::make_unique<CSpaceRecord>(this, customizer.get(), profile.get(),
                                                   registered ? *registered : std::vector<CSynchronizer*>()));
    }
    m_spaceTable.push_back(std::move(row));
    m_profileKeys.push_back(profile->getKey());
  }
}

CSpaceRecord* CSpaceMan::findSpaceRecord(const CSystemProfile* profile, const CString& customizerName) {
  if (!profile) return nullptr;
  const CString key = profile->getKey();
  for (size_t row = 0; row < m_spaceTable.size() && row < m_profileKeys.size(); ++row) {
    if (m_profileKeys[row] != key) continue;
    for (auto& record : m_spaceTable[row]) {
      if (record->customizer && record->customizer->getName() == customizerName) return record.get();
    }
    return nullptr;
  }
  return nullptr;
}

int CSpaceMan::countSyncOps(DWORD kind) const {
  return static_cast<int>(std::count_if(m_runList.begin(), m_runList.end(),
                                        [kind](const std::unique_ptr<CSyncOp>& op) { return op->kind == kind; }));
}

ULONGLONG CSpaceMan::totalDeviceBytes() const {
  ULONGLONG total = 0;
  for (const auto& row : m_spaceTable) {
    for (const auto& record : row) total += record->deviceBytes;
  }
  return total;
}

LONGLONG CSpaceMan::totalPlannedBytes() const {
  LONGLONG total = 0;
  for (const auto& row : m_spaceTable) {
    for (const auto& record : row) total += record->plannedBytes;
  }
  return total;
}

bool CSpaceMan::isInCurrentSpec(const CSpaceRecord* record) const {
  if (!m_currentSpec || !record) return false;
  if (m_currentSpec->profile != record->profile) return false;
  const auto& taking = m_currentSpec->customizers;
  return std::find(taking.begin(), taking.end(), record->customizer) != taking.end();
}

void CSpaceMan::freeSyncOps() {
  // The executing run holds its ops; it frees them itself when it ends.
  if (m_executing) return;
  m_planReady = false;
  m_runList.clear();
  for (auto& row : m_spaceTable) {
    for (auto& record : row) record->plannedBytes = 0;
  }
}

void CSpaceMan::freeCustomizerSyncOps(CCustomizer* customizer) {
  if (m_executing) return;
  const auto* registered = getSynchronizers(customizer);
  if (!registered) return;
  std::erase_if(m_runList, [registered](const std::unique_ptr<CSyncOp>& op) {
    return std::find(registered->begin(), registered->end(), op->owner) != registered->end();
  });
}
