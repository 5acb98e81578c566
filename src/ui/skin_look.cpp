#include "ui/skin_look.h"

#include <QPainter>
#include <algorithm>

#include "skin/skin_text.h"
#include "ui/skin_source.h"

namespace qelo::ui {

namespace skin_values {

namespace {

// Digits beyond this make a number that no picture can reach; keeping them bounded keeps the
// arithmetic on rectangles safe.
constexpr long long kNumberCap = 1'000'000'000;

}  // namespace

std::optional<long long> ParseInt(std::string_view text) {
  return skin::ParseSkinInteger(text);
}

std::optional<QRect> ParseRect(std::string_view text) {
  long long numbers[4] = {};
  int count = 0;
  while (count < 4) {
    const size_t comma = text.find(',');
    const std::string_view field = text.substr(0, comma);
    long long value = 0;
    bool anyDigit = false;
    for (const char c : field) {
      if (c < '0' || c > '9') continue;
      anyDigit = true;
      value = std::min(value * 10 + (c - '0'), kNumberCap);
    }
    if (!anyDigit) return std::nullopt;
    numbers[count++] = value;
    if (comma == std::string_view::npos) break;
    text.remove_prefix(comma + 1);
  }
  if (count < 4) return std::nullopt;
  const long long width = numbers[2] - numbers[0];
  const long long height = numbers[3] - numbers[1];
  if (width <= 0 || height <= 0) return std::nullopt;
  return QRect(static_cast<int>(numbers[0]), static_cast<int>(numbers[1]), static_cast<int>(width),
               static_cast<int>(height));
}

std::optional<QColor> ParseColor(std::string_view text) {
  const std::optional<long long> value = ParseInt(text);
  if (!value || *value < 0) return std::nullopt;
  const auto v = static_cast<unsigned long long>(*value);
  return QColor(static_cast<int>(v & 0xff), static_cast<int>((v >> 8) & 0xff),
                static_cast<int>((v >> 16) & 0xff));
}

}  // namespace skin_values

// --- NineSlice --------------------------------------------------------------------------------

namespace {

// Composed images kept per slice, and the largest one worth keeping.
constexpr size_t kRenderedSizes = 6;
constexpr qint64 kRenderedMaxPixels = 1600 * 1200;

// Splits a length into the two borders and the middle, shrinking the borders in proportion
// when the length is shorter than both together.
struct Span {
  int first, middle, last;
};

Span SplitLength(int length, int first, int last) {
  if (first + last > length) {
    const int total = first + last;
    first = total ? first * length / total : 0;
    last = length - first;
  }
  return {first, length - first - last, last};
}

}  // namespace

NineSlice::NineSlice(const QImage& picture, const QRect& rect, const QMargins& borders,
                     bool stretch)
    : borders_(borders), size_(rect.size()), stretch_(stretch) {
  const int xs[4] = {rect.left(), rect.left() + borders.left(), rect.right() + 1 - borders.right(),
                     rect.right() + 1};
  const int ys[4] = {rect.top(), rect.top() + borders.top(), rect.bottom() + 1 - borders.bottom(),
                     rect.bottom() + 1};
  for (int row = 0; row < 3; ++row) {
    for (int col = 0; col < 3; ++col) {
      const QRect piece(xs[col], ys[row], xs[col + 1] - xs[col], ys[row + 1] - ys[row]);
      if (!piece.isEmpty()) pieces_[row * 3 + col] = QPixmap::fromImage(picture.copy(piece));
    }
  }
}

void NineSlice::Compose(QPainter& painter, const QRect& target) const {
  const Span h = SplitLength(target.width(), borders_.left(), borders_.right());
  const Span v = SplitLength(target.height(), borders_.top(), borders_.bottom());
  const int xs[3] = {target.left(), target.left() + h.first, target.left() + h.first + h.middle};
  const int ws[3] = {h.first, h.middle, h.last};
  const int ys[3] = {target.top(), target.top() + v.first, target.top() + v.first + v.middle};
  const int hs[3] = {v.first, v.middle, v.last};
  for (int row = 0; row < 3; ++row) {
    for (int col = 0; col < 3; ++col) {
      const QPixmap& piece = pieces_[row * 3 + col];
      const QRect cell(xs[col], ys[row], ws[col], hs[row]);
      if (piece.isNull() || cell.isEmpty()) continue;
      const bool corner = row != 1 && col != 1;
      if (corner || stretch_)
        painter.drawPixmap(cell, piece);
      else
        painter.drawTiledPixmap(cell, piece);
    }
  }
}

void NineSlice::Draw(QPainter& painter, const QRect& target) const {
  if (IsNull() || target.isEmpty()) return;
  const QSize size = target.size();
  if (static_cast<qint64>(size.width()) * size.height() > kRenderedMaxPixels) {
    Compose(painter, target);
    return;
  }
  auto it = std::find_if(rendered_.begin(), rendered_.end(),
                         [&](const Rendered& r) { return r.size == size; });
  if (it == rendered_.end()) {
    QPixmap pixmap(size);
    pixmap.fill(Qt::transparent);
    {
      QPainter p(&pixmap);
      Compose(p, QRect(QPoint(0, 0), size));
    }
    if (rendered_.size() == kRenderedSizes) rendered_.pop_back();
    rendered_.insert(rendered_.begin(), Rendered{size, std::move(pixmap)});
    it = rendered_.begin();
  } else if (it != rendered_.begin()) {
    std::rotate(rendered_.begin(), it, it + 1);
    it = rendered_.begin();
  }
  painter.drawPixmap(target.topLeft(), it->pixmap);
}

// --- SkinLook ---------------------------------------------------------------------------------

namespace {

std::string Lower(std::string_view text) {
  std::string out(text);
  for (char& c : out)
    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

// Reads one section. nullopt with damaged unset: the section gives no look (missing, not
// listed, or without skinrect). damaged set: the section is unusable.
class PartReader {
 public:
  PartReader(const SkinSource& source, std::string_view name) : source_(source), name_(name) {}

  std::optional<SkinPart> Read() {
    if (!source_.Lists(name_)) return std::nullopt;
    const std::optional<std::string> normalRect = Value("skinrect");
    if (!normalRect) return std::nullopt;

    const long long index = Int("picture", -1);
    picture_ =
        index >= -1 && index <= 0x7fffffff ? source_.Picture(static_cast<int>(index)) : nullptr;
    if (!picture_ || picture_->isNull()) return Fail();
    const long long l = Int("leftoffset", 0), t = Int("topoffset", 0);
    const long long r = Int("rightoffset", 0), b = Int("bottomoffset", 0);
    if (l < 0 || t < 0 || r < 0 || b < 0) return Fail();
    borders_ = QMargins(static_cast<int>(l), static_cast<int>(t), static_cast<int>(r),
                        static_cast<int>(b));
    stretch_ = Int("stretch", 1) != 0;

    SkinPart part;
    std::optional<NineSlice> normal = Slice(*normalRect);
    if (!normal) return Fail();
    part.looks.fill(*normal);
    static const char* const kStateRects[] = {"activeskinrect", "downskinrect", "disabledskinrect"};
    for (int i = 0; i < 3; ++i) {
      if (std::optional<std::string> text = Value(kStateRects[i])) {
        std::optional<NineSlice> look = Slice(*text);
        if (!look) return Fail();
        part.looks[i + 1] = std::move(*look);
      }
    }
    if (std::optional<std::string> text = Value("trackrect")) {
      std::optional<NineSlice> track = Slice(*text);
      if (!track) return Fail();
      part.track = std::move(*track);
    }

    static const char* const kColours[] = {"fontcolor", "activefontcolor", "downfontcolor",
                                           "disabledfontcolor"};
    for (int i = 0; i < 4; ++i) {
      if (std::optional<std::string> text = Value(kColours[i]))
        part.fontColors[i] = skin_values::ParseColor(*text);
      if (!part.fontColors[i] && i > 0) part.fontColors[i] = part.fontColors[0];
    }
    return part;
  }

  bool damaged = false;

 private:
  std::optional<std::string> Value(std::string_view key) const { return source_.Value(name_, key); }

  long long Int(std::string_view key, long long fallback) const {
    const std::optional<std::string> text = Value(key);
    if (!text) return fallback;
    return skin_values::ParseInt(*text).value_or(fallback);
  }

  std::optional<NineSlice> Slice(const std::string& text) const {
    const std::optional<QRect> rect = skin_values::ParseRect(text);
    if (!rect || !picture_->rect().contains(*rect)) return std::nullopt;
    if (borders_.left() + borders_.right() > rect->width() ||
        borders_.top() + borders_.bottom() > rect->height())
      return std::nullopt;
    return NineSlice(*picture_, *rect, borders_, stretch_);
  }

  std::nullopt_t Fail() {
    damaged = true;
    return std::nullopt;
  }

  const SkinSource& source_;
  std::string_view name_;
  const QImage* picture_ = nullptr;
  QMargins borders_;
  bool stretch_ = true;
};

}  // namespace

const std::vector<std::string>& SkinLook::KnownSections() {
  static const std::vector<std::string> names = {
      "button",          "panel",      "groupbox",    "edit",        "memo",
      "combobox",        "listbox",    "listview",    "treeview",    "header",
      "hscrollbar",      "vscrollbar", "statusbar",   "statuspanel", "mainmenubar",
      "mainmenubaritem", "menuitem",   "popupwindow", "tab",         "checkbox",
      "radiobox"};
  return names;
}

std::shared_ptr<const SkinLook> SkinLook::Read(const SkinSource& source,
                                               const std::vector<std::string>& extra) {
  auto look = std::make_shared<SkinLook>();
  auto readOne = [&](const std::string& raw) {
    std::string name = Lower(raw);
    if (name.empty() || look->parts_.count(name)) return;
    PartReader reader(source, name);
    if (std::optional<SkinPart> part = reader.Read())
      look->parts_.emplace(std::move(name), std::move(*part));
    else if (reader.damaged)
      look->damaged_.push_back(std::move(name));
  };
  for (const std::string& name : KnownSections())
    readOne(name);
  for (const std::string& name : extra)
    readOne(name);
  return look;
}

const SkinPart* SkinLook::Part(std::string_view name) const {
  const auto it = parts_.find(name);
  if (it != parts_.end()) return &it->second;
  // Callers usually pass lower-case names; anything else is folded first.
  if (std::any_of(name.begin(), name.end(),
                  [](char c) { return std::isupper(static_cast<unsigned char>(c)); })) {
    const auto folded = parts_.find(Lower(name));
    if (folded != parts_.end()) return &folded->second;
  }
  return nullptr;
}

}  // namespace qelo::ui
