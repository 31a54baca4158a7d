// The UI's and the menu-bar helper's requests on the named services: scans,
// cleans, cancels, stored results, preferences and events.

#include <sys/stat.h>

#include <set>

#include "agent/UserAgentStandIn.h"
#include "common/BigFilesGroup.h"
#include "common/DuplicatesGroup.h"
#include "common/FileKinds.h"
#include "common/IFileItem.h"
#include "common/MailAttachmentsGroup.h"
#include "common/MemoryGroup.h"
#include "common/ShredderGroup.h"
#include "ipc/IZOLEventServer.h"
#include "ipc/XPCServices.h"
#include "platform/UUID.h"
#include "server/ServerTestSupport.h"

namespace vozi {
namespace {

using namespace std::chrono_literals;

class ServiceRequestTest : public test::ServerTest {
 protected:
  std::shared_ptr<client::ServiceClient> ui() { return client::ServiceClient::make(60s); }

  static std::set<std::string> pathsOf(const ItemGroupPtr& group) {
    std::set<std::string> paths;
    group->enumerateLeaves([&](const ModelItemPtr& item, bool&) {
      if (const auto* file = dynamic_cast<const IFileItem*>(item.get())) paths.insert(file->path());
    });
    return paths;
  }
  bool exists(const std::string& treePath) const {
    struct stat info {};
    return ::lstat((root / treePath).c_str(), &info) == 0;
  }
};

TEST_F(ServiceRequestTest, AScanFindsTheFilesAndACleanDeletesOnlyWhatTheScanFound) {
  tree.addFile("/System/Library/Caches/com.example.tool/a.cache", 100).addFile("/System/Library/Caches/com.example.tool/b.cache", 250);
  auto client = ui();
  auto scanned = client->scan(*client::groupsNamed({"systemCache"}), {});
  ASSERT_TRUE(scanned) << scanned.error().localizedDescription();
  ASSERT_EQ(scanned->size(), 1u);
  EXPECT_EQ(scanned->front()->size(), 350u);
  EXPECT_EQ(pathsOf(scanned->front()), (std::set<std::string>{root / "/System/Library/Caches/com.example.tool/a.cache",
                                                              root / "/System/Library/Caches/com.example.tool/b.cache"}));

  // A file that appeared after the scan is not the clean's to delete.
  tree.addFile("/System/Library/Caches/com.example.tool/new.cache", 40);
  auto stored = client->results({"systemCache"});
  ASSERT_TRUE(stored);
  ASSERT_EQ(stored->size(), 1u);
  EXPECT_EQ(stored->front()->size(), 350u);
  auto cleaned = client->clean(*stored, {});
  ASSERT_TRUE(cleaned) << cleaned.error().localizedDescription();
  // The answer is the group as the store holds it after the clean.
  ASSERT_EQ(cleaned->size(), 1u);
  EXPECT_EQ(cleaned->front()->count(), 0u);
  EXPECT_FALSE(exists("/System/Library/Caches/com.example.tool/a.cache"));
  EXPECT_FALSE(exists("/System/Library/Caches/com.example.tool/b.cache"));
  EXPECT_TRUE(exists("/System/Library/Caches/com.example.tool/new.cache"));

  // The clean is in the history, under its category.
  auto socket = socketClient();
  ASSERT_TRUE(socket->send(test::request("getCleaningHistory")));
  auto history = socket->receive(60s);
  ASSERT_TRUE(history && *history);
  const auto& parameters = *(*history)->at("parameters").asDictionary();
  EXPECT_TRUE(parameters.count("lastCompleteCleanTimestamp"));
  const auto& modules = *parameters.at("modules").asArray();
  ASSERT_EQ(modules.size(), 1u);
  const auto& module = *modules.front().asDictionary();
  EXPECT_EQ(*module.at("moduleName").asString(), "System");
  EXPECT_EQ(module.at("lastCleanedBytes").asInt64(), std::optional<std::int64_t>(350));

  // Each request stopped the background scan and started it again.
  EXPECT_GE(initiator->stops.load(), 2);
  EXPECT_GE(initiator->starts.load(), 3);  // the set-up's start, then one per request
}

// An application is listed with its leftovers, stored, and uninstalled
// from what was stored: bundle and leftovers go, an application installed
// after the scan stays.
TEST_F(ServiceRequestTest, ApplicationsAreListedStoredAndUninstalled) {
  tree.addApplication("Tool", "com.example.tool").addFile("/Library/Preferences/com.example.tool.plist", 70);
  auto client = ui();
  auto scanned = client->scan(*client::groupsNamed({"applications"}), {});
  ASSERT_TRUE(scanned) << scanned.error().localizedDescription();
  ASSERT_EQ(scanned->size(), 1u);
  ASSERT_EQ(scanned->front()->count(), 1u);
  EXPECT_EQ(pathsOf(scanned->front()), std::set<std::string>{root / "/Library/Preferences/com.example.tool.plist"});

  tree.addApplication("Later", "com.example.later");
  auto stored = client->results({"applications"});
  ASSERT_TRUE(stored);
  ASSERT_EQ(stored->size(), 1u);
  auto cleaned = client->clean(*stored, {});
  ASSERT_TRUE(cleaned) << cleaned.error().localizedDescription();
  EXPECT_FALSE(exists("/Applications/Tool.app"));
  EXPECT_FALSE(exists("/Library/Preferences/com.example.tool.plist"));
  EXPECT_TRUE(exists("/Applications/Later.app"));
}

// Duplicates are searched in the folders the request names; the clean
// deletes the chosen copy only.
TEST_F(ServiceRequestTest, DuplicatesAreFoundInTheNamedFoldersAndTheChosenCopyDeleted) {
  tree.addFile("/Users/bob/Documents/a.txt", "same words").addFile("/Users/bob/Downloads/a copy.txt", "same words");
  auto client = ui();
  auto groups = *client::groupsNamed({"duplicates"});
  std::static_pointer_cast<DuplicatesGroup>(groups.front())
      ->setScanningURLs(std::vector<platform::URL>{platform::URL::fileURLWithPath(root / "/Users/bob", true)});
  auto scanned = client->scan(groups, {});
  ASSERT_TRUE(scanned) << scanned.error().localizedDescription();
  ASSERT_EQ(scanned->size(), 1u);
  ASSERT_EQ(scanned->front()->count(), 1u);
  EXPECT_EQ(pathsOf(scanned->front()), (std::set<std::string>{root / "/Users/bob/Documents/a.txt",
                                                              root / "/Users/bob/Downloads/a copy.txt"}));

  // The UI keeps the first copy and hands the other to the clean.
  auto stored = client->results({"duplicates"});
  ASSERT_TRUE(stored && stored->size() == 1u);
  auto set = std::dynamic_pointer_cast<ItemGroup>(stored->front()->anyItem());
  ASSERT_TRUE(set);
  set->removeItem(set->anyItem());
  auto cleaned = client->clean(*stored, {});
  ASSERT_TRUE(cleaned) << cleaned.error().localizedDescription();
  EXPECT_TRUE(exists("/Users/bob/Documents/a.txt"));
  EXPECT_FALSE(exists("/Users/bob/Downloads/a copy.txt"));
}

// Localisations, big files and mail attachments of the session user: each
// scan finds its files; the clean deletes what the scans found and nothing
// that appeared after them.
TEST_F(ServiceRequestTest, LocalisationsBigFilesAndMailAreFoundAndCleaned) {
  ASSERT_TRUE(agentLink->startListening());
  auto agent = agent::UserAgentStandIn::make("bob", [](const std::string&) {});
  agent->start();
  for (int i = 0; i < 6000 && !agentLink->sessionUid(); ++i) std::this_thread::sleep_for(10ms);
  ASSERT_TRUE(agentLink->sessionUid());

  const platform::Date old = platform::Date::now().addingTimeInterval(-60 * 86400.0);
  tree.addFile("/Users/bob/Library/Stuff/fr.lproj/a.strings", 30)
      .addFile("/Users/bob/Library/Stuff/en.lproj/a.strings", 30)
      .addSparseFile("/Users/bob/Movies/film.mov", 60'000'000)
      .setDates("/Users/bob/Movies/film.mov", old, old)
      .addFile("/Users/bob/Library/Mail Downloads/doc.pdf", 40)
      .addFile("/Users/bob/Library/Mail/V8/box/Messages/1.emlx", 50);
  auto client = ui();
  auto groups = *client::groupsNamed({"systemLanguages", "bigFiles", "mailAttachments"});
  for (const auto& group : groups) {
    if (auto big = std::dynamic_pointer_cast<BigFilesGroup>(group))
      big->setScanningURLs(std::vector<platform::URL>{platform::URL::fileURLWithPath(root / "/Users/bob", true)});
  }
  auto scanned = client->scan(groups, {});
  ASSERT_TRUE(scanned) << scanned.error().localizedDescription();
  std::map<std::string, std::set<std::string>> found;
  for (const auto& group : *scanned) found[group->name().value_or("")] = pathsOf(group);
  EXPECT_EQ(found, (std::map<std::string, std::set<std::string>>{
                       {"systemLanguages", {root / "/Users/bob/Library/Stuff/fr.lproj"}},
                       {"bigFiles", {root / "/Users/bob/Movies/film.mov"}},
                       {"mailAttachments", {root / "/Users/bob/Library/Mail Downloads/doc.pdf"}},
                   }));

  tree.addFile("/Users/bob/Library/Stuff/de.lproj/b.strings", 20).addFile("/Users/bob/Library/Mail Downloads/new.pdf", 5);
  auto stored = client->results({"systemLanguages", "bigFiles", "mailAttachments"});
  ASSERT_TRUE(stored);
  ASSERT_EQ(stored->size(), 3u);
  auto cleaned = client->clean(*stored, {});
  ASSERT_TRUE(cleaned) << cleaned.error().localizedDescription();
  EXPECT_FALSE(exists("/Users/bob/Library/Stuff/fr.lproj"));
  EXPECT_FALSE(exists("/Users/bob/Movies/film.mov"));
  EXPECT_FALSE(exists("/Users/bob/Library/Mail Downloads/doc.pdf"));
  EXPECT_TRUE(exists("/Users/bob/Library/Stuff/en.lproj/a.strings"));
  EXPECT_TRUE(exists("/Users/bob/Library/Stuff/de.lproj/b.strings"));
  EXPECT_TRUE(exists("/Users/bob/Library/Mail Downloads/new.pdf"));
  EXPECT_TRUE(exists("/Users/bob/Library/Mail/V8/box/Messages/1.emlx"));
  agent->stop();
  agentLink->stopListening();
}

TEST_F(ServiceRequestTest, CallbacksGoToTheNewestUIConnectionOnly) {
  auto first = ui();
  ASSERT_TRUE(first->preferences());
  auto second = ui();
  ASSERT_TRUE(second->preferences());
  auto started = first->startScan(*client::groupsNamed({"systemLogs"}));
  ASSERT_TRUE(started);
  auto results = second->waitForScan(*started);
  ASSERT_TRUE(results) << results.error().localizedDescription();
  EXPECT_EQ(results->size(), 1u);
  const auto firstHeard = first->callbacks();
  EXPECT_EQ(std::count(firstHeard.begin(), firstHeard.end(), "handleRequestedPreferences"), 1);
  for (const auto& line : firstHeard) EXPECT_EQ(line.find("scan finished"), std::string::npos) << line;
}

// A sanitizer whose scan ends at once with its group, or, gated, waits for
// the test and then ends as cancelled.
class StepSanitizer : public ISanitizer {
 public:
  StepSanitizer(ItemGroupPtr group, SanitizerEnvironment environment, std::shared_future<void> gate,
                std::shared_ptr<test::EventCounter> finished)
      : group_(std::move(group)), environment_(std::move(environment)), gate_(std::move(gate)),
        finished_(std::move(finished)) {}

  platform::OperationPtr scan(SanitizerCompletion completion, SanitizerProgressHandler) override {
    auto operation = platform::BlockOperation::make([group = group_, completion, gate = gate_, finished = finished_] {
      if (gate.valid()) {
        gate.wait();
        completion(nullptr, true);
        return;
      }
      group->updateScanningHistory();
      completion(group, false);
      finished->add();
    });
    operation->setName(platform::UUID::randomString());
    environment_.operationQueue->addOperation(operation);
    return operation;
  }
  platform::OperationPtr clean(SanitizerCompletion, SanitizerProgressHandler) override { return nullptr; }

 private:
  ItemGroupPtr group_;
  SanitizerEnvironment environment_;
  std::shared_future<void> gate_;
  std::shared_ptr<test::EventCounter> finished_;
};

TEST_F(ServiceRequestTest, AScanCancelledAfterTwoOfThreeGroupsStoresTheTwoAndAnswersNothing) {
  std::promise<void> release;
  const std::shared_future<void> gate = release.get_future().share();
  auto finished = std::make_shared<test::EventCounter>();
  auto& choice = server->sanitizingProcessor()->sanitizerChoice();
  for (const auto row : {SanitizerChoice::Row::memory, SanitizerChoice::Row::duplicates}) {
    choice.registerSanitizer(row, [finished](const ItemGroupPtr& group, const SanitizerEnvironment& environment) {
      return std::make_unique<StepSanitizer>(group, environment, std::shared_future<void>(), finished);
    });
  }
  choice.registerSanitizer(SanitizerChoice::Row::shredder,
                           [gate, finished](const ItemGroupPtr& group, const SanitizerEnvironment& environment) {
                             return std::make_unique<StepSanitizer>(group, environment, gate, finished);
                           });
  auto client = ui();
  auto started = client->startScan(*client::groupsNamed({"memory", "duplicates", "shredder"}));
  ASSERT_TRUE(started);
  ASSERT_TRUE(finished->waitFor(2));
  auto cancelled = client->cancel(*started);
  ASSERT_TRUE(cancelled);
  EXPECT_TRUE(*cancelled);
  release.set_value();
  auto results = client->waitForScan(*started);
  ASSERT_TRUE(results) << results.error().localizedDescription();
  EXPECT_TRUE(results->empty());

  auto stored = client->results({"memory", "duplicates", "shredder"});
  ASSERT_TRUE(stored);
  std::map<std::string, bool> scanned;
  for (const auto& group : *stored) scanned[group->name().value_or("")] = group->scanningHistory() != nullptr;
  EXPECT_EQ(scanned, (std::map<std::string, bool>{{"memory", true}, {"duplicates", true}, {"shredder", false}}));
}

TEST_F(ServiceRequestTest, GroupsOfUnknownNamesAreSkippedWithALogLine) {
  auto client = ui();
  auto stored = client->results({"userCache", "noSuchGroup"});
  ASSERT_TRUE(stored);
  ASSERT_EQ(stored->size(), 1u);
  EXPECT_EQ(stored->front()->name(), std::optional<std::string>("userCache"));
  EXPECT_EQ(log.count("Skipped a group of unknown name: noSuchGroup"), 1u);
}

TEST_F(ServiceRequestTest, PreferencesAreLoadedOnceChangedInPlaceAndStored) {
  auto client = ui();
  auto defaults = client->preferences();
  ASSERT_TRUE(defaults);
  EXPECT_EQ(defaults->bigFilesMinSize(), ZOLMPreferences().bigFilesMinSize());

  ZOLMPreferences changed = *defaults;
  changed.setBigFilesMinSize(defaults->bigFilesMinSize() * 2);
  changed.setExcludeFromDuplicatesSearch({"node_modules", "Backups"});
  auto answered = client->updatePreferences(changed);
  ASSERT_TRUE(answered);
  EXPECT_EQ(answered->bigFilesMinSize(), changed.bigFilesMinSize());
  auto again = client->preferences();
  ASSERT_TRUE(again);
  EXPECT_EQ(again->excludeFromDuplicatesSearch(), changed.excludeFromDuplicatesSearch());
  server->zolQueue()->sync([] {});
  const auto stored = server->zolData()->getPreferences();
  ASSERT_TRUE(stored);
  EXPECT_EQ(stored->bigFilesMinSize(), changed.bigFilesMinSize());
  EXPECT_EQ(server->preferences().excludeFromDuplicatesSearch(), changed.excludeFromDuplicatesSearch());
}

TEST_F(ServiceRequestTest, TheScanConfigurationComesFromThePreferences) {
  ZOLMPreferences preferences;
  preferences.setBigFilesLastOpenMoreThan(-2592000);
  preferences.setBigFilesMinSize(123456789);
  preferences.setBigFilesSearchKinds({"Movies", "Archives", "NoSuchKind"});
  preferences.setExcludeFromDuplicatesSearch({"Backups"});
  auto client = ui();
  ASSERT_TRUE(client->updatePreferences(preferences));

  auto processor = server->sanitizingProcessor();
  auto bigFiles = std::dynamic_pointer_cast<BigFilesGroup>(ItemGroup::group(ItemGroupName::bigFiles));
  auto mail = std::dynamic_pointer_cast<MailAttachmentsGroup>(ItemGroup::group(ItemGroupName::mailAttachments));
  auto duplicates = std::dynamic_pointer_cast<DuplicatesGroup>(ItemGroup::group(ItemGroupName::duplicates));
  ASSERT_TRUE(bigFiles && mail && duplicates);
  const platform::Date before = platform::Date::now();
  server->dataSyncQueue()->sync([&] {
    for (IModelItem* group : {static_cast<IModelItem*>(bigFiles.get()), static_cast<IModelItem*>(mail.get()),
                              static_cast<IModelItem*>(duplicates.get())})
      server->sanitizingProcessor(*processor, *group);
  });
  const platform::Date after = platform::Date::now();
  ASSERT_TRUE(bigFiles->minLastAccessDate());
  EXPECT_GE(bigFiles->minLastAccessDate()->timeIntervalSinceReferenceDate(),
            before.timeIntervalSinceReferenceDate() - 2592000);
  EXPECT_LE(bigFiles->minLastAccessDate()->timeIntervalSinceReferenceDate(),
            after.timeIntervalSinceReferenceDate() - 2592000);
  EXPECT_EQ(bigFiles->minFileSizeToScan(), 123456789u);
  EXPECT_EQ(bigFiles->fileItemTypes(), 2u | 8u);
  EXPECT_EQ(mail->fileItemTypes(), 31u);
  EXPECT_EQ(duplicates->ignorePathFragments(), std::vector<std::string>{"Backups"});
}

TEST_F(ServiceRequestTest, TheMenuBarServiceTakesBothKindsOfEvent) {
  auto connection = platform::XPCConnection::connectToService(kZOLMenuBarServerServiceName);
  connection->setRemoteObjectInterface(eventServerInterface());
  connection->resume();
  auto proxy = connection->remoteObjectProxy<IZOLEventServer>();
  auto event = std::make_shared<ZOLMEvent>("Caches", "1024", "clicked", "System");
  proxy.call<&IZOLEventServer::sendWithCleanEvent>(event);
  proxy.call<&IZOLEventServer::sendWithUserEvent>(event);
  const auto sent = events->waitFor(2);
  ASSERT_EQ(sent.size(), 2u);
  const auto& clean = sent[0].backendJsonRepresentation();
  EXPECT_EQ(sent[0].eventType(), ZOLEventType::cleanResults);
  EXPECT_EQ(clean, (platform::Value::Dictionary{{"tab", platform::Value(std::string("System"))},
                                                {"module", platform::Value(std::string("Caches"))},
                                                {"cleaned_size", platform::Value(std::string("1024"))}}));
  EXPECT_EQ(sent[1].eventType(), ZOLEventType::userEvent);
  EXPECT_EQ(*sent[1].backendJsonRepresentation().at("action").asString(), "clicked");
  connection->invalidate();
}

// The first start makes the installation's state and stores it; a later
// start takes the stored one.
TEST_F(ServiceRequestTest, TheApplicationStateIsMadeOnceAndKeptAcrossStarts) {
  const auto made = stateManager->applicationState().modelObject().userID();
  ASSERT_TRUE(made);
  server->zolQueue()->sync([] {});
  const auto stored = server->zolData()->moc()->performAndWaitResult([&] {
    const auto row = server->zolData()->getApplicationState();
    return row ? row->userId() : std::nullopt;
  });
  EXPECT_EQ(stored, made);

  shutdown();
  server.reset();
  auto factories = UnixSocketIPCServer::Factories::standIns();
  std::shared_ptr<StandInApplicationStateManager> second;
  factories.applicationStateManager = [&](std::optional<ZOLApplicationState> state,
                                          std::optional<ZOLTrackingData> trackingData) {
    second = std::make_shared<StandInApplicationStateManager>(std::move(state), std::move(trackingData));
    return second;
  };
  UnixSocketIPCServer::Options options;
  options.agentLink = agentLink;
  options.exitProcess = [](int) {};
  auto again = UnixSocketIPCServer::make(std::move(factories), std::move(options));
  ASSERT_TRUE(again);
  (*again)->start();
  (*again)->dataSyncQueue()->sync([] {});
  ASSERT_TRUE(second);
  EXPECT_EQ(second->applicationState().modelObject().userID(), made);
  (*again)->dataSyncQueue()->sync([&] { (*again)->shutdownServer(); });
}

}  // namespace
}  // namespace vozi
