// Entry point of the client: the application object, the windows in their fixed order, the
// message loop until the main window closes.
//
// Start-up timing: with QELO_EXIT_WHEN_SHOWN=1 in the environment the client reports once its
// main window has been painted for the first time, and quits (ui/exit_when_shown.h).
#include <QWidget>
#include <cstdlib>
#include <cstring>

#include "app/main_form.h"
#include "client/startup.h"
#include "ui/application.h"
#include "ui/dispatcher_bridge.h"
#include "ui/exit_when_shown.h"

int main(int argc, char** argv) {
  const auto mainStart = qelo::ui::ExitWhenShown::Clock::now();
  qelo::ui::TApplication app(argc, argv);
  qelo::ui::DispatcherBridge bridge;
  qelo::app::TWindows windows;
  windows.ShowMain();
  const char* exitWhenShown = std::getenv("QELO_EXIT_WHEN_SHOWN");
  if (exitWhenShown && std::strcmp(exitWhenShown, "1") == 0)
    new qelo::ui::ExitWhenShown(windows.Main().windowHandle(), mainStart);  // owned by the window
  return app.exec();
}
