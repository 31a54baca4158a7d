#pragma once

#include <array>
#include <concepts>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <sstream>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>

namespace vozi {

// printf-style formatting over typed arguments. Each argument carries its own
// type, so a placeholder that does not fit its argument renders the argument
// sensibly instead of reading memory it was not given:
//   %@  the argument's description (text as it is, numbers in decimal, any
//       type with description() or operator<<)
//   %s  text; %d %i %u %x %X %o %c integers; %f %F %e %E %g %G %a %A reals;
//   %p  pointers; %% a percent sign. Flags "-+ #0", width, precision, "*",
//       positional "n$" and the length modifiers hh h l ll q L z j t are read;
//       hh and h narrow an integer as C does, the others change nothing.
// A placeholder without an argument writes "(null)"; arguments left over are
// ignored; %n writes nothing.
class StringFormat {
 public:
  class Argument {
   public:
    enum class Kind { signedInteger, unsignedInteger, real, text, pointer };

    Argument(bool value) : kind_(Kind::signedInteger), signed_(value ? 1 : 0) {}
    template <std::signed_integral T>
    Argument(T value) : kind_(Kind::signedInteger), signed_(static_cast<std::int64_t>(value)) {}
    template <std::unsigned_integral T>
      requires(!std::same_as<T, bool>)
    Argument(T value) : kind_(Kind::unsignedInteger), unsigned_(static_cast<std::uint64_t>(value)) {}
    template <std::floating_point T>
    Argument(T value) : kind_(Kind::real), real_(static_cast<double>(value)) {}
    template <class T>
      requires std::is_enum_v<T>
    Argument(T value) : Argument(static_cast<std::underlying_type_t<T>>(value)) {}
    Argument(const char* value) : kind_(Kind::text), text_(value ? value : "(null)") {}
    Argument(char* value) : Argument(static_cast<const char*>(value)) {}
    Argument(std::string_view value) : kind_(Kind::text), text_(value) {}
    Argument(const std::string& value) : kind_(Kind::text), text_(value) {}
    Argument(const std::filesystem::path& value) : kind_(Kind::text), text_(value.string()) {}
    template <class T>
    Argument(const std::optional<T>& value) : Argument(value ? Argument(*value) : Argument("(null)")) {}
    // Anything with a description: what "%@" was made for.
    template <class T>
      requires requires(const T& t) { std::string(t.description()); }
    Argument(const T& value) : kind_(Kind::text), text_(value.description()) {}
    // Other pointers print as addresses.
    template <class T>
      requires(!std::is_same_v<std::remove_cv_t<T>, char>)
    Argument(T* value) : kind_(Kind::pointer), unsigned_(reinterpret_cast<std::uintptr_t>(value)) {}
    // Last resort: whatever the type writes to a stream.
    template <class T>
      requires(!std::is_arithmetic_v<T> && !std::is_enum_v<T> && !std::is_pointer_v<T> &&
               !std::is_convertible_v<const T&, std::string_view> &&
               !requires(const T& t) { std::string(t.description()); } &&
               requires(std::ostream& os, const T& t) { os << t; })
    Argument(const T& value) : kind_(Kind::text) {
      std::ostringstream out;
      out << value;
      text_ = out.str();
    }

    Kind kind() const { return kind_; }
    std::int64_t signedValue() const;
    std::uint64_t unsignedValue() const;
    double realValue() const;
    // What "%@" writes.
    std::string description() const;

   private:
    Kind kind_;
    std::int64_t signed_ = 0;
    std::uint64_t unsigned_ = 0;
    double real_ = 0;
    std::string text_;
  };

  static std::string format(std::string_view format, std::span<const Argument> arguments);

  template <class... Args>
  static std::string formatted(std::string_view format, const Args&... args) {
    const std::array<Argument, sizeof...(Args)> list{Argument(args)...};
    return StringFormat::format(format, std::span<const Argument>(list.data(), list.size()));
  }
};

}  // namespace vozi
