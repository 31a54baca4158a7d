#include "platform/PageCache.h"

#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <limits>

#include "platform/CheckedOpen.h"
#include "platform/TreePath.h"

namespace vozi::platform {

Result<void> PageCache::purge(const std::string& controlPath) {
  // Dropping only drops clean pages: write the dirty ones out first.
  ::sync();
  auto control = CheckedOpen::existing(controlPath, {.access = CheckedOpen::Access::write});
  if (!control) return control.error();
  if (auto written = control->write("1", 1); !written) return written;
  // The kernel may report a refused write only at the close.
  return control->close();
}

bool PageCache::holdsOpened(const TreePath::File& opened, std::uint64_t offset) {
  const auto* file = &opened;
  if (file->size == 0) return true;
  char byte = 0;
  struct iovec vector {&byte, 1};
  return ::preadv2(file->descriptor.get(), &vector, 1, static_cast<off_t>(std::min(offset, file->size - 1)),
                   RWF_NOWAIT) == 1;
}

}  // namespace vozi::platform
