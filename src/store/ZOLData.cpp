#include "store/ZOLData.h"

#include "common/MLog.h"
#include "common/ScanGroupName.h"
#include "platform/store/ObjectStoreError.h"
#include "store/CoreDataFatalError.h"
#include "store/MOEvent.h"
#include "store/MOPreferences.h"
#include "store/ManagedObjectContextRead.h"
#include "store/ZOLModel.h"

namespace vozi {

using platform::Predicate;
using platform::Value;
using Read = ManagedObjectContextRead;

ZOLData::ZOLData() : BaseCoreDataManager("ZOL", &ZOLModel::make) {}

template <class T>
std::shared_ptr<T> ZOLData::insert(const char* entityName) {
  auto object = std::dynamic_pointer_cast<T>(moc()->insertNewObject(entityName));
  if (!object) coreDataFatalError("Error creating entity description");
  return object;
}

std::shared_ptr<MOApplicationState> ZOLData::getApplicationState() {
  return moc()->performAndWaitResult([&]() -> std::shared_ptr<MOApplicationState> {
    auto records = Read::read(*moc(), entityNames::applicationState);
    if (records.empty()) {
      MLog("savedApplicationState.count=0");
      return nullptr;
    }
    auto state = std::dynamic_pointer_cast<MOApplicationState>(records.front());
    if (!state) {
      MLog("Read something but can convert to MOApplicationState");
      return nullptr;
    }
    MLogf("ApplicationState read OK: %@", state->debugDescription());
    return state;
  });
}

std::shared_ptr<MOTrackingData> ZOLData::getTrackingData() {
  return moc()->performAndWaitResult([&]() -> std::shared_ptr<MOTrackingData> {
    auto records = Read::read(*moc(), entityNames::trackingData);
    return records.empty() ? nullptr : std::dynamic_pointer_cast<MOTrackingData>(records.front());
  });
}

std::vector<std::shared_ptr<MOScanGroup>> ZOLData::recentGroups() {
  return moc()->performAndWaitResult([&] {
    std::vector<std::shared_ptr<MOScanGroup>> result;
    platform::FetchRequest request(entityNames::scanGroup);
    request.sortDescriptors = {{"created", false}};
    request.fetchLimit = 1;
    for (ScanGroupName name : kAllScanGroupNames) {
      const std::string raw(rawValue(name));
      request.predicate = Predicate::equal("name", raw);
      platform::Error error;
      auto records = moc()->fetch(request, &error);
      if (!records) {
        if (platform::ObjectStoreError::isCorruption(error))
          coreDataFatalError("Can't read entity " + std::string(entityNames::scanGroup) + ": " +
                             platform::ObjectStoreError::describe(error));
        MLog("Records for " + raw + " not found");
        continue;
      }
      for (auto& record : *records)
        if (auto group = std::dynamic_pointer_cast<MOScanGroup>(record)) result.push_back(group);
    }
    return result;
  });
}

std::shared_ptr<MOCleanHistory> ZOLData::getCleanHistory() {
  return moc()->performAndWaitResult([&] {
    auto records = Read::read(*moc(), entityNames::cleanHistory, std::nullopt, true, 1);
    if (!records.empty())
      if (auto history = std::dynamic_pointer_cast<MOCleanHistory>(records.front())) return history;
    return insert<MOCleanHistory>(entityNames::cleanHistory);
  });
}

void ZOLData::recordClean(ScanGroupName category, std::int64_t bytes, platform::Date date) {
  moc()->performAndWait([&] {
    const std::string raw(rawValue(category));
    platform::FetchRequest request(entityNames::scanGroup);
    request.sortDescriptors = {{"created", false}};
    request.fetchLimit = 1;
    request.predicate = Predicate::equal("name", raw);
    platform::Error error;
    auto records = moc()->fetch(request, &error);
    if (!records && platform::ObjectStoreError::isCorruption(error))
      coreDataFatalError("Can't read entity " + std::string(entityNames::scanGroup) + ": " +
                         platform::ObjectStoreError::describe(error));
    std::shared_ptr<MOScanGroup> row;
    if (records && !records->empty()) row = std::dynamic_pointer_cast<MOScanGroup>(records->front());
    if (!row) {
      row = insert<MOScanGroup>(entityNames::scanGroup);
      row->setName(raw);
      row->setCreated(date);
    }
    row->setLastCleanedSize(bytes);
    row->setTotalCleanedSize(row->totalCleanedSize() + bytes);
    row->setLastCleanedDate(date);
    save();
  });
}

void ZOLData::recordCompleteClean(platform::Date date) {
  moc()->performAndWait([&] {
    auto records = Read::read(*moc(), entityNames::cleanHistory, std::nullopt, true, 1);
    std::shared_ptr<MOCleanHistory> history =
        records.empty() ? nullptr : std::dynamic_pointer_cast<MOCleanHistory>(records.front());
    if (!history) history = insert<MOCleanHistory>(entityNames::cleanHistory);
    if (!history->firstCleanedDate()) history->setFirstCleanedDate(date);
    history->setLastCompleteCleanDate(date);
    save();
  });
}

std::optional<ZOLMPreferences> ZOLData::getPreferences() {
  return moc()->performAndWaitResult([&]() -> std::optional<ZOLMPreferences> {
    auto records = Read::read(*moc(), entityNames::preferences);
    if (records.empty()) return std::nullopt;
    auto stored = std::dynamic_pointer_cast<MOPreferences>(records.back());
    if (!stored) return std::nullopt;
    ZOLMPreferences preferences = stored->transportModel();
    const ZOLMPreferences defaults;
    if (preferences.bigFilesMinSize() < defaults.bigFilesMinSize())
      preferences.setBigFilesMinSize(defaults.bigFilesMinSize());
    return preferences;
  });
}

void ZOLData::store(const std::optional<ZOLMPreferences>& preferences) {
  moc()->performAndWait([&] {
    if (!preferences) {
      deleteAll(entityNames::preferences);
      return;
    }
    auto records = Read::read(*moc(), entityNames::preferences);
    std::shared_ptr<MOPreferences> stored =
        records.empty() ? nullptr : std::dynamic_pointer_cast<MOPreferences>(records.back());
    if (!stored) stored = insert<MOPreferences>(entityNames::preferences);
    stored->update(*preferences);
    save();
  });
}

void ZOLData::store(const ZOLApplicationState& applicationState) {
  moc()->performAndWait([&] {
    auto records = Read::read(*moc(), entityNames::applicationState);
    std::shared_ptr<MOApplicationState> stored =
        records.empty() ? nullptr : std::dynamic_pointer_cast<MOApplicationState>(records.front());
    if (!stored) stored = insert<MOApplicationState>(entityNames::applicationState);
    stored->setUserEmail(applicationState.userEmail());
    stored->setUserId(applicationState.modelObject().userID());
    save();
  });
}

void ZOLData::store(const ZOLTrackingData& trackingData) {
  moc()->performAndWait([&] {
    auto records = Read::read(*moc(), entityNames::trackingData);
    std::shared_ptr<MOTrackingData> stored =
        records.empty() ? nullptr : std::dynamic_pointer_cast<MOTrackingData>(records.front());
    if (!stored) stored = insert<MOTrackingData>(entityNames::trackingData);
    stored->setCampaignContent(trackingData.campaignContent);
    stored->setCampaignID(trackingData.campaignID);
    stored->setCampaignKeyword(trackingData.campaignKeyword);
    stored->setCampaignMedium(trackingData.campaignMedium);
    stored->setCampaignSource(trackingData.campaignSource);
    stored->setClientID(trackingData.clientID);
    stored->setDocumentReferrer(trackingData.documentReferrer);
    stored->setGoogleAdWordsID(trackingData.googleAdWordsID);
    stored->setRetrieved(trackingData.retrieved);
    stored->setUtmAdGroup(trackingData.utmAdGroup);
    stored->setUtmDevice(trackingData.utmDevice);
    stored->setUtmMachType(trackingData.utmMatchType);
    save();
  });
}

void ZOLData::store(const ZOLEvent& event) {
  moc()->performAndWait([&] {
    auto record = insert<MOEvent>(entityNames::event);
    record->setBackendJsonRepresentationData(event.backendJsonRepresentationData());
    record->setDate(event.date());
    record->setEventType(std::string(rawValue(event.eventType())));
    save();
  });
}

void ZOLData::remove(const ZOLEvent& event) {
  moc()->performAndWait([&] {
    const Predicate sameDate = Predicate::andPredicate({Predicate::equal("date", Value(event.date()))});
    for (auto& record : Read::read(*moc(), entityNames::event, "date", true, 0, sameDate, false)) {
      auto stored = std::dynamic_pointer_cast<MOEvent>(record);
      if (!stored) return;
      auto storedEvent =
          ZOLEvent::fromStoredFields(stored->date(), stored->eventType(), stored->backendJsonRepresentationData());
      if (storedEvent && *storedEvent == event) moc()->deleteObject(stored);
    }
    save();
  });
}

std::optional<ZOLEvent> ZOLData::firstEvent() {
  return moc()->performAndWaitResult([&]() -> std::optional<ZOLEvent> {
    const Predicate oldest = Predicate::equalToMinimum("date");
    for (;;) {
      auto records = Read::read(*moc(), entityNames::event, "date", false, 1, oldest, false);
      if (records.empty()) return std::nullopt;
      auto stored = std::dynamic_pointer_cast<MOEvent>(records.front());
      if (!stored) return std::nullopt;
      if (auto event =
              ZOLEvent::fromStoredFields(stored->date(), stored->eventType(), stored->backendJsonRepresentationData()))
        return event;
      // Left in place it would stay the oldest for ever and hold back every
      // event behind it.
      MLog("Dropping stored event that cannot be read back, type " + stored->eventType().value_or("nil") + ", date " +
           (stored->date() ? stored->date()->description() : std::string("nil")));
      moc()->deleteObject(stored);
      save();
    }
  });
}

}  // namespace vozi
