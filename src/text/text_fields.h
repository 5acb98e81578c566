// Taking delimited texts apart: the skin list, the settings line and names.
#pragma once

#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace qelo::text {

// Raised for an index that names no field.
class EListError : public std::out_of_range {
 public:
  using std::out_of_range::out_of_range;
};

// Field `index` (from 0) of `text` split at `delimiter`. Blanks and control characters (codes 1
// to 32) split fields too and vanish around delimiters; a field may be double-quoted, with a
// doubled double quote standing for one; a delimiter as the very last character adds an empty
// field. The text is walked in GBK characters, so the second byte of a double-byte character is
// never a delimiter, blank or quote; a byte 0 ends the text. An empty text gives an empty result,
// a text of fewer than two fields is returned whole. Throws EListError
// "List index out of bounds (<index>)" when there is no such field.
std::string PickField(char delimiter, std::string_view text, int index);
// Every field PickField picks from, in one pass (PickField's whole-text and empty-text rules
// are the caller's).
std::vector<std::string> SplitFields(char delimiter, std::string_view text);

// How many characters the text loses when every occurrence of sub (left to right, without
// overlap, at GBK character boundaries) is removed: for a one-character sub, its count.
int CountOf(std::string_view text, std::string_view sub);

}  // namespace qelo::text
