#pragma once

#include <functional>
#include <memory>
#include <string>

#include "common/Logger.h"

namespace vozi {

// Writes a line to the system log in pieces of at most 1024 characters, the
// last piece followed by a line feed. It supplies no shared instance, so the
// logger never selects it; it exists for callers that make one themselves.
class ConsoleLogger final : public Logger {
 public:
  // Receives each piece as it is to be written (the last one ends in "\n").
  using Writer = std::function<void(const std::string& text)>;

  static constexpr std::ptrdiff_t pieceLength = 1024;

  // Always nullptr.
  static std::shared_ptr<ConsoleLogger> shared();

  // Writes to standard error the way the system log does: date, process
  // name and ids, then the text, with a line feed when it has none.
  ConsoleLogger();
  explicit ConsoleLogger(Writer writer);

  void log(const std::string& line) override;

 private:
  Writer writer_;
};

}  // namespace vozi
