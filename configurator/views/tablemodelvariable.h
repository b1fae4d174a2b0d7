// The "Теги" table: one row per tag of the selected group, one column per
// tag property, sortable by the text of a column.
#pragma once

#include "views/grouptagsmodel.h"

class TableModelVariable : public GroupTagsModel {
  Q_OBJECT

 public:
  explicit TableModelVariable(QObject* parent = nullptr);

  // Shows the tags of `group` (null shows nothing).
  void SetGroup(const QString& groupPath, virk::CItem* group);
  // The tag shown in `row`, or null.
  virk::CItem* TagAt(int row) const;

  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  void sort(int column, Qt::SortOrder order = Qt::AscendingOrder) override;

 protected:
  void TagsChanged() override;

 private:
  QString CellText(int tagPosition, int column) const;

  QVector<int> m_rowOrder;  // row -> position among the group's tags
};
