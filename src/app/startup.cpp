#include "app/startup.h"

#include "app/main_form.h"
#include "app/ver_form.h"
#include "preview/rp_form.h"
#include "preview/wb_form.h"

namespace qelo::app {

TWindows::TWindows() {
  main_ = std::make_unique<TMainForm>();
  preview_ = std::make_unique<TWBForm>(*main_);
  ver_ = std::make_unique<TVerFrm>(*main_, main_.get());
  VerFrm = ver_.get();
  report_ = std::make_unique<TRpForm>(*main_);
  main_->ShowPreview = [preview = preview_.get()](const std::string& caption, int left, int top) {
    preview->OpenPreview(caption, left, top);
  };
}

TWindows::~TWindows() {
  main_->ShowPreview = nullptr;
  report_.reset();
  VerFrm = nullptr;
  ver_.reset();
  preview_.reset();
  main_.reset();
}

void TWindows::ShowMain() {
  main_->show();
}

}  // namespace qelo::app
