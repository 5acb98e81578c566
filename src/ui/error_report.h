// The application error report: an error that escapes a handler of a user action is shown in
// a plain modal box captioned with the application title, and the application goes on.
#pragma once

#include <QString>
#include <exception>
#include <functional>
#include <stdexcept>
#include <string>
#include <string_view>

namespace qelo::ui {

// Signals an operation the user cancelled; never reported.
class ECancelled : public std::runtime_error {
 public:
  ECancelled() : std::runtime_error("Operation aborted") {}
};

// The application title, caption of the report box.
QString ApplicationTitle();

// The report's text for an error message (GBK): the message followed by a full stop, unless it
// is empty or ends in a full stop or a character that sorts below it.
std::string ErrorReportText(std::string_view message);

// Where reports go; the default shows a modal box with the error icon and one "确定" button.
// Returns the sink that was in force. An empty sink restores the default.
using ErrorSink = std::function<void(const QString& caption, const QString& text)>;
ErrorSink SetErrorSink(ErrorSink sink);

// Reports the error unless it signals a cancelled operation.
void ReportError(const std::exception& e);

// Runs a handler of a user action; an escaping error goes to the report.
template <class F>
void Guarded(F&& handler) noexcept {
  try {
    handler();
  } catch (const ECancelled&) {
  } catch (const std::exception& e) {
    ReportError(e);
  } catch (...) {
    ReportError(std::runtime_error("Unknown error"));
  }
}

}  // namespace qelo::ui
