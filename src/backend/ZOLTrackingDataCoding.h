#pragma once

#include "common/ZOLTrackingData.h"
#include "platform/Result.h"
#include "platform/Value.h"
#include "store/MOTrackingData.h"

namespace vozi {

// The forms the tracking-data record comes in and goes out as.
struct ZOLTrackingDataCoding {
  // Reads one "tracking_data" object of the backend's registration answer:
  // each of the eleven keys must be there, a string or null (null: absent);
  // other keys are ignored. A missing key fails with coderValueNotFound, a
  // value of another kind with coderReadCorrupt. The result is retrieved.
  static platform::Result<ZOLTrackingData> fromJSON(const platform::Value& object);
  // The record the store holds (its match type is the attribute
  // "utmMachType").
  static ZOLTrackingData withStoredModel(const MOTrackingData& stored);
  // The record as the socket protocol sends it: each present field under its
  // key; absent fields and `retrieved` are left out.
  static platform::Value::Dictionary IPCRepresentations(const ZOLTrackingData& record);
};

}  // namespace vozi
