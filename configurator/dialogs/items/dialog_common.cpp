#include "dialogs/items/dialog_common.h"

#include <QComboBox>
#include <QPushButton>
#include <QRegularExpressionValidator>

#include "app/prompts.h"

namespace {

const char kRefusedStyle[] = "background-color: #ffd7d7;";

// The lines, spin boxes and lists of a dialog (not the line inside a spin box).
QList<QWidget*> FieldsOf(QWidget* dialog) {
  QList<QWidget*> fields;
  for (QLineEdit* edit : dialog->findChildren<QLineEdit*>())
    if (!qobject_cast<QSpinBox*>(edit->parent())) fields << edit;
  for (QSpinBox* spin : dialog->findChildren<QSpinBox*>()) fields << spin;
  for (QComboBox* box : dialog->findChildren<QComboBox*>()) fields << box;
  return fields;
}

}  // namespace

void TranslateCancel(QDialogButtonBox* box) {
  if (QPushButton* cancel = box->button(QDialogButtonBox::Cancel)) cancel->setText("Отмена");
}

void RestrictNameInput(QLineEdit* edit) {
  edit->setMaxLength(64);
  edit->setValidator(
      new QRegularExpressionValidator(QRegularExpression("[^.;\\r\\n]*"), edit));
}

void OpenRange(QSpinBox* box) {
  // Nine digits: more than any setting allows, and well inside an int.
  box->setRange(-999999999, 999999999);
}

void FieldChecks::Name(QLineEdit* field, const QString& label, virk::CItemData& data) {
  // Group names are not checked by the file, but an empty one leaves the
  // group without a path of its own.
  if (field->text().isEmpty())
    Refuse(field, label, "имя из 1–64 символов, без точки");
  else
    Text(field, label, field->text(), data, &virk::CItemData::SetName);
}

void FieldChecks::Refuse(QWidget* field, const QString& label, const QString& reason) {
  m_refusals.push_back({field, label, reason});
}

void FieldChecks::Mark(QWidget* dialog) const {
  for (QWidget* field : FieldsOf(dialog)) {
    auto refusal = std::find_if(m_refusals.begin(), m_refusals.end(),
                                [field](const Refusal& r) { return r.field == field; });
    const bool refused = refusal != m_refusals.end();
    // Only a change is applied: a new style sheet repolishes the widget.
    const QString style = refused ? kRefusedStyle : "";
    if (field->styleSheet() != style) field->setStyleSheet(style);
    field->setToolTip(refused ? "Допустимо: " + refusal->reason : QString());
  }
}

bool FieldChecks::ShowFirst(QWidget* dialog) const {
  if (m_refusals.isEmpty()) return false;
  const Refusal& first = m_refusals.first();
  first.field->setFocus();
  CurrentPrompts().Warning(dialog, "Неверное значение",
                           QString("Поле «%1»: допустимо %2.").arg(first.label, first.reason));
  return true;
}

void WatchFields(QWidget* dialog, const std::function<void()>& recheck) {
  for (QWidget* field : FieldsOf(dialog)) {
    if (auto* edit = qobject_cast<QLineEdit*>(field))
      QObject::connect(edit, &QLineEdit::textChanged, dialog, recheck);
    else if (auto* spin = qobject_cast<QSpinBox*>(field))
      QObject::connect(spin, &QSpinBox::textChanged, dialog, recheck);
    else if (auto* box = qobject_cast<QComboBox*>(field))
      QObject::connect(box, &QComboBox::currentIndexChanged, dialog, recheck);
  }
}
