#include "platform/UniformType.h"

#include <strings.h>

#include <initializer_list>

#include "platform/FilePackage.h"

namespace vozi::platform {

namespace {

struct TypeDeclaration {
  std::string_view identifier;
  std::initializer_list<std::string_view> parents;
};

// The part of the system's type tree the scans classify files by.
const TypeDeclaration kTypes[] = {
    {"public.data", {"public.item"}},
    {"public.directory", {"public.item"}},
    {"public.folder", {"public.directory"}},
    {"public.symlink", {"public.item"}},
    {"com.apple.package", {"public.directory"}},
    {"com.apple.bundle", {"public.directory"}},
    {"public.executable", {"public.item"}},
    {"com.apple.application", {"public.executable"}},
    {"com.apple.application-bundle", {"com.apple.application", "com.apple.bundle", "com.apple.package"}},
    {"com.apple.framework", {"com.apple.bundle"}},
    {"com.apple.plugin", {"com.apple.bundle", "com.apple.package"}},
    {"com.apple.rtfd", {"com.apple.package", "public.composite-content"}},
    {"com.apple.photos.library", {"com.apple.package"}},
    {"com.apple.installer-package-archive", {"public.data"}},
    {"public.composite-content", {"public.content"}},
    {"public.text", {"public.data", "public.content"}},
    {"public.plain-text", {"public.text"}},
    {"public.rtf", {"public.text"}},
    {"public.html", {"public.text"}},
    {"public.xml", {"public.text"}},
    {"public.json", {"public.text"}},
    {"public.comma-separated-values-text", {"public.text"}},
    {"public.source-code", {"public.plain-text"}},
    {"public.shell-script", {"public.source-code"}},
    {"com.apple.log", {"public.plain-text"}},
    {"com.apple.property-list", {"public.data"}},
    {"com.adobe.pdf", {"public.data", "public.composite-content"}},
    {"com.microsoft.word.doc", {"public.data", "public.composite-content"}},
    {"org.openxmlformats.wordprocessingml.document", {"public.data", "public.composite-content"}},
    {"com.microsoft.excel.xls", {"public.data", "public.composite-content"}},
    {"org.openxmlformats.spreadsheetml.sheet", {"public.data", "public.composite-content"}},
    {"com.microsoft.powerpoint.ppt", {"public.data", "public.composite-content"}},
    {"org.openxmlformats.presentationml.presentation", {"public.data", "public.composite-content"}},
    {"org.oasis-open.opendocument.text", {"public.data", "public.composite-content"}},
    {"com.apple.iwork.pages.sffpages", {"public.data", "public.composite-content"}},
    {"com.apple.iwork.numbers.sffnumbers", {"public.data", "public.composite-content"}},
    {"com.apple.iwork.keynote.sffkey", {"public.data", "public.composite-content"}},
    {"public.image", {"public.data", "public.content"}},
    {"public.jpeg", {"public.image"}},
    {"public.png", {"public.image"}},
    {"public.tiff", {"public.image"}},
    {"com.compuserve.gif", {"public.image"}},
    {"com.microsoft.bmp", {"public.image"}},
    {"public.heic", {"public.image"}},
    {"public.heif", {"public.image"}},
    {"org.webmproject.webp", {"public.image"}},
    {"public.svg-image", {"public.image", "public.xml"}},
    {"com.apple.icns", {"public.image"}},
    {"com.microsoft.ico", {"public.image"}},
    {"com.adobe.photoshop-image", {"public.image"}},
    {"public.camera-raw-image", {"public.image"}},
    {"public.audiovisual-content", {"public.data", "public.content"}},
    {"public.audio", {"public.audiovisual-content"}},
    {"public.mp3", {"public.audio"}},
    {"public.mpeg-4-audio", {"public.audio"}},
    {"public.aiff-audio", {"public.audio"}},
    {"public.aifc-audio", {"public.audio"}},
    {"com.microsoft.waveform-audio", {"public.audio"}},
    {"org.xiph.flac", {"public.audio"}},
    {"org.xiph.ogg-audio", {"public.audio"}},
    {"com.apple.coreaudio-format", {"public.audio"}},
    {"public.movie", {"public.audiovisual-content"}},
    {"public.mpeg-4", {"public.movie"}},
    {"com.apple.quicktime-movie", {"public.movie"}},
    {"com.apple.m4v-video", {"public.movie"}},
    {"public.avi", {"public.movie"}},
    {"public.mpeg", {"public.movie"}},
    {"org.matroska.mkv", {"public.movie"}},
    {"org.webmproject.webm", {"public.movie"}},
    {"com.microsoft.windows-media-wmv", {"public.movie"}},
    {"public.archive", {"public.data"}},
    {"public.zip-archive", {"public.archive"}},
    {"org.gnu.gnu-zip-archive", {"public.archive"}},
    {"public.bzip2-archive", {"public.archive"}},
    {"org.tukaani.xz-archive", {"public.archive"}},
    {"public.tar-archive", {"public.archive"}},
    {"org.7-zip.7-zip-archive", {"public.archive"}},
    {"com.rarlab.rar-archive", {"public.archive"}},
    {"public.disk-image", {"public.archive"}},
    {"com.apple.disk-image-udif", {"public.disk-image"}},
    {"public.iso-image", {"public.disk-image"}},
    {"com.apple.mail.emlx", {"public.data", "public.content"}},
    {"com.apple.mail.email", {"public.data", "public.content"}},
};

struct ExtensionMapping {
  std::string_view extension;
  std::string_view identifier;
};

const ExtensionMapping kExtensions[] = {
    {"txt", "public.plain-text"}, {"text", "public.plain-text"}, {"rtf", "public.rtf"},
    {"html", "public.html"}, {"htm", "public.html"}, {"xml", "public.xml"}, {"json", "public.json"},
    {"csv", "public.comma-separated-values-text"}, {"sh", "public.shell-script"}, {"log", "com.apple.log"},
    {"plist", "com.apple.property-list"}, {"pdf", "com.adobe.pdf"}, {"doc", "com.microsoft.word.doc"},
    {"docx", "org.openxmlformats.wordprocessingml.document"}, {"xls", "com.microsoft.excel.xls"},
    {"xlsx", "org.openxmlformats.spreadsheetml.sheet"}, {"ppt", "com.microsoft.powerpoint.ppt"},
    {"pptx", "org.openxmlformats.presentationml.presentation"}, {"odt", "org.oasis-open.opendocument.text"},
    {"pages", "com.apple.iwork.pages.sffpages"}, {"numbers", "com.apple.iwork.numbers.sffnumbers"},
    {"key", "com.apple.iwork.keynote.sffkey"}, {"jpg", "public.jpeg"}, {"jpeg", "public.jpeg"},
    {"png", "public.png"}, {"tif", "public.tiff"}, {"tiff", "public.tiff"}, {"gif", "com.compuserve.gif"},
    {"bmp", "com.microsoft.bmp"}, {"heic", "public.heic"}, {"heif", "public.heif"},
    {"webp", "org.webmproject.webp"}, {"svg", "public.svg-image"}, {"icns", "com.apple.icns"},
    {"ico", "com.microsoft.ico"}, {"psd", "com.adobe.photoshop-image"}, {"cr2", "public.camera-raw-image"},
    {"nef", "public.camera-raw-image"}, {"arw", "public.camera-raw-image"}, {"dng", "public.camera-raw-image"},
    {"raf", "public.camera-raw-image"}, {"orf", "public.camera-raw-image"}, {"mp3", "public.mp3"},
    {"m4a", "public.mpeg-4-audio"}, {"aac", "public.mpeg-4-audio"}, {"aif", "public.aiff-audio"},
    {"aiff", "public.aiff-audio"}, {"aifc", "public.aifc-audio"}, {"wav", "com.microsoft.waveform-audio"},
    {"flac", "org.xiph.flac"}, {"ogg", "org.xiph.ogg-audio"}, {"caf", "com.apple.coreaudio-format"},
    {"mp4", "public.mpeg-4"}, {"mov", "com.apple.quicktime-movie"}, {"qt", "com.apple.quicktime-movie"},
    {"m4v", "com.apple.m4v-video"}, {"avi", "public.avi"}, {"mpg", "public.mpeg"}, {"mpeg", "public.mpeg"},
    {"mkv", "org.matroska.mkv"}, {"webm", "org.webmproject.webm"}, {"wmv", "com.microsoft.windows-media-wmv"},
    {"zip", "public.zip-archive"}, {"gz", "org.gnu.gnu-zip-archive"}, {"tgz", "org.gnu.gnu-zip-archive"},
    {"bz2", "public.bzip2-archive"}, {"xz", "org.tukaani.xz-archive"}, {"tar", "public.tar-archive"},
    {"7z", "org.7-zip.7-zip-archive"}, {"rar", "com.rarlab.rar-archive"}, {"dmg", "com.apple.disk-image-udif"},
    {"iso", "public.iso-image"}, {"pkg", "com.apple.installer-package-archive"},
    {"mpkg", "com.apple.installer-package-archive"}, {"emlx", "com.apple.mail.emlx"},
    {"eml", "com.apple.mail.email"},
};

const ExtensionMapping kPackageTypes[] = {
    {"app", "com.apple.application-bundle"}, {"framework", "com.apple.framework"},
    {"bundle", "com.apple.bundle"}, {"plugin", "com.apple.plugin"}, {"rtfd", "com.apple.rtfd"},
    {"photoslibrary", "com.apple.photos.library"}, {"pkg", "com.apple.installer-package-archive"},
    {"mpkg", "com.apple.installer-package-archive"},
};

bool sameText(std::string_view a, std::string_view b) {
  return a.size() == b.size() && ::strncasecmp(a.data(), b.data(), a.size()) == 0;
}

const TypeDeclaration* declaration(std::string_view identifier) {
  for (const TypeDeclaration& type : kTypes)
    if (type.identifier == identifier) return &type;
  return nullptr;
}

bool conforms(std::string_view type, std::string_view parent, int depth) {
  if (type == parent) return true;
  if (depth > 16) return false;
  const TypeDeclaration* declared = declaration(type);
  if (!declared) return false;
  for (std::string_view next : declared->parents)
    if (conforms(next, parent, depth + 1)) return true;
  return false;
}

}  // namespace

std::string UniformType::identifierForExtension(std::string_view extension) {
  for (const ExtensionMapping& mapping : kExtensions)
    if (sameText(mapping.extension, extension)) return std::string(mapping.identifier);
  return "public.data";
}

std::string UniformType::identifierFor(std::string_view name, ItemKind kind) {
  const std::string_view extension = FilePackage::extension(name);
  switch (kind) {
    case ItemKind::symbolicLink:
      return "public.symlink";
    case ItemKind::other:
      return "public.item";
    case ItemKind::directory:
      if (!FilePackage::isPackageExtension(extension)) return "public.folder";
      for (const ExtensionMapping& mapping : kPackageTypes)
        if (sameText(mapping.extension, extension)) return std::string(mapping.identifier);
      return "com.apple.package";
    case ItemKind::regularFile:
      break;
  }
  return identifierForExtension(extension);
}

bool UniformType::conformsTo(std::string_view type, std::string_view parent) { return conforms(type, parent, 0); }

}  // namespace vozi::platform
