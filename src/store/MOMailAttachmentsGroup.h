#pragma once

#include "common/MailAttachmentsGroup.h"
#include "store/ItemGroupCoreDataExtensions.h"
#include "store/MOFileRepresentableGroup.h"

namespace vozi {

// The stored mail attachments; their file kinds are not read back.
class MOMailAttachmentsGroup : public MOFileRepresentableGroup {
 public:
  static constexpr std::string_view kEntityName = "MOMailAttachmentsGroup";

  ItemGroupPtr createRuntimeModel() const override { return ItemGroupCoreDataExtensions::fileGroup<MailAttachmentsGroup>(*this); }
};

}  // namespace vozi
