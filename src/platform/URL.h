#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace vozi::platform {

// An absolute URL kept as its absolute string. File URLs ("file:///a/b%20c")
// are the common case: records name files and folders by them, and their
// file-system path is the percent-decoded path part. Directory URLs end in
// "/", as the URLs the file walks hand out do.
class URL {
 public:
  // A file URL for an absolute path; a relative path is taken as given.
  static URL fileURLWithPath(std::string_view path, bool isDirectory = false);
  // Parses "scheme:rest". Absent for text without a scheme, or for a file URL
  // whose path holds a bad percent escape or an encoded NUL.
  static std::optional<URL> fromString(std::string_view absoluteString);
  // The same, keeping the given text as the URL's.
  static std::optional<URL> fromString(std::string&& absoluteString);
  static std::optional<URL> fromString(const char* absoluteString) {
    return fromString(std::string_view(absoluteString));
  }

  const std::string& absoluteString() const { return absolute_; }
  std::string scheme() const;
  bool isFileURL() const;
  bool hasDirectoryPath() const;

  // The percent-decoded path, without a trailing "/" (except for "/" itself).
  std::string path() const;
  // percentEncodePath(path()): the identity records give a file by.
  std::string encodedPath() const;
  std::string lastPathComponent() const;
  // deletingPathExtension().lastPathComponent(), decoding the path once; or
  // from this URL's path() when the caller has it already.
  std::string lastPathComponentWithoutExtension() const;
  std::string lastPathComponentWithoutExtension(std::string_view decodedPath) const;
  // The text after the last "." of the last component; "" when there is none
  // or the only dot leads the component (".profile").
  std::string pathExtension() const;
  URL deletingPathExtension() const;
  URL deletingLastPathComponent() const;
  URL appendingPathComponent(std::string_view component, bool isDirectory = false) const;

  // The absolute string, as a URL describes itself in log lines.
  const std::string& description() const { return absolute_; }

  // Percent-encodes every byte outside the characters a URL path may hold
  // unescaped: letters, digits and - . _ ~ ! $ & ' ( ) * + , ; = : @ /.
  static std::string percentEncodePath(std::string_view text);
  // Decodes %XX escapes; absent on a malformed escape.
  static std::optional<std::string> percentDecode(std::string_view text);

  friend bool operator==(const URL& a, const URL& b) { return a.absolute_ == b.absolute_; }
  friend auto operator<=>(const URL& a, const URL& b) { return a.absolute_ <=> b.absolute_; }

 private:
  explicit URL(std::string absolute) : absolute_(std::move(absolute)) {}
  // The raw (still encoded) path part of the absolute string.
  std::string_view rawPath() const;

  std::string absolute_;
};

}  // namespace vozi::platform

template <>
struct std::hash<vozi::platform::URL> {
  std::size_t operator()(const vozi::platform::URL& url) const noexcept {
    return std::hash<std::string>{}(url.absoluteString());
  }
};
