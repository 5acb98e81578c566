// The client's windows, created in their fixed order with their globals set, and released in
// reverse order. The first window created is the application's main window.
#pragma once

#include <memory>

namespace qelo::app {

class TMainForm;
class TVerFrm;
}  // namespace qelo::app
namespace qelo::skin {
class TSkinFrm;
}
namespace qelo::app {

class TWindows {
 public:
  // Creates the windows (main, skin, about), all hidden, and sets MainForm, SkinFrm and VerFrm.
  // The main menu's skin entry shows the skin window modally.
  TWindows();
  ~TWindows();
  TWindows(const TWindows&) = delete;
  TWindows& operator=(const TWindows&) = delete;

  TMainForm& Main() const { return *main_; }
  // Shows the main window only.
  void ShowMain();

 private:
  std::unique_ptr<TMainForm> main_;
  std::unique_ptr<skin::TSkinFrm> skin_;
  std::unique_ptr<TVerFrm> ver_;
};

}  // namespace qelo::app
