#include "ui/skin_data_source.h"

#include <cstring>
#include <memory>

#include "ui/skin_style.h"

namespace qelo::ui {

QImage SkinBitmapToImage(const skin::TSkinBitmap& bitmap) {
  if (bitmap.width <= 0 || bitmap.height <= 0 ||
      bitmap.pixels.size() != static_cast<size_t>(bitmap.width) * bitmap.height)
    return {};
  QImage image(bitmap.width, bitmap.height, QImage::Format_RGB32);
  if (image.isNull()) return {};
  const size_t rowBytes = static_cast<size_t>(bitmap.width) * sizeof(uint32_t);
  for (int y = 0; y < bitmap.height; ++y)
    std::memcpy(image.scanLine(y), bitmap.pixels.data() + static_cast<size_t>(y) * bitmap.width,
                rowBytes);
  return image;
}

const QImage* TSkinDataSource::Picture(int index) const {
  const auto kept = images_.find(index);
  if (kept != images_.end()) return kept->second.isNull() ? nullptr : &kept->second;
  const skin::TSkinBitmap* bitmap = data_.PictureAt(index);
  QImage& image = images_[index];
  if (bitmap) image = SkinBitmapToImage(*bitmap);
  return image.isNull() ? nullptr : &image;
}

std::optional<std::string> TSkinDataSource::Value(std::string_view section,
                                                  std::string_view key) const {
  return data_.Value(section, key);
}

bool TSkinDataSource::Lists(std::string_view name) const {
  return data_.Control(name) || data_.Object(name);
}

void TSkinStyleFollower::SkinNotice(skin::TskSkinData& sender, skin::TSkinNotice notice) {
  switch (notice) {
    case skin::TSkinNotice::BeforeChange:
      RemoveSkinStyle(false);
      break;
    case skin::TSkinNotice::Change:
      if (sender.Empty())
        RemoveSkinStyle(false);
      else
        InstallSkinStyle(std::make_shared<TSkinDataSource>(sender), false);
      break;
    case skin::TSkinNotice::AfterChange:
      RepaintAllWindows();
      break;
  }
}

}  // namespace qelo::ui
