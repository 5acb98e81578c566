#include "json/json_member_table.h"

#include <algorithm>

namespace qelo::json {

uint32_t JsonNameHash(std::u16string_view name) {
  uint32_t h = 0;
  for (char16_t u : name)
    h = u + 129u * h + 0x9E370001u;
  return h;
}

// -1 when (hash, name) lies on the lesser side of entry, +1 on the greater side, 0 when equal.
int TJsonMemberTable::Side(uint32_t hash, std::u16string_view name,
                           const TJsonAvlEntry& entry) const {
  if (hash != entry.hash) return hash > entry.hash ? -1 : 1;
  const int c = name.compare(Name(entry));
  return c < 0 ? -1 : (c > 0 ? 1 : 0);
}

IJsonValue TJsonMemberTable::Find(std::u16string_view name) const {
  const uint32_t hash = JsonNameHash(name);
  int32_t at = root_;
  while (at >= 0) {
    const TJsonAvlEntry& e = Entry(at);
    const int side = Side(hash, name, e);
    if (side == 0) return e.value;
    at = side < 0 ? e.lesser : e.greater;
  }
  return {};
}

// Height-balanced insertion: remember the deepest ancestor with a nonzero balance (s) and its
// parent (t); only balances between s and the new leaf change, and only s may need a rotation.
void TJsonMemberTable::Put(std::u16string_view name, IJsonValue value) {
  const uint32_t hash = JsonNameHash(name);
  auto child = [this](int32_t at, int side) -> int32_t& {
    return side < 0 ? At(at).lesser : At(at).greater;
  };
  auto add = [&]() {
    entries_.push_back(
        TJsonAvlEntry{-1, -1, 0, hash, names_.size(), name.size(), std::move(value)});
    names_.append(name);
    name = Name(entries_.back());  // the caller's text may have lived in the pool itself
    return Count() - 1;
  };
  if (root_ < 0) {
    entries_.reserve(8);  // room for a typical record without regrowing
    names_.reserve(96);
    root_ = add();
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
      q = add();
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

void TJsonMemberTable::DetachValues(std::vector<TJsonValue*>& out) {
  for (TJsonAvlEntry& e : entries_) {
    if (TJsonValue* v = e.value.Detach()) out.push_back(v);
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
