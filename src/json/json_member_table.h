// The member table of an object value: a height-balanced search tree keyed by name hash and name.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "json/json_value.h"

namespace qelo::json {

// h := u + 129 * h + 0x9E370001 (mod 2^32) over the units of the name.
uint32_t JsonNameHash(std::u16string_view name);

// A member name: its length, then its units. Names never move once made, so a view of one
// stays valid while its table grows.
struct TJsonName {
  std::size_t length;
  std::u16string_view View() const { return {reinterpret_cast<const char16_t*>(this + 1), length}; }
};

struct TJsonAvlEntry {
  int32_t greater = -1;  // index of the greater child, -1 for none
  int32_t lesser = -1;   // index of the lesser child
  int32_t balance = 0;   // height of the greater side minus that of the lesser side
  uint32_t hash = 0;
  const TJsonName* name = nullptr;
  IJsonValue value;
};

// Entries live in one block and link by index; the table never removes an entry. A table the
// reader made keeps its entries and names in the document's arena until it has to grow.
class TJsonAvlTree {
 public:
  TJsonAvlTree();
  TJsonAvlTree(const TJsonAvlTree&) = delete;
  TJsonAvlTree& operator=(const TJsonAvlTree&) = delete;
  ~TJsonAvlTree();

  int32_t Count() const { return count_; }
  int32_t Root() const { return root_; }
  const TJsonAvlEntry& Entry(int32_t index) const {
    return entries_[static_cast<std::size_t>(index)];
  }
  std::u16string_view Name(const TJsonAvlEntry& entry) const { return entry.name->View(); }

 protected:
  struct HeapStorage;

  TJsonAvlEntry& At(int32_t index) { return entries_[static_cast<std::size_t>(index)]; }
  // The entries are in a block of the table's own, not in an arena.
  bool OnHeap() const;

  TJsonAvlEntry* entries_ = nullptr;
  int32_t count_ = 0;
  int32_t capacity_ = 0;  // entries that entries_ has room for
  int32_t root_ = -1;
  // Entries on the heap and the names this table made itself; none for a table as read.
  std::unique_ptr<HeapStorage> heap_;
};

class TJsonMemberTable : public TJsonAvlTree {
 public:
  // The value of the member named exactly name, or absent.
  IJsonValue Find(std::u16string_view name) const;
  // The entry of the member named exactly name, whose hash is given; nullptr when missing.
  const TJsonAvlEntry* FindEntry(std::u16string_view name, uint32_t hash) const;
  // Adds the member, or replaces the value of the member of that name in place.
  void Put(std::u16string_view name, IJsonValue value);
  // For the value teardown: hands every held reference to take(TJsonValue*); the table is
  // destroyed right after and does not release them again.
  template <class Take>
  void HandOverEach(Take&& take) {
    const bool in_arena = !OnHeap();
    for (int32_t i = 0; i < count_; ++i) {
      IJsonValue& value = At(i).value;
      // Entries in the arena are not cleared: nothing reads them again.
      if (TJsonValue* v = in_arena ? value.get() : value.Detach()) take(v);
    }
  }
  // Height of the tree (0 when empty); for checks of the balance.
  int32_t Height() const;

 private:
  friend struct TJsonBuild;
  // Made only behind the value that owns it (TJsonValue::ContainerChanged relies on it).
  TJsonMemberTable() = default;
  // A table over `count` entries that the reader placed in its arena, already linked.
  TJsonMemberTable(TJsonAvlEntry* entries, int32_t count, int32_t root);

  int Side(uint32_t hash, std::u16string_view name, const TJsonAvlEntry& entry) const;
  int32_t Add(uint32_t hash, std::u16string_view name, IJsonValue value);
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
