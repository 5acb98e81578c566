#include "client/startup.h"

#include "app/main_form.h"
#include "app/ver_form.h"
#include "preview/rp_form.h"
#include "preview/wb_form.h"
#include "skinwindow/skin_form.h"

namespace qelo::app {

TWindows::TWindows() {
  main_ = std::make_unique<TMainForm>();
  preview_ = std::make_unique<TWBForm>(*main_);
  skin_ = std::make_unique<skin::TSkinFrm>(*main_, skin::TSkinFrmOptions{}, main_.get());

  ver_ = std::make_unique<TVerFrm>(*main_, main_.get());
  VerFrm = ver_.get();
  report_ = std::make_unique<TRpForm>(*main_);

  QObject::connect(main_.get(), &TMainForm::previewRequested, preview_.get(),
                   &TWBForm::OpenPreview);
  QObject::connect(main_.get(), &TMainForm::skinWindowRequested, skin_.get(), &QDialog::exec);
  QObject::connect(
      skin_.get(), &skin::TSkinFrm::skinContainerChosen, main_.get(),
      [main = main_.get()](const std::string& path) { main->skSkinData1.LoadContainerFile(path); });
}

TWindows::~TWindows() {
  report_.reset();
  VerFrm = nullptr;
  ver_.reset();
  skin_.reset();
  preview_.reset();
  main_.reset();
}

void TWindows::ShowMain() {
  main_->show();
}

}  // namespace qelo::app
