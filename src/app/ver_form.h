// The about window: the installation's info.txt and the client's version and build.
#pragma once

#include <QDialog>
#include <string>
#include <vector>

class QLabel;
class QPlainTextEdit;
class QPushButton;
class QScrollBar;
class QTabWidget;

namespace qelo::app {

struct TSharedState;

class TVerFrm : public QDialog {
 public:
  // state: the main window's shared state (version and build are read at each showing).
  TVerFrm(const TSharedState& state, QWidget* parent = nullptr);

  // The lines VerM1 holds (GBK), and the version label's caption (GBK).
  const std::vector<std::string>& VerM1Lines() const { return lines_; }
  const std::string& VerTextCaption() const { return verCaption_; }

  void FormShow();
  void skSkinButton1Click();

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void RenderLines();

  const TSharedState& state_;
  QTabWidget* VerPC;
  QWidget* PCInfo;
  QPlainTextEdit* VerM1;
  QScrollBar* VerSB1;
  QWidget* PCLicense;
  QPlainTextEdit* VerM2;
  QWidget* skSkinPanel3;
  QLabel* skVerText;
  QPushButton* skSkinButton1;

  std::vector<std::string> lines_{std::string()};
  std::string verCaption_;
};

// The about window, set while it exists.
extern TVerFrm* VerFrm;

}  // namespace qelo::app
