#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace vozi::platform {

// The program's bundle: where its resource files are. The resource folder is
// $VOZI_RESOURCES when set; else "Resources" beside the executable, when that
// folder exists; else the source tree's resources/ folder the program was
// built from.
class Bundle {
 public:
  static Bundle main();

  std::string resourcePath() const;

  // The path of resource "<name>.<type>" in the resource folder, when it is a
  // regular file there. A name or type holding a path separator finds nothing.
  std::optional<std::string> pathForResource(std::string_view name, std::string_view type) const;

  // The folder holding the running executable.
  static std::string executableDirectory();
};

}  // namespace vozi::platform
