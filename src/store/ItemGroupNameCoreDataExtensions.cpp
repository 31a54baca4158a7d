#include "store/ItemGroupNameCoreDataExtensions.h"

#include <unicode/uchar.h>
#include <unicode/utf8.h>

namespace vozi {

std::string ItemGroupNameCoreDataExtensions::firstUppercased(std::string_view text) {
  if (text.empty()) return std::string(text);
  const auto first = static_cast<unsigned char>(text.front());
  if (first < 0x80) {
    std::string out(text);
    if (first >= 'a' && first <= 'z') out.front() = static_cast<char>(first - 'a' + 'A');
    return out;
  }
  // A character beyond ASCII takes its title-case form; bytes that are not
  // UTF-8 are left as they are.
  int32_t offset = 0;
  UChar32 c = 0;
  const auto length = static_cast<int32_t>(text.size());
  U8_NEXT(reinterpret_cast<const uint8_t*>(text.data()), offset, length, c);
  if (c < 0) return std::string(text);
  const UChar32 title = u_totitle(c);
  char buffer[U8_MAX_LENGTH];
  int32_t written = 0;
  UBool failed = false;
  U8_APPEND(reinterpret_cast<uint8_t*>(buffer), written, U8_MAX_LENGTH, title, failed);
  if (failed) return std::string(text);
  return std::string(buffer, static_cast<std::size_t>(written)) + std::string(text.substr(static_cast<std::size_t>(offset)));
}

std::string ItemGroupNameCoreDataExtensions::storedEntityName(ItemGroupName name) {
  return "MO" + firstUppercased(rawValue(name)) + "Group";
}

}  // namespace vozi
