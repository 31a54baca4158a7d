#pragma once

#include <sys/types.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "platform/FileDescriptor.h"
#include "platform/Result.h"

namespace vozi {

// Overwrites a file in place seven times, then removes it: zeros, ones,
// random bytes, zeros, ones, random bytes, random bytes. Each pass covers the
// file's length from offset 0 in 4096-byte blocks (a random block is 1024
// values of the system's random generator, most significant byte first)
// and a shorter tail; every write is checked and each pass is put on the
// disk before the next begins.
//
// The file is opened as platform::FileOverwrite opens it (no link, a regular
// file with one name, of the given owner), and removed only while its name
// still names it. A file that cannot be opened, or whose overwrite fails, is
// left in place: the caller keeps it out of what was shredded. Overwriting
// reaches the blocks the file system hands back; copies a copy-on-write file
// system or a solid-state disk keeps elsewhere are out of its reach.
class FileShredder {
 public:
  static constexpr std::uint64_t kBlockSize = 4096;
  static constexpr std::uint64_t kPassesNumber = 7;

  // Where the bytes go; tests put their own to watch or fail writes.
  class Writer {
   public:
    virtual ~Writer() = default;
    virtual platform::Result<void> write(const platform::FileDescriptor& file, const void* bytes, std::size_t size,
                                         std::uint64_t offset);
    virtual platform::Result<void> sync(const platform::FileDescriptor& file);
  };

  enum class Outcome {
    shredded,       // seven passes done (the removal may still have failed: logged)
    notOpened,      // "Could not open file": not overwritten, left in place
    failed,         // a write or a sync failed part-way: left in place
  };

  explicit FileShredder(std::shared_ptr<Writer> writer = std::make_shared<Writer>());

  // `onBlock` hears of every whole block written, in any pass.
  Outcome shred(const std::string& path, std::optional<uid_t> owner, const std::function<void()>& onBlock = {});

  // The number of whole blocks of a length.
  static std::uint64_t blocks(std::uint64_t size) { return size / kBlockSize; }

 private:
  std::shared_ptr<Writer> writer_;
};

}  // namespace vozi
