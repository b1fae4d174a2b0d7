// The "Мониторинг" table: the tags of the selected group with the last value,
// quality and arrival time received for them. Cells are stored on arrival and
// repainted in one batch by Refresh.
#pragma once

#include <QVariantList>

#include "views/grouptagsmodel.h"

class TableModelMonitoring : public GroupTagsModel {
  Q_OBJECT

 public:
  explicit TableModelMonitoring(QObject* parent = nullptr);

  // Shows `group`; a path seen for the first time gets its (empty) cells.
  void SetGroup(const QString& groupPath, virk::CItem* group);
  // Stores value, quality and time of `row` of the group at `groupPath`;
  // paths never shown are ignored.
  void UpdateRow(int row, const QString& value, const QString& quality, const QString& time,
                 const QString& groupPath);
  // Full names ("<group path>.<tag>") of the shown group's tags at `rows`.
  QStringList TagNames(const QList<int>& rows) const;
  // Whether values of the group at `groupPath` are kept (it has been shown).
  bool HoldsGroup(const QString& groupPath) const { return m_cells.contains(groupPath); }
  // Announces every cell as changed.
  void Refresh();

  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  // The background of a row whose quality is not Good (Bad red, Uncertain yellow); none for Good.
  static QVariant QualityColour(const QString& quality);

 private:
  QVariant Cell(int row, int column) const;
  QMap<QString, QVariantList> m_cells;  // four cells per row
};
