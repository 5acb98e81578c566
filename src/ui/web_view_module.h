// The door between the application and the web view module (qelo_ui_web.so), the only part of
// the client that links the browser engine. The module exports one C function,
// kWebViewModuleEntry, of type TWebViewModuleEntry; the application calls it once after loading
// the module, hands over the services the views need of it, and gets the module's factory.
//
// Contract:
// - The module links no library of this project: what its views need of the application (the
//   error report, GBK texts) comes through TWebViewHost, whose functions stay valid for the life
//   of the process. That keeps one error report and one set of settings for the process.
// - Both sides must be of the same build: the entry returns null when version differs from its
//   own kWebViewModuleVersion.
// - create is called on the UI thread; the view belongs to parent.
#pragma once

#include <QString>
#include <functional>
#include <string>
#include <string_view>

class QWidget;

namespace qelo::ui {

class TWebView;

inline constexpr int kWebViewModuleVersion = 1;
inline constexpr const char* kWebViewModuleEntry = "QeloWebViewModule";

struct TWebViewHost {
  int version = kWebViewModuleVersion;
  // Runs a handler; an error that escapes it goes to the application error report.
  void (*guarded)(const std::function<void()>& handler) = nullptr;
  QString (*gbkToQString)(std::string_view gbk) = nullptr;
  std::string (*qStringToGbk)(const QString& text) = nullptr;
};

struct TWebViewModule {
  TWebView* (*create)(QWidget* parent) = nullptr;
};

using TWebViewModuleEntry = const TWebViewModule* (*)(const TWebViewHost* host);

}  // namespace qelo::ui
