// The application object: a QApplication whose event delivery sends any error that escapes a
// handler to the application error report instead of unwinding through the event loop, and
// whose Qt texts (standard buttons, edit menus) are Chinese.
//
// A quiet start: before the application object exists, Qt's informational and debug logging
// and the browser engine's own logging below fatal errors are switched off. Qt's warnings still
// show. What a user sets wins: QT_LOGGING_RULES and QT_LOGGING_CONF over the rules here, a
// --log-level in QTWEBENGINE_CHROMIUM_FLAGS over ours.
#pragma once

#include <QApplication>
#include <string>

class QOpenGLContext;

// Qt's context that every GL context shares with (QtGui exports both). Qt::AA_ShareOpenGLContexts
// set before the application object makes it at once; that costs the start a GL driver load
// (about 100 ms of CPU with software GL) before the first paint. ShareGlContextsLate makes it
// when the browser engine is about to start instead.
QOpenGLContext* qt_gl_global_share_context();
void qt_gl_set_global_share_context(QOpenGLContext* context);

namespace qelo::ui {

class TApplication : public QApplication {
 public:
  TApplication(int& argc, char** argv);
  bool notify(QObject* receiver, QEvent* event) override;
};

// Makes the shared GL context unless there is one; the browser engine shares its contexts with
// it and, loaded after the application object, complains when there is none. Call it before the
// engine's libraries are loaded.
void ShareGlContextsLate();

// The engine's flags with our log level added, unless flags name a level of their own.
std::string QuietEngineFlags(const std::string& flags);

}  // namespace qelo::ui
