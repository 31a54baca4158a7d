#pragma once

#include <string>
#include <string_view>

namespace vozi::platform {

// Uniform type identifiers ("public.jpeg", "com.apple.application-bundle")
// from a table of well-known types: the identifier of a file from its kind
// and extension, and the conformance relation between identifiers.
class UniformType {
 public:
  enum class ItemKind { regularFile, directory, symbolicLink, other };

  // The identifier of an item: folders are "public.folder", packages their
  // package type, links "public.symlink", files the type of their extension
  // (case-insensitive), "public.data" when the extension is unknown.
  static std::string identifierFor(std::string_view name, ItemKind kind);
  // The identifier of a file extension, "public.data" when unknown.
  static std::string identifierForExtension(std::string_view extension);
  // True when type equals parent or declares it, directly or through its
  // ancestors. An unknown type conforms only to itself.
  static bool conformsTo(std::string_view type, std::string_view parent);
};

}  // namespace vozi::platform
