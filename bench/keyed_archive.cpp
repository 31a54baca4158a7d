// Archiving and unarchiving many small records, the shape of a scan result.

#include <benchmark/benchmark.h>

#include "platform/KeyedArchiver.h"
#include "platform/KeyedUnarchiver.h"

using namespace vozi::platform;

namespace {

struct BenchItem {
  BenchItem() = default;
  explicit BenchItem(KeyedUnarchiver& u)
      : path(u.decodeStringForKey("path").value_or("")),
        name(u.decodeStringForKey("name").value_or("")),
        size(u.decodeUInt64ForKey("size")),
        inode(u.decodeInt64ForKey("inode")),
        selected(u.decodeBoolForKey("selected")),
        modified(u.decodeDateForKey("modified")),
        url(u.decodeURLForKey("url")) {}
  virtual ~BenchItem() = default;
  void encode(KeyedArchiver& a) const {
    a.encode("path", path);
    a.encode("name", name);
    a.encode("size", size);
    a.encode("inode", inode);
    a.encode("selected", selected);
    a.encodeDate("modified", modified);
    a.encodeURL("url", url);
  }
  std::string path;
  std::string name;
  std::uint64_t size = 0;
  std::int64_t inode = 0;
  bool selected = false;
  std::optional<Date> modified;
  std::optional<std::string> url;
};

std::vector<std::shared_ptr<BenchItem>> makeItems(std::size_t count) {
  ArchiveClassRegistry::shared().registerClass<BenchItem>("BenchItem");
  std::vector<std::shared_ptr<BenchItem>> items;
  items.reserve(count);
  for (std::size_t i = 0; i < count; ++i) {
    auto item = std::make_shared<BenchItem>();
    item->name = "file-" + std::to_string(i) + ".cache";
    item->path = "/Users/bob/Library/Caches/com.example.app/" + item->name;
    item->size = 4096 + i * 17;
    item->inode = static_cast<std::int64_t>(1000000 + i);
    item->selected = i % 3 == 0;
    item->modified = Date(700000000.0 + static_cast<double>(i));
    item->url = item->path;
    items.push_back(std::move(item));
  }
  return items;
}

void BM_ArchiveItems(benchmark::State& state) {
  const auto items = makeItems(static_cast<std::size_t>(state.range(0)));
  std::size_t bytes = 0;
  for (auto _ : state) {
    auto data = KeyedArchiver::archivedArray(items);
    if (!data) state.SkipWithError("archiving failed");
    bytes = data ? data->size() : 0;
    benchmark::DoNotOptimize(data);
  }
  state.counters["archive_bytes"] = static_cast<double>(bytes);
  state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_ArchiveItems)->Arg(100000)->Unit(benchmark::kMillisecond);

void BM_UnarchiveItems(benchmark::State& state) {
  const auto items = makeItems(static_cast<std::size_t>(state.range(0)));
  const auto data = KeyedArchiver::archivedArray(items);
  static const AllowedClasses kAllowed{"BenchItem"};
  for (auto _ : state) {
    auto decoded = KeyedUnarchiver::unarchivedArray<BenchItem>(*data, kAllowed);
    if (!decoded || decoded->size() != items.size()) state.SkipWithError("unarchiving failed");
    benchmark::DoNotOptimize(decoded);
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_UnarchiveItems)->Arg(100000)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
