#pragma once

#include <string>
#include <string_view>

namespace vozi::platform {

// Path text handled by whole components, never by plain text prefixes:
// "/Users/bob" contains "/Users/bob/x" but not "/Users/bobby".
class PathComponents {
 public:
  // The lexical normal form of an absolute path: repeated slashes and "."
  // removed, ".." taking away the component before it (never above "/"),
  // no trailing slash. A relative path is normalised the same way and
  // stays relative; ".." that cannot be taken away is dropped.
  static std::string normalized(std::string_view path);
  // True when path is folder or lies below it, after normalising both.
  static bool isSameOrInside(std::string_view path, std::string_view folder);
  // True when path lies strictly below folder, after normalising both.
  static bool isInside(std::string_view path, std::string_view folder);
  // base + "/" + component, with exactly one slash between them.
  static std::string appending(std::string_view base, std::string_view component);
  // The path without its trailing slashes; "/" stays "/". Given to the
  // system, a trailing slash would make it follow a final link.
  static std::string_view withoutTrailingSlashes(std::string_view path);
  // The text after the last "/" once trailing slashes are dropped: "c" for
  // "/a/b/c/", the whole text when it has no "/", "" for "/".
  static std::string_view lastComponent(std::string_view path);
  // True when name can stand as one component of a path without naming
  // another place: not empty, not "." or "..", no "/" and no NUL. Names from
  // outside (user names, identifiers, resource names) pass this before they
  // are joined to a path.
  static bool isSingleComponent(std::string_view name);
  // True for an absolute path below "/" written in its one normal form: no
  // empty, "." or ".." component, no trailing slash. Such a text names the
  // place it reads as, component by component; paths from outside pass
  // this before they are compared or opened.
  static bool isCanonicalAbsolute(std::string_view path);
};

}  // namespace vozi::platform
