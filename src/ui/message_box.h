// The message component behind InfoBox and ConfirmBox: a modal box with the caption
// "提示信息" and the buttons "确定" / "取消". A test (or any caller that must not wait on a
// person) installs a responder that answers in place of the box.
#pragma once

#include <QString>
#include <functional>
#include <string>
#include <vector>

class QWidget;

namespace qelo::ui {

enum class TMsgDlgType { mtWarning, mtError, mtInformation, mtConfirmation, mtCustom };

// Button set bits.
enum TMsgDlgBtn : unsigned { mbOK = 1u << 0, mbCancel = 1u << 1 };

// Modal results.
constexpr int mrNone = 0;
constexpr int mrOk = 1;
constexpr int mrCancel = 2;

// What a box would show; handed to the responder and kept in the history.
struct MessageRequest {
  QString caption;
  QString text;
  TMsgDlgType type = TMsgDlgType::mtInformation;
  unsigned buttons = mbOK;
  int helpCtx = 0;
};

class TskSkinMessage {
 public:
  using Responder = std::function<int(const MessageRequest&)>;

  explicit TskSkinMessage(QWidget* owner = nullptr) : owner_(owner) {}

  // Shows the box modally (or asks the responder) and returns the modal result: mrOk when
  // "确定" was chosen, mrCancel for every other way of closing it. text is GBK.
  int MessageDlg(const std::string& text, TMsgDlgType type, unsigned buttons, int helpCtx);

  // Answers boxes instead of a person while set.
  Responder responder;
  // Every box asked for, in order.
  const std::vector<MessageRequest>& History() const { return history_; }

 private:
  int ShowModal(const MessageRequest& req);

  QWidget* owner_;
  std::vector<MessageRequest> history_;
};

}  // namespace qelo::ui
