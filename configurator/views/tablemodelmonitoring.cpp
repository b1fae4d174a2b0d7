#include "views/tablemodelmonitoring.h"

namespace {

constexpr int kCellsPerRow = 4;

}  // namespace

TableModelMonitoring::TableModelMonitoring(QObject* parent)
    : GroupTagsModel({"Имя тега", "Значение", "Качество", "Время"}, parent) {}

void TableModelMonitoring::SetGroup(const QString& groupPath, virk::CItem* group) {
  beginResetModel();
  ChangeGroup(groupPath, group);
  if (group && !m_cells.contains(groupPath)) m_cells.insert(groupPath, QVariantList{0, 0, 0, 0});
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
                   {Qt::DisplayRole});
}

QVariant TableModelMonitoring::data(const QModelIndex& index, int role) const {
  if (role != Qt::DisplayRole || !index.isValid() || index.row() >= Tags().size())
    return QVariant();
  if (index.column() == 0) return QString::fromStdString(Tags()[index.row()]->Name());
  const QVariantList cells = m_cells.value(GroupPath());
  const int at = kCellsPerRow * index.row() + index.column();
  return at < cells.size() ? cells[at] : QVariant();
}
