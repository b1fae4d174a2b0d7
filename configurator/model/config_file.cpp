#include "model/config_file.h"

#include "common/csv_loader.h"
#include "common/csv_writer.h"
#include "model/item_info.h"

bool LoadConfiguration(virk::CTreeItemRoot& root, const QString& path, bool plain,
                       const std::function<void(const QString&)>& onDuplicate) {
  while (!root.Children().empty()) root.RemoveChild(root.Children().begin()->first);
  root.m_FilePath = path.toStdString();
  virk::CCsvLoader loader(root, ItemFactory());
  loader.SetDuplicateHook(
      [&onDuplicate](const std::string& text) { onDuplicate(QString::fromStdString(text)); });
  return loader.LoadFile(path.toStdString(), !plain);
}

int SaveConfiguration(const virk::CTreeItemRoot& root, const QString& path, bool plain) {
  switch (virk::WriteConfiguration(root, path.toStdString(), plain)) {
    case 0: return 0;
    case 1: return 12;
    default: return 13;
  }
}
