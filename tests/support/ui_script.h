// The UI driver's script for GoogleTest: the same chained steps as platform::ui::Script, and a
// failed test when it goes out of scope with an unanswered window, a refused action or steps that
// never ran (verify() checks the same earlier, at a point of the test's choosing).
//
//   kipotest::UiScript ui;
//   ui.dialog(IDD_SETTINGS).type(IDC_NAME, u"abc").click(IDOK);
//   EXPECT_EQ(dlg.DoModal(), IDOK);
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/ui/driver.h"

namespace kipotest {

class UiScript : public platform::ui::Script {
 public:
  UiScript() = default;
  ~UiScript() { report(); }

  // Fails the test for what went wrong so far (each failure reported once).
  void verify() { report(); }
  // For a test that provokes failures on purpose and checks failures() itself: what went wrong
  // so far, and steps left unused, no longer fail the test.
  void acceptFailures() {
    reported_ = failures().size();
    ignoreRemaining_ = true;
  }

 private:
  void report() {
    const std::vector<std::string> all = failures();
    for (std::size_t i = reported_; i < all.size(); ++i) ADD_FAILURE() << "UI driver: " << all[i];
    reported_ = all.size();
    if (ignoreRemaining_) return;
    for (const std::string& step : remaining()) ADD_FAILURE() << "UI driver: step never ran: " << step;
    ignoreRemaining_ = true;
  }

  std::size_t reported_ = 0;
  bool ignoreRemaining_ = false;
};

}  // namespace kipotest
