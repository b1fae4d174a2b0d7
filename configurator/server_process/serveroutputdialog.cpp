#include "server_process/serveroutputdialog.h"

#include <QScrollBar>

#include "dialogs/items/dialog_common.h"
#include "ui_serveroutputdialog.h"

ServerOutputDialog::ServerOutputDialog(const QString& output, QWidget* parent)
    : QDialog(parent), ui(new Ui::ServerOutputDialog) {
  ui->setupUi(this);
  TranslateCancel(ui->buttonBox);
  ui->textBrowser->setPlainText(output);
}

ServerOutputDialog::~ServerOutputDialog() { delete ui; }

void ServerOutputDialog::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  ui->textBrowser->moveCursor(QTextCursor::End);
  QScrollBar* bar = ui->textBrowser->verticalScrollBar();
  bar->setValue(bar->maximum());
}
