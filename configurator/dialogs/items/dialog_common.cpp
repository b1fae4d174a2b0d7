#include "dialogs/items/dialog_common.h"

#include <QPushButton>
#include <QRegularExpressionValidator>

void TranslateCancel(QDialogButtonBox* box) {
  if (QPushButton* cancel = box->button(QDialogButtonBox::Cancel)) cancel->setText("Отмена");
}

void RestrictNameInput(QLineEdit* edit) {
  edit->setMaxLength(64);
  edit->setValidator(
      new QRegularExpressionValidator(QRegularExpression("[^.;\\r\\n]*"), edit));
}

void ApplyName(virk::CItem& item, const QString& field) {
  if (field.isEmpty()) return;
  item.Rename(field.toStdString());
}

float ParseFloat(const QString& text) {
  bool ok = false;
  const float value = QString(text).replace(',', '.').toFloat(&ok);
  return ok ? value : 0.0f;
}
