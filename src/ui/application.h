// The application object: a QApplication whose event delivery sends any error that escapes a
// handler to the application error report instead of unwinding through the event loop, and
// whose Qt texts (standard buttons, edit menus) are Chinese.
//
// A quiet start: before the application object exists, Qt's informational and debug logging
// and the browser engine's own logging below fatal errors are switched off, and the web views'
// GL contexts are shared (the engine asks for that when it starts after the application
// object). Qt's warnings still show. What a user sets wins: QT_LOGGING_RULES and
// QT_LOGGING_CONF over the rules here, a --log-level in QTWEBENGINE_CHROMIUM_FLAGS over ours.
#pragma once

#include <QApplication>
#include <string>

namespace qelo::ui {

class TApplication : public QApplication {
 public:
  TApplication(int& argc, char** argv);
  bool notify(QObject* receiver, QEvent* event) override;
};

// The engine's flags with our log level added, unless flags name a level of their own.
std::string QuietEngineFlags(const std::string& flags);

}  // namespace qelo::ui
