#include "model/config_file.h"

#include "common/csv_loader.h"
#include "common/csv_writer.h"
#include "model/item_info.h"

namespace {

// Enough to find the fault; the log has them all.
constexpr size_t kShownErrors = 5;

QStringList FirstErrors(const virk::CCsvLoader& loader) {
  QStringList errors;
  for (const auto& error : loader.Errors()) {
    if (size_t(errors.size()) == kShownErrors) {
      errors << QString("… и ещё %1").arg(loader.Errors().size() - kShownErrors);
      break;
    }
    errors << QString::fromStdString(error.message);
  }
  return errors;
}

}  // namespace

bool LoadConfiguration(virk::CTreeItemRoot& root, const QString& path, bool plain,
                       const std::function<void(const QString&)>& onDuplicate, QStringList* errors) {
  while (!root.Children().empty()) root.RemoveChild(root.Children().begin()->first);
  root.m_FilePath = path.toStdString();
  virk::CCsvLoader loader(root, ItemFactory());
  loader.SetDuplicateHook(
      [&onDuplicate](const std::string& text) { onDuplicate(QString::fromStdString(text)); });
  const bool loaded = loader.LoadFile(path.toStdString(), !plain);
  if (!loaded && errors) *errors = FirstErrors(loader);
  return loaded;
}

int SaveConfiguration(const virk::CTreeItemRoot& root, const QString& path, bool plain,
                      QStringList* problem) {
  // The last guard: what the server and the next open would refuse is not
  // written at all. The records are made once, checked, then written.
  const std::u16string records = virk::RecordsText(root);
  virk::CTreeItemRoot check;
  virk::CCsvLoader loader(check, ItemFactory());
  loader.SetLogRecordErrors(false);
  if (!loader.LoadText(records)) {
    if (problem) *problem = FirstErrors(loader);
    return 14;
  }
  switch (virk::WriteRecordsText(records, path.toStdString(), plain)) {
    case 0: return 0;
    case 1: return 12;
    default: return 13;
  }
}
