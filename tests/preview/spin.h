// Bounded waits on the Qt loop for the preview tests, a script result read back from a page, and
// the engine's view inside a web view.
#pragma once

#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <QVariant>
#include <QWebEnginePage>
#include <QWebEngineView>
#include <functional>
#include <optional>

#include "ui/web_view.h"

namespace qelo::test {

// Runs the loop until pred holds or ms have passed; the outcome of pred.
inline bool Spin(const std::function<bool()>& pred, int ms = 20000) {
  QTimer tick;  // wakes the loop so the bound is reached even when nothing arrives
  tick.start(10);
  QElapsedTimer clock;
  clock.start();
  while (!pred() && clock.elapsed() < ms)
    QApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
  return pred();
}

// Lets the loop run for ms whatever happens.
inline void Idle(int ms) {
  Spin([] { return false; }, ms);
}

// The value of a script in the page's main world; nothing when the engine did not answer.
inline std::optional<QVariant> Evaluate(QWebEnginePage& page, const QString& code) {
  std::optional<QVariant> result;
  page.runJavaScript(code, 0, [&result](const QVariant& v) { result = v; });
  Spin([&] { return result.has_value(); }, 10000);
  return result;
}

// The engine's view that fills a web view: its page, and its focus proxy, the input widget.
inline QWebEngineView& Engine(ui::TWebView& view) {
  return *view.findChild<QWebEngineView*>();
}

}  // namespace qelo::test
