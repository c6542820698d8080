// Halvern's application object and entry point: no window, one command from the command line,
// then the end of the program (exit status 0 whatever the command's result).
#include "U3/halvern/halvern.h"
#include "platform/afx/app.h"
#include "platform/afx/ole.h"
#include "platform/win32/controls/commctrl.h"

namespace {

class CHalvernApp : public CWinApp {
 public:
  BOOL InitInstance() override {
    INITCOMMONCONTROLSEX controls{};
    controls.dwSize = sizeof controls;
    controls.dwICC = ICC_WIN95_CLASSES;
    InitCommonControlsEx(&controls);
    CWinApp::InitInstance();
    AfxEnableControlContainer();
    runCommand(CString(m_lpCmdLine ? m_lpCmdLine : u""));
    return FALSE;
  }
};

CHalvernApp theApp;

}  // namespace

int main() { return AfxWinMain(nullptr, nullptr, nullptr, SW_SHOWNORMAL); }
