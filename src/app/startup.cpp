#include "app/startup.h"

#include "app/main_form.h"
#include "app/ver_form.h"
#include "skin/skin_form.h"
#include "text/app_dir.h"

namespace qelo::app {

TWindows::TWindows() {
  main_ = std::make_unique<TMainForm>();

  skin::TSkinFrmHost skinHost;
  skinHost.state = main_.get();
  skinHost.appDir = text::AppDir();
  skinHost.confirm = [](const std::string& text) { return ConfirmBox(text); };
  skinHost.loadContainer = [main = main_.get()](const std::string& path) {
    main->skSkinData1.LoadContainerFile(path);
  };
  skin_ = std::make_unique<skin::TSkinFrm>(std::move(skinHost), main_.get());
  main_->ShowSkinWindow = [this] { skin_->exec(); };

  ver_ = std::make_unique<TVerFrm>(*main_, main_.get());
  VerFrm = ver_.get();
}

TWindows::~TWindows() {
  VerFrm = nullptr;
  ver_.reset();
  main_->ShowSkinWindow = nullptr;
  skin_.reset();
  main_.reset();
}

void TWindows::ShowMain() {
  main_->show();
}

}  // namespace qelo::app
