// Loading a large configuration: 100,000 tags in 10 channels, 100 devices and
// 1,000 groups, from the scrambled file as the server reads it. Reports the
// time of Load and the heap the finished tree keeps, per tag, and the time
// the server then takes to read the options and users sections.
#include <benchmark/benchmark.h>
#include <malloc.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "common/csv_loader.h"
#include "common/options.h"
#include "common/text.h"
#include "generator.h"

namespace {

constexpr size_t kTags = 100000;

// The file is made once per process and removed at exit.
const std::string& ConfigurationPath() {
  static const std::string path = [] {
    virk::GeneratorOptions options;
    options.channels = 10;
    options.devices = 100;
    options.groups = 1000;
    options.tags = kTags;
    const std::string file = (std::filesystem::temp_directory_path() /
                              ("virk_bench_load_" + std::to_string(getpid()) + ".cfg"))
                                 .string();
    // Options and users after the records, as the configurator leaves them.
    std::u16string text = virk::WithStartOptions(
        virk::Utf8ToUtf16(virk::GenerateConfiguration(options)), virk::StartOptions{});
    text = virk::WithLogins(text, {{"operator", "secret"}, {"viewer", ""}});
    std::string error;
    if (!virk::WriteConfigText(file, text, true, error)) return std::string();
    std::atexit([] { std::filesystem::remove(ConfigurationPath()); });
    return file;
  }();
  return path;
}

size_t CountTags(const virk::CItem& item) {
  size_t tags = item.Kind() == virk::kKindTag ? 1 : 0;
  for (const auto& [name, child] : item.Children()) tags += CountTags(*child);
  return tags;
}

size_t HeapInUse() {
  malloc_trim(0);
  return mallinfo2().uordblks;
}

void BM_LoadConfiguration(benchmark::State& state) {
  const std::string& path = ConfigurationPath();
  if (path.empty()) return state.SkipWithError("cannot write the configuration file");
  const virk::CPlainItemFactory factory;
  size_t treeBytes = 0;
  for (auto _ : state) {
    state.PauseTiming();
    auto root = std::make_unique<virk::CTreeItemRoot>();
    const size_t before = HeapInUse();
    state.ResumeTiming();

    const bool loaded = virk::CCsvLoader(*root, factory).Load(path);

    state.PauseTiming();
    if (!loaded || CountTags(*root) != kTags) return state.SkipWithError("the file did not load");
    treeBytes = HeapInUse() - before;
    root.reset();
    state.ResumeTiming();
  }
  state.counters["tags"] = double(kTags);
  state.counters["bytes_per_tag"] = double(treeBytes) / double(kTags);
}
BENCHMARK(BM_LoadConfiguration)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime()->UseRealTime();

void BM_ReadStartParameters(benchmark::State& state) {
  const std::string& path = ConfigurationPath();
  if (path.empty()) return state.SkipWithError("cannot write the configuration file");
  for (auto _ : state) {
    std::vector<std::string> values;
    if (virk::readParametrsStart(path, values) != 0 || values[virk::kStartUsers] != "operator;secret;viewer;;")
      return state.SkipWithError("the options were not read");
  }
}
BENCHMARK(BM_ReadStartParameters)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime()->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
