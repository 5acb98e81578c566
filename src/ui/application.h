// The application object: a QApplication whose event delivery sends any error that escapes a
// handler to the application error report instead of unwinding through the event loop, and
// whose Qt texts (standard buttons, edit menus) are Chinese.
#pragma once

#include <QApplication>

namespace qelo::ui {

class TApplication : public QApplication {
 public:
  TApplication(int& argc, char** argv);
  bool notify(QObject* receiver, QEvent* event) override;
};

}  // namespace qelo::ui
