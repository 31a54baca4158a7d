#include "common/ZOLMUserData.h"

#include "common/RecordCoding.h"

namespace vozi {

ZOLMUserData::ZOLMUserData(platform::KeyedUnarchiver& u)
    : userEmail_(recordcoding::decodeRequiredString(u, "userEmail")) {}

void ZOLMUserData::encode(platform::KeyedArchiver& a) const { a.encode("userEmail", userEmail_); }

}  // namespace vozi
