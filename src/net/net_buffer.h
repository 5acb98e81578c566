// The send buffer of a connection: a FIFO of fixed-size chunks with a free list, so a long
// upload reuses its chunks instead of allocating per block.
#pragma once

#include <cstdint>
#include <list>
#include <memory>
#include <mutex>
#include <string_view>

namespace qelo::net {

// One chunk: up to Size() bytes, written at WrCount and read from RdCount.
class TNetBuffer {
 public:
  explicit TNetBuffer(int size);
  int Size() const { return size_; }
  int WrCount() const { return wrCount_; }
  int RdCount() const { return rdCount_; }
  int Unread() const { return wrCount_ - rdCount_; }
  int Room() const { return size_ - wrCount_; }
  // Appends up to Room() bytes of data; returns how many were taken.
  int Write(const char* data, int len);
  std::string_view Peek() const;
  void Advance(int len) { rdCount_ += len; }
  void Reset() { wrCount_ = rdCount_ = 0; }

 private:
  std::unique_ptr<char[]> data_;
  int size_;
  int wrCount_ = 0;
  int rdCount_ = 0;
};

// FIFO of chunks plus free chunks for reuse. The lock is recursive so the connection can hold
// it across an event that appends again.
class TNetBufferHandler {
 public:
  static constexpr int kDefaultBufSize = 1460;

  explicit TNetBufferHandler(int bufSize = kDefaultBufSize);

  // Stores all len bytes: fills the last chunk, then takes free or new chunks.
  void Write(const void* data, int len);
  // The unread bytes of the first chunk; empty when nothing waits.
  std::string_view Peek() const;
  // Consumes len bytes of the first chunk; an emptied chunk moves to the free list.
  // Throws ENetException "TNetBufferHandler.Remove: Invalid Len <n>" for a negative len and
  // "TNetBufferHandler.Remove: nothing to remove" when the buffer is empty.
  void Remove(int len);
  // Every chunk goes to the free list with its counts reset.
  void Clear();

  bool Empty() const { return used_.empty() || size_ == 0; }
  int64_t Size() const { return size_; }
  int BufSize() const { return bufSize_; }
  // Chunk size for chunks allocated from now on (existing free chunks are dropped).
  void SetBufSize(int bufSize);
  size_t ChunkCount() const { return used_.size(); }
  size_t FreeCount() const { return free_.size(); }
  // Unread byte counts of the queued chunks, first to last (for inspection and tests).
  std::list<int> ChunkSizes() const;

  void lock() { lock_.lock(); }
  void unlock() { lock_.unlock(); }

 private:
  int bufSize_;
  int64_t size_ = 0;
  std::list<TNetBuffer> used_;
  std::list<TNetBuffer> free_;
  std::recursive_mutex lock_;
};

}  // namespace qelo::net
