// CKipoLoginHost: the login surface's view of the application object and the customizer view.
#include "app/kipo/login_host.h"

#include <memory>

#include "app/customizer_doc.h"
#include "app/system_profile.h"
#include "app/kipo/customizer_app.h"
#include "app/kipo/customizer_view.h"
#include "ui/login_host.h"
#include "ui/options_host.h"
#include "ui/large_folder_dialog.h"
#include "ui/nickname_dialog.h"
#include "ui/options_meter.h"
#include "ui/synchronize_dialog.h"
#include "ui/ui_surfaces.h"

namespace {

class CKipoLoginHost : public CLoginHost {
 public:
  explicit CKipoLoginHost(CCustomizerApp& app) : m_app(app) {}

  bool isPersonalized() override {
    CCustomizerDoc* doc = m_app.getDocument();
    return doc ? doc->isPersonalized() : m_app.isHostPersonalized();
  }
  void doPersonalize() override {
    if (CCustomizerView* view = m_app.getView()) view->doPersonalize();
  }
  void doDepersonalize(bool silent) override {
    if (CCustomizerView* view = m_app.getView()) view->doDepersonalize(silent);
  }
  void startLogout(bool flag) override {
    if (CCustomizerView* view = m_app.getView()) view->startLogout(flag);
  }
  void updateLoginState() override {
    if (CCustomizerView* view = m_app.getView()) view->updateLoginState();
  }
  void showTrayInfo() override {
    if (CCustomizerView* view = m_app.getView()) view->showTrayInfo();
  }
  HWND viewWindow() override {
    CCustomizerView* view = m_app.getView();
    return view ? view->GetSafeHwnd() : nullptr;
  }
  CLogoutButtonClient* logoutButtonClient() override { return m_app.getView(); }
  CCustomizerDoc* document() override { return m_app.getDocument(); }
  bool reopenSecureArea() override { return m_app.reopenSecureArea(); }
  bool addListener(CSwitchboardListener* listener) override { return m_app.addListener(listener); }
  bool removeListener(CSwitchboardListener* listener) override { return m_app.removeListener(listener); }
  void synchronize(DWORD mode) override {
    if (CCustomizerView* view = m_app.getView()) view->synchronize(mode);
  }

  CString languageCode() override { return m_app.getLanguage(); }
  CString customerLogoFile() override { return m_app.getCustomization().logoFile; }

 private:
  CCustomizerApp& m_app;
};

// The options dialog's view of the application.
class CKipoOptionsHost : public COptionsHost {
 public:
  explicit CKipoOptionsHost(CCustomizerApp& app) : m_app(app) {}

  CCustomizerDoc* document() override { return m_app.getDocument(); }
  bool isU3Customization() override { return m_app.getCustomization().loaded; }
  bool isAutostartEnabled() override { return m_app.isAutostartEnabled(); }
  int deviceKind() override { return m_app.getDeviceDetector().getDeviceKind(); }
  void logout() override {
    if (CCustomizerView* view = m_app.getView()) view->doDepersonalize(false);
  }
  bool isSynchronizeDialogShown() override { return CSynchronizeDialog2::active() != nullptr; }
  std::unique_ptr<COptionsMeter> createMeter() override { return makeDeviceUsageMeter(); }
  int runNicknameDialog(CSystemProfile* profile, CWnd* parent) override {
    if (!profile) return IDCANCEL;
    CNicknameDialog dialog(profile->getKey(), profile->m_nickname, parent);
    return static_cast<int>(dialog.DoModal());
  }
  int runLargeFolderDialog(CWnd* parent, const CString& folder) override {
    CLargeFolderDialog dialog(parent, folder);
    return static_cast<int>(dialog.DoModal());
  }

 private:
  CCustomizerApp& m_app;
};

std::unique_ptr<CKipoLoginHost> g_host;
std::unique_ptr<CKipoOptionsHost> g_optionsHost;
std::unique_ptr<CUiSurfaces> g_surfaces;

}  // namespace

void installLoginSurfaces(CCustomizerApp& app) {
  if (g_host) return;
  g_host = std::make_unique<CKipoLoginHost>(app);
  g_surfaces = std::make_unique<CUiSurfaces>();
  g_optionsHost = std::make_unique<CKipoOptionsHost>(app);
  setLoginHost(g_host.get());
  setOptionsHost(g_optionsHost.get());
  setViewSurfaces(g_surfaces.get());
}

void uninstallLoginSurfaces() {
  setViewSurfaces(nullptr);
  setLoginHost(nullptr);
  setOptionsHost(nullptr);
  // This runs as the application object goes, after the frame and the switchboard: the windows
  // the surfaces may still name are gone with them, so the objects are let go rather than torn
  // down against a framework that has ended.
  (void)g_surfaces.release();
  (void)g_host.release();
  (void)g_optionsHost.release();
}
