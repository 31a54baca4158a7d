#include "platform/PathComponents.h"

#include <vector>

namespace vozi::platform {

std::string PathComponents::normalized(std::string_view path) {
  const bool absolute = !path.empty() && path.front() == '/';
  std::vector<std::string_view> parts;
  std::size_t start = 0;
  while (start <= path.size()) {
    std::size_t end = path.find('/', start);
    if (end == std::string_view::npos) end = path.size();
    const std::string_view part = path.substr(start, end - start);
    if (part == "..") {
      if (!parts.empty()) parts.pop_back();
    } else if (!part.empty() && part != ".") {
      parts.push_back(part);
    }
    start = end + 1;
  }
  std::string result = absolute ? "/" : "";
  for (std::size_t i = 0; i < parts.size(); ++i) {
    if (i > 0) result += '/';
    result.append(parts[i]);
  }
  return result;
}

bool PathComponents::isSameOrInside(std::string_view path, std::string_view folder) {
  const std::string p = normalized(path);
  const std::string f = normalized(folder);
  if (p == f) return true;
  return isInside(p, f);
}

bool PathComponents::isInside(std::string_view path, std::string_view folder) {
  const std::string p = normalized(path);
  const std::string f = normalized(folder);
  if (f.empty() || p.size() <= f.size()) return false;
  if (p.compare(0, f.size(), f) != 0) return false;
  return f == "/" || p[f.size()] == '/';
}

std::string PathComponents::appending(std::string_view base, std::string_view component) {
  std::string result(base);
  while (!result.empty() && result.back() == '/') result.pop_back();
  while (!component.empty() && component.front() == '/') component.remove_prefix(1);
  result += '/';
  result.append(component);
  return result;
}

std::string_view PathComponents::withoutTrailingSlashes(std::string_view path) {
  while (path.size() > 1 && path.back() == '/') path.remove_suffix(1);
  return path;
}

std::string_view PathComponents::lastComponent(std::string_view path) {
  path = withoutTrailingSlashes(path);
  const auto slash = path.rfind('/');
  return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

bool PathComponents::isSingleComponent(std::string_view name) {
  if (name.empty() || name == "." || name == "..") return false;
  return name.find('/') == std::string_view::npos && name.find('\0') == std::string_view::npos;
}

bool PathComponents::isCanonicalAbsolute(std::string_view path) {
  if (path.size() < 2 || path.front() != '/' || path.back() == '/') return false;
  std::size_t start = 1;
  while (start <= path.size()) {
    std::size_t end = path.find('/', start);
    if (end == std::string_view::npos) end = path.size();
    const std::string_view component = path.substr(start, end - start);
    if (component.empty() || component == "." || component == ".." || component.find('\0') != std::string_view::npos) {
      return false;
    }
    start = end + 1;
  }
  return true;
}

}  // namespace vozi::platform
