#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "ipc/NotificationArchive.h"
#include "ipc/ZOLAlertNotification.h"
#include "ipc/ZOLCustomNotification.h"
#include "ipc/ZOLDefaultNotification.h"
#include "ipc/ZOLNotification.h"
#include "ipc/ZOLNotificationAction.h"
#include "ipc/ZOLNotificationPriority.h"
#include "platform/KeyedArchiver.h"
#include "platform/KeyedUnarchiver.h"
#include "platform/PropertyList.h"

using namespace vozi;
using platform::AllowedClasses;
using platform::Data;
using platform::KeyedArchiver;
using platform::KeyedUnarchiver;
using platform::PropertyList;
using platform::Value;

namespace {

// What a receiver admits when it wants any notification record.
const AllowedClasses kAnyNotification{"ZOLNotification", "ZOLNotificationAction"};

Data archived(const ZOLNotificationPtr& notification) {
  NotificationArchive::registerClasses();
  auto data = KeyedArchiver::archivedData(notification);
  EXPECT_TRUE(data.ok()) << (data.ok() ? "" : data.error().localizedDescription());
  return data.ok() ? *data : Data{};
}

platform::Result<ZOLNotificationPtr> unarchived(const Data& data) {
  return KeyedUnarchiver::unarchivedObject<ZOLNotification>(data, kAnyNotification);
}

// The archive read as a plain property list, with a way to reach the root
// record's own dictionary, as a peer that knows nothing of the classes sees it.
struct PlainArchive {
  explicit PlainArchive(const Data& data) {
    auto value = PropertyList::fromAny(data);
    EXPECT_TRUE(value.ok());
    if (value.ok()) plist = std::move(*value);
  }
  Value::Array& objects() { return *(*plist.asDictionary())["$objects"].asArray(); }
  Value::Dictionary& root() {
    const auto uid = plist.find("$top")->find("root")->asUID();
    return *objects()[*uid].asDictionary();
  }
  // The object a key of the root refers to.
  const Value& referenced(const std::string& key) { return objects()[*root()[key].asUID()]; }
  std::string className() {
    const auto uid = root()["$class"].asUID();
    return *objects()[*uid].find("$classname")->asString();
  }
  // Decodes the (edited) property list.
  platform::Result<ZOLNotificationPtr> decode() {
    KeyedUnarchiver unarchiver(plist, 4096);
    auto root = unarchiver.decodeObjectForKey<ZOLNotification>("root", kAnyNotification);
    if (unarchiver.error()) return *unarchiver.error();
    return root;
  }
  Value plist;
};

std::optional<std::string> text(const Value& value) {
  return value.asString() ? std::optional<std::string>(*value.asString()) : std::nullopt;
}

std::shared_ptr<ZOLDefaultNotification> sampleDefault() {
  return ZOLDefaultNotification::make("clean.reminder", "Time to clean", "12 GB of junk", 3);
}

}  // namespace

TEST(NotificationRecords, FactoriesGiveNothingWhereTheInitialisersGiveNil) {
  const std::optional<std::string> nil;
  EXPECT_EQ(ZOLNotification::make(nil, 1), nullptr);
  EXPECT_NE(ZOLNotification::make("", 1), nullptr);
  EXPECT_EQ(ZOLDefaultNotification::make(nil, "t", "i", 1), nullptr);
  EXPECT_EQ(ZOLDefaultNotification::make("n", nil, "i", 1), nullptr);
  EXPECT_EQ(ZOLDefaultNotification::make("n", "t", nil, 1), nullptr);
  EXPECT_EQ(ZOLAlertNotification::make("n", nil, "i", 1), nullptr);
  EXPECT_EQ(ZOLCustomNotification::make(nil, "<p/>", 1), nullptr);
  EXPECT_EQ(ZOLCustomNotification::make("n", nil, 1), nullptr);

  auto note = ZOLDefaultNotification::make("n", "t", "i", 7);
  ASSERT_NE(note, nullptr);
  EXPECT_TRUE(note->userInfo().isNull());
  EXPECT_EQ(note->actionButtonTitle(), nil);
  EXPECT_EQ(note->type(), 7u);
  auto alert = ZOLAlertNotification::make("n", "t", "i", 7);
  ASSERT_NE(alert, nullptr);
  EXPECT_FALSE(alert->additionalActions().has_value());
}

namespace {

struct RoundTrip {
  const char* name;
  std::function<ZOLNotificationPtr()> make;
  std::function<void(const ZOLNotification&)> check;
};

}  // namespace

TEST(NotificationRecords, EachKindComesBackAsItWasWithItsOwnClass) {
  const std::vector<RoundTrip> cases = {
      {"a base notification with userInfo",
       [] {
         auto note = ZOLNotification::make("base", 0xFFFFFFFFFFFFFFFFull);
         note->setUserInfo(Value(Value::Dictionary{
             {"group", Value("Trash")}, {"sizes", Value(Value::Array{Value(1), Value(2.5)})},
             {"nested", Value(Value::Dictionary{{"flag", Value(true)}})}}));
         return note;
       },
       [](const ZOLNotification& note) {
         EXPECT_EQ(note.type(), 0xFFFFFFFFFFFFFFFFull);
         ASSERT_TRUE(note.userInfo().isDictionary());
         EXPECT_EQ(*note.userInfo().find("group")->asString(), "Trash");
         EXPECT_EQ(note.userInfo().find("sizes")->asArray()->size(), 2u);
         EXPECT_EQ(note.userInfo().find("nested")->find("flag")->asBool(), std::optional<bool>(true));
       }},
      {"a default notification with a nil action button title",
       [] { return sampleDefault(); },
       [](const ZOLNotification& note) {
         auto& def = dynamic_cast<const ZOLDefaultNotification&>(note);
         EXPECT_EQ(def.title(), std::optional<std::string>("Time to clean"));
         EXPECT_EQ(def.inforamtiveText(), std::optional<std::string>("12 GB of junk"));
         EXPECT_EQ(def.actionButtonTitle(), std::nullopt);
         EXPECT_TRUE(def.userInfo().isNull());
       }},
      {"a default notification with an action button",
       [] {
         auto note = sampleDefault();
         note->setActionButtonTitle("Clean");
         return note;
       },
       [](const ZOLNotification& note) {
         EXPECT_EQ(dynamic_cast<const ZOLDefaultNotification&>(note).actionButtonTitle(),
                   std::optional<std::string>("Clean"));
       }},
      {"an alert whose actions come back in order",
       [] {
         auto alert = ZOLAlertNotification::make("alert", "Junk", "Found junk", 2);
         alert->setAdditionalActions(ZOLAlertNotification::Actions{
             std::make_shared<ZOLNotificationAction>("later", "Later"),
             std::make_shared<ZOLNotificationAction>("clean", "Clean now"),
             std::make_shared<ZOLNotificationAction>("never", std::nullopt)});
         return alert;
       },
       [](const ZOLNotification& note) {
         auto& alert = dynamic_cast<const ZOLAlertNotification&>(note);
         ASSERT_TRUE(alert.additionalActions().has_value());
         std::vector<std::optional<std::string>> ids, titles;
         for (const auto& action : *alert.additionalActions()) {
           ids.push_back(action->identifier());
           titles.push_back(action->title());
         }
         EXPECT_EQ(ids, (std::vector<std::optional<std::string>>{"later", "clean", "never"}));
         EXPECT_EQ(titles, (std::vector<std::optional<std::string>>{"Later", "Clean now", std::nullopt}));
         EXPECT_EQ(alert.title(), std::optional<std::string>("Junk"));
       }},
      {"an alert without actions",
       [] { return ZOLAlertNotification::make("alert", "Junk", "Found junk", 2); },
       [](const ZOLNotification& note) {
         EXPECT_FALSE(dynamic_cast<const ZOLAlertNotification&>(note).additionalActions().has_value());
       }},
      {"a custom notification keeps its HTML",
       [] { return ZOLCustomNotification::make("html", "<h1>Done</h1><p>\"quoted\" &amp; more</p>", 4); },
       [](const ZOLNotification& note) {
         EXPECT_EQ(dynamic_cast<const ZOLCustomNotification&>(note).htmlStringContent(),
                   std::optional<std::string>("<h1>Done</h1><p>\"quoted\" &amp; more</p>"));
       }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const auto original = c.make();
    auto decoded = unarchived(archived(original));
    ASSERT_TRUE(decoded.ok()) << decoded.error().localizedDescription();
    ASSERT_NE(*decoded, nullptr);
    const ZOLNotification& back = **decoded;
    EXPECT_EQ(typeid(back), typeid(*original));
    EXPECT_EQ(back.identifier(), original->identifier());
    EXPECT_EQ(back.type(), original->type());
    c.check(back);
  }
}

TEST(NotificationRecords, TheArchiveUsesTheAgentsClassNamesAndKeys) {
  // The HTML is stored under "htmlFilePath", the text under the misspelt
  // "inforamtiveText", and "type" as a plain integer rather than an object.
  PlainArchive custom(archived(ZOLCustomNotification::make("html", "<b>hi</b>", 9)));
  EXPECT_EQ(custom.className(), "ZOLCustomNotification");
  EXPECT_EQ(text(custom.referenced("htmlFilePath")), std::optional<std::string>("<b>hi</b>"));
  EXPECT_EQ(custom.root().count("htmlStringContent"), 0u);
  EXPECT_EQ(custom.root()["type"].asInt64(), std::optional<std::int64_t>(9));
  EXPECT_FALSE(custom.root()["type"].asUID().has_value());

  PlainArchive shown(archived(sampleDefault()));
  EXPECT_EQ(shown.className(), "ZOLDefaultNotification");
  EXPECT_EQ(text(shown.referenced("inforamtiveText")), std::optional<std::string>("12 GB of junk"));
  EXPECT_EQ(text(shown.referenced("identifier")), std::optional<std::string>("clean.reminder"));
  EXPECT_EQ(text(shown.referenced("title")), std::optional<std::string>("Time to clean"));
}

namespace {

struct Edited {
  const char* name;
  std::function<ZOLNotificationPtr()> make;
  std::function<void(PlainArchive&)> edit;
  bool decodes;  // false: no notification comes out
  std::function<void(const ZOLNotification&)> check;
};

}  // namespace

TEST(NotificationRecords, DecodingOnlyRequiresTheIdentifier) {
  const std::vector<Edited> cases = {
      {"a base notification without identifier", [] { return ZOLNotification::make("n", 1); },
       [](PlainArchive& a) { a.root().erase("identifier"); }, false, nullptr},
      {"a default notification without identifier", [] { return sampleDefault(); },
       [](PlainArchive& a) { a.root().erase("identifier"); }, false, nullptr},
      {"an identifier that is $null", [] { return sampleDefault(); },
       [](PlainArchive& a) { a.root()["identifier"] = Value::uid(0); }, false, nullptr},
      {"a default notification without title", [] { return sampleDefault(); },
       [](PlainArchive& a) { a.root().erase("title"); }, true,
       [](const ZOLNotification& note) {
         auto& def = dynamic_cast<const ZOLDefaultNotification&>(note);
         EXPECT_EQ(def.title(), std::nullopt);
         EXPECT_EQ(def.inforamtiveText(), std::optional<std::string>("12 GB of junk"));
       }},
      {"a custom notification without content", [] { return ZOLCustomNotification::make("c", "<p/>", 1); },
       [](PlainArchive& a) { a.root().erase("htmlFilePath"); }, true,
       [](const ZOLNotification& note) {
         EXPECT_EQ(dynamic_cast<const ZOLCustomNotification&>(note).htmlStringContent(), std::nullopt);
       }},
      {"a notification without type", [] { return ZOLNotification::make("n", 5); },
       [](PlainArchive& a) { a.root().erase("type"); }, true,
       [](const ZOLNotification& note) { EXPECT_EQ(note.type(), 0u); }},
      {"a userInfo that is no dictionary", [] {
         auto note = ZOLNotification::make("n", 5);
         note->setUserInfo(Value(Value::Dictionary{{"k", Value("v")}}));
         return note;
       },
       [](PlainArchive& a) { a.root()["userInfo"] = a.root()["identifier"]; }, false, nullptr},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    PlainArchive archive(archived(c.make()));
    c.edit(archive);
    auto decoded = archive.decode();
    const bool gotOne = decoded.ok() && *decoded;
    EXPECT_EQ(gotOne, c.decodes);
    if (gotOne && c.check) c.check(**decoded);
  }
}

TEST(NotificationRecords, PriorityHasThreeRawValues) {
  const std::vector<std::pair<std::int64_t, std::optional<ZOLNotificationPriority>>> cases = {
      {-1, std::nullopt},
      {0, ZOLNotificationPriority::low},
      {1, ZOLNotificationPriority::normal},
      {2, ZOLNotificationPriority::high},
      {3, std::nullopt},
      {std::numeric_limits<std::int64_t>::max(), std::nullopt},
  };
  for (const auto& [raw, expected] : cases) {
    SCOPED_TRACE(raw);
    EXPECT_EQ(notificationPriorityFromRawValue(raw), expected);
    if (expected) {
      EXPECT_EQ(rawValue(*expected), raw);
    }
  }
}
