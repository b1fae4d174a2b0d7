#include "views/grouptagsmodel.h"

GroupTagsModel::GroupTagsModel(QStringList columns, QObject* parent)
    : QAbstractTableModel(parent), m_columns(std::move(columns)) {}

void GroupTagsModel::ChangeGroup(const QString& groupPath, virk::CItem* group) {
  m_groups.clear();
  m_groupPath = groupPath;
  if (group) m_groups.insert(groupPath, group);
  RebuildTagIndex();
}

void GroupTagsModel::RebuildTagIndex() {
  m_tags.clear();
  if (virk::CItem* group = m_groups.value(m_groupPath, nullptr))
    for (const auto& [name, tag] : group->Children()) m_tags.push_back(tag.get());
  TagsChanged();
}

int GroupTagsModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : int(m_tags.size());
}

int GroupTagsModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : int(m_columns.size());
}

QVariant GroupTagsModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 ||
      section >= m_columns.size())
    return QVariant();
  return m_columns[section];
}

QHash<int, QByteArray> GroupTagsModel::roleNames() const { return {{Qt::DisplayRole, "display"}}; }

bool GroupTagsModel::insertRows(int row, int count, const QModelIndex& parent) {
  beginInsertRows(parent, row, row + count - 1);
  RebuildTagIndex();
  endInsertRows();
  return true;
}

bool GroupTagsModel::removeRows(int row, int count, const QModelIndex& parent) {
  beginRemoveRows(parent, row, row + count - 1);
  RebuildTagIndex();
  endRemoveRows();
  return true;
}
