#include "platform/URL.h"

#include <strings.h>

#include <array>
#include <cctype>

#include "platform/Hex.h"

namespace vozi::platform {

namespace {

// The bytes a URL path may hold unescaped: letters, digits and
// - . _ ~ ! $ & ' ( ) * + , ; = : @ /. A table, as every byte of every path
// of a scan goes through it.
constexpr std::array<bool, 256> kPathAllowed = [] {
  std::array<bool, 256> allowed{};
  for (int c = 'a'; c <= 'z'; ++c) allowed[static_cast<std::size_t>(c)] = true;
  for (int c = 'A'; c <= 'Z'; ++c) allowed[static_cast<std::size_t>(c)] = true;
  for (int c = '0'; c <= '9'; ++c) allowed[static_cast<std::size_t>(c)] = true;
  for (unsigned char c : std::string_view("-._~!$&'()*+,;=:@/")) allowed[c] = true;
  return allowed;
}();

bool isPathAllowed(unsigned char c) { return kPathAllowed[c]; }

std::string_view lastComponentOf(std::string_view path) {
  if (path.size() > 1 && path.back() == '/') path.remove_suffix(1);
  if (path == "/") return path;
  const auto slash = path.rfind('/');
  return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

// Where the next escape starts at or after `from`; text.size() when none.
std::size_t nextEscape(std::string_view text, std::size_t from) {
  const auto found = text.find('%', from);
  return found == std::string_view::npos ? text.size() : found;
}

// The byte an escape at `at` stands for; none when it is not two hex digits.
std::optional<char> escapedByte(std::string_view text, std::size_t at) {
  if (at + 2 >= text.size()) return std::nullopt;
  const int high = Hex::digitValue(text[at + 1]);
  const int low = Hex::digitValue(text[at + 2]);
  if (high < 0 || low < 0) return std::nullopt;
  return static_cast<char>(high * 16 + low);
}

// Position of the extension's dot inside the last component, or npos.
std::size_t extensionDot(std::string_view component) {
  const auto dot = component.rfind('.');
  if (dot == std::string_view::npos || dot == 0 || dot + 1 == component.size()) return std::string_view::npos;
  return dot;
}

}  // namespace

std::string URL::percentEncodePath(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  std::size_t run = 0;  // start of the allowed bytes not yet copied
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (isPathAllowed(c)) continue;
    out.append(text.data() + run, i - run);
    out.push_back('%');
    Hex::appendByte(out, c, Hex::Case::upper);
    run = i + 1;
  }
  out.append(text.data() + run, text.size() - run);
  return out;
}

std::optional<std::string> URL::percentDecode(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  // Runs without escapes (most of a path) are copied whole.
  for (std::size_t i = 0; i < text.size();) {
    const std::size_t escape = nextEscape(text, i);
    out.append(text.substr(i, escape - i));
    if (escape == text.size()) break;
    const auto byte = escapedByte(text, escape);
    if (!byte) return std::nullopt;
    out.push_back(*byte);
    i = escape + 3;
  }
  return out;
}

URL URL::fileURLWithPath(std::string_view path, bool isDirectory) {
  std::string absolute = "file://" + percentEncodePath(path);
  if (isDirectory && (absolute.empty() || absolute.back() != '/')) absolute.push_back('/');
  return URL(std::move(absolute));
}

std::optional<URL> URL::fromString(std::string_view text) { return fromString(std::string(text)); }

std::optional<URL> URL::fromString(std::string&& text) {
  const auto colon = text.find(':');
  if (colon == std::string_view::npos || colon == 0) return std::nullopt;
  for (std::size_t i = 0; i < colon; ++i) {
    const char c = text[i];
    const bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                    (i > 0 && ((c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.'));
    if (!ok) return std::nullopt;
  }
  URL url{std::move(text)};
  if (url.isFileURL()) {
    // Its path must decode, and to no NUL: checked without decoding it.
    const std::string_view path = url.rawPath();
    if (path.find('\0') != std::string_view::npos) return std::nullopt;
    for (std::size_t escape = nextEscape(path, 0); escape < path.size(); escape = nextEscape(path, escape + 3)) {
      const auto byte = escapedByte(path, escape);
      if (!byte || *byte == '\0') return std::nullopt;
    }
  }
  return url;
}

std::string URL::scheme() const {
  const auto colon = absolute_.find(':');
  std::string s = absolute_.substr(0, colon);
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

bool URL::isFileURL() const {
  // scheme() == "file", without making the lowercased copy.
  return ::strncasecmp(absolute_.c_str(), "file:", 5) == 0;
}

std::string_view URL::rawPath() const {
  std::string_view rest(absolute_);
  rest.remove_prefix(rest.find(':') + 1);
  if (rest.starts_with("//")) {
    rest.remove_prefix(2);
    const auto slash = rest.find('/');
    rest = slash == std::string_view::npos ? std::string_view() : rest.substr(slash);
  }
  // A plain scan: find_first_of searches the set once per character, and
  // this runs for every file of a scan.
  for (std::size_t i = 0; i < rest.size(); ++i)
    if (rest[i] == '?' || rest[i] == '#') return rest.substr(0, i);
  return rest;
}

bool URL::hasDirectoryPath() const {
  const auto raw = rawPath();
  return !raw.empty() && raw.back() == '/';
}

std::string URL::path() const {
  std::string decoded = percentDecode(rawPath()).value_or(std::string(rawPath()));
  if (decoded.size() > 1 && decoded.back() == '/') decoded.pop_back();
  return decoded;
}

std::string URL::encodedPath() const {
  std::string_view raw = rawPath();
  if (raw.size() > 1 && raw.back() == '/') raw.remove_suffix(1);
  // Made by fileURLWithPath, the raw path is already in this form: nothing
  // to decode and encode again. It is when every byte may stand unescaped
  // and every escape is one percentEncodePath writes: upper-case digits, for
  // a byte that must be escaped.
  auto upperDigit = [](char d) { return (d >= '0' && d <= '9') || (d >= 'A' && d <= 'F'); };
  for (std::size_t i = 0; i < raw.size(); ++i) {
    if (isPathAllowed(static_cast<unsigned char>(raw[i]))) continue;
    const auto byte = raw[i] == '%' ? escapedByte(raw, i) : std::nullopt;
    if (!byte || isPathAllowed(static_cast<unsigned char>(*byte)) || !upperDigit(raw[i + 1]) || !upperDigit(raw[i + 2]))
      return percentEncodePath(path());
    i += 2;
  }
  return std::string(raw);
}

std::string URL::lastPathComponent() const { return std::string(lastComponentOf(path())); }

std::string URL::lastPathComponentWithoutExtension() const { return lastPathComponentWithoutExtension(path()); }

std::string URL::lastPathComponentWithoutExtension(std::string_view decodedPath) const {
  const std::string_view component = lastComponentOf(decodedPath);
  // Only a file URL's extension is taken off, as deletingPathExtension does.
  const auto dot = isFileURL() ? extensionDot(component) : std::string_view::npos;
  return std::string(dot == std::string_view::npos ? component : component.substr(0, dot));
}

std::string URL::pathExtension() const {
  const std::string component = lastPathComponent();
  const auto dot = extensionDot(component);
  return dot == std::string::npos ? std::string() : component.substr(dot + 1);
}

URL URL::deletingPathExtension() const {
  if (!isFileURL()) return *this;
  const std::string full = path();
  const std::string component(lastComponentOf(full));
  const auto dot = extensionDot(component);
  if (dot == std::string::npos) return *this;
  const std::string stem = full.substr(0, full.size() - component.size() + dot);
  return fileURLWithPath(stem, hasDirectoryPath());
}

URL URL::deletingLastPathComponent() const {
  if (!isFileURL()) return *this;
  const std::string full = path();
  const auto slash = full.rfind('/');
  if (slash == std::string::npos || full == "/") return fileURLWithPath("/", true);
  return fileURLWithPath(slash == 0 ? "/" : full.substr(0, slash), true);
}

URL URL::appendingPathComponent(std::string_view component, bool isDirectory) const {
  if (!isFileURL()) return *this;
  std::string full = path();
  if (full.empty() || full.back() != '/') full.push_back('/');
  full.append(component);
  return fileURLWithPath(full, isDirectory);
}

}  // namespace vozi::platform
