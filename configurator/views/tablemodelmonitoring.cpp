#include "views/tablemodelmonitoring.h"

#include <QColor>

namespace {

constexpr int kCellsPerRow = 4;
constexpr int kQualityColumn = 2;

}  // namespace

TableModelMonitoring::TableModelMonitoring(QObject* parent)
    : GroupTagsModel({"Имя тега", "Значение", "Качество", "Время"}, parent) {}

void TableModelMonitoring::SetGroup(const QString& groupPath, virk::CItem* group) {
  beginResetModel();
  ChangeGroup(groupPath, group);
  // No cells until a value arrives: a placeholder would read as a measured 0.
  if (group && !m_cells.contains(groupPath)) m_cells.insert(groupPath, QVariantList());
  endResetModel();
}

void TableModelMonitoring::UpdateRow(int row, const QString& value, const QString& quality,
                                     const QString& time, const QString& groupPath) {
  auto cells = m_cells.find(groupPath);
  if (cells == m_cells.end() || row < 0) return;
  const int first = kCellsPerRow * row;
  while (cells->size() < first + kCellsPerRow) cells->append(QVariant());
  (*cells)[first + 1] = value;
  (*cells)[first + 2] = quality;
  (*cells)[first + 3] = time;
}

void TableModelMonitoring::Refresh() {
  if (Tags().isEmpty()) return;
  emit dataChanged(index(0, 0), index(int(Tags().size()) - 1, kCellsPerRow - 1),
                   {Qt::DisplayRole, Qt::BackgroundRole});
}

QVariant TableModelMonitoring::Cell(int row, int column) const {
  // A reference into the map: a copy of a big group's cells per painted cell would cost more than the paint.
  const auto cells = m_cells.constFind(GroupPath());
  const int at = kCellsPerRow * row + column;
  return cells != m_cells.cend() && at < cells->size() ? cells->at(at) : QVariant();
}

QVariant TableModelMonitoring::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= Tags().size()) return QVariant();
  if (role == Qt::BackgroundRole) return QualityColour(Cell(index.row(), kQualityColumn).toString());
  if (role != Qt::DisplayRole) return QVariant();
  if (index.column() == 0) return QString::fromStdString(Tags()[index.row()]->Name());
  return Cell(index.row(), index.column());
}

QVariant TableModelMonitoring::QualityColour(const QString& quality) {
  // A value the server does not vouch for must not look like one it does.
  if (quality.startsWith("Bad")) return QColor(255, 205, 205);
  if (quality.startsWith("Uncertain")) return QColor(255, 240, 190);
  return QVariant();
}

QStringList TableModelMonitoring::TagNames(const QList<int>& rows) const {
  QStringList names;
  for (int row : rows)
    if (row >= 0 && row < Tags().size()) names << GroupPath() + "." + QString::fromStdString(Tags()[row]->Name());
  return names;
}
