// The client's windows, created in their fixed order with their globals set, and released in
// reverse order. The first window created is the application's main window.
#pragma once

#include <memory>

namespace qelo::app {

class TMainForm;
class TRpForm;
class TVerFrm;
class TWBForm;

class TWindows {
 public:
  // Creates the windows (main, preview, about, report), all hidden, sets MainForm, WBForm,
  // VerFrm and RpForm, and lets the main window open results in the preview window.
  TWindows();
  ~TWindows();
  TWindows(const TWindows&) = delete;
  TWindows& operator=(const TWindows&) = delete;

  TMainForm& Main() const { return *main_; }
  TWBForm& Preview() const { return *preview_; }
  TRpForm& Report() const { return *report_; }
  // Shows the main window only.
  void ShowMain();

 private:
  std::unique_ptr<TMainForm> main_;
  std::unique_ptr<TWBForm> preview_;
  std::unique_ptr<TVerFrm> ver_;
  std::unique_ptr<TRpForm> report_;
};

}  // namespace qelo::app
