// Documents of other shapes than the search reply for the JSON benchmark, made from a fixed
// seed (the same bytes on every run): number-heavy coordinate lists, a catalog of many object
// shapes keyed by numeric ids, and a social feed of long, partly escaped, non-ASCII texts nested
// about eight levels deep. Fractional numbers always have more than four fraction digits, so
// every reader takes them as doubles.
#pragma once

#include <cstddef>
#include <string>

namespace qelo::bench {

// Polygons of coordinate pairs with 6 to 15 significant digits.
std::string MakeCoordinatesUtf8(std::size_t bytes);
// Named areas, events and performances keyed by numeric ids, with members that come and go.
std::string MakeCatalogUtf8(std::size_t bytes);
// Posts with authors, mentions, tags and reposts; a tenth of the texts hold escapes and
// non-ASCII text.
std::string MakeFeedUtf8(std::size_t bytes);

// UTF-8 to UTF-16 (valid input only).
std::u16string Utf8ToUtf16(const std::string& utf8);

}  // namespace qelo::bench
