#include <benchmark/benchmark.h>

#include "platform/store/ManagedObjectContext.h"
#include "platform/store/ManagedObjectModel.h"
#include "platform/store/PersistentStoreCoordinator.h"
#include "platform/store/SQLiteStoreFiles.h"
#include "support/TempRoot.h"

using namespace vozi::platform;

namespace {

std::shared_ptr<const ManagedObjectModel> model() {
  ManagedObjectModel::Builder b;
  b.entity("Item")
      .attribute("identifier", AttributeType::string)
      .indexed()
      .attribute("name", AttributeType::string)
      .attribute("size", AttributeType::integer64)
      .toMany("groups", "Group", "items");
  b.entity("File").parent("Item").attribute("path", AttributeType::string).attribute("opened", AttributeType::date);
  b.entity("Group").parent("Item").toMany("items", "Item", "groups");
  return b.build();
}

struct Fixture {
  vozi::test::TempRoot root;
  std::shared_ptr<PersistentStoreCoordinator> psc = std::make_shared<PersistentStoreCoordinator>(model());
  std::unique_ptr<ManagedObjectContext> moc;
  Fixture() {
    psc->addSQLiteStore(root.makeDirectory("/Library/Application Support/div.ez.iru") + "/Bench.sqlite");
    moc = std::make_unique<ManagedObjectContext>(psc, "div.ez.iru.bench");
  }
};

void fill(ManagedObjectContext& moc, const ManagedObjectPtr& group, std::int64_t count) {
  for (std::int64_t i = 0; i < count; ++i) {
    auto f = moc.insertNewObject("File");
    const std::string path = "/Users/someone/Library/Caches/com.example/file" + std::to_string(i);
    f->setString("identifier", path);
    f->setString("path", path);
    f->setString("name", "file" + std::to_string(i));
    f->setInteger("size", i);
    f->setDate("opened", Date(700000000.0 + static_cast<double>(i)));
    group->addObject("items", f);
  }
}

// Inserting a scan's worth of files into a group and saving them.
void BM_SaveInsertedTree(benchmark::State& state) {
  for (auto _ : state) {
    state.PauseTiming();
    Fixture fx;
    state.ResumeTiming();
    fx.moc->performAndWait([&] {
      auto group = fx.moc->insertNewObject("Group");
      fill(*fx.moc, group, state.range(0));
      fx.moc->save();
    });
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_SaveInsertedTree)->Arg(100000)->Unit(benchmark::kMillisecond);

// The save alone, once the objects exist.
void BM_SaveOnly(benchmark::State& state) {
  for (auto _ : state) {
    state.PauseTiming();
    Fixture fx;
    ManagedObjectPtr group;
    fx.moc->performAndWait([&] {
      group = fx.moc->insertNewObject("Group");
      fill(*fx.moc, group, state.range(0));
    });
    state.ResumeTiming();
    fx.moc->performAndWait([&] { fx.moc->save(); });
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_SaveOnly)->Arg(100000)->Unit(benchmark::kMillisecond);

// A rescan: delete the stored items of a group and store new ones, one save.
void BM_ReplaceStoredTree(benchmark::State& state) {
  for (auto _ : state) {
    state.PauseTiming();
    Fixture fx;
    fx.moc->performAndWait([&] {
      auto group = fx.moc->insertNewObject("Group");
      fill(*fx.moc, group, state.range(0));
      fx.moc->save();
      fx.moc->reset();
    });
    state.ResumeTiming();
    fx.moc->performAndWait([&] {
      auto group = fx.moc->fetch(FetchRequest("Group"))->front();
      for (auto& item : group->objects("items")) fx.moc->deleteObject(item);
      fill(*fx.moc, group, state.range(0));
      fx.moc->save();
    });
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_ReplaceStoredTree)->Arg(50000)->Unit(benchmark::kMillisecond);

// Loading a stored group with all its items.
void BM_LoadStoredTree(benchmark::State& state) {
  Fixture fx;
  fx.moc->performAndWait([&] {
    fill(*fx.moc, fx.moc->insertNewObject("Group"), state.range(0));
    fx.moc->save();
  });
  for (auto _ : state) {
    fx.moc->performAndWait([&] {
      fx.moc->reset();
      auto group = fx.moc->fetch(FetchRequest("Group"))->front();
      benchmark::DoNotOptimize(group->objects("items").size());
    });
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_LoadStoredTree)->Arg(50000)->Unit(benchmark::kMillisecond);

// Opening a store of a scan's worth of files: the file's check (quick, or
// the full one when the file is marked) and the schema pass.
void BM_OpenStoredTree(benchmark::State& state) {
  Fixture fx;
  fx.moc->performAndWait([&] {
    auto group = fx.moc->insertNewObject("Group");
    fill(*fx.moc, group, state.range(0));
    fx.moc->save();
  });
  const std::string path = fx.psc->storePath();
  const bool full = state.range(1) != 0;
  fx.moc.reset();
  fx.psc->removeStore();
  for (auto _ : state) {
    if (full) (void)SQLiteStoreFiles::markCorrupt(path, "bench");
    auto psc = std::make_shared<PersistentStoreCoordinator>(model());
    if (!psc->addSQLiteStore(path)) state.SkipWithError("open failed");
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_OpenStoredTree)->Args({45000, 0})->Args({45000, 1})->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
