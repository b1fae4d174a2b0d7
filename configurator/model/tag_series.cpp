#include "model/tag_series.h"

#include "app/app_log.h"
#include "model/item_names.h"
#include "model/tree_edit.h"

using namespace virk;

namespace {

const char kLocalFailure[] =
    "Добавление тега завершилось неудачно, не удалось добавить дочерний элемент в группу";
const char kServerFailure[] = "Добавление тега завершилось неудачно, на сервере произошла ошибка";

}  // namespace

TagSeriesOutcome AddTagSeries(CItem& group, ItemPtr first, const QStringList& firstArgs, int count,
                              ServerCalls* server) {
  TagSeriesOutcome outcome;
  const QString groupPath = ItemPath(group);
  ItemPtr next = std::move(first);
  QStringList args = firstArgs;
  // One stop and one start around the whole batch: the server's tree ends up
  // the same as with a pair per tag, in 2 calls instead of 2 per tag.
  if (server && count > 0) server->StopExchange();
  for (int i = 0; i < count && next; ++i) {
    if (i > 0) {
      static_cast<CDATagInfo&>(*next).Advance();
      next->SetName(NextFreeName(group, next->Name()));
      args = QStringList{groupPath, "4"} + SettingsArguments(*next);
    }
    // The copy is made before the tag is handed to the group: it is the
    // template of the next one.
    ItemPtr copy = i + 1 < count ? next->DeepCopy(ItemFactory()) : nullptr;
    const std::string name = next->Name();
    if (!group.AddChild(std::move(next))) {
      LogWarning(kLocalFailure);
      outcome.code = 5;
    } else if (server && !server->AddNode(args)) {
      LogWarning(kServerFailure);
      group.RemoveChild(name);
      outcome.code = 6;
    } else if (server) {
      outcome.serverChanged = true;
    }
    next = std::move(copy);
  }
  if (server && count > 0 && !server->StartExchange()) LogWarning("Изменения канала завершилось неудачно");
  outcome.added = int(group.Children().size());
  return outcome;
}
