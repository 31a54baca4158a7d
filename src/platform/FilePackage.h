#pragma once

#include <string>
#include <string_view>

namespace vozi::platform {

// A file package is a folder the user sees as one document or program: an
// application bundle, a framework, a Photos library, ... It is recognised by
// its extension, compared without regard to case.
class FilePackage {
 public:
  // True when the extension (without its dot) is a package extension.
  static bool isPackageExtension(std::string_view extension);
  // The extension of the last path component: the text after its last dot,
  // empty when there is none or the dot only starts a hidden name.
  static std::string_view extension(std::string_view pathOrName);
  // True when the last path component carries a package extension; the
  // item itself is not looked at.
  static bool hasPackageExtension(std::string_view pathOrName);
  // True when a real folder (not a link to one) stands at the path and its
  // name carries a package extension.
  static bool isFilePackage(const std::string& path);
};

}  // namespace vozi::platform
