#include "app/message_boxes.h"

#include "app/main_form.h"
#include "ui/message_box.h"

namespace qelo::app {

namespace {

// The main window's message component; a plain one while no main window exists.
int ShowBox(const std::string& text, unsigned buttons) {
  if (MainForm)
    return MainForm->MsgDlg.MessageDlg(text, ui::TMsgDlgType::mtInformation, buttons, 0);
  ui::TskSkinMessage box;
  return box.MessageDlg(text, ui::TMsgDlgType::mtInformation, buttons, 0);
}

}  // namespace

void InfoBox(const std::string& text) {
  ShowBox(text, ui::mbOK);
}

bool ConfirmBox(const std::string& text) {
  return ShowBox(text, ui::mbOK | ui::mbCancel) == ui::mrOk;
}

}  // namespace qelo::app
