#include "ui/application.h"

#include <stdexcept>

#include "ui/error_report.h"
#include "ui/qt_translations.h"

namespace qelo::ui {

namespace {

// The web views need their GL contexts shared, which must be asked for before the application
// object exists.
int& BeforeApplication(int& argc) {
  QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
  return argc;
}

}  // namespace

TApplication::TApplication(int& argc, char** argv) : QApplication(BeforeApplication(argc), argv) {
  setApplicationName(ApplicationTitle());
  InstallQtChineseTexts(*this);
}

bool TApplication::notify(QObject* receiver, QEvent* event) {
  bool handled = false;
  Guarded([&] { handled = QApplication::notify(receiver, event); });
  return handled;
}

}  // namespace qelo::ui
