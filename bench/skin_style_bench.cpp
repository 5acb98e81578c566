// The skin style's costs: taking up a skin in every window and repainting them (goal: under
// 50 ms), and scrolling through a 10,000-row result list in the skinned and the palette look
// (goal: 60 frames per second or more, the skinned look within 10% of the palette one).
// Every frame repaints the whole list window, so the figures are the slowest case of a frame.
//
// skin_style_bench --shot=DIR also saves the main window, a menu and a message box in both
// looks as PNG files there.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QLinearGradient>
#include <QListWidget>
#include <QMenu>
#include <QMessageBox>
#include <QPainter>
#include <QPushButton>
#include <QScrollBar>
#include <QStatusBar>
#include <QTabWidget>
#include <QTextEdit>
#include <QTreeWidget>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "app/main_form.h"
#include "app/ver_form.h"
#include "ui/application.h"
#include "ui/skin_source.h"
#include "ui/skin_style.h"

namespace {

// A skin drawn here: one 48 x 48 cell per section, a gradient with a darker two-pixel border,
// and its other looks in the cells to the right.
class DemoSkin : public qelo::ui::SkinSource {
 public:
  DemoSkin() : picture_(48 * 4, 48 * 17, QImage::Format_RGB32) {
    picture_.fill(Qt::white);
    const struct {
      const char* name;
      QColor colour;
    } sections[] = {{"button", QColor(70, 120, 190)},      {"panel", QColor(220, 228, 240)},
                    {"listview", QColor(200, 210, 230)},   {"listbox", QColor(200, 210, 230)},
                    {"header", QColor(90, 110, 150)},      {"vscrollbar", QColor(110, 140, 190)},
                    {"hscrollbar", QColor(110, 140, 190)}, {"edit", QColor(245, 248, 255)},
                    {"memo", QColor(245, 248, 255)},       {"statusbar", QColor(60, 80, 120)},
                    {"statuspanel", QColor(70, 90, 130)},  {"mainmenubar", QColor(50, 70, 110)},
                    {"menuitem", QColor(235, 238, 245)},   {"popupwindow", QColor(235, 238, 245)},
                    {"groupbox", QColor(210, 220, 236)},   {"combobox", QColor(240, 244, 252)},
                    {"tab", QColor(190, 205, 230)}};
    QPainter p(&picture_);
    int row = 0;
    for (const auto& s : sections) {
      for (int look = 0; look < 4; ++look) {
        const QRect cell(look * 48, row * 48, 48, 48);
        QColor base = look == 1   ? s.colour.lighter(120)
                      : look == 2 ? s.colour.darker(130)
                      : look == 3 ? QColor(180, 180, 180)
                                  : s.colour;
        QLinearGradient gradient(cell.topLeft(), cell.bottomLeft());
        gradient.setColorAt(0, base.lighter(115));
        gradient.setColorAt(1, base.darker(110));
        p.fillRect(cell, base.darker(160));
        p.fillRect(cell.adjusted(2, 2, -2, -2), gradient);
      }
      const std::string name = s.name;
      auto rect = [&](int look) {
        return std::to_string(look * 48) + "," + std::to_string(row * 48) + "," +
               std::to_string(look * 48 + 48) + "," + std::to_string(row * 48 + 48);
      };
      Set(name, "skinrect", rect(0));
      Set(name, "activeskinrect", rect(1));
      Set(name, "downskinrect", rect(2));
      Set(name, "disabledskinrect", rect(3));
      for (const char* key : {"leftoffset", "topoffset", "rightoffset", "bottomoffset"})
        Set(name, key, "4");
      const bool dark = s.colour.lightness() < 128;
      Set(name, "fontcolor", dark ? "16777215" : "0");
      if (name.find("scrollbar") != std::string::npos) Set(name, "trackrect", rect(3));
      ++row;
    }
    Set("mainmenubaritem", "skinrect", "0,0,48,48");
    Set("mainmenubaritem", "activeskinrect", "48,0,96,48");
    Set("mainmenubaritem", "downskinrect", "96,0,144,48");
    Set("mainmenubaritem", "fontcolor", "16777215");
  }

  const QImage* Picture(int index) const override { return index == -1 ? &picture_ : nullptr; }
  std::optional<std::string> Value(std::string_view section, std::string_view key) const override {
    const auto s = values_.find(Lower(section));
    if (s == values_.end()) return std::nullopt;
    const auto k = s->second.find(Lower(key));
    if (k == s->second.end()) return std::nullopt;
    return k->second;
  }

 private:
  static std::string Lower(std::string_view text) {
    std::string out(text);
    for (char& c : out)
      c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
  }
  void Set(const std::string& section, const std::string& key, const std::string& value) {
    values_[section][key] = value;
  }

  QImage picture_;
  std::map<std::string, std::map<std::string, std::string>> values_;
};

std::shared_ptr<const DemoSkin> Skin() {
  static const auto skin = std::make_shared<const DemoSkin>();
  return skin;
}

void RepaintAllNow() {
  for (QWidget* window : QApplication::topLevelWidgets())
    if (window->isVisible()) window->repaint();
}

void BM_ReskinAllWindows(benchmark::State& state) {
  qelo::app::TMainForm main;
  qelo::app::TVerFrm about(main, &main);
  QMessageBox box(QMessageBox::Information, QStringLiteral("提示信息"),
                  QStringLiteral("确认删除此皮肤？"));
  box.addButton(QStringLiteral("确定"), QMessageBox::AcceptRole);
  main.show();
  about.show();
  box.show();
  QApplication::processEvents();
  bool skinned = false;
  for (auto _ : state) {
    // Alternate between the skin and the palette look, so every turn changes every window.
    if (skinned)
      qelo::ui::RemoveSkinStyle(false);
    else
      qelo::ui::InstallSkinStyle(Skin(), false);
    skinned = !skinned;
    RepaintAllNow();
  }
  qelo::ui::RemoveSkinStyle();
}
BENCHMARK(BM_ReskinAllWindows)->Unit(benchmark::kMillisecond);

// A result list as the main window has it: eight columns, 10,000 rows.
struct ListWindow {
  ListWindow() {
    window.resize(760, 430);
    tree = new QTreeWidget(&window);
    tree->setGeometry(0, 0, 760, 430);
    tree->setRootIsDecorated(false);
    tree->setUniformRowHeights(true);
    tree->setHeaderLabels({"文件名称", "文件类型", "文件大小", "价值指数", "人气指数", "收录时间",
                           "文件地址", "文件ID"});
    QList<QTreeWidgetItem*> items;
    for (int i = 0; i < 10000; ++i) {
      auto* item = new QTreeWidgetItem;
      item->setText(0, QStringLiteral("2013年英语四级真题%1.pdf").arg(i));
      item->setText(1, QStringLiteral("pdf"));
      item->setText(2, QStringLiteral("%1 KB").arg(1000 + i * 7));
      item->setText(3, QString::number(i % 101));
      item->setText(4, QString::number(i * 13));
      item->setText(5, QStringLiteral("2013-09-11"));
      item->setText(6, QStringLiteral("http://pan.example.com/s/%1").arg(i));
      item->setText(7, QString::number(i));
      items.push_back(item);
    }
    tree->addTopLevelItems(items);
    window.show();
    QApplication::processEvents();
  }
  QWidget window;
  QTreeWidget* tree = nullptr;
};

void ScrollList(benchmark::State& state, bool skinned) {
  ListWindow list;
  if (skinned)
    qelo::ui::InstallSkinStyle(Skin());
  else
    qelo::ui::RemoveSkinStyle();
  QScrollBar* bar = list.tree->verticalScrollBar();
  for (auto _ : state) {
    bar->setValue(bar->value() >= bar->maximum() ? 0 : bar->value() + 1);
    list.window.repaint();
  }
  state.counters["frames_per_second"] =
      benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
  qelo::ui::RemoveSkinStyle();
}

void BM_ScrollList10kPalette(benchmark::State& state) {
  ScrollList(state, false);
}
void BM_ScrollList10kSkinned(benchmark::State& state) {
  ScrollList(state, true);
}
BENCHMARK(BM_ScrollList10kPalette)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_ScrollList10kSkinned)->Unit(benchmark::kMillisecond)->MinTime(2.0);

void SaveShots(const std::string& dir) {
  qelo::app::TMainForm main;
  QMessageBox box(QMessageBox::Information, QStringLiteral("提示信息"),
                  QStringLiteral("确认删除此皮肤？"));
  box.addButton(QStringLiteral("确定"), QMessageBox::AcceptRole);
  box.addButton(QStringLiteral("取消"), QMessageBox::RejectRole);
  QMenu menu;
  menu.addAction(QStringLiteral("更换皮肤(&C)"));
  menu.addAction(QStringLiteral("退出软件(&Q)"))->setEnabled(false);
  main.FillResults(std::string("[]"));
  // The kinds of control the other windows use.
  QWidget controls;
  controls.resize(420, 260);
  auto* group = new QGroupBox(QStringLiteral("可用皮肤"), &controls);
  group->setGeometry(8, 8, 200, 150);
  auto* entries = new QListWidget(group);
  entries->setGeometry(8, 24, 184, 118);
  entries->addItems({QStringLiteral("Charm皮肤"), QStringLiteral("Demo皮肤")});
  entries->setCurrentRow(0);
  auto* combo = new QComboBox(&controls);
  combo->addItems({QStringLiteral("- 请选择 -"), QStringLiteral("10分满意")});
  combo->setGeometry(220, 16, 120, 25);
  auto* edit = new QLineEdit(QStringLiteral("edit"), &controls);
  edit->setGeometry(220, 50, 120, 23);
  auto* off = new QLineEdit(QStringLiteral("disabled"), &controls);
  off->setGeometry(220, 80, 120, 23);
  off->setEnabled(false);
  auto* memo = new QTextEdit(QStringLiteral("memo"), &controls);
  memo->setGeometry(220, 110, 190, 80);
  auto* disabled = new QPushButton(QStringLiteral("删除皮肤"), &controls);
  disabled->setGeometry(8, 170, 75, 25);
  disabled->setEnabled(false);
  auto* pressed = new QPushButton(QStringLiteral("使用皮肤"), &controls);
  pressed->setGeometry(90, 170, 75, 25);
  pressed->setDown(true);
  auto* tabs = new QTabWidget(&controls);
  tabs->setGeometry(8, 200, 200, 56);
  tabs->addTab(new QWidget, QStringLiteral("软件说明"));
  tabs->addTab(new QWidget, QStringLiteral("使用协议"));
  auto* status = new QStatusBar(&controls);
  status->setGeometry(220, 236, 200, 21);
  status->addWidget(new QLabel(QStringLiteral("status")), 1);
  controls.show();
  main.show();
  box.show();
  menu.popup(QPoint(0, 0));
  QApplication::processEvents();
  for (const bool skinned : {false, true}) {
    if (skinned) qelo::ui::InstallSkinStyle(Skin());
    QApplication::processEvents();
    const std::string suffix = skinned ? "-skinned.png" : "-palette.png";
    main.grab().save(QString::fromStdString(dir + "/main" + suffix));
    box.grab().save(QString::fromStdString(dir + "/box" + suffix));
    menu.grab().save(QString::fromStdString(dir + "/menu" + suffix));
    controls.grab().save(QString::fromStdString(dir + "/controls" + suffix));
  }
  qelo::ui::RemoveSkinStyle();
}

}  // namespace

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  qelo::ui::TApplication app(argc, argv);
  for (int i = 1; i < argc; ++i) {
    if (std::strncmp(argv[i], "--shot=", 7) == 0) {
      SaveShots(argv[i] + 7);
      return 0;
    }
  }
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
