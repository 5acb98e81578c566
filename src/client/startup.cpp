#include "client/startup.h"

#include "app/main_form.h"
#include "app/message_boxes.h"
#include "app/ver_form.h"
#include "preview/rp_form.h"
#include "preview/wb_form.h"
#include "skinwindow/skin_form.h"
#include "text/app_dir.h"
#include "text/state_dirs.h"

namespace qelo::app {

TWindows::TWindows() {
  main_ = std::make_unique<TMainForm>();
  preview_ = std::make_unique<TWBForm>(*main_);

  skin::TSkinFrmHost skinHost;
  skinHost.state = main_.get();
  skinHost.appDir = text::AppDir();
  skinHost.stateDirs = text::ProcessStateDirs();
  skinHost.confirm = [](const std::string& text) { return ConfirmBox(text); };
  skinHost.loadContainer = [main = main_.get()](const std::string& path) {
    main->skSkinData1.LoadContainerFile(path);
  };
  skin_ = std::make_unique<skin::TSkinFrm>(std::move(skinHost), main_.get());

  ver_ = std::make_unique<TVerFrm>(*main_, main_.get());
  VerFrm = ver_.get();
  report_ = std::make_unique<TRpForm>(*main_);
  main_->ShowPreview = [preview = preview_.get()](const std::string& caption, int left, int top) {
    preview->OpenPreview(caption, left, top);
  };
  main_->ShowSkinWindow = [skin = skin_.get()] { skin->exec(); };
}

TWindows::~TWindows() {
  main_->ShowPreview = nullptr;
  main_->ShowSkinWindow = nullptr;
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
