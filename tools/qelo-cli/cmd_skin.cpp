// qelo-cli skin info FILE: loads FILE into a holder that starts in the built-in skin, as the
// main window does, and describes the holder afterwards, one "key: value" line each, in UTF-8.
// An error goes to stderr with exit 1 (the lines still describe the holder after it).
// qelo-cli skin builtin OUT: writes the built-in skin as a container file.
#include <cstdio>
#include <exception>
#include <fstream>
#include <optional>
#include <string>

#include "commands.h"
#include "skin/builtin_skin.h"
#include "skin/compressed_stored_skin.h"
#include "skin/skin_data.h"
#include "text/gbk.h"

namespace qelo::cli {

namespace {

constexpr char kUsage[] = "usage: qelo-cli skin info FILE | builtin OUT\n";

std::string Describe(const std::optional<skin::TSkinBitmap>& b) {
  if (!b) return "none";
  return std::to_string(b->width) + "x" + std::to_string(b->height) + "x" +
         std::to_string(b->bitCount);
}

std::string Entries(const std::vector<skin::TSkinEntry>& list) {
  std::string out;
  for (const skin::TSkinEntry& e : list)
    out += (out.empty() ? "" : " ") + e.name + ":" + e.type;
  return text::GbkToUtf8(out);
}

const char* State(const skin::TskSkinData& holder) {
  if (holder.Empty()) return "empty";
  switch (holder.LastLoad()) {
    case skin::TLoadOutcome::Loaded:
      return "loaded";
    case skin::TLoadOutcome::Restored:
      return "restored";
    default:
      return "unchanged";
  }
}

void PrintHolder(const skin::TskSkinData& h) {
  std::printf("state: %s\n", State(h));
  std::printf("code: %d\n", h.PictureCode());
  std::printf("picture: %s\n", Describe(h.Picture()).c_str());
  std::printf("inactivepicture: %s\n", Describe(h.InactivePicture()).c_str());
  std::printf("mask: %s\n", Describe(h.Mask()).c_str());
  std::printf("rolluppicture: %s\n", Describe(h.RollUpPicture()).c_str());
  std::printf("rollupmask: %s\n", Describe(h.RollUpMask()).c_str());
  std::printf("activepictures: %zu\n", h.ActivePictures().size());
  std::printf("sections: %zu\n", h.Text().Sections().size());
  std::printf("skinname: %s\n", text::GbkToUtf8(h.SkinName).c_str());
  std::string colors;
  for (size_t i = 0; i < skin::kSkinColorKeys.size(); ++i)
    colors +=
        (i ? " " : "") + std::string(skin::kSkinColorKeys[i]) + "=" + std::to_string(h.Colors[i]);
  std::printf("colors: %s\n", colors.c_str());
  std::printf("objects: %s\n", Entries(h.Objects()).c_str());
  std::printf("controls: %s\n", Entries(h.Controls()).c_str());
}

int Info(const std::string& path) {
  skin::TskCompressedStoredSkin builtin;
  builtin.CompressedFileName = skin::kBuiltinSkinFile;
  builtin.CompressedData = std::string(skin::BuiltinSkinData());
  skin::TskSkinData holder;
  holder.SetCompressedStoredSkin(&builtin);
  std::string error;
  try {
    holder.LoadContainerFile(path);
  } catch (const std::exception& e) {
    error = e.what();
  }
  PrintHolder(holder);
  std::fflush(stdout);
  if (error.empty()) return 0;
  std::fprintf(stderr, "%s\n", error.c_str());
  return 1;
}

int Builtin(const std::string& out) {
  std::ofstream file(out, std::ios::binary | std::ios::trunc);
  const std::string bytes = skin::ContainerFileBytes(std::string(skin::BuiltinSkinData()));
  file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!file.flush()) {
    std::fprintf(stderr, "qelo-cli skin: cannot write %s\n", out.c_str());
    return 1;
  }
  return 0;
}

}  // namespace

int RunSkin(const Args& args) {
  if (args.size() == 2 && args[0] == "info") return Info(args[1]);
  if (args.size() == 2 && args[0] == "builtin") return Builtin(args[1]);
  std::fputs(kUsage, stderr);
  return 2;
}

}  // namespace qelo::cli
