// What the tag table and the monitoring table share: the tags of one selected
// group as rows, fixed column titles, and row announcements (the rows
// themselves live in the group).
#pragma once

#include <QAbstractTableModel>
#include <QMap>
#include <QStringList>
#include <QVector>

#include "common/item.h"

class GroupTagsModel : public QAbstractTableModel {
  Q_OBJECT

 public:
  GroupTagsModel(QStringList columns, QObject* parent);

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  int columnCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant headerData(int section, Qt::Orientation orientation,
                      int role = Qt::DisplayRole) const override;
  QHash<int, QByteArray> roleNames() const override;
  bool insertRows(int row, int count, const QModelIndex& parent = QModelIndex()) override;
  bool removeRows(int row, int count, const QModelIndex& parent = QModelIndex()) override;

 protected:
  // Inside a model reset: makes `group` (or none) the one shown.
  void ChangeGroup(const QString& groupPath, virk::CItem* group);
  // Re-reads the group's tags after the group changed.
  void RebuildTagIndex();
  // Called after the tag list was re-read.
  virtual void TagsChanged() {}

  const QString& GroupPath() const { return m_groupPath; }
  const QVector<virk::CItem*>& Tags() const { return m_tags; }

 private:
  const QStringList m_columns;
  QMap<QString, virk::CItem*> m_groups;  // the selected group under its path
  QString m_groupPath;
  QVector<virk::CItem*> m_tags;  // the group's tags in its own order
};
