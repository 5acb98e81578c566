#include "form_body.h"

namespace qelo::service {

FormBody::FormBody(std::string_view body) {
  if (body.empty()) return;
  size_t start = 0;
  while (true) {
    const size_t amp = body.find('&', start);
    const std::string_view field =
        body.substr(start, amp == std::string_view::npos ? std::string_view::npos : amp - start);
    const size_t eq = field.find('=');
    if (eq == std::string_view::npos) {
      fields_.push_back({field, {}});
    } else {
      fields_.push_back({field.substr(0, eq), field.substr(eq + 1)});
    }
    if (amp == std::string_view::npos) break;
    start = amp + 1;
  }
}

std::optional<std::string_view> FormBody::Value(std::string_view name) const {
  for (const FormField& f : fields_) {
    if (f.name == name) return f.value;
  }
  return std::nullopt;
}

}  // namespace qelo::service
