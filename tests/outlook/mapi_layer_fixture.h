// What the MAPI layer's tests share: the product's test host with Outlook set up by `kipo-host
// outlook set` (or not at all), a log to read, and the layer's singletons made and destroyed as
// the Outlook profile manager does.
#pragma once

#include <string>
#include <vector>

#include "outlook/mapi_loader.h"
#include "outlook/mapi_util.h"
#include "platform/win32/win32.h"
#include "tests/app/app_fixture.h"

namespace mapilayertest {

class MapiLayerTest : public apptest::AppTest {
 protected:
  MapiLayerTest() { createLog(); }
  ~MapiLayerTest() override { stop(); }

  static void tool(const std::vector<std::string>& args) {
    std::string err;
    ASSERT_EQ(kipotest::runTool(args, nullptr, &err), 0) << err;
  }
  static void setOutlook(const char* version = "2003") { tool({"outlook", "set", "--version", version}); }

  // The profile manager's order: the loader, kept only when usable, then the utility object.
  CMapiUtil& start() {
    createMapiLoader();
    if (!getMapiLoader()->isLoaded()) destroyMapiLoader();
    createMapiUtil();
    return *getMapiUtil();
  }
  void stop() {
    destroyMapiLoader();
    destroyMapiUtil();
  }

  static std::vector<std::string> profiles() {
    std::string out;
    kipotest::runTool({"mapi", "profiles"}, &out);
    std::vector<std::string> names;
    std::size_t at = 0;
    while (at < out.size()) {
      std::size_t end = out.find('\n', at);
      if (end == std::string::npos) end = out.size();
      if (end > at) names.push_back(out.substr(at, end - at));
      at = end + 1;
    }
    return names;
  }
};

}  // namespace mapilayertest
