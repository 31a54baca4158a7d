#pragma once

#include <memory>
#include <string_view>

namespace vozi::platform {
class KeyedArchiver;
}

namespace vozi {

// What the agent's sendWithEvent carries: an analytics event, archived
// under the class name "GAEvent". The record itself belongs to the
// analytics layer, above this one; here it is only the C++ base that the
// service protocols name, so that the event can cross without this layer
// knowing its fields. The analytics layer registers its class under the
// archive name, with this base:
//
//   GAEventRecord::registerInterface();
//   ArchiveClassRegistry::shared().registerClass<GAEvent, GAEventRecord>(
//       std::string(GAEventRecord::kClassName));
//
// Until some class is registered under that name, an event that arrives is
// refused (its class is unknown) and one cannot be archived.
class GAEventRecord {
 public:
  static constexpr std::string_view kClassName = "GAEvent";

  // Makes the base known to the archive registry; any number of times.
  static void registerInterface();

  virtual ~GAEventRecord() = default;
  virtual void encode(platform::KeyedArchiver& archiver) const = 0;
};

using GAEventRecordPtr = std::shared_ptr<GAEventRecord>;

}  // namespace vozi
