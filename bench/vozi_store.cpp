// The result store: saving scans of 10,000 and 100,000 leaf items (first
// scan, rescan of the same result, clean of a tenth of it), loading all
// fourteen top-level groups, and the store file's size over 20 scan/clean
// cycles. Everything runs under a temporary host root.
//
//   bench_vozi_store --benchmark_counters_tabular=true

#include <benchmark/benchmark.h>
#include <sys/stat.h>

#include <sqlite3.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <future>
#include <optional>

#include "common/DuplicateItem.h"
#include "common/FileItem.h"
#include "common/ItemGroup.h"
#include "common/ModelItemArray.h"
#include "common/ModelItemOrderedSet.h"
#include "common/TypedFileItem.h"
#include "platform/ProcessInfo.h"
#include "store/ZOLCoreDataManager.h"
#include "support/TempRoot.h"

using namespace vozi;

namespace {

enum Shape { flat = 0, nested = 1 };

ModelItemPtr leaf(std::size_t i, bool typed) {
  const std::string path = "/Users/bob/Library/Caches/com.example.app" + std::to_string(i % 97) + "/Cache Data/f_" +
                           std::to_string(i) + ".cache";
  const auto url = platform::URL::fileURLWithPath(path);
  const std::uint64_t size = 4096 + i * 17;
  const platform::Date opened(700000000.0 + static_cast<double>(i));
  if (typed) return std::make_shared<TypedFileItem>(url, size, opened, "", 16);
  return std::make_shared<FileItem>(url, size, opened);
}

// A scan result of `leaves` leaf items: a caches group of files (flat), or a
// duplicates group of sets of two files (nested). `skip` leaves out every
// item whose number is a multiple of it (0: none), `only` keeps just those.
ItemGroupPtr scanResult(Shape shape, std::size_t leaves, std::size_t skip = 0, bool only = false) {
  auto keep = [&](std::size_t i) { return skip == 0 || ((i % skip == 0) == only); };
  std::uint64_t total = 0;
  auto items = std::make_shared<ModelItemArray>();
  if (shape == flat) {
    auto group = ItemGroup::group(ItemGroupName::userCache);
    items->reserve(leaves);
    for (std::size_t i = 0; i < leaves; ++i) {
      if (!keep(i)) continue;
      auto item = leaf(i, false);
      total += item->size();
      items->addItem(item);
    }
    group->setItems(items);
    group->setSize(total);
    group->updateScanningHistory();
    return group;
  }
  auto group = ItemGroup::group(ItemGroupName::duplicates);
  for (std::size_t set = 0; set < leaves / 2; ++set) {
    if (!keep(set)) continue;
    // Cleaning one file of a set of two leaves a single file: the set goes.
    std::vector<ModelItemPtr> files{leaf(2 * set, true), leaf(2 * set + 1, true)};
    if (only) files.pop_back();
    std::uint64_t size = 0;
    for (auto& f : files) size += f->size();
    platform::Data hash(32, 0);
    for (int b = 0; b < 8; ++b) hash[static_cast<std::size_t>(b)] = static_cast<std::uint8_t>(set >> (8 * b));
    items->addItem(std::make_shared<DuplicateItem>(std::nullopt, size, std::make_shared<ModelItemOrderedSet>(files),
                                                   std::nullopt, nullptr, nullptr, hash));
    total += size;
  }
  group->setItems(items);
  group->setSize(total);
  group->updateScanningHistory();
  return group;
}

ItemGroupPtr cleanedTenth(Shape shape, std::size_t leaves) {
  auto group = scanResult(shape, leaves, 10, true);
  group->updateCleaningHistory();
  return group;
}

void scan(ZOLCoreDataManager& m, ItemGroupPtr g) {
  std::promise<void> done;
  m.updateAfterScanning(std::move(g), [&] { done.set_value(); });
  done.get_future().wait();
}
void clean(ZOLCoreDataManager& m, ItemGroupPtr g) {
  std::promise<void> done;
  m.updateAfterCleaning(std::move(g), [&] { done.set_value(); });
  done.get_future().wait();
}
std::size_t loadAll(ZOLCoreDataManager& m) {
  std::promise<std::size_t> done;
  std::vector<ItemGroupName> names(kAllItemGroupNames.begin(), kAllItemGroupNames.end());
  m.loadOrCreateItemGroups(names, [&](std::vector<ItemGroupPtr> groups) {
    std::size_t leaves = 0;
    for (auto& g : groups) g->enumerateLeaves([&](const ModelItemPtr&, bool&) { ++leaves; });
    done.set_value(leaves);
  });
  return done.get_future().get();
}

double fileBytes(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 ? static_cast<double>(st.st_size) : 0.0;
}

struct Store {
  test::TempRoot root;
  std::unique_ptr<ZOLCoreDataManager> manager = std::make_unique<ZOLCoreDataManager>();
  std::string path() const { return root / "/Library/Application Support/div.ez.iru/VOZi.sqlite"; }
  double bytes() const { return fileBytes(path()) + fileBytes(path() + "-wal"); }
};

void reportFile(benchmark::State& state, const Store& store) {
  state.counters["db_MB"] = fileBytes(store.path()) / 1e6;
  state.counters["wal_MB"] = fileBytes(store.path() + "-wal") / 1e6;
}

void BM_FirstScan(benchmark::State& state) {
  const auto shape = static_cast<Shape>(state.range(0));
  const auto leaves = static_cast<std::size_t>(state.range(1));
  const auto result = scanResult(shape, leaves);
  std::unique_ptr<Store> store;
  for (auto _ : state) {
    state.PauseTiming();
    store.reset();
    store = std::make_unique<Store>();
    state.ResumeTiming();
    scan(*store->manager, result);
  }
  reportFile(state, *store);
  state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(leaves));
}

void BM_Rescan(benchmark::State& state) {
  const auto shape = static_cast<Shape>(state.range(0));
  const auto leaves = static_cast<std::size_t>(state.range(1));
  const auto result = scanResult(shape, leaves);
  Store store;
  scan(*store.manager, result);
  for (auto _ : state) scan(*store.manager, scanResult(shape, leaves));
  reportFile(state, store);
  state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(leaves));
}

void BM_CleanTenth(benchmark::State& state) {
  const auto shape = static_cast<Shape>(state.range(0));
  const auto leaves = static_cast<std::size_t>(state.range(1));
  const auto result = scanResult(shape, leaves);
  Store store;
  for (auto _ : state) {
    state.PauseTiming();
    scan(*store.manager, result);
    auto cleaned = cleanedTenth(shape, leaves);
    state.ResumeTiming();
    clean(*store.manager, cleaned);
  }
  reportFile(state, store);
}

// Every group of a store holding `leaves` leaf items over the fourteen kinds
// (most of them in the caches and duplicates groups).
void BM_LoadOrCreateAll(benchmark::State& state) {
  const auto leaves = static_cast<std::size_t>(state.range(0));
  const bool cold = state.range(1) != 0;
  Store store;
  scan(*store.manager, scanResult(flat, leaves / 2));
  scan(*store.manager, scanResult(nested, leaves / 2));
  loadAll(*store.manager);  // creates the other twelve
  std::size_t loaded = 0;
  for (auto _ : state) {
    if (cold) {
      state.PauseTiming();
      store.manager.reset();
      store.manager = std::make_unique<ZOLCoreDataManager>();
      state.ResumeTiming();
    }
    loaded = loadAll(*store.manager);
  }
  state.counters["leaves"] = static_cast<double>(loaded);
  reportFile(state, store);
}

// 20 cycles of: rescan both big groups (the caches and the duplicates, half
// of the leaves each), clean a tenth of each. The file must not grow once the
// tree is stable. Sizes are of the database plus its write-ahead log.
void BM_Cycles(benchmark::State& state) {
  const auto leaves = static_cast<std::size_t>(state.range(0));
  for (auto _ : state) {
    Store store;
    double first = 0, second = 0, last = 0, peak = 0, dbSecond = 0, dbLast = 0;
    for (int cycle = 1; cycle <= 20; ++cycle) {
      for (Shape shape : {flat, nested}) {
        scan(*store.manager, scanResult(shape, leaves / 2));
        clean(*store.manager, cleanedTenth(shape, leaves / 2));
      }
      const double bytes = store.bytes();
      const double db = fileBytes(store.path());
      if (cycle == 1) first = bytes;
      if (cycle == 2) second = bytes, dbSecond = db;
      last = bytes;
      dbLast = db;
      peak = std::max(peak, bytes);
      if (state.range(1)) std::fprintf(stderr, "cycle %2d: %.3f MB (db %.3f, wal %.3f)\n", cycle, bytes / 1e6,
                                       fileBytes(store.path()) / 1e6, fileBytes(store.path() + "-wal") / 1e6);
    }
    state.counters["cycle1_MB"] = first / 1e6;
    state.counters["cycle2_MB"] = second / 1e6;
    state.counters["cycle20_MB"] = last / 1e6;
    state.counters["peak_MB"] = peak / 1e6;
    state.counters["growth_2_to_20_MB"] = (last - second) / 1e6;
    // The database alone; the write-ahead log is reused, its size is the
    // largest stretch written between two checkpoints.
    state.counters["db_growth_2_to_20_MB"] = (dbLast - dbSecond) / 1e6;
  }
}

// The same rows written by SQLite alone: every table of a store the first
// scan made is read back, and written into a new file with the same schema
// and pragmas in one transaction, with one prepared insert per table. The
// time of that transaction is the floor of what the store's save could cost.
struct RawRows {
  std::vector<std::string> schema;
  struct Table {
    std::string name;
    int columns = 0;
    std::vector<std::vector<std::optional<std::string>>> texts;  // values as SQLite text, null kept
    std::vector<std::vector<int>> types;
  };
  std::vector<Table> tables;
};

RawRows readRows(const std::string& path) {
  RawRows rows;
  sqlite3* db = nullptr;
  if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) std::abort();
  sqlite3_stmt* list = nullptr;
  sqlite3_prepare_v2(db, "SELECT type, name, sql FROM sqlite_master WHERE sql IS NOT NULL AND name NOT LIKE 'sqlite_%'",
                     -1, &list, nullptr);
  while (sqlite3_step(list) == SQLITE_ROW) {
    rows.schema.emplace_back(reinterpret_cast<const char*>(sqlite3_column_text(list, 2)));
    if (std::string(reinterpret_cast<const char*>(sqlite3_column_text(list, 0))) == "table")
      rows.tables.push_back({reinterpret_cast<const char*>(sqlite3_column_text(list, 1)), 0, {}, {}});
  }
  sqlite3_finalize(list);
  for (auto& table : rows.tables) {
    sqlite3_stmt* select = nullptr;
    sqlite3_prepare_v2(db, ("SELECT * FROM \"" + table.name + "\"").c_str(), -1, &select, nullptr);
    table.columns = sqlite3_column_count(select);
    while (sqlite3_step(select) == SQLITE_ROW) {
      std::vector<std::optional<std::string>> texts;
      std::vector<int> types;
      for (int c = 0; c < table.columns; ++c) {
        types.push_back(sqlite3_column_type(select, c));
        if (types.back() == SQLITE_NULL) {
          texts.emplace_back();
        } else {
          const auto* bytes = static_cast<const char*>(sqlite3_column_blob(select, c));
          texts.emplace_back(std::string(bytes ? bytes : "", static_cast<std::size_t>(sqlite3_column_bytes(select, c))));
        }
      }
      table.texts.push_back(std::move(texts));
      table.types.push_back(std::move(types));
    }
    sqlite3_finalize(select);
  }
  sqlite3_close(db);
  return rows;
}

// Seconds of the one transaction that writes the rows into a new file.
double writeRaw(const RawRows& rows, const std::string& path) {
  sqlite3* db = nullptr;
  if (sqlite3_open(path.c_str(), &db) != SQLITE_OK) std::abort();
  for (const char* pragma : {"PRAGMA journal_mode=WAL", "PRAGMA synchronous=FULL", "PRAGMA journal_size_limit=4194304"})
    sqlite3_exec(db, pragma, nullptr, nullptr, nullptr);
  for (const auto& statement : rows.schema) sqlite3_exec(db, statement.c_str(), nullptr, nullptr, nullptr);
  const auto start = std::chrono::steady_clock::now();
  sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr);
  for (const auto& table : rows.tables) {
    std::string sql = "INSERT INTO \"" + table.name + "\" VALUES (";
    for (int c = 0; c < table.columns; ++c) sql += c ? ",?" : "?";
    sql += ")";
    sqlite3_stmt* insert = nullptr;
    sqlite3_prepare_v2(db, sql.c_str(), -1, &insert, nullptr);
    for (std::size_t r = 0; r < table.texts.size(); ++r) {
      for (int c = 0; c < table.columns; ++c) {
        const auto& text = table.texts[r][static_cast<std::size_t>(c)];
        switch (table.types[r][static_cast<std::size_t>(c)]) {
          case SQLITE_NULL: sqlite3_bind_null(insert, c + 1); break;
          case SQLITE_INTEGER: sqlite3_bind_int64(insert, c + 1, std::stoll(*text)); break;
          case SQLITE_FLOAT: sqlite3_bind_double(insert, c + 1, std::stod(*text)); break;
          case SQLITE_BLOB: sqlite3_bind_blob(insert, c + 1, text->data(), static_cast<int>(text->size()), SQLITE_STATIC); break;
          default: sqlite3_bind_text(insert, c + 1, text->data(), static_cast<int>(text->size()), SQLITE_STATIC); break;
        }
      }
      sqlite3_step(insert);
      sqlite3_reset(insert);
    }
    sqlite3_finalize(insert);
  }
  sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  sqlite3_close(db);
  return seconds;
}

// The store's first scan against the raw transaction of its rows, interleaved
// over rounds; the ratio of the medians (target: at most 1.5).
void BM_FirstScanAgainstRawSQLite(benchmark::State& state) {
  const auto shape = static_cast<Shape>(state.range(0));
  const auto leaves = static_cast<std::size_t>(state.range(1));
  const auto result = scanResult(shape, leaves);
  std::vector<double> ours, raw;
  for (auto _ : state) {
    for (int round = 0; round < 5; ++round) {
      auto store = std::make_unique<Store>();
      const auto start = std::chrono::steady_clock::now();
      scan(*store->manager, result);
      ours.push_back(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
      const std::string path = store->path();
      store->manager.reset();
      const RawRows rows = readRows(path);
      raw.push_back(writeRaw(rows, store->root.path() + "/raw.sqlite"));
    }
  }
  std::sort(ours.begin(), ours.end());
  std::sort(raw.begin(), raw.end());
  state.counters["store_s"] = ours[ours.size() / 2];
  state.counters["raw_sqlite_s"] = raw[raw.size() / 2];
  state.counters["ratio"] = ours[ours.size() / 2] / raw[raw.size() / 2];
}

}  // namespace

BENCHMARK(BM_FirstScanAgainstRawSQLite)->ArgsProduct({{flat, nested}, {100000}})->Unit(benchmark::kSecond)->Iterations(1);
BENCHMARK(BM_FirstScan)->ArgsProduct({{flat, nested}, {10000, 100000}})->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_Rescan)->ArgsProduct({{flat, nested}, {10000, 100000}})->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_CleanTenth)->ArgsProduct({{flat, nested}, {10000, 100000}})->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_LoadOrCreateAll)->ArgsProduct({{10000, 100000}, {0, 1}})->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_Cycles)->Args({10000, 1})->Args({100000, 1})->Unit(benchmark::kMillisecond)->Iterations(1);

int main(int argc, char** argv) {
  // Memory is handled as the daemon handles it, for the store and SQLite alike.
  vozi::platform::ProcessInfo::keepFreedMemoryForReuse();
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
