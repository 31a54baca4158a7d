#pragma once

#include <optional>
#include <string>

#include "common/IModelItem.h"
#include "platform/Date.h"
#include "platform/URL.h"
#include "platform/Value.h"

namespace vozi {

// A record that stands for one file or folder on disk.
class IFileItem : public IModelItem {
 public:
  // Reads the size again from the file system (0 when it can't be read).
  virtual void updateSize() = 0;
  virtual const platform::URL& url() const = 0;
  virtual std::string path() const = 0;
  virtual std::string fileExtension() const = 0;
  virtual std::optional<platform::Date> lastOpenDate() const = 0;
  // SHA-256 of the whole file, 32 bytes; absent when the file can't be read.
  virtual std::optional<platform::Data> fileDataHash() const = 0;
};

}  // namespace vozi
