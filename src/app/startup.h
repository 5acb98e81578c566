// The client's windows, created in their fixed order with their globals set, and released in
// reverse order. The first window created is the application's main window.
#pragma once

#include <memory>

namespace qelo::app {

class TMainForm;
class TVerFrm;

class TWindows {
 public:
  // Creates the windows (main, then about), all hidden, and sets MainForm and VerFrm.
  TWindows();
  ~TWindows();
  TWindows(const TWindows&) = delete;
  TWindows& operator=(const TWindows&) = delete;

  TMainForm& Main() const { return *main_; }
  // Shows the main window only.
  void ShowMain();

 private:
  std::unique_ptr<TMainForm> main_;
  std::unique_ptr<TVerFrm> ver_;
};

}  // namespace qelo::app
