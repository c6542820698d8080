// One person's use of "Kipo.exe" on the current host, driven from outside as the end-to-end tests
// drive it: start, log in through the pull-down's panel, synchronize and log out through the tray,
// quit. Every wait answers the dialogs a person meets (and records them); a dialog nobody expects
// ends the wait at once with its caption and texts instead of running into a timeout.
#pragma once

#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "platform/win32/win32.h"

namespace faults {

// A dialog the session met and what it did with it.
struct SeenDialog {
  std::string caption;
  std::string texts;  // every control's text, " | " between them
  std::string action;
};

class KipoSession {
 public:
  // `productFolder`: the installed program's folder (Windows path, ending in a backslash);
  // `drive`: the Linux folder of drive E: (its log is read there).
  KipoSession(std::u16string productFolder, std::filesystem::path drive);
  ~KipoSession();
  KipoSession(const KipoSession&) = delete;
  KipoSession& operator=(const KipoSession&) = delete;

  // Starts the program as the drive hands over to it and waits for the end of its start-up
  // (a start-up synchronization included).
  bool start();
  // Logs in to this computer through the tray's pull-down; true once the host is personalized.
  bool logIn();
  // Synchronize through the synchronize and progress dialogs, to the closing message.
  bool synchronize();
  // The synchronize dialog's listing of what a run would do once its search has ended; the
  // dialog is then cancelled. Empty with failure() set when the dialog did not get there.
  std::string plannedWork();
  // Picks Synchronize; the run's dialogs are then answered by every wait until it is over.
  bool beginSynchronize();
  // Whether the run begun is over: its closing message answered and its dialogs gone.
  bool runOver() const;
  // Waits, answering dialogs, until `goal` holds; false (failure set) when the program ended,
  // a dialog nobody expects came, or `seconds` passed.
  bool waitUntil(const std::function<bool()>& goal, double seconds, const std::string& what);
  // Answers what comes until no dialog of a run is left, for a second on end.
  bool settle();
  bool logOut();
  bool quit();

  bool running() const;
  DWORD pid() const { return pid_; }
  // Ends the program with SIGKILL and waits for its end.
  void kill();
  // Waits (answering dialogs) until the program has ended on its own.
  bool waitEnd(double seconds);

  // What the last step that failed was waiting for, with the dialogs and the log's tail.
  const std::string& failure() const { return failure_; }
  const std::vector<SeenDialog>& dialogs() const { return dialogs_; }
  std::string log() const;

 private:
  enum class Wait { Done, Ended, Timeout, Unexpected };
  // Polls until `goal` holds; answers dialogs meanwhile.
  Wait waitFor(const std::function<bool()>& goal, double seconds, const std::string& what);
  // Answers the visible dialogs; false (failure set) on one nobody expects.
  bool answerDialogs();
  bool pickTrayCommand(int command);
  void fail(const std::string& what);
  bool trayTip(const std::string& part) const;

  std::u16string productFolder_;
  std::filesystem::path drive_;
  HANDLE process_ = nullptr;
  DWORD pid_ = 0;
  std::string failure_;
  std::vector<SeenDialog> dialogs_;
  // The dialog step in progress: what an OK in the synchronize dialog means.
  bool planOnly_ = false;
  std::string plan_;
  bool planTaken_ = false;
  bool syncConfirmed_ = false;
  bool progressClosed_ = false;
  bool runMessageAnswered_ = false;
  bool upToDate_ = false;  // the last run found nothing to do
  // When each dialog was last acted on, so that a dialog slow to close is not pressed twice.
  std::map<HWND, double> actedAt_;
  // Dialogs seen without a caption or any text yet, and since when.
  std::map<HWND, double> blankSince_;
};

}  // namespace faults
