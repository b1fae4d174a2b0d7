// Small pieces every item dialog uses.
#pragma once

#include <QDialogButtonBox>
#include <QLineEdit>
#include <QString>

#include "common/item.h"

// "Отмена" on the Cancel button.
void TranslateCancel(QDialogButtonBox* box);

// Names travel in paths joined by '.' and in argument lists joined by ';':
// neither may appear in a name, and names have at most 64 characters.
void RestrictNameInput(QLineEdit* edit);

// An empty field keeps the old name. An attached item is renamed in its
// parent's map; when a sibling already has the name the old one stays.
void ApplyName(virk::CItem& item, const QString& field);

// Float from a text field; text that is no number becomes 0.
float ParseFloat(const QString& text);
