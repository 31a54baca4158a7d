#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/ZOLMFileItemType.h"

namespace vozi {

// Names of the file kinds, the way back from a name, the classification of a
// file from its type identifier and extension, and masks of kinds.
class FileKinds {
 public:
  // Kind name -> file-name extensions (without the dot).
  using ExtensionTable = std::map<std::string, std::vector<std::string>>;

  // "Tracks", "Movies", "Photos", "Archives" or "Documents"; any value that is
  // not exactly one of the five kinds gives "Tracks".
  static std::string stringRepresentation(ZOLMFileItemType type);

  // The kind whose name is exactly the text (case-sensitive). For any other
  // text, logs "Wrong string representation of file: <text>" and gives none.
  static std::optional<ZOLMFileItemType> fileType(std::string_view stringReperesentation);

  // The extension table from the bundle resource "filesExtensions.plist", or
  // nullptr when it is missing, unreadable or not a dictionary of text to
  // lists of texts. A table once loaded is kept for the process; while none
  // has loaded, every call looks again.
  static std::shared_ptr<const ExtensionTable> filesExtensions();

  // The kind of one file, from its uniform type identifier and its extension
  // (exact, case-sensitive), in this order: no identifier gives none; images
  // are Photos, audio Tracks, movies Movies; then the extension table decides;
  // then composite content and content are Documents, archives Archives, and
  // everything else Documents.
  static std::optional<ZOLMFileItemType> fileType(const std::optional<std::string>& utiType,
                                                  std::string_view fileExtension);

  // The OR of the kinds' values; 0 for none.
  static std::uint64_t fileTypes(const std::vector<ZOLMFileItemType>& items);

  // Forgets a loaded extension table. Production code never calls it.
  static void resetFilesExtensionsForTesting();
};

}  // namespace vozi
