#include "ui/message_box.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>

#include "ui/gbk_qt.h"

namespace qelo::ui {

namespace {

QMessageBox::Icon IconOf(TMsgDlgType type) {
  switch (type) {
    case TMsgDlgType::mtWarning:
      return QMessageBox::Warning;
    case TMsgDlgType::mtError:
      return QMessageBox::Critical;
    case TMsgDlgType::mtInformation:
      return QMessageBox::Information;
    case TMsgDlgType::mtConfirmation:
      return QMessageBox::Question;
    case TMsgDlgType::mtCustom:
      break;
  }
  return QMessageBox::NoIcon;
}

}  // namespace

int TskSkinMessage::MessageDlg(const std::string& text, TMsgDlgType type, unsigned buttons,
                               int helpCtx) {
  MessageRequest req{QStringLiteral("提示信息"), GbkToQString(text), type, buttons, helpCtx};
  history_.push_back(req);
  if (responder) return responder(req) == mrOk ? mrOk : mrCancel;
  return ShowModal(req);
}

int TskSkinMessage::ShowModal(const MessageRequest& req) {
  QWidget* parent = QApplication::activeWindow() ? QApplication::activeWindow() : owner_;
  QMessageBox box(IconOf(req.type), req.caption, req.text, QMessageBox::NoButton, parent);
  QPushButton* ok = box.addButton(QStringLiteral("确定"), QMessageBox::AcceptRole);
  QPushButton* cancel = nullptr;
  if (req.buttons & mbCancel)
    cancel = box.addButton(QStringLiteral("取消"), QMessageBox::RejectRole);
  box.setDefaultButton(ok);
  box.setEscapeButton(cancel ? cancel : ok);
  box.exec();
  return box.clickedButton() == ok ? mrOk : mrCancel;
}

}  // namespace qelo::ui
