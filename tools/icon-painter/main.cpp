// qelo-icon-painter OUTDIR ID: draws the application icon into OUTDIR as the hicolor theme lays
// it out: OUTDIR/scalable/apps/ID.svg and OUTDIR/SIZExSIZE/apps/ID.png for each bitmap size.
#include <QImage>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "icon_art.h"

namespace fs = std::filesystem;
namespace ip = qelo::iconpainter;

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: qelo-icon-painter OUTDIR ID\n");
    return 2;
  }
  const fs::path out = argv[1];
  const std::string id = argv[2];
  const auto shapes = ip::IconShapes();
  fs::create_directories(out / "scalable/apps");
  std::ofstream svg(out / "scalable/apps" / (id + ".svg"), std::ios::binary);
  svg << ip::IconSvg(shapes);
  if (!svg.flush()) {
    std::fprintf(stderr, "qelo-icon-painter: cannot write the SVG icon\n");
    return 1;
  }
  for (int size : {16, 24, 32, 48, 64, 128, 256}) {
    const std::string name = std::to_string(size) + "x" + std::to_string(size);
    fs::create_directories(out / name / "apps");
    const fs::path png = out / name / "apps" / (id + ".png");
    if (!ip::PaintIcon(shapes, size).save(QString::fromStdString(png.string()), "PNG")) {
      std::fprintf(stderr, "qelo-icon-painter: cannot write %s\n", png.c_str());
      return 1;
    }
  }
  return 0;
}
