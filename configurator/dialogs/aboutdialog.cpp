#include "dialogs/aboutdialog.h"

#include "ui_aboutdialog.h"

AboutDialog::AboutDialog(QWidget* parent) : QDialog(parent), ui(new Ui::AboutDialog) {
  ui->setupUi(this);
  ui->versionLabel->setText(QString("Версия %1").arg(VIRK_VERSION));
}

AboutDialog::~AboutDialog() { delete ui; }
