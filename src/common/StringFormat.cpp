#include "common/StringFormat.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <limits>

#include "platform/Utf8.h"

namespace vozi {

namespace {

// Widths and precisions beyond this are clamped: a format string must not be
// able to ask for gigabytes of padding.
constexpr int kMaxWidth = 4096;

struct Placeholder {
  std::string flags;
  int width = -1;
  int precision = -1;
  std::string length;
  char conversion = 0;
};

bool hasFlag(const Placeholder& placeholder, char flag) { return placeholder.flags.find(flag) != std::string::npos; }

std::size_t codePointCount(std::string_view text) {
  std::size_t count = 0;
  for (unsigned char c : text)
    if ((c & 0xC0) != 0x80) ++count;
  return count;
}

// The longest prefix of at most `limit` code points.
std::string_view codePointPrefix(std::string_view text, std::size_t limit) {
  std::size_t count = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80) {
      if (count == limit) return text.substr(0, i);
      ++count;
    }
  }
  return text;
}

std::string padded(std::string text, const Placeholder& placeholder) {
  if (placeholder.width < 0) return text;
  const std::size_t length = codePointCount(text);
  const auto width = static_cast<std::size_t>(placeholder.width);
  if (length >= width) return text;
  const std::string padding(width - length, ' ');
  return hasFlag(placeholder, '-') ? text + padding : padding + text;
}

std::string textConversion(std::string_view text, const Placeholder& placeholder) {
  if (placeholder.precision >= 0) text = codePointPrefix(text, static_cast<std::size_t>(placeholder.precision));
  return padded(std::string(text), placeholder);
}

// A printf conversion built only from characters we parsed and checked, and
// given a value of exactly the type the conversion reads.
std::string cFormat(const Placeholder& placeholder, std::string_view lengthModifier, char conversion) {
  std::string out = "%";
  out += placeholder.flags;
  if (placeholder.width >= 0) out += std::to_string(placeholder.width);
  if (placeholder.precision >= 0) {
    out.push_back('.');
    out.append(std::to_string(placeholder.precision));
  }
  out += lengthModifier;
  out += conversion;
  return out;
}

template <class T>
std::string printfValue(const std::string& format, T value) {
  char buffer[256];
  const int needed = std::snprintf(buffer, sizeof buffer, format.c_str(), value);
  if (needed < 0) return {};
  if (static_cast<std::size_t>(needed) < sizeof buffer) return std::string(buffer, static_cast<std::size_t>(needed));
  std::string out(static_cast<std::size_t>(needed) + 1, '\0');
  std::snprintf(out.data(), out.size(), format.c_str(), value);
  out.resize(static_cast<std::size_t>(needed));
  return out;
}


std::string integerConversion(const StringFormat::Argument& argument, const Placeholder& placeholder) {
  using Kind = StringFormat::Argument::Kind;
  if (argument.kind() == Kind::text) return textConversion(argument.description(), placeholder);
  if (argument.kind() == Kind::real && !std::isfinite(argument.realValue()))
    return textConversion(argument.description(), placeholder);
  const bool isSigned = placeholder.conversion == 'd' || placeholder.conversion == 'i';
  if (isSigned) {
    // An unsigned value too big for a signed one keeps its value.
    if (argument.kind() == Kind::unsignedInteger && argument.unsignedValue() > static_cast<std::uint64_t>(INT64_MAX) &&
        placeholder.length != "hh" && placeholder.length != "h")
      return printfValue(cFormat(placeholder, "ll", 'u'), static_cast<unsigned long long>(argument.unsignedValue()));
    std::int64_t value = argument.signedValue();
    if (placeholder.length == "hh") value = static_cast<signed char>(value);
    if (placeholder.length == "h") value = static_cast<short>(value);
    return printfValue(cFormat(placeholder, "ll", placeholder.conversion), static_cast<long long>(value));
  }
  std::uint64_t value = argument.unsignedValue();
  if (placeholder.length == "hh") value = static_cast<unsigned char>(value);
  if (placeholder.length == "h") value = static_cast<unsigned short>(value);
  return printfValue(cFormat(placeholder, "ll", placeholder.conversion), static_cast<unsigned long long>(value));
}

std::string realConversion(const StringFormat::Argument& argument, const Placeholder& placeholder) {
  if (argument.kind() == StringFormat::Argument::Kind::text) return textConversion(argument.description(), placeholder);
  return printfValue(cFormat(placeholder, "", placeholder.conversion), argument.realValue());
}

std::string characterConversion(const StringFormat::Argument& argument, const Placeholder& placeholder) {
  std::string text;
  if (argument.kind() == StringFormat::Argument::Kind::text) {
    const std::string description = argument.description();
    text = std::string(codePointPrefix(description, 1));
  } else {
    platform::Utf8::append(text, static_cast<char32_t>(argument.unsignedValue() & 0xFFFFFFFFu));
  }
  return padded(text, placeholder);
}

std::string pointerConversion(const StringFormat::Argument& argument, const Placeholder& placeholder) {
  if (argument.kind() == StringFormat::Argument::Kind::text) return textConversion(argument.description(), placeholder);
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "0x%llx", static_cast<unsigned long long>(argument.unsignedValue()));
  return padded(buffer, placeholder);
}

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// Reads a decimal number at `i`; clamps to kMaxWidth.
int readNumber(std::string_view format, std::size_t& i) {
  long value = 0;
  while (i < format.size() && isDigit(format[i])) {
    value = value * 10 + (format[i] - '0');
    if (value > kMaxWidth) value = kMaxWidth + 1;
    ++i;
  }
  return static_cast<int>(value > kMaxWidth ? kMaxWidth : value);
}

}  // namespace

std::int64_t StringFormat::Argument::signedValue() const {
  switch (kind_) {
    case Kind::signedInteger: return signed_;
    case Kind::unsignedInteger:
    case Kind::pointer: return static_cast<std::int64_t>(unsigned_);
    case Kind::real:
      if (!std::isfinite(real_)) return 0;
      if (real_ >= 9.2233720368547758e18) return INT64_MAX;
      if (real_ <= -9.2233720368547758e18) return INT64_MIN;
      return static_cast<std::int64_t>(real_);
    case Kind::text: return 0;
  }
  return 0;
}

std::uint64_t StringFormat::Argument::unsignedValue() const {
  switch (kind_) {
    case Kind::signedInteger: return static_cast<std::uint64_t>(signed_);
    case Kind::unsignedInteger:
    case Kind::pointer: return unsigned_;
    case Kind::real:
      if (!std::isfinite(real_) || real_ <= 0) return static_cast<std::uint64_t>(signedValue());
      if (real_ >= 1.8446744073709552e19) return UINT64_MAX;
      return static_cast<std::uint64_t>(real_);
    case Kind::text: return 0;
  }
  return 0;
}

double StringFormat::Argument::realValue() const {
  switch (kind_) {
    case Kind::signedInteger: return static_cast<double>(signed_);
    case Kind::unsignedInteger:
    case Kind::pointer: return static_cast<double>(unsigned_);
    case Kind::real: return real_;
    case Kind::text: return 0;
  }
  return 0;
}

std::string StringFormat::Argument::description() const {
  switch (kind_) {
    case Kind::signedInteger: return std::to_string(signed_);
    case Kind::unsignedInteger: return std::to_string(unsigned_);
    case Kind::real: {
      if (std::isnan(real_)) return "nan";
      if (std::isinf(real_)) return real_ < 0 ? "-inf" : "inf";
      char buffer[64];
      const auto result = std::to_chars(buffer, buffer + sizeof buffer, real_);
      return std::string(buffer, result.ptr);
    }
    case Kind::pointer: {
      char buffer[32];
      std::snprintf(buffer, sizeof buffer, "0x%llx", static_cast<unsigned long long>(unsigned_));
      return buffer;
    }
    case Kind::text: return text_;
  }
  return {};
}

std::string StringFormat::format(std::string_view format, std::span<const Argument> arguments) {
  std::string out;
  out.reserve(format.size() + 16 * arguments.size());
  std::size_t nextArgument = 0;
  std::size_t i = 0;

  const auto takeArgument = [&](std::optional<std::size_t> position) -> const Argument* {
    const std::size_t index = position ? *position : nextArgument++;
    return index < arguments.size() ? &arguments[index] : nullptr;
  };

  while (i < format.size()) {
    const char c = format[i];
    if (c != '%') {
      out.push_back(c);
      ++i;
      continue;
    }
    const std::size_t start = i++;
    if (i >= format.size()) {  // a lone trailing '%'
      out.push_back('%');
      break;
    }
    Placeholder placeholder;
    std::optional<std::size_t> position;
    // Positional argument "n$".
    {
      std::size_t j = i;
      if (j < format.size() && isDigit(format[j]) && format[j] != '0') {
        const int n = readNumber(format, j);
        if (j < format.size() && format[j] == '$' && n >= 1) {
          position = static_cast<std::size_t>(n - 1);
          i = j + 1;
        }
      }
    }
    while (i < format.size() && std::string_view("-+ #0'").find(format[i]) != std::string_view::npos) {
      if (format[i] != '\'' && !hasFlag(placeholder, format[i])) placeholder.flags.push_back(format[i]);
      ++i;
    }
    if (i < format.size() && format[i] == '*') {
      ++i;
      const Argument* width = takeArgument(std::nullopt);
      long value = width ? static_cast<long>(std::clamp<std::int64_t>(width->signedValue(), -kMaxWidth, kMaxWidth)) : 0;
      if (value < 0) {
        if (!hasFlag(placeholder, '-')) placeholder.flags.push_back('-');
        value = -value;
      }
      placeholder.width = static_cast<int>(value);
    } else if (i < format.size() && isDigit(format[i])) {
      placeholder.width = readNumber(format, i);
    }
    if (i < format.size() && format[i] == '.') {
      ++i;
      if (i < format.size() && format[i] == '*') {
        ++i;
        const Argument* precision = takeArgument(std::nullopt);
        const std::int64_t value = precision ? std::clamp<std::int64_t>(precision->signedValue(), -1, kMaxWidth) : 0;
        placeholder.precision = static_cast<int>(value);
      } else {
        placeholder.precision = readNumber(format, i);
      }
    }
    while (i < format.size() && std::string_view("hlqLzjt").find(format[i]) != std::string_view::npos) {
      placeholder.length.push_back(format[i]);
      ++i;
    }
    if (i >= format.size()) {  // an unfinished placeholder is written as it stands
      out.append(format.substr(start));
      break;
    }
    placeholder.conversion = format[i++];
    if (placeholder.conversion == '%') {
      out.push_back('%');
      continue;
    }
    if (std::string_view("@sSdiuxXocCfFeEgGaApn").find(placeholder.conversion) == std::string_view::npos) {
      out.append(format.substr(start, i - start));  // unknown: written as it stands
      continue;
    }
    if (placeholder.conversion == 'n') continue;
    const Argument* argument = takeArgument(position);
    if (!argument) {
      out.append(padded("(null)", placeholder));
      continue;
    }
    switch (placeholder.conversion) {
      case '@':
      case 's':
      case 'S': out.append(textConversion(argument->description(), placeholder)); break;
      case 'd':
      case 'i':
      case 'u':
      case 'x':
      case 'X':
      case 'o': out.append(integerConversion(*argument, placeholder)); break;
      case 'c':
      case 'C': out.append(characterConversion(*argument, placeholder)); break;
      case 'p': out.append(pointerConversion(*argument, placeholder)); break;
      default: out.append(realConversion(*argument, placeholder)); break;
    }
  }
  return out;
}

}  // namespace vozi
