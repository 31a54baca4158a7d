#include "ipc/socket/FD.h"

namespace vozi {

namespace {

constexpr int kMaximumDescriptor = 32 * 32 - 1;

bool inRange(int fd) { return fd >= 0 && fd <= kMaximumDescriptor; }

std::uint32_t mask(int fd) { return std::uint32_t{1} << (fd % 32); }

}  // namespace

void FD::ZERO(Set& set) { set.fill(0); }

void FD::SET(int fd, Set& set) {
  if (inRange(fd)) set[fd / 32] |= mask(fd);
}

void FD::CLR(int fd, Set& set) {
  if (inRange(fd)) set[fd / 32] &= ~mask(fd);
}

bool FD::ISSET(int fd, const Set& set) { return inRange(fd) && (set[fd / 32] & mask(fd)) != 0; }

}  // namespace vozi
