#include "ui/application.h"

#include <stdexcept>

#include "ui/error_report.h"

namespace qelo::ui {

TApplication::TApplication(int& argc, char** argv) : QApplication(argc, argv) {
  setApplicationName(ApplicationTitle());
}

bool TApplication::notify(QObject* receiver, QEvent* event) {
  bool handled = false;
  Guarded([&] { handled = QApplication::notify(receiver, event); });
  return handled;
}

}  // namespace qelo::ui
