// The report dialog: a preset or typed reason about the previewed file, posted to the service
// over the dialog's own client.
#pragma once

#include <QDialog>
#include <cstdint>
#include <memory>
#include <string>

#include "appcore/service_request.h"

class QComboBox;
class QFrame;
class QLabel;
class QPlainTextEdit;
class QPushButton;

namespace qelo::net {
class THttpClient;
}

namespace qelo::app {

struct TSharedState;

class TRpForm : public QDialog {
 public:
  // state: the main window's shared state, read only.
  explicit TRpForm(const TSharedState& state, QWidget* parent = nullptr);
  ~TRpForm() override;

  // --- Handlers, as the dialog's controls name them -------------------------------------------
  void FormShow();
  void cb_reasonChange();
  void btn_reportClick();
  void HttpClient1RequestDone(net::THttpClient* sender, int rqType, uint16_t errCode);

  void SendReport();

  // The window's requests to the service, over its client "HttpClient1".
  std::unique_ptr<TServiceRequest> Service;

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  const TSharedState& state_;
  QFrame* skSkinPanel1;
  QLabel* skSkinTextLabel1;
  QLabel* skSkinStdLabel1;
  QPlainTextEdit* mm1;
  QComboBox* cb_reason;
  QPushButton* btn_report;
};

// The report dialog, set while it exists.
extern TRpForm* RpForm;

}  // namespace qelo::app
