// Entry point of the client: the application object, the windows in their fixed order, the
// message loop until the main window closes.
#include "app/startup.h"
#include "ui/application.h"
#include "ui/dispatcher_bridge.h"

int main(int argc, char** argv) {
  qelo::ui::TApplication app(argc, argv);
  qelo::ui::DispatcherBridge bridge;
  qelo::app::TWindows windows;
  windows.ShowMain();
  return app.exec();
}
