#include "net/net_buffer.h"

#include <algorithm>
#include <cstring>

#include "net/net_exception.h"

namespace qelo::net {

TNetBuffer::TNetBuffer(int size) : data_(std::make_unique<char[]>(size)), size_(size) {}

int TNetBuffer::Write(const char* data, int len) {
  const int n = std::min(len, Room());
  std::memcpy(data_.get() + wrCount_, data, static_cast<size_t>(n));
  wrCount_ += n;
  return n;
}

std::string_view TNetBuffer::Peek() const {
  return std::string_view(data_.get() + rdCount_, static_cast<size_t>(Unread()));
}

TNetBufferHandler::TNetBufferHandler(int bufSize) : bufSize_(bufSize > 0 ? bufSize : 1) {}

void TNetBufferHandler::SetBufSize(int bufSize) {
  std::lock_guard guard(lock_);
  bufSize_ = bufSize > 0 ? bufSize : 1;
  free_.clear();
}

void TNetBufferHandler::Write(const void* data, int len) {
  if (data == nullptr || len <= 0) return;
  std::lock_guard guard(lock_);
  const char* p = static_cast<const char*>(data);
  while (len > 0) {
    if (used_.empty() || used_.back().Room() == 0) {
      if (!free_.empty() && free_.front().Size() == bufSize_) {
        used_.splice(used_.end(), free_, free_.begin());
      } else {
        used_.emplace_back(bufSize_);
      }
    }
    const int n = used_.back().Write(p, len);
    p += n;
    len -= n;
    size_ += n;
  }
}

std::string_view TNetBufferHandler::Peek() const {
  // Emptied chunks leave the list at once, so the first one holds unread bytes if any.
  if (used_.empty()) return {};
  return used_.front().Peek();
}

void TNetBufferHandler::Remove(int len) {
  std::lock_guard guard(lock_);
  if (len < 0) throw ENetException("TNetBufferHandler.Remove: Invalid Len " + std::to_string(len));
  if (used_.empty()) throw ENetException("TNetBufferHandler.Remove: nothing to remove");
  TNetBuffer& first = used_.front();
  // Never move the read count past what was written, whatever the caller asks.
  const int n = std::min(len, first.Unread());
  first.Advance(n);
  size_ -= n;
  if (first.Unread() == 0) {
    first.Reset();
    free_.splice(free_.end(), used_, used_.begin());
  }
}

void TNetBufferHandler::Clear() {
  std::lock_guard guard(lock_);
  for (auto& chunk : used_)
    chunk.Reset();
  free_.splice(free_.end(), used_);
  size_ = 0;
}

std::list<int> TNetBufferHandler::ChunkSizes() const {
  std::list<int> sizes;
  for (const auto& chunk : used_)
    sizes.push_back(chunk.Unread());
  return sizes;
}

}  // namespace qelo::net
