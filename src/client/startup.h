// The client's windows, created in their fixed order with their globals set, and released in
// reverse order. The first window created is the application's main window.
#pragma once

#include <memory>

namespace qelo::skin {
class TSkinFrm;
}

namespace qelo::app {

class TMainForm;
class TRpForm;
class TVerFrm;
class TWBForm;

class TWindows {
 public:
  // Creates the windows (main, preview, skin, about, report), all hidden, sets MainForm, WBForm,
  // SkinFrm, VerFrm and RpForm, and connects what the windows ask of each other: a result opened
  // for preview shows the preview window, the skin menu entry shows the skin window modally, and
  // a skin chosen there is loaded into the main window's skin holder.
  TWindows();
  ~TWindows();
  TWindows(const TWindows&) = delete;
  TWindows& operator=(const TWindows&) = delete;

  TMainForm& Main() const { return *main_; }
  TWBForm& Preview() const { return *preview_; }
  skin::TSkinFrm& Skin() const { return *skin_; }
  TRpForm& Report() const { return *report_; }
  // Shows the main window only.
  void ShowMain();

 private:
  std::unique_ptr<TMainForm> main_;
  std::unique_ptr<TWBForm> preview_;
  std::unique_ptr<skin::TSkinFrm> skin_;
  std::unique_ptr<TVerFrm> ver_;
  std::unique_ptr<TRpForm> report_;
};

}  // namespace qelo::app
