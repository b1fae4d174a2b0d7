// Small pieces every item dialog uses.
#pragma once

#include <QDialogButtonBox>
#include <QLineEdit>
#include <QList>
#include <QSpinBox>
#include <QString>
#include <functional>
#include <string_view>

#include "common/item.h"
#include "common/item_data.h"
#include "common/number_text.h"

// "Отмена" on the Cancel button.
void TranslateCancel(QDialogButtonBox* box);

// Names travel in paths joined by '.' and in argument lists joined by ';':
// neither may appear in a name, and names have at most 64 characters.
void RestrictNameInput(QLineEdit* edit);

// A spin box that takes whatever number is typed, so that nothing is cut or
// changed behind the operator's back; the dialog's checks say what is allowed.
void OpenRange(QSpinBox* box);

// The fields a dialog refused on their way into an item, in the dialog's
// order. The texts go through the same checks as the lines of a file, so a
// dialog accepts exactly what the file can hold.
class FieldChecks {
 public:
  // Hands the text to one of the item's checks; a refusal is kept with the
  // check's reason.
  template <class Data, class Base>
  void Text(QWidget* field, const QString& label, const QString& text, Data& data,
            bool (Base::*set)(std::u16string_view)) {
    const std::u16string units = text.toStdU16String();
    if (!(data.*set)(units)) Refuse(field, label, QString::fromStdString(data.Refusal()));
  }
  // As Text for a spin box's number.
  template <class Data, class Base>
  void Spin(QSpinBox* field, const QString& label, Data& data, bool (Base::*set)(std::u16string_view)) {
    Text(field, label, QString::number(field->value()), data, set);
  }
  // As Text for a number typed into a line: ',' is taken for the decimal
  // point, and a text that is not a whole number is refused (a file would read
  // "abc" as 0).
  template <class Data, class Base>
  void Number(QLineEdit* field, const QString& label, Data& data, bool (Base::*set)(std::u16string_view)) {
    const QString text = field->text().trimmed().replace(',', '.');
    if (!virk::IsNumberText(text.toStdU16String()))
      Refuse(field, label, "число, например 2 или -0.5");
    else
      Text(field, label, text, data, set);
  }
  // The item's name: never empty.
  void Name(QLineEdit* field, const QString& label, virk::CItemData& data);
  void Refuse(QWidget* field, const QString& label, const QString& reason);

  bool Passed() const { return m_refusals.isEmpty(); }
  // Marks each field of the dialog that was refused (its tooltip says why)
  // and clears the marks of the others.
  void Mark(QWidget* dialog) const;
  // The first refusal in a message box, its field focused; false when every
  // field passed.
  bool ShowFirst(QWidget* dialog) const;

 private:
  struct Refusal {
    QWidget* field;
    QString label;
    QString reason;
  };
  QList<Refusal> m_refusals;
};

// Calls `recheck` whenever a line, spin box or list of the dialog changes.
void WatchFields(QWidget* dialog, const std::function<void()>& recheck);
