// Everything the configurator asks the operator in a modal box or a file
// dialog goes through here, so one place decides how it is shown and tests
// can answer instead of a person.
#pragma once

#include <QMessageBox>
#include <QString>

class QWidget;

class Prompts {
 public:
  virtual ~Prompts() = default;
  virtual void Warning(QWidget* parent, const QString& title, const QString& text);
  virtual void Information(QWidget* parent, const QString& title, const QString& text);
  // Returns the pressed button of `buttons`.
  virtual QMessageBox::StandardButton Question(QWidget* parent, const QString& title,
                                               const QString& text,
                                               QMessageBox::StandardButtons buttons);
  // The deletion question: "Да" / "Нет"; true for "Да".
  virtual bool ConfirmDelete(QWidget* parent, const QString& what);
  virtual QString OpenFileName(QWidget* parent, const QString& caption, const QString& folder,
                               const QString& filter);
  virtual QString SaveFileName(QWidget* parent, const QString& caption, const QString& folder,
                               const QString& filter);
  virtual QString FolderName(QWidget* parent, const QString& caption, const QString& folder);
};

// The prompts in use; never null.
Prompts& CurrentPrompts();
// Replaces the prompts (tests); null restores the interactive ones.
void SetPrompts(Prompts* prompts);
