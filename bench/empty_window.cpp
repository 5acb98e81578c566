// The yardstick of app_startup_bench: the least a Qt Widgets program does to show a window like
// the client's main window. It shows a QWidget of that window's size holding one label of
// Chinese text (so it loads the CJK font as the client does) and, once that has been exposed and
// painted for the first time, reports as the client does under QELO_EXIT_WHEN_SHOWN=1, and exits.
#include <QApplication>
#include <QLabel>
#include <QWidget>

#include "ui/exit_when_shown.h"

int main(int argc, char** argv) {
  const auto mainStart = qelo::ui::StartupClock::now();
  QApplication app(argc, argv);
  QWidget window;
  window.resize(760, 430);
  window.setWindowTitle("empty");
  auto* label = new QLabel(
      QStringLiteral("声明：本搜索不含有任何弹窗广告，出现的广告均为收录的网站页面本身所致。"),
      &window);  // owned by the window
  label->setGeometry(309, 24, 492, 25);
  window.winId();  // creates the platform window, so the report sees its first expose
  qelo::ui::ReportFirstPaint(*window.windowHandle(), mainStart);
  window.show();
  return app.exec();
}
