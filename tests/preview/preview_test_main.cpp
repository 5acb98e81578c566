// main() of the preview tests: an offscreen application with the browser engine's sandbox and GPU
// off, so the engine starts the same way as root and on a machine without a display; the web
// views come from the module of this build.
#include <gtest/gtest.h>

#include <cstdlib>

#include "ui/application.h"
#include "ui/web_view.h"

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  setenv("QTWEBENGINE_DISABLE_SANDBOX", "1", 0);
  setenv("QTWEBENGINE_CHROMIUM_FLAGS", "--disable-gpu --disable-dev-shm-usage", 0);
  testing::InitGoogleTest(&argc, argv);
  qelo::ui::TApplication app(argc, argv);
  qelo::ui::SetWebViewModulePath(QELO_WEB_VIEW_MODULE);
  return RUN_ALL_TESTS();
}
