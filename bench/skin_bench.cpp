// Skin loading and re-skinning. BM_LoadBuiltin: the built-in body applied to a holder with no
// windows (inflate, pictures, text, sections); goal under 20 ms. BM_ReskinWindows: the same
// apply with the main window and four more windows shown, each taking the new palette; goal
// under 50 ms. BM_SkinListTable: the skin window's table built from a list reply of 16,000
// names (what filling the list and every click do). Offscreen unless QT_QPA_PLATFORM says
// otherwise.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QDialog>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <cstdlib>
#include <memory>
#include <vector>

#include "app/main_form.h"
#include "skin/builtin_skin.h"
#include "skin/skin_data.h"
#include "skin/skin_list.h"

namespace {

void BM_LoadBuiltin(benchmark::State& state) {
  qelo::skin::TskCompressedStoredSkin builtin;
  builtin.CompressedData = std::string(qelo::skin::BuiltinSkinData());
  qelo::skin::TskSkinData holder;
  for (auto _ : state) {
    holder.ApplyContainer(builtin);
    benchmark::DoNotOptimize(holder.Picture());
  }
  state.counters["body_bytes"] = static_cast<double>(builtin.CompressedData.size());
}
BENCHMARK(BM_LoadBuiltin)->Unit(benchmark::kMillisecond);

void BM_SkinListTable(benchmark::State& state) {
  std::string reply;
  for (int i = 0; i < 16000; ++i)
    reply += (i ? "," : "") + std::string("skin") + std::to_string(i);
  for (auto _ : state)
    benchmark::DoNotOptimize(qelo::skin::BuildSkinTable(reply));
  state.counters["reply_bytes"] = static_cast<double>(reply.size());
}
BENCHMARK(BM_SkinListTable)->Unit(benchmark::kMillisecond);

void BM_ReskinWindows(benchmark::State& state) {
  qelo::app::TMainForm form;
  form.show();
  // Stand-ins for the preview, skin, about and report windows, each with a few controls.
  std::vector<std::unique_ptr<QDialog>> others;
  for (int i = 0; i < 4; ++i) {
    auto d = std::make_unique<QDialog>();
    auto* column = new QVBoxLayout(d.get());
    for (int j = 0; j < 8; ++j) {
      column->addWidget(new QLineEdit);
      column->addWidget(new QPushButton(QStringLiteral("OK")));
    }
    d->show();
    others.push_back(std::move(d));
  }
  QApplication::processEvents();
  for (auto _ : state) {
    form.skSkinData1.ApplyContainer(form.skCompressedStoredSkin1);
    QApplication::processEvents();
  }
}
BENCHMARK(BM_ReskinWindows)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
