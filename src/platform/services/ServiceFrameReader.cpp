#include "platform/services/ServiceFrameReader.h"

#include <cerrno>
#include <string>

#include "platform/PosixError.h"
#include "platform/ProcessInfo.h"

namespace vozi::platform {

Result<void> ServiceFrameReader::append(const std::uint8_t* bytes, std::size_t size, std::vector<Data>& frames) {
  if (failed_) return PosixError::make(EMSGSIZE);
  while (size > 0) {
    if (headerBytes_ < kHeaderSize) {
      const std::size_t take = std::min(size, kHeaderSize - headerBytes_);
      std::copy(bytes, bytes + take, header_ + headerBytes_);
      headerBytes_ += take;
      bytes += take;
      size -= take;
      if (headerBytes_ < kHeaderSize) break;
      announced_ = (std::size_t{header_[0]} << 24) | (std::size_t{header_[1]} << 16) | (std::size_t{header_[2]} << 8) |
                   std::size_t{header_[3]};
      if (announced_ > maxFrame_) {
        failed_ = true;
        Error error = PosixError::make(EMSGSIZE);
        error.userInfo["NSLocalizedDescription"] = Value("a frame of " + std::to_string(announced_) +
                                                         " bytes is over the cap of " + std::to_string(maxFrame_));
        return error;
      }
      body_.reserve(std::min(announced_, kReserveAhead));
      ProcessInfo::adviseLargePages(body_.data(), body_.capacity());
    }
    const std::size_t take = std::min(size, announced_ - body_.size());
    body_.insert(body_.end(), bytes, bytes + take);
    bytes += take;
    size -= take;
    if (body_.size() == announced_) {
      frames.push_back(std::move(body_));
      body_ = Data();
      headerBytes_ = 0;
      announced_ = 0;
    }
  }
  return {};
}

void ServiceFrameReader::writeHeader(std::size_t size, std::uint8_t header[kHeaderSize]) {
  header[0] = static_cast<std::uint8_t>(size >> 24);
  header[1] = static_cast<std::uint8_t>(size >> 16);
  header[2] = static_cast<std::uint8_t>(size >> 8);
  header[3] = static_cast<std::uint8_t>(size);
}

}  // namespace vozi::platform
