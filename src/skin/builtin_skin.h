// The built-in skin "Charm": its compressed body, drawn by the skin builder at build time and
// compiled into the program (library qelo_builtin_skin).
#pragma once

#include <string_view>

namespace qelo::skin {

inline constexpr const char* kBuiltinSkinName = "Charm";
inline constexpr const char* kBuiltinSkinFile = "Charm.skn";

std::string_view BuiltinSkinData();

}  // namespace qelo::skin
