// Byte streams shared by the transfer components and their callers: an interface with read,
// write, seek, position, size and set-size, an in-memory stream and a file stream. The caller
// owns every stream; the components only use them.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace qelo::net {

// Failures of a stream operation (file errors, a write that could not be completed).
class EStreamError : public std::runtime_error {
 public:
  explicit EStreamError(const std::string& msg) : std::runtime_error(msg) {}
};

enum class TSeekOrigin { Begin, Current, End };

class TStream {
 public:
  virtual ~TStream() = default;

  // Reads up to count bytes at the position; returns how many were read (0 at the end).
  virtual int64_t Read(void* buffer, int64_t count) = 0;
  // Writes count bytes at the position, extending the stream as needed; returns the number
  // written.
  virtual int64_t Write(const void* buffer, int64_t count) = 0;
  // Moves the position and returns the new one. A position before the start is refused.
  virtual int64_t Seek(int64_t offset, TSeekOrigin origin) = 0;
  virtual int64_t Size() const = 0;
  // Cuts or extends the stream; the position is kept but never beyond the new end.
  virtual void SetSize(int64_t size) = 0;

  int64_t Position() { return Seek(0, TSeekOrigin::Current); }
  void SetPosition(int64_t pos) { Seek(pos, TSeekOrigin::Begin); }
  // Writes all count bytes or raises EStreamError.
  void WriteBuffer(const void* buffer, int64_t count);
};

// A stream held in memory.
class TMemoryStream : public TStream {
 public:
  TMemoryStream() = default;
  explicit TMemoryStream(std::string_view initial);

  int64_t Read(void* buffer, int64_t count) override;
  int64_t Write(const void* buffer, int64_t count) override;
  int64_t Seek(int64_t offset, TSeekOrigin origin) override;
  int64_t Size() const override { return static_cast<int64_t>(data_.size()); }
  void SetSize(int64_t size) override;

  // The whole content, independent of the position.
  std::string_view Text() const { return {data_.data(), data_.size()}; }
  void Clear();

 private:
  std::vector<char> data_;
  int64_t pos_ = 0;
};

// A stream over a file. Opening fails with EStreamError naming the file.
class TFileStream : public TStream {
 public:
  enum class Mode {
    Create,     // create or empty, read and write
    OpenRead,   // existing file, read only
    OpenWrite,  // existing file, read and write
  };
  TFileStream(const std::string& path, Mode mode);
  // Wraps a descriptor the stream does not own (for example standard output); Seek and
  // SetSize then fail on descriptors that cannot seek.
  static TFileStream FromDescriptor(int fd);
  ~TFileStream() override;
  TFileStream(TFileStream&& other) noexcept;
  TFileStream& operator=(TFileStream&&) = delete;
  TFileStream(const TFileStream&) = delete;
  TFileStream& operator=(const TFileStream&) = delete;

  int64_t Read(void* buffer, int64_t count) override;
  int64_t Write(const void* buffer, int64_t count) override;
  int64_t Seek(int64_t offset, TSeekOrigin origin) override;
  int64_t Size() const override;
  void SetSize(int64_t size) override;

  const std::string& FileName() const { return path_; }

 private:
  TFileStream(int fd, bool owned, std::string path);
  [[noreturn]] void Fail(const char* what) const;

  int fd_ = -1;
  bool owned_ = true;
  std::string path_;
};

}  // namespace qelo::net
