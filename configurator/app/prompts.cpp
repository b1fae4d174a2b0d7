#include "app/prompts.h"

#include <QFileDialog>
#include <QPushButton>

void Prompts::Warning(QWidget* parent, const QString& title, const QString& text) {
  QMessageBox::warning(parent, title, text, QMessageBox::Ok);
}

void Prompts::Information(QWidget* parent, const QString& title, const QString& text) {
  QMessageBox::information(parent, title, text, QMessageBox::Ok);
}

QMessageBox::StandardButton Prompts::Question(QWidget* parent, const QString& title,
                                              const QString& text,
                                              QMessageBox::StandardButtons buttons) {
  QMessageBox box(QMessageBox::Question, title, text, buttons, parent);
  box.setWindowIcon(QIcon(":/res/images/res/OPCServerModbus.ico"));
  if (auto* yes = box.button(QMessageBox::Yes)) yes->setText("Да");
  if (auto* cancel = box.button(QMessageBox::Cancel)) cancel->setText("Отмена");
  if (auto* no = box.button(QMessageBox::No)) no->setText("Нет");
  return QMessageBox::StandardButton(box.exec());
}

bool Prompts::ConfirmDelete(QWidget* parent, const QString& what) {
  QMessageBox box(parent);
  box.setWindowTitle("Удаление");
  box.setWindowIcon(QIcon(":/res/images/res/delete.png"));
  box.setIcon(QMessageBox::Question);
  box.setText("Внимание!");
  box.setInformativeText(QString("Вы действительно хотите удалить %1?").arg(what));
  QPushButton* yes = box.addButton("Да", QMessageBox::YesRole);
  box.addButton("Нет", QMessageBox::NoRole);
  box.setDefaultButton(yes);
  box.exec();
  return box.clickedButton() == yes;
}

QString Prompts::OpenFileName(QWidget* parent, const QString& caption, const QString& folder,
                              const QString& filter) {
  return QFileDialog::getOpenFileName(parent, caption, folder, filter);
}

QString Prompts::SaveFileName(QWidget* parent, const QString& caption, const QString& folder,
                              const QString& filter) {
  return QFileDialog::getSaveFileName(parent, caption, folder, filter);
}

QString Prompts::FolderName(QWidget* parent, const QString& caption, const QString& folder) {
  return QFileDialog::getExistingDirectory(parent, caption, folder, QFileDialog::ShowDirsOnly);
}

namespace {
Prompts g_interactive;
Prompts* g_current = &g_interactive;
}  // namespace

Prompts& CurrentPrompts() { return *g_current; }
void SetPrompts(Prompts* prompts) { g_current = prompts ? prompts : &g_interactive; }
