// Round trips of record graphs through the archiver and the unarchiver.
//
// First byte even: the rest of the input describes a graph (groups of every
// class holding file and memory items, items and sub-groups shared between
// groups, the exchange records), which is archived, decoded, archived again
// and decoded again. Decoding must succeed, and the decoded graph must
// archive to the same bytes as the graph it came from.
//
// First byte odd: the second byte picks a decoder (see RecordDecoders.h) and
// the rest is an archive. Whatever decodes must archive, and decode back
// unchanged.
//
// "Unchanged" is judged by the archives: a decoded graph and its copy
// through an archive must archive to the same bytes, so a field lost, a
// shared record split in two or a class changed on the way shows.

#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <limits>
#include <string>
#include <vector>

#include "FuzzCheck.h"
#include "RecordDecoders.h"
#include "common/ApplicationItem.h"
#include "common/ApplicationsGroup.h"
#include "common/ApplicationsLanguagesGroup.h"
#include "common/BigFileItem.h"
#include "common/BigFilesGroup.h"
#include "common/DuplicateItem.h"
#include "common/DuplicatesGroup.h"
#include "common/FileItem.h"
#include "common/FileRepresentableGroup.h"
#include "common/FileTypedGroup.h"
#include "common/LanguageItem.h"
#include "common/LanguagesGroup.h"
#include "common/MailAttachmentsGroup.h"
#include "common/MemoryGroup.h"
#include "common/MemoryItem.h"
#include "common/ShredderGroup.h"
#include "common/SystemCacheGroup.h"
#include "common/SystemLanguagesGroup.h"
#include "common/SystemLogsGroup.h"
#include "common/TemporaryFilesGroup.h"
#include "common/TrashBinGroup.h"
#include "common/TypedFileItem.h"
#include "common/UserCacheGroup.h"
#include "common/UserLogsGroup.h"

using namespace vozi;
using platform::Data;
using platform::Date;
using platform::URL;
using vozi::fuzz::check;

namespace {

// Decodes an archive the way `decoder` does and requires the decoded
// record to survive another trip through an archive unchanged.
// `fromArchiver`: the archive was written by the archiver, so it must
// decode, and the decoded record must archive to the very same bytes.
template <class Decoder>
void checkRoundTrip(const Decoder& decoder, const Data& archive, bool fromArchiver) {
  auto first = decoder.decode(archive);
  if (!first) {
    if (fromArchiver) fuzz::fail("an archive the archiver wrote does not decode");
    return;
  }
  auto written = decoder.encode(*first);
  check(written.ok(), "a decoded record cannot be archived");
  if (fromArchiver) check(*written == archive, "a decoded graph archives otherwise than the graph it came from");
  auto second = decoder.decode(*written);
  check(second.ok(), "the archive of a decoded record does not decode");
  auto rewritten = decoder.encode(*second);
  check(rewritten.ok(), "a record decoded twice cannot be archived");
  check(*rewritten == *written, "a decoded record changed on its way through an archive");
}

// Text the archiver must accept: UTF-8 made of pieces that matter to paths,
// URLs and archive keys.
std::string text(FuzzedDataProvider& input, std::size_t maxParts = 6) {
  static const char* const parts[] = {"a", "Z", "0", " ", "/", ".", "..", "%", "%20", "é", "日本", "\\", "#", "?",
                                      ":", "~", "\t", "$", "$null", "file://", "<", "&", "\"", "'", "\xF0\x9F\x98\x80"};
  std::string out;
  const std::size_t count = input.ConsumeIntegralInRange<std::size_t>(0, maxParts);
  for (std::size_t i = 0; i < count; ++i) out += input.PickValueInArray(parts);
  return out;
}

std::optional<std::string> optionalText(FuzzedDataProvider& input) {
  if (input.ConsumeBool()) return std::nullopt;
  return text(input);
}

std::uint64_t size(FuzzedDataProvider& input) {
  switch (input.ConsumeIntegralInRange(0, 3)) {
    case 0: return 0;
    case 1: return std::numeric_limits<std::uint64_t>::max() - input.ConsumeIntegralInRange<std::uint64_t>(0, 3);
    case 2: return (std::uint64_t{1} << 63) + input.ConsumeIntegralInRange<std::uint64_t>(0, 3);
    default: return input.ConsumeIntegral<std::uint64_t>();
  }
}

std::optional<Date> date(FuzzedDataProvider& input) {
  if (input.ConsumeBool()) return std::nullopt;
  return Date(input.ConsumeFloatingPoint<double>());
}

URL fileURL(FuzzedDataProvider& input) { return URL::fileURLWithPath("/" + text(input), input.ConsumeBool()); }

std::optional<std::vector<URL>> urls(FuzzedDataProvider& input) {
  if (input.ConsumeBool()) return std::nullopt;
  std::vector<URL> list(input.ConsumeIntegralInRange(0, 3), URL::fileURLWithPath("/"));
  for (auto& url : list) url = fileURL(input);
  return list;
}

ItemGroupHistoryPtr history(FuzzedDataProvider& input) {
  if (input.ConsumeBool()) return nullptr;
  const std::uint64_t recorded = size(input);
  return std::make_shared<ZOLMItemGroupHistory>(recorded, size(input), date(input));
}

std::vector<std::string> strings(FuzzedDataProvider& input) {
  std::vector<std::string> list(input.ConsumeIntegralInRange(0, 3));
  for (auto& entry : list) entry = text(input);
  return list;
}

// ---- Model items and groups ---------------------------------------------------

ModelItemPtr leaf(FuzzedDataProvider& input) {
  switch (input.ConsumeIntegralInRange(0, 3)) {
    case 0: {
      const URL url = fileURL(input);
      const std::uint64_t bytes = size(input);
      return std::make_shared<FileItem>(url, bytes, date(input));
    }
    case 1: {
      const URL url = fileURL(input);
      const std::uint64_t bytes = size(input);
      const auto opened = date(input);
      return std::make_shared<TypedFileItem>(url, bytes, opened, "", input.ConsumeIntegral<std::uint64_t>());
    }
    case 2: {
      const URL url = fileURL(input);
      const std::uint64_t bytes = size(input);
      const auto opened = date(input);
      return std::make_shared<BigFileItem>(url, bytes, opened, "", input.ConsumeIntegral<std::uint64_t>());
    }
    default: {
      const std::uint64_t bytes = size(input);
      const std::uint64_t installed = size(input);
      const auto identifier = optionalText(input);
      return std::make_shared<MemoryItem>(bytes, installed, identifier, optionalText(input));
    }
  }
}

// The common constructor of the group classes.
template <class Group>
ItemGroupPtr plainGroup(FuzzedDataProvider& input) {
  auto name = optionalText(input);
  const std::uint64_t bytes = size(input);
  auto scanning = history(input);
  return std::make_shared<Group>(std::move(name), bytes, nullptr, std::nullopt, std::move(scanning), history(input));
}

// A group class that also keeps the folders it scanned.
template <class Group>
ItemGroupPtr scannedGroup(FuzzedDataProvider& input) {
  auto group = std::static_pointer_cast<Group>(plainGroup<Group>(input));
  group->setScanningURLs(urls(input));
  return group;
}

using GroupMaker = ItemGroupPtr (*)(FuzzedDataProvider&);

const GroupMaker kGroupMakers[] = {
    plainGroup<ItemGroup>,
    plainGroup<MemoryGroup>,
    plainGroup<ApplicationsGroup>,
    scannedGroup<DuplicatesGroup>,
    [](FuzzedDataProvider& input) -> ItemGroupPtr {
      auto name = optionalText(input);
      const std::uint64_t bytes = size(input);
      auto scanning = history(input);
      auto cleaning = history(input);
      std::optional<Data> hash;
      if (input.ConsumeBool()) hash = input.ConsumeBytes<std::uint8_t>(input.ConsumeIntegralInRange(0, 40));
      auto set = std::make_shared<DuplicateItem>(std::move(name), bytes, nullptr, std::nullopt, std::move(scanning),
                                                 std::move(cleaning), std::move(hash));
      if (input.ConsumeBool()) set->setDuplicateName(optionalText(input));
      return set;
    },
    plainGroup<LanguagesGroup>,
    plainGroup<SystemLanguagesGroup>,
    plainGroup<ApplicationsLanguagesGroup>,
    plainGroup<FileRepresentableGroup>,
    plainGroup<FileTypedGroup>,
    scannedGroup<BigFilesGroup>,
    plainGroup<MailAttachmentsGroup>,
    [](FuzzedDataProvider& input) -> ItemGroupPtr {
      auto name = optionalText(input);
      const std::uint64_t bytes = size(input);
      auto scanning = history(input);
      auto cleaning = history(input);
      std::optional<URL> url;
      if (input.ConsumeBool()) url = fileURL(input);
      const auto opened = date(input);
      std::optional<URL> icon;
      if (input.ConsumeBool()) icon = fileURL(input);
      auto app = std::make_shared<ApplicationItem>(std::move(name), bytes, nullptr, std::move(scanning),
                                                   std::move(cleaning), std::move(url), opened, std::move(icon));
      if (input.ConsumeBool()) app->setApplicationName(optionalText(input));
      return app;
    },
    plainGroup<LanguageItem>,
    plainGroup<ShredderGroup>,
    plainGroup<SystemCacheGroup>,
    plainGroup<SystemLogsGroup>,
    plainGroup<UserCacheGroup>,
    plainGroup<UserLogsGroup>,
    plainGroup<TrashBinGroup>,
    plainGroup<TemporaryFilesGroup>,
};

// Groups and items made one after another; a new group takes its items from
// what was made before it, so records are shared and nested, never cyclic.
std::vector<ItemGroupPtr> groupGraph(FuzzedDataProvider& input) {
  std::vector<ModelItemPtr> made;
  std::vector<ItemGroupPtr> groups;
  while (input.remaining_bytes() > 0 && made.size() < 48) {
    if (made.empty() || input.ConsumeIntegralInRange(0, 2) == 0) {
      made.push_back(leaf(input));
      continue;
    }
    auto group = input.PickValueInArray(kGroupMakers)(input);
    const std::size_t count = input.ConsumeIntegralInRange<std::size_t>(0, 6);
    for (std::size_t i = 0; i < count; ++i) group->addItem(made[input.ConsumeIntegralInRange<std::size_t>(0, made.size() - 1)]);
    made.push_back(group);
    groups.push_back(group);
  }
  // The root: some of the groups, the last one always, one maybe twice.
  std::vector<ItemGroupPtr> roots;
  for (const auto& group : groups)
    if (input.ConsumeBool() || group == groups.back()) roots.push_back(group);
  if (!groups.empty() && input.ConsumeBool()) roots.push_back(groups.front());
  return roots;
}

// ---- The exchange records ---------------------------------------------------

template <class Record>
void checkValueRecord(const Record& record) {
  auto archive = RecordArchive::archived(record);
  check(archive.ok(), "an exchange record cannot be archived");
  auto decoded = RecordArchive::unarchived<Record>(*archive);
  check(decoded.ok(), "an archived exchange record does not decode");
  check(**decoded == record, "an exchange record changed on its way through an archive");
}

void checkExchangeRecord(FuzzedDataProvider& input) {
  switch (input.ConsumeIntegralInRange(0, 4)) {
    case 0: {
      ZOLMPreferences preferences;
      preferences.setUpdatesCheckFrequency(
          input.PickValueInArray({ZOLMUpdatesCheckFrequency::daily, ZOLMUpdatesCheckFrequency::weekly,
                                  ZOLMUpdatesCheckFrequency::monthly}));
      preferences.setShouldDownloadUpdatesInBackground(input.ConsumeBool());
      preferences.setLastUpdateCheckTimestamp(static_cast<double>(input.ConsumeIntegral<std::int32_t>()) / 4);
      preferences.setShouldMoveDeletedToTrash(input.ConsumeBool());
      preferences.setMinTrashSizeToClean(size(input));
      preferences.setShouldKeepAppIconInMenuBar(input.ConsumeBool());
      preferences.setShouldStartAppInStartup(input.ConsumeBool());
      preferences.setUseZOLToCompletelyRemoveApps(input.ConsumeBool());
      preferences.setStartZOLNotificationCenterOnStart(input.ConsumeBool());
      preferences.setIncludeInAssistantAndBackgroundScan(strings(input));
      preferences.setExcludeFromDuplicatesSearch(strings(input));
      preferences.setBigFilesMinSize(size(input));
      preferences.setBigFilesSearchKinds(strings(input));
      preferences.setBigFilesLastOpenMoreThan(input.ConsumeIntegral<std::int64_t>());
      return checkValueRecord(preferences);
    }
    case 1: {
      std::optional<std::string> fields[11];
      for (auto& field : fields) field = optionalText(input);
      return checkValueRecord(ZOLMTrackingData(fields[0], fields[1], fields[2], fields[3], fields[4], fields[5],
                                               fields[6], fields[7], fields[8], fields[9], fields[10],
                                               input.ConsumeBool()));
    }
    case 2: return checkValueRecord(ZOLMApplicationState(optionalText(input)));
    case 3: {
      std::string fields[4];
      for (auto& field : fields) field = text(input);
      return checkValueRecord(ZOLMEvent(fields[0], fields[1], fields[2], fields[3]));
    }
    default: return checkValueRecord(ZOLMUserData(text(input)));
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  if (data[0] & 1) {
    const Data archive(data + 2, data + size);
    fuzz::withRecordDecoder(data[1], [&](const auto& decoder) { checkRoundTrip(decoder, archive, false); });
    return 0;
  }
  FuzzedDataProvider input(data + 1, size - 1);
  if (input.ConsumeIntegralInRange(0, 7) == 0) {
    checkExchangeRecord(input);
    return 0;
  }
  const auto groups = groupGraph(input);
  const fuzz::GroupArray decoder;
  auto archive = decoder.encode(groups);
  check(archive.ok(), "a graph of records cannot be archived");
  checkRoundTrip(decoder, *archive, true);
  return 0;
}
