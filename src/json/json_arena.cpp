#include "json/json_arena.h"

#include <sys/mman.h>

#include <algorithm>
#include <mutex>
#include <new>

#if QELO_JSON_ARENA_CHECKED
#include <sanitizer/asan_interface.h>
#define QELO_POISON(at, bytes) ASAN_POISON_MEMORY_REGION(at, bytes)
#define QELO_UNPOISON(at, bytes) ASAN_UNPOISON_MEMORY_REGION(at, bytes)
#else
#define QELO_POISON(at, bytes) ((void)(at), (void)(bytes))
#define QELO_UNPOISON(at, bytes) ((void)(at), (void)(bytes))
#endif

namespace qelo::json {

namespace {

constexpr std::size_t kFirstBlock = 1024;
// Small documents take blocks from the heap, doubling up to this size.
constexpr std::size_t kLargestHeapBlock = std::size_t{256} << 10;
// Past this much, or for a document expected to need more, blocks are large ones: mapped from
// the system 2 MiB aligned and marked for transparent huge pages, so that a large document
// costs one page fault per 2 MiB instead of one per 4 KiB.
constexpr std::size_t kLargeFrom = std::size_t{1} << 20;
constexpr std::size_t kLargeBlock = std::size_t{2} << 20;
// A request above this gets a heap block of its own.
constexpr std::size_t kLargestShared = std::size_t{256} << 10;

std::atomic<int64_t> live_arenas{0};

// Large blocks of arenas that went, kept for the next documents: the first few (8 MiB) as
// they are, more (up to 64 MiB) handed to the kernel with MADV_FREE, which takes their pages
// back when it needs memory and otherwise leaves them for reuse without page faults. Never
// destroyed: arenas may still go while the program exits.
struct LargeBlockCache {
  static constexpr int kKept = 32;
  static constexpr int kKeptInUse = 4;
  std::mutex lock;
  char* blocks[kKept];
  int count = 0;
};
constinit LargeBlockCache large_block_cache{};

char* MapLargeBlock() {
  {
    std::lock_guard<std::mutex> hold(large_block_cache.lock);
    if (large_block_cache.count > 0) return large_block_cache.blocks[--large_block_cache.count];
  }
  // Twice the size, then the unaligned ends given back.
  const std::size_t mapped = 2 * kLargeBlock;
  void* raw = mmap(nullptr, mapped, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (raw == MAP_FAILED) throw std::bad_alloc();
  const auto begin = reinterpret_cast<uintptr_t>(raw);
  const uintptr_t at = (begin + kLargeBlock - 1) & ~(uintptr_t{kLargeBlock} - 1);
  if (at > begin) munmap(raw, at - begin);
  if (begin + mapped > at + kLargeBlock)
    munmap(reinterpret_cast<void*>(at + kLargeBlock), begin + mapped - at - kLargeBlock);
  madvise(reinterpret_cast<void*>(at), kLargeBlock, MADV_HUGEPAGE);
  return reinterpret_cast<char*>(at);
}

void UnmapLargeBlock(char* block) {
  QELO_POISON(block, kLargeBlock);
  {
    std::lock_guard<std::mutex> hold(large_block_cache.lock);
    const bool lazily = large_block_cache.count >= LargeBlockCache::kKeptInUse;
    if (large_block_cache.count < LargeBlockCache::kKept &&
        (!lazily || madvise(block, kLargeBlock, MADV_FREE) == 0)) {
      large_block_cache.blocks[large_block_cache.count++] = block;
      return;
    }
  }
  QELO_UNPOISON(block, kLargeBlock);
  munmap(block, kLargeBlock);
}

}  // namespace

TJsonArena::LargeBlock::LargeBlock() : at_(MapLargeBlock()) {}

TJsonArena::LargeBlock::~LargeBlock() {
  if (at_) UnmapLargeBlock(at_);
}

TJsonArena::TJsonArena() {
  live_arenas.fetch_add(1, std::memory_order_relaxed);
}

TJsonArena::~TJsonArena() {
  live_arenas.fetch_sub(1, std::memory_order_relaxed);
#if QELO_JSON_ARENA_CHECKED
  for (std::size_t i = 0; i < blocks_.size(); ++i)
    QELO_UNPOISON(blocks_[i].get(), block_sizes_[i]);
#endif
}

int64_t TJsonArena::Live() {
  return live_arenas.load(std::memory_order_relaxed);
}

TJsonArena* TJsonArena::Create(std::size_t size_hint) {
  std::unique_ptr<TJsonArena> arena(new TJsonArena);
  arena->next_block_ = size_hint >= 2 * kLargeFrom
                           ? kLargeBlock
                           : std::clamp<std::size_t>(size_hint, kFirstBlock, kLargestHeapBlock);
  return arena.release();
}

void TJsonArena::Destroy(TJsonArena* arena) {
  std::unique_ptr<TJsonArena> last_owner(arena);
}

void TJsonArena::NoteBlock(std::size_t size) {
#if QELO_JSON_ARENA_CHECKED
  block_sizes_.push_back(size);
  QELO_POISON(blocks_.back().get(), size);
#endif
  (void)size;
}

void TJsonArena::PoisonTail(char* at, std::size_t bytes) {
  QELO_POISON(at, bytes);
}

void* TJsonArena::AllocateChecked(std::size_t bytes) {
  constexpr std::size_t kGap = 16;
  bytes = (bytes + 7) & ~std::size_t{7};
  void* at;
  if (bytes + kGap > static_cast<std::size_t>(end_ - cursor_)) {
    at = AllocateSlow(bytes + kGap);
  } else {
    at = cursor_;
    cursor_ += bytes + kGap;
  }
  QELO_UNPOISON(at, bytes);
  return at;
}

void* TJsonArena::AllocateSlow(std::size_t bytes) {
  if (bytes > kLargestShared) {
    blocks_.push_back(std::make_unique_for_overwrite<char[]>(bytes));
    NoteBlock(bytes);
    reserved_ += bytes;
    return blocks_.back().get();
  }
  std::size_t size;
  if (next_block_ >= kLargeBlock || reserved_ >= kLargeFrom) {
    large_blocks_.emplace_back();
    size = kLargeBlock;
    cursor_ = large_blocks_.back().get();
  } else {
    size = std::max(next_block_, bytes);
    next_block_ = std::min(next_block_ * 2, kLargestHeapBlock);
    blocks_.push_back(std::make_unique_for_overwrite<char[]>(size));
    NoteBlock(size);
    cursor_ = blocks_.back().get();
  }
  QELO_POISON(cursor_, size);
  reserved_ += size;
  end_ = cursor_ + size;
  void* at = cursor_;
  cursor_ += bytes;
  return at;
}

}  // namespace qelo::json
