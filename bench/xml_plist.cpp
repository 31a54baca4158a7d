// Reading and writing an XML property list the size of a large Info.plist
// or settings file: many dictionaries of strings, numbers, dates and data.

#include <benchmark/benchmark.h>

#include "platform/PropertyList.h"

using namespace vozi::platform;

namespace {

Value document(std::int64_t entries) {
  Value::Array items;
  for (std::int64_t i = 0; i < entries; ++i) {
    items.emplace_back(Value::Dictionary{
        {"path", Value("/Users/someone/Library/Caches/com.example.app/item-" + std::to_string(i))},
        {"size", Value(i * 4096)},
        {"ratio", Value(static_cast<double>(i) / 7.0)},
        {"modified", Value(Date(700000000.0 + static_cast<double>(i)))},
        {"selected", Value(i % 2 == 0)},
        {"digest", Value(Data(20, static_cast<std::uint8_t>(i)))},
    });
  }
  return Value(Value::Dictionary{{"items", Value(std::move(items))}});
}

void BM_WriteXML(benchmark::State& state) {
  const Value value = document(state.range(0));
  for (auto _ : state) benchmark::DoNotOptimize(PropertyList::toXML(value));
  state.SetItemsProcessed(state.iterations() * state.range(0));
}

void readXML(benchmark::State& state, PropertyList::Strictness strictness) {
  const std::string text = *PropertyList::toXML(document(state.range(0)));
  for (auto _ : state) {
    auto read = PropertyList::fromXML(text, strictness);
    if (!read) state.SkipWithError("read failed");
    benchmark::DoNotOptimize(read);
  }
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(text.size()));
  state.SetItemsProcessed(state.iterations() * state.range(0));
}

void BM_ReadXMLStrict(benchmark::State& state) { readXML(state, PropertyList::Strictness::strict); }
void BM_ReadXMLTolerant(benchmark::State& state) { readXML(state, PropertyList::Strictness::tolerant); }

}  // namespace

BENCHMARK(BM_WriteXML)->Arg(10000);
BENCHMARK(BM_ReadXMLStrict)->Arg(10000);
BENCHMARK(BM_ReadXMLTolerant)->Arg(10000);

BENCHMARK_MAIN();
