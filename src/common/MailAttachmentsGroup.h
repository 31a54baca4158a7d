#pragma once

#include "common/FileTypedGroup.h"

namespace vozi {

// Mail attachments.
class MailAttachmentsGroup : public FileTypedGroup {
 public:
  static constexpr std::string_view kClassName = "MailAttachmentsGroup";

  using FileTypedGroup::FileTypedGroup;

  std::shared_ptr<IModelItem> copy() const override { return std::make_shared<MailAttachmentsGroup>(*this); }
  std::string_view className() const override { return kClassName; }
};

}  // namespace vozi
