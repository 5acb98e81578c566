// Splits a form body the way the client builds it: fields separated by "&", each field split at
// its first "=". Nothing is percent-decoded, "+" stays "+"; the bytes are taken exactly as sent.
#pragma once

#include <optional>
#include <string_view>
#include <vector>

namespace qelo::service {

struct FormField {
  std::string_view name;
  std::string_view value;  // empty when the field has no "="
  bool operator==(const FormField&) const = default;
};

class FormBody {
 public:
  // Views into `body`, which must outlive this object.
  explicit FormBody(std::string_view body);

  const std::vector<FormField>& Fields() const { return fields_; }
  // The value of the first field called `name`, or nothing when there is none.
  std::optional<std::string_view> Value(std::string_view name) const;

 private:
  std::vector<FormField> fields_;
};

}  // namespace qelo::service
