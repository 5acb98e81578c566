// What the skin style reads from the active skin: its pictures and the values of its sections.
// The skin holder's side implements it; tests implement it with pictures they draw themselves.
#pragma once

#include <optional>
#include <string>
#include <string_view>

class QImage;

namespace qelo::ui {

class SkinSource {
 public:
  virtual ~SkinSource() = default;

  // index -1: the skin's main "picture"; 0 and up: the active pictures in order. nullptr when
  // the skin has no such picture. The image must stay valid for the source's lifetime.
  virtual const QImage* Picture(int index) const = 0;

  // The raw text of key in section, or nothing when either is missing. Section and key names
  // are compared without regard to letter case.
  virtual std::optional<std::string> Value(std::string_view section,
                                           std::string_view key) const = 0;

  // Whether the skin lists name among its controls or window objects; only listed sections
  // give a control its look. A source without such lists treats every section as listed.
  virtual bool Lists(std::string_view name) const {
    (void)name;
    return true;
  }
};

}  // namespace qelo::ui
