#include "ui/application.h"

#include <QLoggingCategory>
#include <QOpenGLContext>
#include <cstdlib>
#include <stdexcept>

#include "ui/error_report.h"
#include "ui/qt_translations.h"

namespace qelo::ui {

namespace {

constexpr const char* kEngineFlagsVar = "QTWEBENGINE_CHROMIUM_FLAGS";

// Informational output of Qt's own categories (the engine's start-up report among them) and of
// pages' console.
constexpr const char* kQuietRules =
    "qt.*.debug=false\n"
    "qt.*.info=false\n"
    "js=false\n";

void QuietLogging() {
  QLoggingCategory::setFilterRules(QString::fromLatin1(kQuietRules));
  const char* flags = std::getenv(kEngineFlagsVar);
  setenv(kEngineFlagsVar, QuietEngineFlags(flags ? flags : "").c_str(), 1);
}

int& BeforeApplication(int& argc) {
  QuietLogging();
  return argc;
}

}  // namespace

void ShareGlContextsLate() {
  if (qt_gl_global_share_context()) return;
  auto* context = new QOpenGLContext(qApp);  // owned by the application
  context->setFormat(QSurfaceFormat::defaultFormat());
  if (context->create()) qt_gl_set_global_share_context(context);
}

std::string QuietEngineFlags(const std::string& flags) {
  if (flags.find("--log-level") != std::string::npos) return flags;
  return flags.empty() ? "--log-level=3" : flags + " --log-level=3";
}

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
