// Shows every password as six asterisks, whatever its length.
#pragma once

#include <QStyledItemDelegate>

class StarDelegate : public QStyledItemDelegate {
  Q_OBJECT

 public:
  using QStyledItemDelegate::QStyledItemDelegate;
  QString displayText(const QVariant& value, const QLocale& locale) const override;
};
