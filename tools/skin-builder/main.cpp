// qelo-skin-builder: draws the built-in skin and the demo skins and writes, for each, NAME.skn
// (the container) and NAME.jpg (its 381 x 255 preview) into a folder. With --builtin-source it
// also writes the C++ source that carries the built-in skin's compressed body into the client.
// The output depends on nothing but this program, so every build makes the same bytes.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "skin_designs.h"
#include "skin_writer.h"

namespace sb = qelo::skinbuilder;

namespace {

std::string BuiltinSource(const std::string& compressed) {
  std::ostringstream out;
  out << "// Made by qelo-skin-builder: the compressed body of the built-in skin \"Charm\".\n"
         "#include \"skin/builtin_skin.h\"\n\nnamespace qelo::skin {\n\nnamespace {\n"
         "constexpr unsigned char kData[] = {";
  for (size_t i = 0; i < compressed.size(); ++i) {
    if (i % 20 == 0) out << "\n ";
    out << ' ' << static_cast<unsigned>(static_cast<unsigned char>(compressed[i])) << ',';
  }
  out << "\n};\n}  // namespace\n\nstd::string_view BuiltinSkinData() {\n"
         "  return {reinterpret_cast<const char*>(kData), sizeof kData};\n}\n\n"
         "}  // namespace qelo::skin\n";
  return out.str();
}

void WriteSkin(const std::filesystem::path& dir, const sb::TSkinDesign& design,
               const sb::TBuiltSkin& skin) {
  sb::WriteFile((dir / (design.name + ".skn")).string(), sb::ContainerFile(skin.compressed));
  sb::WriteFile((dir / (design.name + ".jpg")).string(), skin.preview);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2 && !(argc == 4 && std::string(argv[2]) == "--builtin-source")) {
    std::fprintf(stderr, "usage: qelo-skin-builder OUTDIR [--builtin-source FILE.cpp]\n");
    return 2;
  }
  try {
    const std::filesystem::path dir = argv[1];
    std::filesystem::create_directories(dir);
    const sb::TSkinDesign charm = sb::CharmDesign();
    const sb::TBuiltSkin built = sb::BuildSkin(charm);
    WriteSkin(dir, charm, built);
    for (const sb::TSkinDesign& design : sb::DemoDesigns())
      WriteSkin(dir, design, sb::BuildSkin(design));
    if (argc == 4) {
      // Written only when it changes, so an unchanged skin recompiles nothing.
      const std::string source = BuiltinSource(built.compressed);
      std::ifstream old(argv[3], std::ios::binary);
      const std::string before((std::istreambuf_iterator<char>(old)), {});
      if (before != source) sb::WriteFile(argv[3], source);
    }
  } catch (const std::exception& e) {
    std::fprintf(stderr, "qelo-skin-builder: %s\n", e.what());
    return 1;
  }
  return 0;
}
