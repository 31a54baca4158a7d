#include "platform/MetadataQuery.h"

#include <charconv>

#include "platform/DirectoryWalker.h"
#include "platform/FilePackage.h"
#include "platform/PathComponents.h"
#include "platform/ResourceValues.h"
#include "platform/UniformType.h"

namespace vozi::platform {

namespace {

constexpr ResourceKeys kItemKeys = ResourceKeys::FileSize | ResourceKeys::CreationDate |
                                   ResourceKeys::ContentModificationDate | ResourceKeys::IsRegularFile;

MetadataItem itemOf(std::string path, const ResourceValues& values) {
  MetadataItem item;
  item.displayName = std::string(PathComponents::lastComponent(path));
  if (values.isRegularFile.value_or(false)) item.fileSize = values.fileSize;
  item.creationDate = values.creationDate;
  item.contentModificationDate = values.contentModificationDate;
  item.contentType = UniformType::preferredIdentifier(FilePackage::extension(path));
  item.path = std::move(path);
  return item;
}

std::string_view trimmed(std::string_view text) {
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  return text;
}

}  // namespace

std::optional<MetadataItem> MetadataItem::atPath(const std::string& path) {
  const auto values = ResourceValues::readInTree(path, kItemKeys);
  if (!values) return std::nullopt;
  return itemOf(path, *values);
}

MetadataQuery::MetadataQuery()
    : queue_(DispatchQueue::serial("div.ez.iru.metadataQuery", QualityOfService::background)) {}

std::shared_ptr<MetadataQuery> MetadataQuery::make() { return std::shared_ptr<MetadataQuery>(new MetadataQuery()); }

void MetadataQuery::setSearchScopes(std::vector<std::string> scopes) {
  std::lock_guard lock(mutex_);
  scopes_ = std::move(scopes);
}

bool MetadataQuery::setPredicate(const std::string& format) {
  std::string_view text = trimmed(format);
  const std::string_view key = kFSSizeKey;
  if (text.substr(0, key.size()) != key) return false;
  text = trimmed(text.substr(key.size()));
  static constexpr std::pair<std::string_view, Comparison> kOperators[] = {
      {">=", Comparison::greaterOrEqual}, {"<=", Comparison::lessOrEqual}, {"==", Comparison::equal},
      {">", Comparison::greater},         {"<", Comparison::less}};
  for (const auto& [symbol, comparison] : kOperators) {
    if (text.substr(0, symbol.size()) != symbol) continue;
    const std::string_view number = trimmed(text.substr(symbol.size()));
    std::uint64_t value = 0;
    const auto [end, error] = std::from_chars(number.data(), number.data() + number.size(), value);
    if (number.empty() || error != std::errc() || end != number.data() + number.size()) return false;
    std::lock_guard lock(mutex_);
    predicate_ = std::make_pair(comparison, value);
    return true;
  }
  return false;
}

void MetadataQuery::setGatheringFinishedHandler(std::function<void()> handler) {
  std::lock_guard lock(mutex_);
  finished_ = std::move(handler);
}

bool MetadataQuery::start() {
  {
    std::lock_guard lock(mutex_);
    if (started_ || scopes_.empty()) return false;
    started_ = true;
  }
  queue_->async([self = shared_from_this()] { self->gather(); });
  return true;
}

void MetadataQuery::stop() { stopped_ = true; }

bool MetadataQuery::isStopped() const { return stopped_; }

std::size_t MetadataQuery::resultCount() const {
  std::lock_guard lock(mutex_);
  return results_.size();
}

std::vector<MetadataItem> MetadataQuery::results() const {
  std::lock_guard lock(mutex_);
  return results_;
}

bool MetadataQuery::matches(const std::optional<Predicate>& predicate, std::uint64_t size) {
  if (!predicate) return true;
  const auto [comparison, value] = *predicate;
  switch (comparison) {
    case Comparison::greater: return size > value;
    case Comparison::greaterOrEqual: return size >= value;
    case Comparison::less: return size < value;
    case Comparison::lessOrEqual: return size <= value;
    case Comparison::equal: return size == value;
  }
  return false;
}

void MetadataQuery::gather() {
  std::string scope;
  std::optional<Predicate> predicate;
  {
    std::lock_guard lock(mutex_);
    scope = scopes_.front();
    predicate = predicate_;
  }
  std::vector<MetadataItem> found;
  DirectoryWalker::walk(scope, DirectoryEnumerationOptions::SkipsHiddenFiles |
                                   DirectoryEnumerationOptions::SkipsPackageDescendants,
                        [&](const DirectoryWalker::Entry& entry) {
                          if (stopped_) return WalkAction::Stop;
                          if (!entry.isRegularFile()) return WalkAction::Continue;
                          const auto values = entry.resourceValues(kItemKeys);
                          if (!values || !values->fileSize) return WalkAction::Continue;
                          if (matches(predicate, *values->fileSize)) found.push_back(itemOf(entry.path(), *values));
                          return WalkAction::Continue;
                        });
  std::function<void()> finished;
  {
    std::lock_guard lock(mutex_);
    results_ = std::move(found);
    finished = std::move(finished_);
  }
  if (finished) finished();
}

}  // namespace vozi::platform
