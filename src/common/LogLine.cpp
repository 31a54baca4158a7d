#include "common/LogLine.h"

#include <cctype>

#include "platform/Hex.h"
#include "platform/PathComponents.h"
#include "platform/ProcessInfo.h"
#include "platform/URL.h"

namespace vozi {

namespace {

constexpr const char* kUnknownFile = "Unknown file";

bool isHex(char c) { return platform::Hex::digitValue(c) >= 0; }

// Characters a URL string may hold as they are (RFC 3986 unreserved and
// reserved); '%' is checked separately for its two hex digits.
bool isURLCharacter(char c) {
  if (std::isalnum(static_cast<unsigned char>(c))) return true;
  return std::string_view("-._~:/?#[]@!$&'()*+,;=").find(c) != std::string_view::npos;
}

bool isIdentifierCharacter(char c) {
  return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '~' || c == '$';
}

}  // namespace

std::string LogLine::threadLabel() { return platform::ProcessInfo::isMainThread() ? "Main" : "BG"; }

std::string LogLine::sourceFileName(std::string_view path) {
  if (path.empty()) return kUnknownFile;
  for (std::size_t i = 0; i < path.size(); ++i) {
    if (path[i] == '%') {
      if (i + 2 >= path.size() || !isHex(path[i + 1]) || !isHex(path[i + 2])) return kUnknownFile;
      i += 2;
    } else if (!isURLCharacter(path[i])) {
      return kUnknownFile;
    }
  }
  // The path of the URL ends at its query or fragment.
  std::string_view urlPath = path.substr(0, path.find_first_of("?#"));
  // A scheme ("file:") is not part of the path.
  if (const auto colon = urlPath.find(':'); colon != std::string_view::npos && urlPath.find('/') > colon)
    urlPath.remove_prefix(colon + 1);
  const std::string_view component = platform::PathComponents::lastComponent(urlPath);
  if (component.empty()) return kUnknownFile;
  // Every escape was checked above, so decoding cannot fail.
  return platform::URL::percentDecode(component).value_or(kUnknownFile);
}

std::string LogLine::functionName(std::string_view signature) {
  std::string text(signature);
  // Template argument lists that GCC appends: "f(T) [with T = int]".
  if (const auto with = text.find(" [with "); with != std::string::npos) text.erase(with);
  for (const std::string_view anonymous : {"(anonymous namespace)", "{anonymous}"}) {
    for (auto at = text.find(anonymous); at != std::string::npos; at = text.find(anonymous))
      text.replace(at, anonymous.size(), "anonymous");
  }

  // The first '(' outside template brackets opens the parameters of the
  // outermost function: for a lambda, of the function that holds it.
  int depth = 0;
  std::size_t open = std::string::npos;
  std::size_t operatorStart = std::string::npos;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (text.compare(i, 8, "operator") == 0 && (i == 0 || !isIdentifierCharacter(text[i - 1])) &&
        (i + 8 >= text.size() || !isIdentifierCharacter(text[i + 8]))) {
      // The operator's own symbol may hold brackets and parentheses.
      operatorStart = i;
      std::size_t j = i + 8;
      if (text.compare(j, 2, "()") == 0) {
        j += 2;
      } else {
        while (j < text.size() && text[j] != '(') ++j;
      }
      if (depth == 0 && j < text.size() && text[j] == '(') {
        open = j;
        break;
      }
      operatorStart = std::string::npos;
      i = j - 1;
      continue;
    }
    if (c == '<') ++depth;
    else if (c == '>' && depth > 0) --depth;
    else if (c == '(' && depth == 0) {
      open = i;
      break;
    }
  }
  if (open == std::string::npos) return text + "()";
  if (operatorStart != std::string::npos) {
    std::string name = text.substr(operatorStart, open - operatorStart);
    while (!name.empty() && name.back() == ' ') name.pop_back();
    return name + "()";
  }
  // Walk back over the name, and over template arguments written on it.
  std::size_t end = open;
  while (end > 0 && text[end - 1] == ' ') --end;
  std::size_t begin = end;
  if (begin > 0 && text[begin - 1] == '>') {
    int nesting = 0;
    while (begin > 0) {
      const char c = text[begin - 1];
      if (c == '>') ++nesting;
      if (c == '<') --nesting;
      --begin;
      if (nesting == 0) break;
    }
    end = begin;  // the bare name leaves its template arguments out
  }
  while (begin > 0 && isIdentifierCharacter(text[begin - 1])) --begin;
  if (begin == end) return text + "()";
  return text.substr(begin, end - begin) + "()";
}

std::string LogLine::debugRendering(std::string_view message) {
  std::string out;
  out.reserve(message.size() + 2);
  out.push_back('"');
  for (const char c : message) {
    const auto byte = static_cast<unsigned char>(c);
    switch (c) {
      case '\\': out.append("\\\\"); break;
      case '"': out.append("\\\""); break;
      case '\'': out.append("\\'"); break;
      case '\0': out.append("\\0"); break;
      case '\t': out.append("\\t"); break;
      case '\n': out.append("\\n"); break;
      case '\r': out.append("\\r"); break;
      default:
        // Bytes of multi-byte UTF-8 sequences are all 0x80 or above, so
        // byte-wise tests see exactly the control characters.
        if (byte < 0x20 || byte == 0x7F) {
          out.append("\\u{");
          platform::Hex::appendByte(out, byte, platform::Hex::Case::upper);
          out.push_back('}');
        } else {
          out.push_back(c);
        }
    }
  }
  out.push_back('"');
  return out;
}

std::string LogLine::prefix(std::string_view threadLabel, std::string_view fileName, std::string_view function,
                            unsigned long line) {
  std::string out;
  out.reserve(threadLabel.size() + fileName.size() + function.size() + 32);
  out.append("<").append(threadLabel).append("> ").append(fileName).append(" ").append(function);
  out.append("[").append(std::to_string(line)).append("]: ");
  return out;
}

namespace {

bool isLocalPartCharacter(char c) {
  return std::isalnum(static_cast<unsigned char>(c)) != 0 || std::string_view("._%+-").find(c) != std::string_view::npos;
}

bool isDomainCharacter(char c) {
  return std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '.' || c == '-';
}

}  // namespace

std::string LogLine::withoutEmailAddresses(std::string_view text) {
  std::string out;
  std::size_t copied = 0;
  for (std::size_t at = text.find('@'); at != std::string_view::npos; at = text.find('@', at + 1)) {
    if (at < copied) continue;
    std::size_t begin = at;
    while (begin > copied && isLocalPartCharacter(text[begin - 1])) --begin;
    std::size_t end = at + 1;
    while (end < text.size() && isDomainCharacter(text[end])) ++end;
    const std::string_view domain = text.substr(at + 1, end - at - 1);
    if (begin == at || domain.find('.') == std::string_view::npos) continue;
    out.append(text.substr(copied, begin - copied));
    out += "<e-mail>";
    copied = end;
    at = end - 1;
  }
  out.append(text.substr(copied));
  return out;
}

}  // namespace vozi
