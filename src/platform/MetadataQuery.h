#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/Date.h"
#include "platform/DispatchQueue.h"

namespace vozi::platform {

// What the metadata search knows of one file. There is no metadata index on
// this platform: the facts come from the file itself. No item ever has a
// last-used date; the content type comes from the extension table.
struct MetadataItem {
  std::string path;
  std::string displayName;                         // the last path component
  std::optional<std::uint64_t> fileSize;           // of a regular file only
  std::optional<Date> creationDate;                // where the file system keeps one
  std::optional<Date> contentModificationDate;
  std::optional<std::string> contentType;          // none for an unknown extension

  // The item at a host path, read without following a link on the way or
  // at the end; none when nothing can be read there.
  static std::optional<MetadataItem> atPath(const std::string& path);
};

// A search for files by size under one folder, in place of a metadata-index
// query: start() walks the first search scope once on the query's own
// serial queue, entering no link, package or hidden folder, keeps the
// regular files whose size passes the predicate, then calls the
// gathering-finished handler once, on that queue. stop() ends a walk that
// is still going (the handler is still called, with what was found).
//
//   MetadataQuery query;
//   query.setSearchScopes({folder});
//   query.setPredicate("kMDItemFSSize > 1000");
//   query.setGatheringFinishedHandler([&] { ... query.results() ... });
//   query.start();
class MetadataQuery : public std::enable_shared_from_this<MetadataQuery> {
 public:
  static constexpr const char* kFSSizeKey = "kMDItemFSSize";

  static std::shared_ptr<MetadataQuery> make();

  void setSearchScopes(std::vector<std::string> scopes);
  // "<kMDItemFSSize> <op> <decimal>" with op one of >, >=, <, <=, ==; false
  // (and the predicate left unchanged) for any other text. Without a
  // predicate every regular file matches.
  bool setPredicate(const std::string& format);
  // The walk gathers once and sends no updates after: these only keep the
  // shape callers of a live query expect.
  void enableUpdates() {}
  void disableUpdates() {}
  void setGatheringFinishedHandler(std::function<void()> handler);

  // False when the query has no scope or was started before.
  bool start();
  void stop();
  bool isStopped() const;

  // The files found, in walk order; read them from the handler or after it.
  std::size_t resultCount() const;
  std::vector<MetadataItem> results() const;

  const std::shared_ptr<DispatchQueue>& queue() const { return queue_; }

 private:
  MetadataQuery();
  void gather();
  enum class Comparison { greater, greaterOrEqual, less, lessOrEqual, equal };
  using Predicate = std::pair<Comparison, std::uint64_t>;
  static bool matches(const std::optional<Predicate>& predicate, std::uint64_t size);

  std::shared_ptr<DispatchQueue> queue_;
  mutable std::mutex mutex_;
  std::vector<std::string> scopes_;
  std::optional<Predicate> predicate_;
  std::function<void()> finished_;
  std::vector<MetadataItem> results_;
  bool started_ = false;
  std::atomic<bool> stopped_{false};
};

}  // namespace vozi::platform
