// The yardstick of app_startup_bench: the least a Qt Widgets program does to show a window. It
// shows an empty QWidget of the client's main window size and, once that has been exposed and
// painted for the first time, reports as the client does under QELO_EXIT_WHEN_SHOWN=1, and exits.
#include <QApplication>
#include <QWidget>

#include "ui/exit_when_shown.h"

int main(int argc, char** argv) {
  const auto mainStart = qelo::ui::ExitWhenShown::Clock::now();
  QApplication app(argc, argv);
  QWidget window;
  window.resize(760, 430);
  window.setWindowTitle("empty");
  window.winId();  // creates the platform window, so the report sees its first expose
  new qelo::ui::ExitWhenShown(window.windowHandle(), mainStart);  // owned by the window
  window.show();
  return app.exec();
}
