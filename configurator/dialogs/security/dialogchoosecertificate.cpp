#include "dialogs/security/dialogchoosecertificate.h"

#include <QDir>

#include "app/prompts.h"
#include "ui_dialogchoosecertificate.h"

DialogChooseCertificate::DialogChooseCertificate(QWidget* parent)
    : QDialog(parent), ui(new Ui::DialogChooseCertificate) {
  ui->setupUi(this);
}

DialogChooseCertificate::~DialogChooseCertificate() { delete ui; }

void DialogChooseCertificate::SetFields(const QString& certFile, const QString& keyFile,
                                        const QString& trustFolder) {
  ui->certFileEdit->setText(certFile);
  ui->keyFileEdit->setText(keyFile);
  ui->clientCertEdit->setText(trustFolder);
}

void DialogChooseCertificate::on_certFileButton_clicked() {
  ui->certFileEdit->setText(CurrentPrompts().OpenFileName(
      this, "Открыть файл", QDir::currentPath(),
      "Файл сертификата сервера MODBUS (*.der);;Все файлы (*.*)"));
}

void DialogChooseCertificate::on_keyFileButton_clicked() {
  ui->keyFileEdit->setText(CurrentPrompts().OpenFileName(
      this, "Открыть файл", QDir::currentPath(),
      "Файл приватного ключа сервера MODBUS (*.pem);;Все файлы (*.*)"));
}

void DialogChooseCertificate::on_clientCertButton_clicked() {
  ui->clientCertEdit->setText(CurrentPrompts().FolderName(this, "Открыть каталог", QDir::currentPath()));
}

void DialogChooseCertificate::on_pushButton_clicked() {
  m_certFile = ui->certFileEdit->text();
  m_keyFile = ui->keyFileEdit->text();
  m_trustFolder = ui->clientCertEdit->text();
  if (m_certFile.isEmpty() || m_keyFile.isEmpty() || m_trustFolder.isEmpty())
    CurrentPrompts().Warning(this, "Внимание", "Заполните все поля");
  else
    accept();
}

void DialogChooseCertificate::on_pushButton_2_clicked() { reject(); }
