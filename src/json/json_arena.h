// Block storage for the values of one parsed document. The reader carves every value, element
// list, member table, name and text out of a few large blocks instead of one heap allocation
// each; the blocks go back together when the last value made from them is destroyed,
// whichever thread releases it.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

#if defined(__SANITIZE_ADDRESS__)
#define QELO_JSON_ARENA_CHECKED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define QELO_JSON_ARENA_CHECKED 1
#endif
#endif

namespace qelo::json {

class TJsonArena {
 public:
  // A new arena, held by its creator until Seal. size_hint: about how many bytes will be needed.
  static TJsonArena* Create(std::size_t size_hint);

  TJsonArena(const TJsonArena&) = delete;
  TJsonArena& operator=(const TJsonArena&) = delete;

  // Room for bytes, 8-byte aligned, valid until the arena goes. Only the creator allocates, and
  // only before Seal: values already handed out may be used on other threads.
  void* Allocate(std::size_t bytes) {
#if QELO_JSON_ARENA_CHECKED
    return AllocateChecked(bytes);
#else
    bytes = (bytes + 7) & ~std::size_t{7};
    if (bytes > static_cast<std::size_t>(end_ - cursor_)) return AllocateSlow(bytes);
    void* at = cursor_;
    cursor_ += bytes;
    return at;
#endif
  }

  // The latest allocation, at `at`, of `bytes`, needs only `kept` bytes: the rest is reused.
  void Shrink(void* at, std::size_t bytes, std::size_t kept) {
    bytes = (bytes + 7) & ~std::size_t{7};
    kept = (kept + 7) & ~std::size_t{7};
#if QELO_JSON_ARENA_CHECKED
    PoisonTail(static_cast<char*>(at) + kept, bytes - kept);
#else
    if (static_cast<char*>(at) + bytes == cursor_) cursor_ = static_cast<char*>(at) + kept;
#endif
  }

  // Counts one more value made from the arena; each must later be given back by Release.
  void CountValue() {
    ++made_;
  }
  // Gives up the creator's hold. From then on the arena lives exactly as long as values made
  // from it; with none left, it goes at once.
  void Seal() {
    sealed_ = true;
    Release(kCreatorHold - made_);
  }

  // The value the reader handed out, through which all the others are reached.
  void SetRoot(const void* root) {
    root_ = root;
  }
  // A handle to one of the values was copied, or an element list or member table changed: a
  // value may now be held from outside its document's tree. Sticky.
  void MarkShared() {
    if (!shared_.load(std::memory_order_relaxed)) shared_.store(true, std::memory_order_relaxed);
  }
  // The last reference to value went. When it is the root of a document that was never
  // shared, nothing can reach any of the arena's values any more, and none owns anything
  // outside the arena: the arena goes at once, without a walk over the values, and true.
  bool ReleaseWhole(const void* value) {
    if (value != root_ || !sealed_ || shared_.load(std::memory_order_acquire)) return false;
    Destroy(this);
    return true;
  }
  // `count` values made from the arena were destroyed; the last release frees the arena.
  void Release(int64_t count) {
    if (live_.fetch_sub(count, std::memory_order_acq_rel) == count) Destroy(this);
  }

  // Bytes of blocks taken so far.
  std::size_t Reserved() const {
    return reserved_;
  }
  // Arenas in existence, in this process (for tests).
  static int64_t Live();

 private:
  // A block of kLargeBlock bytes mapped for the arena, given back when the arena goes.
  class LargeBlock {
   public:
    LargeBlock();
    LargeBlock(LargeBlock&& other) noexcept : at_(std::exchange(other.at_, nullptr)) {}
    LargeBlock& operator=(LargeBlock&&) = delete;
    ~LargeBlock();
    char* get() const { return at_; }

   private:
    char* at_;
  };

  // Stands for the creator until Seal; far above any count of values.
  static constexpr int64_t kCreatorHold = int64_t{1} << 62;

  friend struct std::default_delete<TJsonArena>;
  TJsonArena();
  ~TJsonArena();
  static void Destroy(TJsonArena* arena);
  void* AllocateSlow(std::size_t bytes);
  // Under the address sanitizer, blocks stay poisoned except for what was allocated, with a gap
  // after each allocation, so that reads past an allocation or into a block back in the cache
  // are reported.
  void* AllocateChecked(std::size_t bytes);
  void NoteBlock(std::size_t size);
  static void PoisonTail(char* at, std::size_t bytes);

  std::atomic<int64_t> live_{kCreatorHold};
  std::atomic<bool> shared_{false};
  bool sealed_ = false;
  const void* root_ = nullptr;
  int64_t made_ = 0;
  char* cursor_ = nullptr;
  char* end_ = nullptr;
  std::size_t next_block_ = 0;
  std::size_t reserved_ = 0;
  std::vector<std::unique_ptr<char[]>> blocks_;
  std::vector<LargeBlock> large_blocks_;
#if QELO_JSON_ARENA_CHECKED
  std::vector<std::size_t> block_sizes_;
#endif
};

}  // namespace qelo::json
