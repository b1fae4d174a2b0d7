// Answers the configurator's questions and file dialogs in tests and records
// every message it was shown.
#pragma once

#include <QDialog>
#include <QStringList>
#include <functional>
#include <ostream>

#include "app/prompts.h"

class FakePrompts : public Prompts {
 public:
  FakePrompts() { SetPrompts(this); }
  ~FakePrompts() override { SetPrompts(nullptr); }

  void Warning(QWidget*, const QString& title, const QString& text) override {
    messages << title + ": " + text;
  }
  void Information(QWidget*, const QString& title, const QString& text) override {
    messages << title + ": " + text;
  }
  QMessageBox::StandardButton Question(QWidget*, const QString&, const QString& text,
                                       QMessageBox::StandardButtons) override {
    questions << text;
    return answer;
  }
  bool ConfirmDelete(QWidget*, const QString& what) override {
    questions << what;
    return confirmDelete;
  }
  QString OpenFileName(QWidget*, const QString&, const QString&, const QString& filter) override {
    filters << filter;
    return fileName;
  }
  QString SaveFileName(QWidget*, const QString&, const QString& folder, const QString& filter) override {
    filters << filter;
    folders << folder;
    return fileName;
  }
  QString FolderName(QWidget*, const QString&, const QString&) override { return fileName; }

  QStringList messages, questions, filters, folders;
  QString fileName;
  QMessageBox::StandardButton answer = QMessageBox::Ok;
  bool confirmDelete = true;
};

// Runs `edit` on the next modal dialog (not a progress dialog) once it is shown, then
// accepts it (or rejects it when `edit` returns false, or when it refused to close).
void OnNextDialog(const std::function<bool(QDialog*)>& edit);

// Failed comparisons show texts, not code units.
inline void PrintTo(const QString& text, std::ostream* out) { *out << '"' << text.toStdString() << '"'; }
