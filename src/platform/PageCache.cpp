#include "platform/PageCache.h"

#include <unistd.h>

#include "platform/CheckedOpen.h"

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

}  // namespace vozi::platform
