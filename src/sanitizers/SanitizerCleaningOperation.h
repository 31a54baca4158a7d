#pragma once

#include <functional>

#include "common/IModelItem.h"
#include "sanitizers/BaseSanitizerOperation.h"

namespace vozi {

// The base of every clean operation: what a sanitizer's clean gives back.
// shouldRemoveHandler (unset: every item may go) and didRemoveHandler
// (unset: nothing) let a subclass's caller veto or follow each removal; set
// them before the operation is queued.
template <typename Group>
class SanitizerCleaningOperation : public BaseSanitizerOperation<Group> {
 public:
  using BaseSanitizerOperation<Group>::BaseSanitizerOperation;

  using ShouldRemoveHandler = std::function<bool(const ModelItemPtr& item)>;
  using DidRemoveHandler = std::function<void(const ModelItemPtr& item)>;

  void setShouldRemoveHandler(ShouldRemoveHandler handler) { shouldRemoveHandler_ = std::move(handler); }
  void setDidRemoveHandler(DidRemoveHandler handler) { didRemoveHandler_ = std::move(handler); }

 protected:
  bool shouldRemove(const ModelItemPtr& item) const { return !shouldRemoveHandler_ || shouldRemoveHandler_(item); }
  void didRemove(const ModelItemPtr& item) const {
    if (didRemoveHandler_) didRemoveHandler_(item);
  }

 private:
  ShouldRemoveHandler shouldRemoveHandler_;
  DidRemoveHandler didRemoveHandler_;
};

}  // namespace vozi
