// The options dialog's device usage meter over CDeviceUsageControl.
#include "ui/options_meter.h"

#include "lang/ids.h"
#include "ui/device_usage_control.h"

namespace {

class CDeviceUsageMeter : public COptionsMeter {
 public:
  bool create(CWnd* parent, const RECT& place) override {
    m_control = std::make_unique<CDeviceUsageControl>(parent);
    if (!m_control->Create(IDD_DEVICE_USAGE, parent)) {
      m_control.reset();
      return false;
    }
    m_control->SetWindowPos(nullptr, place.left, place.top, place.right - place.left, place.bottom - place.top,
                            SWP_NOZORDER);
    m_control->ShowWindow(SW_SHOW);
    return true;
  }

  void destroy() override {
    if (m_control && m_control->m_hWnd) m_control->DestroyWindow();
    m_control.reset();
  }

  bool exceedsCapacity() override { return m_control && m_control->meter().isOverCapacity(); }

  ~CDeviceUsageMeter() override { destroy(); }

 private:
  std::unique_ptr<CDeviceUsageControl> m_control;
};

}  // namespace

std::unique_ptr<COptionsMeter> makeDeviceUsageMeter() { return std::make_unique<CDeviceUsageMeter>(); }
