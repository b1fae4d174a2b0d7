#include "views/tablemodelvariable.h"

#include <algorithm>
#include <numeric>

#include "model/item_info.h"

TableModelVariable::TableModelVariable(QObject* parent)
    : GroupTagsModel({"Имя тега", "Тип регистра", "Адрес", "Чтение", "Запись", "Режим записи",
                      "Тип значения", "Порядок байт", "Размер сегмента", "Смещение в сегменте",
                      "Тип преобразования", "Тип эмуляции"},
                     parent) {}

void TableModelVariable::SetGroup(const QString& groupPath, virk::CItem* group) {
  beginResetModel();
  ChangeGroup(groupPath, group);
  endResetModel();
}

void TableModelVariable::TagsChanged() {
  m_rowOrder.resize(Tags().size());
  std::iota(m_rowOrder.begin(), m_rowOrder.end(), 0);
}

virk::CItem* TableModelVariable::TagAt(int row) const {
  return row >= 0 && row < m_rowOrder.size() ? Tags()[m_rowOrder[row]] : nullptr;
}

QString TableModelVariable::CellText(int tagPosition, int column) const {
  const auto* tag = dynamic_cast<const CDATagInfo*>(Tags()[tagPosition]);
  return tag ? tag->PropertyValue(column) : QString();
}

QVariant TableModelVariable::data(const QModelIndex& index, int role) const {
  if (role != Qt::DisplayRole || !index.isValid() || index.row() >= m_rowOrder.size())
    return QVariant();
  return CellText(m_rowOrder[index.row()], index.column());
}

void TableModelVariable::sort(int column, Qt::SortOrder order) {
  if (column < 0 || column >= columnCount()) return;
  beginResetModel();
  std::iota(m_rowOrder.begin(), m_rowOrder.end(), 0);
  // Texts are computed once, not per comparison: groups hold many thousands of tags.
  QVector<QString> keys(Tags().size());
  for (int i = 0; i < keys.size(); ++i) keys[i] = CellText(i, column);
  std::stable_sort(m_rowOrder.begin(), m_rowOrder.end(), [&](int a, int b) {
    return order == Qt::AscendingOrder ? keys[a] < keys[b] : keys[b] < keys[a];
  });
  endResetModel();
}
