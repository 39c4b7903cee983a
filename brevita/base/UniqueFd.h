#pragma once
// The one owner of a file descriptor in Brevita's code: whatever opens a
// file keeps it in one of these, so that no path out of a function leaks it.

namespace brevita {

// A descriptor that closes at the end of its scope (-1: none).
class UniqueFd {
  public:
    explicit UniqueFd(int fd = -1) : fd_(fd) {}
    ~UniqueFd();
    UniqueFd(UniqueFd &&other) noexcept : fd_(other.release()) {}
    // Closes the descriptor held, then takes other's.
    UniqueFd &operator=(UniqueFd &&other) noexcept;
    UniqueFd(const UniqueFd &) = delete;
    UniqueFd &operator=(const UniqueFd &) = delete;
    // The descriptor, still owned here.
    int get() const { return fd_; }
    // The descriptor, no longer owned here; this then holds none.
    int release() {
        const int fd = fd_;
        fd_ = -1;
        return fd;
    }

  private:
    int fd_;
};

} // namespace brevita
