// main() of the Qt test programs: an offscreen application object around the test run. The
// program sets its own environment (a caller's choice wins), so it runs the same from ctest, by
// hand and on a machine without a display; the browser engine's sandbox is off because tests run
// as root and in containers, where it cannot start. An error report that no test asked to catch
// fails the running test instead of waiting on a modal box.
#include <gtest/gtest.h>

#include <cstdlib>

#include "ui/application.h"
#include "ui/error_report.h"
#include "ui/web_view.h"

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  setenv("QTWEBENGINE_DISABLE_SANDBOX", "1", 0);
  testing::InitGoogleTest(&argc, argv);
  qelo::ui::TApplication app(argc, argv);
  // Web views come from the module the build puts beside the client, not beside this program.
  qelo::ui::SetWebViewModulePath(QELO_WEB_VIEW_MODULE);
  qelo::ui::SetErrorSink([](const QString&, const QString& text) {
    ADD_FAILURE() << "unexpected error report: " << text.toStdString();
  });
  return RUN_ALL_TESTS();
}
