// Skin containers from disk or the network: the input is a container file (first byte even) or
// a decompressed body that is compressed here first (first byte odd, so the bitmap and text
// readers see arbitrary bytes rather than what inflate rejects). Loaded over a holder that holds
// a small valid skin, as the client's holder holds the built-in one.
#include <unistd.h>
#include <zlib.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>

#include "skin/skin_data.h"

namespace {

void Check(bool ok, const char* what) {
  if (!ok) {
    std::fprintf(stderr, "invariant violated: %s\n", what);
    std::abort();
  }
}

std::string Deflate(const std::string& data) {
  uLongf size = compressBound(data.size());
  std::string out(size, '\0');
  compress2(reinterpret_cast<Bytef*>(out.data()), &size,
            reinterpret_cast<const Bytef*>(data.data()), data.size(), 1);
  out.resize(size);
  return out;
}

std::string Container(const std::string& compressed) {
  std::string out("\2\0\0\0", 4);
  for (int i = 0; i < 4; ++i)
    out.push_back(static_cast<char>(compressed.size() >> (8 * i) & 0xFF));
  return out + compressed;
}

// Code 0, two empty slots, no active pictures, a text naming one control.
const std::string kValidBody =
    std::string("\0\0\0\0\1\1\0\0\0\0", 10) + "[SKINCONTROLS]\ncount=1\n0=button:button\n";

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const std::string input(reinterpret_cast<const char*>(data) + 1, size - 1);
  const std::string file = (data[0] & 1) ? Container(Deflate(input)) : input;

  static const std::string path = "/tmp/skin_container_fuzz." + std::to_string(::getpid());
  if (FILE* f = std::fopen(path.c_str(), "wb")) {
    std::fwrite(file.data(), 1, file.size(), f);
    std::fclose(f);
  }

  qelo::skin::TskCompressedStoredSkin valid;
  valid.CompressedData = Deflate(kValidBody);
  qelo::skin::TskSkinData holder;
  holder.ApplyContainer(valid);
  Check(!holder.Empty() && holder.Controls().size() == 1, "the valid skin loads");

  bool failed = false;
  try {
    holder.LoadContainerFile(path);
  } catch (const std::exception&) {
    failed = true;
  }
  Check(!holder.Changing(), "no load is left half-way");
  using qelo::skin::TLoadOutcome;
  if (failed)
    Check(
        holder.LastLoad() == TLoadOutcome::Unchanged || holder.LastLoad() == TLoadOutcome::Restored,
        "a failed load leaves the skin in force or puts it back");
  if (holder.LastLoad() == TLoadOutcome::Restored)
    Check(!holder.Empty() && holder.Controls().size() == 1, "the previous skin came back whole");
  if (holder.LastLoad() == TLoadOutcome::Empty) Check(holder.Empty(), "empty means empty");
  // Every decoded picture holds exactly its pixels.
  for (const auto* slot : {&holder.Picture(), &holder.Mask()})
    if (*slot)
      Check((*slot)->pixels.size() == static_cast<size_t>((*slot)->width) * (*slot)->height,
            "pixel count");
  for (const auto& b : holder.ActivePictures())
    Check(b.pixels.size() == static_cast<size_t>(b.width) * b.height, "active pixel count");
  return 0;
}
