// The messages the switchboard carries, and the listener interfaces that receive them.
//
// A sender creates a message on the heap and hands it to the switchboard (post or send); from
// then on the switchboard owns it and deletes it after its last listener. A listener never keeps
// the pointer beyond its handler.
//
// The typed listeners derive virtually from CSwitchboardListener and each forwards only the
// messages of its own class (or a class derived from it) to its handler. A window that implements
// several shares one CSwitchboardListener, registers it once, and overrides onMessage to offer
// the message to each interface in turn:
//   void onMessage(CAppMessage* m) override {
//     CProgressListener::onMessage(m);
//     CSyncStatusListener::onMessage(m);
//   }
// so a message reaches it once, through the interface of its class.
#pragma once

#include "platform/afx/cstring.h"
#include "platform/afx/object.h"
#include "platform/base/types.h"

class CSystemProfile;
class CSpaceRecord;
class CSyncOp;
class CWnd;

// Base of every switchboard message. `value` is set to 2 by every constructor and is not read by
// the switchboard (the login window takes 0 as "the list of computers changed").
class CAppMessage : public CObject {
  DECLARE_DYNCREATE(CAppMessage)
 public:
  CAppMessage() = default;
  ~CAppMessage() override = default;

  LONG value = 2;
};

// The login state. Types: 0 a computer was chosen on the login panel (with its profile), 1 a
// login pass ended, 2 start a logout (flag: the caller's choice), 3 a logout pass ended, 4 the
// login panel's synchronize link was used.
class CLoginMessage : public CAppMessage {
  DECLARE_DYNCREATE(CLoginMessage)
 public:
  enum : LONG { kComputerChosen = 0, kLoginEnded = 1, kStartLogout = 2, kLogoutEnded = 3, kSynchronizeLink = 4 };

  CLoginMessage() = default;
  explicit CLoginMessage(LONG messageType) : type(messageType) {}
  explicit CLoginMessage(CSystemProfile* computer) : type(kComputerChosen), profile(computer) {}

  LONG type = kStartLogout;
  BYTE flag = 0;
  CSystemProfile* profile = nullptr;  // not owned
};

// A window animation's state; status 0: the animation of `window` has ended.
class CAnimationStatus : public CAppMessage {
  DECLARE_DYNCREATE(CAnimationStatus)
 public:
  CAnimationStatus() = default;
  explicit CAnimationStatus(CWnd* animated) : window(animated) {}

  LONG status = 0;
  CWnd* window = nullptr;  // not owned
};

// Progress of a long pass: two texts (mode 0) or a percentage (mode 1).
class CProgress : public CAppMessage {
  DECLARE_DYNCREATE(CProgress)
 public:
  enum : LONG { kTexts = 0, kPercent = 1 };

  CProgress() = default;
  explicit CProgress(int percentDone) : percent(percentDone) {}
  CProgress(const CString& text1, const CString& text2) : mode(kTexts), firstText(text1), secondText(text2) {}

  LONG mode = kPercent;
  CString firstText;
  CString secondText;
  int percent = 0;
};

// Status of a synchronization run. Codes: 0 space calculation begins, 1 it ended (and at the end
// of every run), 2 execution begins, 3 execution ended, 5 a record's planned bytes were set, 6 a
// record's device bytes were set, 9 an op was queued (value: the new planned total), 10 an op is
// about to execute. Always sent, never posted.
class CSyncStatus : public CAppMessage {
  DECLARE_DYNCREATE(CSyncStatus)
 public:
  enum : LONG {
    kCalculationBegins = 0,
    kCalculationEnded = 1,
    kExecutionBegins = 2,
    kExecutionEnded = 3,
    kPlannedBytesSet = 5,
    kDeviceBytesSet = 6,
    kOpQueued = 9,
    kOpExecuting = 10,
  };

  CSyncStatus() = default;
  explicit CSyncStatus(LONG statusCode) : code(statusCode) {}
  CSyncStatus(LONG statusCode, CSpaceRecord* spaceRecord) : code(statusCode), record(spaceRecord) {}
  CSyncStatus(LONG statusCode, CSyncOp* syncOp) : code(statusCode), op(syncOp) {}
  CSyncStatus(CSpaceRecord* spaceRecord, CSyncOp* syncOp, LONGLONG total)
      : code(kOpQueued), record(spaceRecord), value(total), op(syncOp) {}

  LONG code = kCalculationEnded;
  CSpaceRecord* record = nullptr;  // not owned
  LONGLONG value = 0;
  CSyncOp* op = nullptr;  // not owned
};

// ---- Listeners ------------------------------------------------------------------------------

// The receiver of switchboard messages.
class CSwitchboardListener {
 public:
  virtual ~CSwitchboardListener() = default;
  virtual void onMessage(CAppMessage* message) = 0;
};

class CSyncStatusListener : public virtual CSwitchboardListener {
 public:
  void onMessage(CAppMessage* message) override;
  virtual void onSyncStatus(CSyncStatus* status) = 0;
};

class CProgressListener : public virtual CSwitchboardListener {
 public:
  void onMessage(CAppMessage* message) override;
  virtual void onProgress(CProgress* progress) = 0;
};

class CLoginMessageListener : public virtual CSwitchboardListener {
 public:
  void onMessage(CAppMessage* message) override;
  virtual void onLoginMessage(CLoginMessage* message) = 0;
};

class CAnimationStatusListener : public virtual CSwitchboardListener {
 public:
  void onMessage(CAppMessage* message) override;
  virtual void onAnimationStatus(CAnimationStatus* status) = 0;
};
