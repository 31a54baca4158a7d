#pragma once

// What the benchmarks that compare medians share: the run set to five
// interleaved repetitions (unless the command line says otherwise), and a
// reporter that prints, after the table, the ratios of the medians named.

#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

namespace vozi::bench {

// benchmark::Initialize with five interleaved repetitions, aggregates only,
// ahead of the caller's own arguments; false for an argument it does not know.
inline bool initializeInterleaved(int argc, char** argv) {
  static std::string repetitions = "--benchmark_repetitions=5";
  static std::string interleaving = "--benchmark_enable_random_interleaving=true";
  static std::string aggregates = "--benchmark_report_aggregates_only=true";
  static std::vector<char*> arguments;
  arguments.assign(argv, argv + argc);
  arguments.insert(arguments.begin() + 1, {repetitions.data(), interleaving.data(), aggregates.data()});
  int count = static_cast<int>(arguments.size());
  benchmark::Initialize(&count, arguments.data());
  return !benchmark::ReportUnrecognizedArguments(count, arguments.data());
}

class MedianRatioReporter : public benchmark::ConsoleReporter {
 public:
  struct Ratio {
    std::string ours;
    std::string theirs;
    std::string target;  // as printed: "<= 2", "reported"
  };
  explicit MedianRatioReporter(std::vector<Ratio> ratios) : ratios_(std::move(ratios)) {}

  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      if (!run.error_occurred && run.run_type == Run::RT_Aggregate && run.aggregate_name == "median") {
        const std::string name = run.benchmark_name();
        medians_[name.substr(0, name.find('/'))] = run.GetAdjustedRealTime();
      }
    }
    ConsoleReporter::ReportRuns(runs);
  }
  void Finalize() override {
    ConsoleReporter::Finalize();
    for (const Ratio& ratio : ratios_) {
      const auto a = medians_.find(ratio.ours), b = medians_.find(ratio.theirs);
      if (a == medians_.end() || b == medians_.end() || b->second <= 0) continue;
      std::printf("%-50s %.2f (target %s)\n", (ratio.ours + " / " + ratio.theirs).c_str(), a->second / b->second,
                  ratio.target.c_str());
    }
  }

 private:
  std::vector<Ratio> ratios_;
  std::map<std::string, double> medians_;
};

}  // namespace vozi::bench
