#include "platform/store/ObjectStoreError.h"

namespace vozi::platform {

Error ObjectStoreError::make(Code code, const std::string& description) {
  return Error(kDomain, code, {{"NSLocalizedDescription", Value(description)}});
}

bool ObjectStoreError::isCorruption(const Error& error) {
  return error.domain == kDomain && error.code == corruptStore;
}

std::string ObjectStoreError::describe(const Error& error) {
  return "Error Domain=" + error.domain + " Code=" + std::to_string(error.code) + " \"" +
         error.localizedDescription() + "\"";
}

}  // namespace vozi::platform
