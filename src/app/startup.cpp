#include "app/startup.h"

#include "app/main_form.h"
#include "app/ver_form.h"

namespace qelo::app {

TWindows::TWindows() {
  main_ = std::make_unique<TMainForm>();
  ver_ = std::make_unique<TVerFrm>(*main_, main_.get());
  VerFrm = ver_.get();
}

TWindows::~TWindows() {
  VerFrm = nullptr;
  ver_.reset();
  main_.reset();
}

void TWindows::ShowMain() {
  main_->show();
}

}  // namespace qelo::app
