#include "platform/FilePackage.h"

#include <strings.h>
#include <sys/stat.h>

#include "platform/PathComponents.h"

namespace vozi::platform {

namespace {

// Folders that macOS shows as one item: programs and their plug-ins, system
// extensions, installer packages, document packages and media libraries.
constexpr std::string_view kPackageExtensions[] = {
    "app",          "appex",        "bundle",       "framework",       "plugin",         "kext",
    "dext",         "systemextension", "xpc",       "qlgenerator",     "mdimporter",     "prefPane",
    "saver",        "slideSaver",   "wdgt",         "component",       "colorPicker",    "service",
    "menu",         "ideplugin",    "vst",          "vst3",            "pkg",            "mpkg",
    "rtfd",         "pages",        "numbers",      "key",             "photoslibrary",  "photolibrary",
    "migratedphotolibrary",         "aplibrary",    "musiclibrary",    "tvlibrary",      "imovielibrary",
    "fcpbundle",    "theater",      "logicx",       "band",            "scptd",          "workflow",
    "action",       "docset",       "xcodeproj",    "xcworkspace",     "playground",     "xcarchive",
    "sparsebundle", "download",     "itlp",         "lpdf",            "mlmodelc",       "dictionary",
};

}  // namespace

bool FilePackage::isPackageExtension(std::string_view ext) {
  if (ext.empty()) return false;
  for (std::string_view known : kPackageExtensions)
    if (known.size() == ext.size() && ::strncasecmp(known.data(), ext.data(), ext.size()) == 0) return true;
  return false;
}

std::string_view FilePackage::extension(std::string_view path) {
  const std::string_view name = PathComponents::lastComponent(path);
  const auto dot = name.rfind('.');
  if (dot == std::string_view::npos || dot == 0) return {};
  return name.substr(dot + 1);
}

bool FilePackage::hasPackageExtension(std::string_view path) { return isPackageExtension(extension(path)); }

bool FilePackage::isFilePackage(const std::string& path) {
  if (!hasPackageExtension(path)) return false;
  struct stat info {};
  return ::lstat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

}  // namespace vozi::platform
