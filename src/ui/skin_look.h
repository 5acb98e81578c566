// The active skin's control looks, cut from its pictures once when the skin is taken up, so
// painting only copies finished pieces. A section that names a rectangle outside its picture,
// borders wider than its rectangle or a picture the skin does not have is left out whole: the
// control it belongs to keeps the palette look.
#pragma once

#include <QColor>
#include <QImage>
#include <QMargins>
#include <QPixmap>
#include <QRect>
#include <array>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

class QPainter;

namespace qelo::ui {

class SkinSource;

// Readers for the values of a skin section.
namespace skin_values {
// The skin text's integer rule (skin::ParseSkinInteger): a decimal integer with an optional sign,
// or "0x" or "$" and up to 32 bits of hexadecimal digits; bytes 0 to 32 around it are allowed.
// Anything else, or a number that does not fit, makes it no number.
std::optional<long long> ParseInt(std::string_view text);
// Four numbers separated by ",": left, top, right, bottom, right and bottom exclusive. Only the
// digits of each number count, so none is ever negative.
std::optional<QRect> ParseRect(std::string_view text);
// A colour in the platform's layout: red in the lowest byte, then green, then blue.
std::optional<QColor> ParseColor(std::string_view text);
}  // namespace skin_values

// The four looks of a control, in the order of the keys that hold them.
enum class SkinState { Normal = 0, Active = 1, Down = 2, Disabled = 3 };

// A rectangle of a picture cut into nine pieces: the corners are copied as they are, the edges
// and the centre are stretched (or tiled) over the rest of the target.
class NineSlice {
 public:
  NineSlice() = default;
  // rect must lie inside picture and borders must fit inside rect (SkinLook checks both).
  NineSlice(const QImage& picture, const QRect& rect, const QMargins& borders, bool stretch);

  bool IsNull() const { return size_.isEmpty(); }
  QSize SourceSize() const { return size_; }
  const QMargins& Borders() const { return borders_; }

  // Fills target. The finished image of the last few target sizes is kept, so a control that
  // repaints at an unchanged size costs one copy.
  void Draw(QPainter& painter, const QRect& target) const;

 private:
  void Compose(QPainter& painter, const QRect& target) const;

  // Row-major: top-left, top, top-right, left, centre, right, bottom-left, bottom, bottom-right.
  std::array<QPixmap, 9> pieces_;
  QMargins borders_;
  QSize size_;
  bool stretch_ = true;
  struct Rendered {
    QSize size;
    QPixmap pixmap;
  };
  mutable std::vector<Rendered> rendered_;
};

// One section's looks and text colours.
struct SkinPart {
  std::array<NineSlice, 4> looks;  // by SkinState; a missing state holds the normal look
  std::array<std::optional<QColor>, 4> fontColors;
  // Scroll bars: the groove behind the thumb ("trackrect"); may be null.
  NineSlice track;

  const NineSlice& Look(SkinState state) const { return looks[static_cast<int>(state)]; }
  std::optional<QColor> FontColor(SkinState state) const {
    return fontColors[static_cast<int>(state)];
  }
};

class SkinLook {
 public:
  // The section names every skin is asked for; the style's controls use these.
  static const std::vector<std::string>& KnownSections();

  // Reads the known sections and extra ones from source. Names are compared without regard
  // to letter case.
  static std::shared_ptr<const SkinLook> Read(const SkinSource& source,
                                              const std::vector<std::string>& extra = {});

  // The section's looks, or nullptr when the skin leaves that control to the palette.
  const SkinPart* Part(std::string_view name) const;
  // The sections that were left out for damage, for diagnostics.
  const std::vector<std::string>& Damaged() const { return damaged_; }

 private:
  std::map<std::string, SkinPart, std::less<>> parts_;
  std::vector<std::string> damaged_;
};

}  // namespace qelo::ui
