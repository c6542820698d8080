// The device usage strip: its texts from the drive, the run coordinator's status codes it follows
// (and the ones it leaves alone), and how the bar and its label are drawn.
#include "ui/device_usage_control.h"

#include <gtest/gtest.h>

#include "lang/ids.h"
#include "platform/win32/gdi.h"
#include "tests/ui/synchronize_fixture.h"

namespace {

using synctest::SyncUiTest;

class DeviceUsageTest : public SyncUiTest {
 protected:
  DeviceUsageTest() {
    writeBytes(drive / "used.bin", std::string(100 * 1024, 'u'));
    setDriveCapacity(1024 * 1024);
    kipotest::registerWindowClass(u"UsageParent");
    parent = CreateWindowExW(0, u"UsageParent", u"parent", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 600, 100, nullptr, nullptr,
                             nullptr, nullptr);
  }
  void send(LONG code, LONGLONG value = 0) {
    auto* status = new CSyncStatus(code);
    status->value = value;
    board->sendMessage(status);
  }
  HWND parent = nullptr;
};

TEST_F(DeviceUsageTest, TextsFromTheDriveAndTheStatusCodesItFollows) {
  CDeviceUsageControl strip;
  ASSERT_TRUE(strip.Create(IDD_DEVICE_USAGE, CWnd::FromHandle(parent)));
  EXPECT_TRUE(strip.isReady());
  EXPECT_EQ(utf8(strip.m_capacityText), "Capacity:\n1.00 MB");
  EXPECT_EQ(strip.meter().getCapacity(), 1024 * 1024);
  EXPECT_GE(strip.meter().getUsed(), 100 * 1024);
  EXPECT_EQ(utf8(strip.m_usedText).rfind("Used:\n", 0), 0u);

  struct Step {
    LONG code;
    LONGLONG value;
    LONGLONG selected;  // after the step
    bool searching;
  };
  const LONGLONG used = strip.meter().getUsed();
  const Step steps[] = {
      {CSyncStatus::kCalculationBegins, 0, 0, true},
      {CSyncStatus::kOpQueued, 4096, 4096, true},
      {CSyncStatus::kOpQueued, -8192, -8192, true},
      {7, 500, 500, true},
      // Planned and device bytes of one record carry no total: the bar keeps its value.
      {CSyncStatus::kPlannedBytesSet, 99999, 500, true},
      {CSyncStatus::kDeviceBytesSet, 99999, 500, true},
      {CSyncStatus::kCalculationEnded, 0, 500, false},
      {CSyncStatus::kCalculationBegins, 0, 0, true},
  };
  for (const Step& step : steps) {
    SCOPED_TRACE(step.code);
    send(step.code, step.value);
    EXPECT_EQ(strip.meter().getSelected(), step.selected);
    EXPECT_EQ(strip.m_animation.IsPlaying() != FALSE, step.searching);
    EXPECT_EQ(strip.meter().getUsed(), used);
  }
  send(8, 300 * 1024);
  EXPECT_EQ(strip.meter().getUsed(), 300 * 1024);
  EXPECT_EQ(utf8(strip.m_usedText), "Used:\n300 KB");

  // Gone from the switchboard with its window: nothing reaches it any more.
  strip.DestroyWindow();
  EXPECT_FALSE(strip.isReady());
  send(CSyncStatus::kOpQueued, 1);
  EXPECT_EQ(strip.meter().getSelected(), 0);
}

// The label of the selected bytes: blue inside or beside the bar, red when the drive would
// overflow, green " freed" with the positive size for space given back; with a capacity of 0 the
// bar stays empty and white.
TEST_F(DeviceUsageTest, TheBarAndItsLabel) {
  CDeviceUsageControl strip;
  ASSERT_TRUE(strip.Create(IDD_DEVICE_USAGE, CWnd::FromHandle(parent)));
  strip.ShowWindow(SW_SHOW);
  CDeviceMeter& meter = strip.meter();
  struct Case {
    const char* name;
    LONGLONG capacity;
    LONGLONG used;
    LONGLONG selected;
    const char* label;  // null: none drawn
    COLORREF colour;
  };
  const Case cases[] = {
      {"adds", 1024 * 1024, 100 * 1024, 300 * 1024, "300 KB selected", RGB(0, 0, 200)},
      {"overflows", 1024 * 1024, 900 * 1024, 300 * 1024, "300 KB selected", RGB(255, 0, 0)},
      {"frees", 1024 * 1024, 500 * 1024, -200 * 1024, "200 KB freed", RGB(44, 174, 0)},
      {"nothing selected", 1024 * 1024, 500 * 1024, 0, nullptr, 0},
      {"no capacity", 0, 500 * 1024, 0, nullptr, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    meter.setCapacity(c.capacity);
    meter.setUsed(c.used);
    meter.setSelected(c.selected);
    EXPECT_EQ(meter.isOverCapacity(), c.used + c.selected > c.capacity);
    platform::gdi::clearDrawRecord();
    meter.RedrawWindow(nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
    std::vector<platform::gdi::DrawCall> rectangles;
    std::vector<platform::gdi::DrawCall> texts;
    for (const auto& call : platform::gdi::drawRecord()) {
      if (call.window != meter.m_hWnd) continue;
      if (call.call == "Rectangle") rectangles.push_back(call);
      if (call.call == "DrawTextW") texts.push_back(call);
    }
    ASSERT_GE(rectangles.size(), 1u);
    CRect client;
    meter.GetClientRect(&client);
    EXPECT_EQ(rectangles[0].rect.right, client.right);  // the white ground
    // Without a capacity nothing but the ground is drawn.
    EXPECT_EQ(rectangles.size() == 1, c.capacity == 0);
    if (!c.label) {
      EXPECT_TRUE(texts.empty());
      continue;
    }
    ASSERT_EQ(texts.size(), 1u);
    EXPECT_EQ(platform::text::toUtf8(texts[0].text), c.label);
    EXPECT_EQ(texts[0].color, c.colour);
    EXPECT_GE(texts[0].rect.left, client.left);
    EXPECT_LE(texts[0].rect.right, client.right);
  }
}

}  // namespace
