#include "common/FileKinds.h"

#include <algorithm>
#include <mutex>

#include "common/MLog.h"
#include "platform/Bundle.h"
#include "platform/PropertyList.h"
#include "platform/UniformType.h"

namespace vozi {

namespace {

struct TableState {
  std::mutex mutex;
  std::shared_ptr<const FileKinds::ExtensionTable> table;
};

TableState& tableState() {
  static auto* state = new TableState;
  return *state;
}

std::shared_ptr<const FileKinds::ExtensionTable> tableFromValue(const platform::Value& root) {
  const auto* dictionary = root.asDictionary();
  if (!dictionary) return nullptr;
  auto table = std::make_shared<FileKinds::ExtensionTable>();
  for (const auto& [kind, value] : *dictionary) {
    const auto* list = value.asArray();
    if (!list) return nullptr;
    std::vector<std::string> extensions;
    extensions.reserve(list->size());
    for (const auto& item : *list) {
      const auto* text = item.asString();
      if (!text) return nullptr;
      extensions.push_back(*text);
    }
    table->emplace(kind, std::move(extensions));
  }
  return table;
}

std::shared_ptr<const FileKinds::ExtensionTable> loadTable() {
  const auto path = platform::Bundle::main().pathForResource("filesExtensions", "plist");
  if (!path) return nullptr;
  // A read or parse error means no table, without a log line.
  const auto root = platform::PropertyList::readFile(*path);
  if (!root) return nullptr;
  return tableFromValue(*root);
}

}  // namespace

std::string FileKinds::stringRepresentation(ZOLMFileItemType type) {
  switch (type) {
    case ZOLMFileItemType::tracks: return "Tracks";
    case ZOLMFileItemType::movies: return "Movies";
    case ZOLMFileItemType::photos: return "Photos";
    case ZOLMFileItemType::archives: return "Archives";
    case ZOLMFileItemType::documents: return "Documents";
  }
  return "Tracks";
}

std::optional<ZOLMFileItemType> FileKinds::fileType(std::string_view stringReperesentation) {
  for (const auto type : {ZOLMFileItemType::tracks, ZOLMFileItemType::movies, ZOLMFileItemType::photos,
                          ZOLMFileItemType::archives, ZOLMFileItemType::documents}) {
    if (stringRepresentation(type) == stringReperesentation) return type;
  }
  MLog("Wrong string representation of file: " + std::string(stringReperesentation));
  return std::nullopt;
}

std::shared_ptr<const FileKinds::ExtensionTable> FileKinds::filesExtensions() {
  auto& state = tableState();
  std::lock_guard lock(state.mutex);
  if (!state.table) state.table = loadTable();
  return state.table;
}

std::optional<ZOLMFileItemType> FileKinds::fileType(const std::optional<std::string>& utiType,
                                                    std::string_view fileExtension) {
  using platform::UniformType;
  if (!utiType) return std::nullopt;
  const std::string& uti = *utiType;
  if (UniformType::conformsTo(uti, UniformType::image)) return ZOLMFileItemType::photos;
  if (UniformType::conformsTo(uti, UniformType::audio)) return ZOLMFileItemType::tracks;
  if (UniformType::conformsTo(uti, UniformType::movie)) return ZOLMFileItemType::movies;
  if (const auto table = filesExtensions()) {
    for (const auto& [kind, extensions] : *table) {
      if (std::find(extensions.begin(), extensions.end(), fileExtension) == extensions.end()) continue;
      if (const auto type = fileType(std::string_view(kind))) return type;
    }
  }
  if (UniformType::conformsTo(uti, UniformType::compositeContent)) return ZOLMFileItemType::documents;
  if (UniformType::conformsTo(uti, UniformType::content)) return ZOLMFileItemType::documents;
  if (UniformType::conformsTo(uti, UniformType::archive)) return ZOLMFileItemType::archives;
  return ZOLMFileItemType::documents;
}

std::uint64_t FileKinds::fileTypes(const std::vector<ZOLMFileItemType>& items) {
  std::uint64_t mask = 0;
  for (const auto item : items) mask |= static_cast<std::uint64_t>(item);
  return mask;
}

void FileKinds::resetFilesExtensionsForTesting() {
  auto& state = tableState();
  std::lock_guard lock(state.mutex);
  state.table.reset();
}

}  // namespace vozi
