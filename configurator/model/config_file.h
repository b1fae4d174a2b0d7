// Opening and saving the configuration through the common loader and writer.
// Both run on a worker thread while the window waits in the progress dialog.
#pragma once

#include <QString>
#include <QStringList>
#include <functional>

#include "common/item.h"

// Empties `root` and reads the file into it (plain CSV when `plain`, else the
// scrambled .cfg form). `onDuplicate` receives the loader's duplicate
// warnings. False when the file is rejected; `errors` then gets the loader's
// first messages (line and field).
bool LoadConfiguration(virk::CTreeItemRoot& root, const QString& path, bool plain,
                       const std::function<void(const QString&)>& onDuplicate,
                       QStringList* errors = nullptr);

// Writes the records (plain CSV when `plain`, else the scrambled .cfg form that
// keeps the file's options and users sections). Returns the progress dialog
// code: 0 success, 12 records not written, 13 file not read back, 14 not
// written because the records would not load again (`problem` then holds the
// loader's first messages and the file is left as it was).
int SaveConfiguration(const virk::CTreeItemRoot& root, const QString& path, bool plain,
                      QStringList* problem = nullptr);
