#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vozi::platform {

// Uniform type identifiers ("public.jpeg", "public.archive") from a built-in
// table: each identifier names its parents, and conformance follows them. A
// type conforms to itself and to every ancestor. Identifiers compare without
// regard to ASCII case, as the system's do.
class UniformType {
 public:
  static constexpr const char* item = "public.item";
  static constexpr const char* data = "public.data";
  static constexpr const char* content = "public.content";
  static constexpr const char* compositeContent = "public.composite-content";
  static constexpr const char* archive = "public.archive";
  static constexpr const char* image = "public.image";
  static constexpr const char* audio = "public.audio";
  static constexpr const char* movie = "public.movie";
  static constexpr const char* folder = "public.folder";

  // True when `type` is `parent` or descends from it. An unknown or empty
  // identifier conforms to nothing but itself.
  static bool conformsTo(std::string_view type, std::string_view parent);

  // The direct parents of a known identifier; empty for an unknown one.
  static std::vector<std::string> parents(std::string_view type);

  // The identifier of a file-name extension (without the dot, any case), when
  // the table knows it.
  static std::optional<std::string> preferredIdentifier(std::string_view fileExtension);

  // The identifier a file of that extension has: the known one, "public.data"
  // for no extension, else a dynamic identifier "dyn.ext.<extension>" that
  // conforms to public.data only.
  static std::string typeIdentifier(std::string_view fileExtension);
};

}  // namespace vozi::platform
