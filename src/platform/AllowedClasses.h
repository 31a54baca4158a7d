#pragma once

#include <algorithm>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

namespace vozi::platform {

// The archive class names a secure decode accepts. A class passes when it
// or one of its superclasses, as this process's registry knows them, is in
// the list; what an archive claims about superclasses is never trusted.
//
//   static const AllowedClasses kGroups{"ItemGroup"};   // every subclass too
//   auto groups = unarchiver.decodeArrayForKey<ItemGroup>("groups", kGroups);
//
// An empty list means "the registered class of the requested C++ type".
class AllowedClasses {
 public:
  AllowedClasses() = default;
  AllowedClasses(std::initializer_list<std::string_view> names) : names_(names.begin(), names.end()) {}
  explicit AllowedClasses(std::vector<std::string> names) : names_(std::move(names)) {}

  bool empty() const { return names_.empty(); }
  bool contains(std::string_view name) const { return std::find(names_.begin(), names_.end(), name) != names_.end(); }
  const std::vector<std::string>& names() const { return names_; }

 private:
  std::vector<std::string> names_;
};

}  // namespace vozi::platform
