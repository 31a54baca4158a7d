#pragma once

#include <cstdint>
#include <optional>

#include "platform/Date.h"

namespace vozi {

// A group whose scan keeps only files above a size and not opened since a date.
class IFilterable {
 public:
  virtual ~IFilterable() = default;
  virtual const std::optional<platform::Date>& minLastAccessDate() const = 0;
  virtual void setMinLastAccessDate(std::optional<platform::Date> date) = 0;
  virtual std::uint64_t minFileSizeToScan() const = 0;
  virtual void setMinFileSizeToScan(std::uint64_t size) = 0;
  virtual std::uint64_t fileItemTypes() const = 0;
  virtual void setFileItemTypes(std::uint64_t types) = 0;
};

}  // namespace vozi
