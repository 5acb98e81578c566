// Entry point of the client: the application object, the windows in their fixed order, the
// message loop until the main window closes.
#include <memory>

#include "app/main_form.h"
#include "app/ver_form.h"
#include "ui/application.h"
#include "ui/dispatcher_bridge.h"

int main(int argc, char** argv) {
  qelo::ui::TApplication app(argc, argv);
  qelo::ui::DispatcherBridge bridge;

  // Main window first (it becomes the application's main window), then the secondary windows,
  // all hidden until shown.
  auto mainForm = std::make_unique<qelo::app::TMainForm>();
  auto verFrm = std::make_unique<qelo::app::TVerFrm>(*mainForm, mainForm.get());
  qelo::app::VerFrm = verFrm.get();

  mainForm->show();
  const int status = app.exec();

  qelo::app::VerFrm = nullptr;
  return status;
}
