#include "json/json_member_table.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "json/json_scan.h"

namespace qelo::json {

// Four units at a time the step is h * 129^4 + (u0 + c) * 129^3 + (u1 + c) * 129^2 +
// (u2 + c) * 129 + (u3 + c), which leaves one multiplication per four units on the chain from
// one step to the next.
uint32_t JsonNameHash(std::u16string_view name) {
  constexpr uint32_t c = 0x9E370001u;
  constexpr uint32_t p2 = 129u * 129u, p3 = p2 * 129u, p4 = p3 * 129u;
  uint32_t h = 0;
  std::size_t i = 0;
  for (; i + 4 <= name.size(); i += 4) {
    h = h * p4 + (name[i] + c) * p3 + (name[i + 1] + c) * p2 + (name[i + 2] + c) * 129u +
        (name[i + 3] + c);
  }
  for (; i < name.size(); ++i)
    h = name[i] + 129u * h + c;
  return h;
}

struct TJsonAvlTree::HeapStorage {
  std::unique_ptr<TJsonAvlEntry[]> entries;
  // The names the table made, packed into chunks that never move.
  std::vector<std::unique_ptr<std::byte[]>> chunks;
  std::byte* free = nullptr;
  std::size_t left = 0;

  const TJsonName* StoreName(std::u16string_view name) {
    const std::size_t bytes =
        (sizeof(TJsonName) + name.size() * sizeof(char16_t) + 7) & ~std::size_t{7};
    if (bytes > left) {
      const std::size_t chunk = std::max(bytes, std::min<std::size_t>(4096, 128 << chunks.size()));
      chunks.push_back(std::make_unique_for_overwrite<std::byte[]>(chunk));
      free = chunks.back().get();
      left = chunk;
    }
    TJsonName* stored = new (free) TJsonName{name.size()};
    std::memcpy(stored + 1, name.data(), name.size() * sizeof(char16_t));
    free += bytes;
    left -= bytes;
    return stored;
  }
};

TJsonAvlTree::TJsonAvlTree() = default;

// A table is destroyed with its value, which has taken over the handles of the entries
// (HandOverEach) by then; entries in an arena go with the arena.
TJsonAvlTree::~TJsonAvlTree() = default;

bool TJsonAvlTree::OnHeap() const {
  return heap_ && entries_ == heap_->entries.get();
}

TJsonMemberTable::TJsonMemberTable(TJsonAvlEntry* entries, int32_t count, int32_t root) {
  entries_ = entries;
  count_ = count;
  capacity_ = count;
  root_ = root;
}

// -1 when (hash, name) lies on the lesser side of entry, +1 on the greater side, 0 when equal.
int TJsonMemberTable::Side(uint32_t hash, std::u16string_view name,
                           const TJsonAvlEntry& entry) const {
  if (hash != entry.hash) return hash > entry.hash ? -1 : 1;
  const int c = name.compare(Name(entry));
  return c < 0 ? -1 : (c > 0 ? 1 : 0);
}

IJsonValue TJsonMemberTable::Find(std::u16string_view name) const {
  const TJsonAvlEntry* e = FindEntry(name, JsonNameHash(name));
  return e ? e->value : IJsonValue{};
}

const TJsonAvlEntry* TJsonMemberTable::FindEntry(std::u16string_view name, uint32_t hash) const {
  auto same = [name](const TJsonAvlEntry& e) {
    const std::u16string_view other = e.name->View();
    return name.size() == other.size() && scan::SameUnits(name.data(), other.data(), name.size());
  };
  // A small table is faster scanned in a row than walked, with a branch that is seldom taken
  // instead of one that goes either way at every level.
  if (count_ <= 16) {
    for (int32_t i = 0; i < count_; ++i) {
      const TJsonAvlEntry& e = entries_[static_cast<std::size_t>(i)];
      if (e.hash == hash && same(e)) return &e;
    }
    return nullptr;
  }
  int32_t at = root_;
  while (at >= 0) {
    const TJsonAvlEntry& e = Entry(at);
    if (hash == e.hash) {
      if (same(e)) return &e;
      at = name < e.name->View() ? e.lesser : e.greater;
    } else {
      at = hash > e.hash ? e.lesser : e.greater;
    }
  }
  return nullptr;
}

// A new unlinked entry with a name of the table's own; entries move to a larger block on the
// heap when full (names stay where they are).
int32_t TJsonMemberTable::Add(uint32_t hash, std::u16string_view name, IJsonValue value) {
  if (!heap_) heap_ = std::make_unique<HeapStorage>();
  if (count_ == capacity_) {
    const int32_t capacity = std::max(8, count_ * 2);
    auto entries = std::make_unique<TJsonAvlEntry[]>(static_cast<std::size_t>(capacity));
    std::move(entries_, entries_ + count_, entries.get());
    if (entries_ != heap_->entries.get()) std::destroy_n(entries_, count_);
    heap_->entries = std::move(entries);
    entries_ = heap_->entries.get();
    capacity_ = capacity;
  }
  entries_[count_] = TJsonAvlEntry{-1, -1, 0, hash, heap_->StoreName(name), std::move(value)};
  return count_++;
}

// Height-balanced insertion: remember the deepest ancestor with a nonzero balance (s) and its
// parent (t); only balances between s and the new leaf change, and only s may need a rotation.
void TJsonMemberTable::Put(std::u16string_view name, IJsonValue value) {
  TJsonValue::ContainerChanged(this);
  const uint32_t hash = JsonNameHash(name);
  auto child = [this](int32_t at, int side) -> int32_t& {
    return side < 0 ? At(at).lesser : At(at).greater;
  };
  if (root_ < 0) {
    root_ = Add(hash, name, std::move(value));
    return;
  }
  int32_t t = -1, s = root_, p = root_, q = -1;
  for (;;) {
    const int side = Side(hash, name, Entry(p));
    if (side == 0) {
      At(p).value = std::move(value);
      return;
    }
    q = child(p, side);
    if (q < 0) {
      q = Add(hash, name, std::move(value));
      child(p, side) = q;
      break;
    }
    if (Entry(q).balance != 0) {
      t = p;
      s = q;
    }
    p = q;
  }
  const int a = Side(hash, name, Entry(s));
  const int32_t r = child(s, a);
  for (p = r; p != q;) {
    const int side = Side(hash, name, Entry(p));
    At(p).balance = side;
    p = child(p, side);
  }
  if (Entry(s).balance == 0) {
    At(s).balance = a;
    return;
  }
  if (Entry(s).balance == -a) {
    At(s).balance = 0;
    return;
  }
  int32_t top;
  if (Entry(r).balance == a) {  // single rotation
    top = r;
    child(s, a) = child(r, -a);
    child(r, -a) = s;
    At(s).balance = 0;
    At(r).balance = 0;
  } else {  // double rotation
    top = child(r, -a);
    child(r, -a) = child(top, a);
    child(top, a) = r;
    child(s, a) = child(top, -a);
    child(top, -a) = s;
    const int b = Entry(top).balance;
    At(s).balance = b == a ? -a : 0;
    At(r).balance = b == -a ? a : 0;
    At(top).balance = 0;
  }
  if (t < 0) {
    root_ = top;
  } else if (Entry(t).greater == s) {
    At(t).greater = top;
  } else {
    At(t).lesser = top;
  }
}

int32_t TJsonMemberTable::Height() const {
  int32_t height = 0;
  std::vector<std::pair<int32_t, int32_t>> stack;  // (entry, depth)
  if (root_ >= 0) stack.emplace_back(root_, 1);
  while (!stack.empty()) {
    auto [at, depth] = stack.back();
    stack.pop_back();
    height = std::max(height, depth);
    if (Entry(at).lesser >= 0) stack.emplace_back(Entry(at).lesser, depth + 1);
    if (Entry(at).greater >= 0) stack.emplace_back(Entry(at).greater, depth + 1);
  }
  return height;
}

TJsonAvlIterator::TJsonAvlIterator(const TJsonAvlTree& tree) : tree_(tree) {
  DescendLesser(tree.Root());
}

void TJsonAvlIterator::DescendLesser(int32_t index) {
  for (; index >= 0; index = tree_.Entry(index).lesser)
    path_.push_back(index);
}

const TJsonAvlEntry* TJsonAvlIterator::Next() {
  if (path_.empty()) return nullptr;
  const TJsonAvlEntry& e = tree_.Entry(path_.back());
  path_.pop_back();
  DescendLesser(e.greater);
  return &e;
}

IJsonValue FindMember(const TJsonMemberTable* table, std::u16string_view name) {
  return table ? table->Find(name) : IJsonValue{};
}

void PutMember(TJsonMemberTable* table, std::u16string_view name, IJsonValue value) {
  if (table) table->Put(name, std::move(value));
}

}  // namespace qelo::json
