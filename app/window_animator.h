// CWindowAnimator: moves and resizes another window from one rectangle to another over a fixed
// time, driven by a 33 ms timer on a hidden window of its own ("QX Animator"). Positions come
// from the performance counter, so the animation lasts its duration whatever the tick rate; its
// end is announced through the switchboard with a CAnimationStatus for the moved window.
#pragma once

#include "platform/afx/afxwin.h"

class CSwitchboard;

class CWindowAnimator : public CWnd {
 public:
  static constexpr UINT kTimerId = 1;
  static constexpr UINT kTickMs = 33;
  static constexpr int kEaseOut = 2;

  // Reads the counter frequency (message 732 when it cannot) and creates the hidden window.
  CWindowAnimator();
  // Stops the timer and destroys the window.
  ~CWindowAnimator() override;

  // False when the target window does not exist; true at once while already running; else
  // takes the start count (message 731 when it cannot) and starts the timer: true when it runs.
  bool start();
  void stop();
  bool isRunning() const { return timerId != 0; }

  // One step at performance count `now`: moves the target; true when the animation reached its
  // end (or the target is gone), after which the timer is stopped and the end announced.
  bool step(LONGLONG now);
  // The fraction of the way at `now`, after the snap to 1 and the easing.
  double progressAt(LONGLONG now) const;

  // Where the end of an animation is announced; the application's switchboard by default.
  static void setSwitchboard(CSwitchboard* switchboard);

  int mode = kEaseOut;
  CRect from;
  CRect to;
  CRect current;
  int durationMs = 1000;
  LONGLONG startCount = 0;
  LONGLONG frequency = 0;
  CWnd* target = nullptr;  // not owned
  UINT_PTR timerId = 0;

 protected:
  afx_msg void OnTimer(UINT_PTR id);
  DECLARE_MESSAGE_MAP()
};
