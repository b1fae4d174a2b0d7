// The configurator on large configurations: opening a 100,000-tag .cfg until
// the tree is shown, selecting a group of 10,000 tags until the tag table is
// filled, and adding 250,000 tags by count.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QTemporaryDir>

#include "app/mainwindow.h"
#include "app/prompts.h"
#include "common/text.h"
#include "generator.h"
#include "model/tag_series.h"
#include "model/tree_edit.h"

namespace {

class FixedFilePrompts : public Prompts {
 public:
  QString OpenFileName(QWidget*, const QString&, const QString&, const QString&) override { return path; }
  void Warning(QWidget*, const QString&, const QString& text) override { warnings << text; }
  QString path;
  QStringList warnings;
};

// A scrambled .cfg with `tags` tags in `groups` groups of 10 devices on 2 channels.
QString WriteCfg(const QTemporaryDir& dir, size_t groups, size_t tags) {
  virk::GeneratorOptions options;
  options.channels = 2;
  options.devices = 10;
  options.groups = groups;
  options.tags = tags;
  const QString path = dir.filePath(QString("tags_%1.cfg").arg(tags));
  std::string error;
  if (!virk::WriteConfigText(path.toStdString(), virk::Utf8ToUtf16(virk::GenerateConfiguration(options)),
                             true, error))
    return QString();
  return path;
}

size_t CountTags(const virk::CItem& item) {
  if (item.Kind() == virk::kKindTag) return 1;
  size_t count = 0;
  for (const auto& [name, child] : item.Children()) count += CountTags(*child);
  return count;
}

void BM_OpenCfg100kTags(benchmark::State& state) {
  QTemporaryDir dir;
  FixedFilePrompts prompts;
  SetPrompts(&prompts);
  prompts.path = WriteCfg(dir, 100, 100000);
  MainWindow window;
  window.show();
  for (auto _ : state) {
    window.on_open_action_triggered();
    QApplication::processEvents();
  }
  state.counters["tags"] = double(CountTags(window.Root()));
  if (!prompts.warnings.isEmpty() || CountTags(window.Root()) != 100000)
    state.SkipWithError("the configuration did not open");
  SetPrompts(nullptr);
}
BENCHMARK(BM_OpenCfg100kTags)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

virk::CItem* FirstGroup(virk::CItem& root) {
  virk::CItem* item = &root;
  while (item && item->Kind() != virk::kKindGroup)
    item = item->Children().empty() ? nullptr : item->Children().begin()->second.get();
  return item;
}

void BM_SelectGroup10kTags(benchmark::State& state) {
  QTemporaryDir dir;
  FixedFilePrompts prompts;
  SetPrompts(&prompts);
  prompts.path = WriteCfg(dir, 10, 100000);  // 10,000 tags in each group
  MainWindow window;
  window.show();
  window.on_open_action_triggered();
  virk::CItem* group = FirstGroup(window.Root());
  if (!group || group->Children().size() != 10000) {
    state.SkipWithError("no group of 10,000 tags");
    SetPrompts(nullptr);
    return;
  }
  for (auto _ : state) {
    state.PauseTiming();
    window.Select(&window.Root());
    QApplication::processEvents();
    state.ResumeTiming();
    window.Select(group);
    QApplication::processEvents();
  }
  SetPrompts(nullptr);
}
BENCHMARK(BM_SelectGroup10kTags)->Unit(benchmark::kMillisecond)->Iterations(5)->UseRealTime();

void BM_AddTags250k(benchmark::State& state) {
  for (auto _ : state) {
    auto group = std::make_unique<CGroupInfo>();
    const TagSeriesOutcome outcome =
        AddTagSeries(*group, NewItem(*group, virk::kKindTag), {}, 250000, nullptr);
    if (outcome.added != 250000) state.SkipWithError("not every tag was added");
    state.PauseTiming();  // destroying the group is not part of adding
    group.reset();
    state.ResumeTiming();
  }
}
BENCHMARK(BM_AddTags250k)->Unit(benchmark::kMillisecond)->Iterations(2)->UseRealTime();

}  // namespace
