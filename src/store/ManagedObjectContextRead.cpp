#include "store/ManagedObjectContextRead.h"

#include "platform/store/ObjectStoreError.h"
#include "store/CoreDataFatalError.h"

namespace vozi {

namespace {

std::vector<platform::ManagedObjectPtr> run(platform::ManagedObjectContext& moc, const platform::FetchRequest& request) {
  platform::Error error;
  auto result = moc.fetch(request, &error);
  if (!result)
    coreDataFatalError("Can't read entity " + request.entityName + ": " + platform::ObjectStoreError::describe(error));
  return std::move(*result);
}

}  // namespace

std::vector<platform::ManagedObjectPtr> ManagedObjectContextRead::read(platform::ManagedObjectContext& moc,
                                                                       const std::string& entityName) {
  return run(moc, platform::FetchRequest(entityName));
}

std::vector<platform::ManagedObjectPtr> ManagedObjectContextRead::read(
    platform::ManagedObjectContext& moc, const std::string& entityName, const std::optional<std::string>& sortBy,
    bool sortDirection, std::int64_t fetchLimit, const std::optional<platform::Predicate>& predicate,
    bool lightWeight) {
  platform::FetchRequest request(entityName);
  if (sortBy) request.sortDescriptors = {{*sortBy, sortDirection}};
  request.predicate = predicate;
  if (lightWeight) {
    request.includesSubentities = false;
    request.includesPendingChanges = false;
    request.includesPropertyValues = false;
  }
  if (fetchLimit > 0) request.fetchLimit = static_cast<std::size_t>(fetchLimit);
  return run(moc, request);
}

}  // namespace vozi
