#include "common/DataExtensions.h"

#include "platform/Hex.h"
#include "platform/Sha256.h"

namespace vozi {

platform::Data DataExtensions::sha256(const platform::Data& data) {
  return platform::Sha256::digest(data.data(), data.size());
}

std::string DataExtensions::com_zol_hexEncodedString(const platform::Data& data) {
  return platform::Hex::encode(data);
}

}  // namespace vozi
