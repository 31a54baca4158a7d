#include "platform/UniformType.h"

#include <initializer_list>
#include <unordered_map>

namespace vozi::platform {

namespace {

std::string lowered(std::string_view text) {
  std::string out(text);
  for (char& c : out)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return out;
}

struct TypeEntry {
  const char* identifier;
  std::initializer_list<const char*> parents;
};

// Identifiers and their direct parents.
const TypeEntry kTypes[] = {
    {"public.item", {}},
    {"public.content", {}},
    {"public.data", {"public.item"}},
    {"public.folder", {"public.item"}},
    {"public.composite-content", {"public.content"}},
    {"public.archive", {"public.data"}},
    {"public.disk-image", {"public.archive"}},

    // Images.
    {"public.image", {"public.data", "public.content"}},
    {"public.jpeg", {"public.image"}},
    {"public.png", {"public.image"}},
    {"public.tiff", {"public.image"}},
    {"com.compuserve.gif", {"public.image"}},
    {"com.microsoft.bmp", {"public.image"}},
    {"com.microsoft.ico", {"public.image"}},
    {"com.apple.icns", {"public.image"}},
    {"public.heic", {"public.heif-standard"}},
    {"public.heif", {"public.heif-standard"}},
    {"public.heif-standard", {"public.image"}},
    {"org.webmproject.webp", {"public.image"}},
    {"public.svg-image", {"public.image"}},
    {"com.adobe.photoshop-image", {"public.image"}},
    {"public.camera-raw-image", {"public.image"}},
    {"com.adobe.raw-image", {"public.camera-raw-image"}},
    {"com.canon.cr2-raw-image", {"public.camera-raw-image"}},
    {"com.canon.cr3-raw-image", {"public.camera-raw-image"}},
    {"com.nikon.raw-image", {"public.camera-raw-image"}},
    {"com.sony.arw-raw-image", {"public.camera-raw-image"}},
    {"com.olympus.raw-image", {"public.camera-raw-image"}},
    {"com.fuji.raw-image", {"public.camera-raw-image"}},

    // Sound and pictures in motion.
    {"public.audiovisual-content", {"public.data", "public.content"}},
    {"public.audio", {"public.audiovisual-content"}},
    {"public.mp3", {"public.audio"}},
    {"public.mpeg-4-audio", {"public.audio"}},
    {"com.apple.m4a-audio", {"public.mpeg-4-audio"}},
    {"public.aac-audio", {"public.audio"}},
    {"com.microsoft.waveform-audio", {"public.audio"}},
    {"public.aiff-audio", {"public.audio"}},
    {"public.aifc-audio", {"public.audio"}},
    {"org.xiph.flac", {"public.audio"}},
    {"org.xiph.ogg-audio", {"public.audio"}},
    {"org.xiph.opus", {"public.audio"}},
    {"com.microsoft.windows-media-wma", {"public.audio"}},
    {"public.midi-audio", {"public.audio"}},
    {"com.apple.coreaudio-format", {"public.audio"}},
    {"public.movie", {"public.audiovisual-content"}},
    {"public.video", {"public.movie"}},
    {"com.apple.quicktime-movie", {"public.movie"}},
    {"public.mpeg-4", {"public.movie"}},
    {"com.apple.m4v-video", {"public.movie"}},
    {"public.avi", {"public.movie"}},
    {"public.mpeg", {"public.movie"}},
    {"public.mpeg-2-video", {"public.movie"}},
    {"public.mpeg-2-transport-stream", {"public.movie"}},
    {"org.matroska.mkv", {"public.movie"}},
    {"org.webmproject.webm", {"public.movie"}},
    {"com.microsoft.windows-media-wmv", {"public.movie"}},
    {"public.3gpp", {"public.movie"}},
    {"com.adobe.flash.video", {"public.movie"}},

    // Archives.
    {"public.zip-archive", {"public.archive"}},
    {"com.sun.java-archive", {"public.zip-archive"}},
    {"public.tar-archive", {"public.archive"}},
    {"org.gnu.gnu-zip-archive", {"public.archive"}},
    {"org.gnu.gnu-zip-tar-archive", {"org.gnu.gnu-zip-archive"}},
    {"public.bzip2-archive", {"public.archive"}},
    {"org.tukaani.xz-archive", {"public.archive"}},
    {"org.7-zip.7-zip-archive", {"public.archive"}},
    {"com.rarlab.rar-archive", {"public.archive"}},
    {"public.cpio-archive", {"public.archive"}},
    {"com.apple.xip-archive", {"public.archive"}},
    {"com.apple.disk-image-udif", {"public.disk-image"}},
    {"public.iso-image", {"public.disk-image"}},
    {"com.apple.installer-package-archive", {"public.archive"}},

    // Documents.
    {"public.text", {"public.data", "public.content"}},
    {"public.plain-text", {"public.text"}},
    {"public.utf8-plain-text", {"public.plain-text"}},
    {"public.rtf", {"public.text"}},
    {"public.html", {"public.text"}},
    {"public.xml", {"public.text"}},
    {"public.comma-separated-values-text", {"public.text"}},
    {"net.daringfireball.markdown", {"public.plain-text"}},
    {"public.source-code", {"public.plain-text"}},
    {"com.adobe.pdf", {"public.data", "public.composite-content"}},
    {"com.microsoft.word.doc", {"public.data", "public.composite-content"}},
    {"com.microsoft.excel.xls", {"public.data", "public.composite-content"}},
    {"com.microsoft.powerpoint.ppt", {"public.data", "public.composite-content"}},
    // The Office Open XML and OpenDocument formats are zip archives too.
    {"org.openxmlformats.openxml", {"public.zip-archive"}},
    {"org.openxmlformats.wordprocessingml.document", {"org.openxmlformats.openxml", "public.composite-content"}},
    {"org.openxmlformats.spreadsheetml.sheet", {"org.openxmlformats.openxml", "public.composite-content"}},
    {"org.openxmlformats.presentationml.presentation", {"org.openxmlformats.openxml", "public.composite-content"}},
    {"org.oasis-open.opendocument", {"public.zip-archive"}},
    {"org.oasis-open.opendocument.text", {"org.oasis-open.opendocument", "public.composite-content"}},
    {"org.oasis-open.opendocument.spreadsheet", {"org.oasis-open.opendocument", "public.composite-content"}},
    {"org.oasis-open.opendocument.presentation", {"org.oasis-open.opendocument", "public.composite-content"}},
    {"org.idpf.epub-container", {"public.zip-archive", "public.composite-content"}},
    {"com.apple.iwork.pages.sffpages", {"public.composite-content"}},
    {"com.apple.iwork.numbers.sffnumbers", {"public.composite-content"}},
    {"com.apple.iwork.keynote.sffkey", {"public.composite-content"}},
};

struct ExtensionEntry {
  const char* extension;
  const char* identifier;
};

const ExtensionEntry kExtensions[] = {
    {"jpg", "public.jpeg"}, {"jpeg", "public.jpeg"}, {"jpe", "public.jpeg"}, {"png", "public.png"},
    {"tif", "public.tiff"}, {"tiff", "public.tiff"}, {"gif", "com.compuserve.gif"}, {"bmp", "com.microsoft.bmp"},
    {"ico", "com.microsoft.ico"}, {"icns", "com.apple.icns"}, {"heic", "public.heic"}, {"heif", "public.heif"},
    {"webp", "org.webmproject.webp"}, {"svg", "public.svg-image"}, {"psd", "com.adobe.photoshop-image"},
    {"dng", "com.adobe.raw-image"}, {"cr2", "com.canon.cr2-raw-image"}, {"cr3", "com.canon.cr3-raw-image"},
    {"nef", "com.nikon.raw-image"}, {"arw", "com.sony.arw-raw-image"}, {"orf", "com.olympus.raw-image"},
    {"raf", "com.fuji.raw-image"},

    {"mp3", "public.mp3"}, {"m4a", "com.apple.m4a-audio"}, {"aac", "public.aac-audio"},
    {"wav", "com.microsoft.waveform-audio"}, {"aif", "public.aiff-audio"}, {"aiff", "public.aiff-audio"},
    {"aifc", "public.aifc-audio"}, {"flac", "org.xiph.flac"}, {"oga", "org.xiph.ogg-audio"},
    {"ogg", "org.xiph.ogg-audio"}, {"opus", "org.xiph.opus"}, {"wma", "com.microsoft.windows-media-wma"},
    {"mid", "public.midi-audio"}, {"midi", "public.midi-audio"}, {"caf", "com.apple.coreaudio-format"},

    {"mov", "com.apple.quicktime-movie"}, {"qt", "com.apple.quicktime-movie"}, {"mp4", "public.mpeg-4"},
    {"m4v", "com.apple.m4v-video"}, {"avi", "public.avi"}, {"mpg", "public.mpeg"}, {"mpeg", "public.mpeg"},
    {"m2v", "public.mpeg-2-video"}, {"mts", "public.mpeg-2-transport-stream"},
    {"m2ts", "public.mpeg-2-transport-stream"}, {"mkv", "org.matroska.mkv"}, {"webm", "org.webmproject.webm"},
    {"wmv", "com.microsoft.windows-media-wmv"}, {"3gp", "public.3gpp"}, {"flv", "com.adobe.flash.video"},

    {"zip", "public.zip-archive"}, {"jar", "com.sun.java-archive"}, {"tar", "public.tar-archive"},
    {"gz", "org.gnu.gnu-zip-archive"}, {"gzip", "org.gnu.gnu-zip-archive"}, {"tgz", "org.gnu.gnu-zip-tar-archive"},
    {"bz2", "public.bzip2-archive"}, {"xz", "org.tukaani.xz-archive"}, {"7z", "org.7-zip.7-zip-archive"},
    {"rar", "com.rarlab.rar-archive"}, {"cpio", "public.cpio-archive"}, {"xip", "com.apple.xip-archive"},
    {"dmg", "com.apple.disk-image-udif"}, {"iso", "public.iso-image"}, {"pkg", "com.apple.installer-package-archive"},

    {"txt", "public.plain-text"}, {"text", "public.plain-text"}, {"rtf", "public.rtf"}, {"html", "public.html"},
    {"htm", "public.html"}, {"xml", "public.xml"}, {"csv", "public.comma-separated-values-text"},
    {"md", "net.daringfireball.markdown"}, {"markdown", "net.daringfireball.markdown"}, {"pdf", "com.adobe.pdf"},
    {"doc", "com.microsoft.word.doc"}, {"xls", "com.microsoft.excel.xls"}, {"ppt", "com.microsoft.powerpoint.ppt"},
    {"docx", "org.openxmlformats.wordprocessingml.document"}, {"xlsx", "org.openxmlformats.spreadsheetml.sheet"},
    {"pptx", "org.openxmlformats.presentationml.presentation"}, {"odt", "org.oasis-open.opendocument.text"},
    {"ods", "org.oasis-open.opendocument.spreadsheet"}, {"odp", "org.oasis-open.opendocument.presentation"},
    {"epub", "org.idpf.epub-container"}, {"pages", "com.apple.iwork.pages.sffpages"},
    {"numbers", "com.apple.iwork.numbers.sffnumbers"}, {"key", "com.apple.iwork.keynote.sffkey"},
};

const std::unordered_map<std::string, std::vector<std::string>>& typeTable() {
  static const auto* table = [] {
    auto* map = new std::unordered_map<std::string, std::vector<std::string>>;
    for (const auto& entry : kTypes) {
      auto& parents = (*map)[lowered(entry.identifier)];
      for (const char* parent : entry.parents) parents.push_back(lowered(parent));
    }
    return map;
  }();
  return *table;
}

const std::unordered_map<std::string, std::string>& extensionTable() {
  static const auto* table = [] {
    auto* map = new std::unordered_map<std::string, std::string>;
    for (const auto& entry : kExtensions) map->emplace(entry.extension, entry.identifier);
    return map;
  }();
  return *table;
}

constexpr std::string_view kDynamicPrefix = "dyn.ext.";

}  // namespace

std::vector<std::string> UniformType::parents(std::string_view type) {
  const std::string key = lowered(type);
  if (key.rfind(kDynamicPrefix, 0) == 0 && key.size() > kDynamicPrefix.size()) return {data};
  const auto& table = typeTable();
  const auto it = table.find(key);
  return it == table.end() ? std::vector<std::string>{} : it->second;
}

bool UniformType::conformsTo(std::string_view type, std::string_view parent) {
  if (type.empty() || parent.empty()) return false;
  const std::string target = lowered(parent);
  std::vector<std::string> pending{lowered(type)};
  // The graph is small and acyclic; the bound only guards against a cycle.
  for (std::size_t steps = 0; !pending.empty() && steps < 1000; ++steps) {
    const std::string current = std::move(pending.back());
    pending.pop_back();
    if (current == target) return true;
    for (auto& p : parents(current)) pending.push_back(std::move(p));
  }
  return false;
}

std::optional<std::string> UniformType::preferredIdentifier(std::string_view fileExtension) {
  const auto& table = extensionTable();
  const auto it = table.find(lowered(fileExtension));
  if (it == table.end()) return std::nullopt;
  return it->second;
}

std::string UniformType::typeIdentifier(std::string_view fileExtension) {
  if (auto known = preferredIdentifier(fileExtension)) return *known;
  if (fileExtension.empty()) return data;
  return std::string(kDynamicPrefix) + lowered(fileExtension);
}

}  // namespace vozi::platform
