// The member table of an object value: a height-balanced search tree keyed by name hash and name.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "json/json_value.h"

namespace qelo::json {

// h := u + 129 * h + 0x9E370001 (mod 2^32) over the units of the name.
uint32_t JsonNameHash(std::u16string_view name);

struct TJsonAvlEntry {
  int32_t greater = -1;  // index of the greater child, -1 for none
  int32_t lesser = -1;   // index of the lesser child
  int32_t balance = 0;   // height of the greater side minus that of the lesser side
  uint32_t hash = 0;
  std::size_t name_at = 0;  // the name: units name_at .. name_at + name_length of the name pool
  std::size_t name_length = 0;
  IJsonValue value;
};

// Entries live in one block and link by index, their names in one pool of units; the table
// never removes an entry.
class TJsonAvlTree {
 public:
  int32_t Count() const { return static_cast<int32_t>(entries_.size()); }
  int32_t Root() const { return root_; }
  const TJsonAvlEntry& Entry(int32_t index) const {
    return entries_[static_cast<std::size_t>(index)];
  }
  std::u16string_view Name(const TJsonAvlEntry& entry) const {
    return std::u16string_view(names_).substr(entry.name_at, entry.name_length);
  }

 protected:
  TJsonAvlEntry& At(int32_t index) { return entries_[static_cast<std::size_t>(index)]; }

  std::vector<TJsonAvlEntry> entries_;
  std::u16string names_;
  int32_t root_ = -1;
};

class TJsonMemberTable : public TJsonAvlTree {
 public:
  // The value of the member named exactly name, or absent.
  IJsonValue Find(std::u16string_view name) const;
  // Adds the member, or replaces the value of the member of that name in place.
  void Put(std::u16string_view name, IJsonValue value);
  // Moves every held reference into out, leaving the values absent.
  void DetachValues(std::vector<TJsonValue*>& out);
  // Height of the tree (0 when empty); for checks of the balance.
  int32_t Height() const;

 private:
  int Side(uint32_t hash, std::u16string_view name, const TJsonAvlEntry& entry) const;
};

// Walks the tree from its lesser end: descending hash, equal hashes by ascending name.
class TJsonAvlIterator {
 public:
  explicit TJsonAvlIterator(const TJsonAvlTree& tree);
  // The next entry, or nullptr at the end.
  const TJsonAvlEntry* Next();

 private:
  void DescendLesser(int32_t index);

  const TJsonAvlTree& tree_;
  std::vector<int32_t> path_;
};

// Both accept the nothing that ObjectOf gives for other kinds (absent; no effect).
IJsonValue FindMember(const TJsonMemberTable* table, std::u16string_view name);
void PutMember(TJsonMemberTable* table, std::u16string_view name, IJsonValue value);

}  // namespace qelo::json
