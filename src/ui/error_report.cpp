#include "ui/error_report.h"

#include <QApplication>
#include <QMessageBox>

#include "ui/gbk_qt.h"

namespace qelo::ui {

namespace {

ErrorSink& Sink() {
  static ErrorSink sink;
  return sink;
}

void ShowReportBox(const QString& caption, const QString& text) {
  QMessageBox box(QMessageBox::Critical, caption, text, QMessageBox::NoButton,
                  QApplication::activeWindow());
  // Our own text, so the box reads Chinese even where Qt's translations are missing.
  box.addButton(QStringLiteral("确定"), QMessageBox::AcceptRole);
  box.exec();
}

}  // namespace

QString ApplicationTitle() {
  return QStringLiteral("Qelo网盘搜索");
}

std::string ErrorReportText(std::string_view message) {
  std::string text(message);
  if (!text.empty() && static_cast<unsigned char>(text.back()) > '.') text += '.';
  return text;
}

ErrorSink SetErrorSink(ErrorSink sink) {
  ErrorSink old = std::move(Sink());
  Sink() = std::move(sink);
  return old;
}

void ReportError(const std::exception& e) {
  if (dynamic_cast<const ECancelled*>(&e)) return;
  const QString text = GbkToQString(ErrorReportText(e.what()));
  if (Sink())
    Sink()(ApplicationTitle(), text);
  else
    ShowReportBox(ApplicationTitle(), text);
}

}  // namespace qelo::ui
