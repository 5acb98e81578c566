// TUniqueFd: the one owner of an open file descriptor. Whoever holds it closes the descriptor
// exactly once: on destruction, on Reset, or through Close when the caller wants close()'s error.
// Moving hands the descriptor over; the moved-from owner holds nothing. Not thread-safe; Qt-free.
#pragma once

namespace qelo::text {

class TUniqueFd {
 public:
  // Holds nothing (-1).
  TUniqueFd() = default;
  // Takes over fd; a negative fd (a failed open) makes an owner of nothing.
  explicit TUniqueFd(int fd) : fd_(fd < 0 ? -1 : fd) {}
  ~TUniqueFd();
  TUniqueFd(const TUniqueFd&) = delete;
  TUniqueFd& operator=(const TUniqueFd&) = delete;
  TUniqueFd(TUniqueFd&& other) noexcept;
  TUniqueFd& operator=(TUniqueFd&& other) noexcept;

  bool IsOpen() const { return fd_ >= 0; }
  // The descriptor, or -1; still owned here.
  int get() const { return fd_; }
  // Gives the descriptor up without closing it; the caller owns it from now on.
  int release();
  // Closes what is held (if anything) and takes over fd.
  void Reset(int fd = -1);
  // Closes now and reports close()'s error: 0 on success or when nothing was held, else errno.
  // The descriptor is gone either way.
  int Close();

 private:
  int fd_ = -1;
};

}  // namespace qelo::text
