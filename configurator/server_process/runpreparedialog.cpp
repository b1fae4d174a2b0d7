#include "server_process/runpreparedialog.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPushButton>

#include "app/prompts.h"
#include "dialogs/items/dialog_common.h"
#include "server_process/run_parameters.h"
#include "ui_runpreparedialog.h"

namespace {

const char kOpenFile[] = "Открыть файл";

// A non-empty answer of a file dialog replaces the field.
void SetAnswer(QLineEdit* edit, const QString& answer) {
  if (!answer.isEmpty()) edit->setText(answer);
}

}  // namespace

RunPrepareDialog::RunPrepareDialog(QWidget* parent)
    : QDialog(parent), ui(new Ui::RunPrepareDialog) {
  ui->setupUi(this);
  ui->buttonBox->button(QDialogButtonBox::Ok)->setText("Запустить сервер");
  TranslateCancel(ui->buttonBox);
  // The server takes its users from the configuration file (users dialog),
  // so the users file has no say in a start.
  for (QWidget* widget : std::initializer_list<QWidget*>{
           ui->label_usersSettings, ui->usersSettingsEdit, ui->userBrowseButton})
    widget->hide();
  EnableUsersFile(false);
}

RunPrepareDialog::~RunPrepareDialog() { delete ui; }

void RunPrepareDialog::Fill(const QString& configPath, const QString& certFile,
                            const QString& keyFile, const QString& trustFolder) {
  ui->cfgPathEdit->setText(configPath);
  ui->portBox->setValue(4840);
  ui->logLevelBox->setCurrentIndex(3);
  ui->radioButton_anonimus->setChecked(true);
  EnableUsersFile(false);
  ui->certFileEdit->setText(certFile);
  ui->keyFileEdit->setText(keyFile);
  ui->clientCertEdit->setText(trustFolder);
}

QStringList RunPrepareDialog::RunParameters() const {
  QStringList parameters;
  parameters << ui->cfgPathEdit->text() << QString::number(ui->portBox->value())
             << RunLogLevelName(ui->logLevelBox->currentIndex())
             << (ui->radioButton_anonimus->isChecked() ? "true" : "false")
             << ui->certFileEdit->text() << ui->keyFileEdit->text()
             << ui->clientCertEdit->text();
  return parameters;
}

void RunPrepareDialog::EnableUsersFile(bool enable) {
  ui->usersSettingsEdit->setEnabled(enable);
  ui->userBrowseButton->setEnabled(enable);
}

void RunPrepareDialog::on_radioButton_anonimus_clicked() { EnableUsersFile(false); }
void RunPrepareDialog::on_radioButton_authCertificate_clicked() { EnableUsersFile(false); }
void RunPrepareDialog::on_radioButton_authLoginPassword_clicked() { EnableUsersFile(true); }

void RunPrepareDialog::on_cgfBrowseButton_clicked() {
  SetAnswer(ui->cfgPathEdit,
            CurrentPrompts().OpenFileName(
                this, kOpenFile, ui->cfgPathEdit->text(),
                "Конфигурация OPC UA сервера MODBUS (*.cfg);;Все файлы (*.*)"));
}

void RunPrepareDialog::on_certFileButton_clicked() {
  SetAnswer(ui->certFileEdit,
            CurrentPrompts().OpenFileName(this, kOpenFile, QDir::currentPath(),
                                          "Файл сертификата сервера MODBUS (*.der);;Все файлы (*.*)"));
}

void RunPrepareDialog::on_keyFileButton_clicked() {
  SetAnswer(ui->keyFileEdit,
            CurrentPrompts().OpenFileName(
                this, kOpenFile, QDir::currentPath(),
                "Файл приватного ключа сервера MODBUS (*.pem);;Все файлы (*.*)"));
}

void RunPrepareDialog::on_userBrowseButton_clicked() {
  SetAnswer(ui->usersSettingsEdit,
            CurrentPrompts().OpenFileName(
                this, kOpenFile, QDir::currentPath(),
                "Файл настроек пользователей сервера MODBUS (*.csv);;Все файлы (*.*)"));
}

void RunPrepareDialog::on_clientCertButton_clicked() {
  SetAnswer(ui->clientCertEdit,
            CurrentPrompts().FolderName(this, "Открыть каталог", QDir::currentPath()));
}

bool RunPrepareDialog::CheckConfigPath() {
  const QString path = ui->cfgPathEdit->text();
  if (path.isEmpty()) {
    CurrentPrompts().Warning(this, "Ошибка", "Заполните поле файл конфигурации!");
    return false;
  }
  if (!QFileInfo(path).isFile()) {
    CurrentPrompts().Warning(this, "Внимание", "По указанному пути файл конфигурации не найден");
    return false;
  }
  return true;
}

bool RunPrepareDialog::PrepareTrustFolder() {
  const QString folder = ui->clientCertEdit->text();
  if (folder.isEmpty()) {
    CurrentPrompts().Warning(this, "Внимание",
                             "Каталог доверенных сертификатов клиентов не заполнен!");
    return false;
  }
  // A path the folder cannot be made at is as unusable as a file standing there.
  if (!QFileInfo(folder).isDir() && (QFileInfo::exists(folder) || !QDir().mkpath(folder))) {
    CurrentPrompts().Warning(this, "Внимание",
                             "Каталог доверенных сертификатов не является каталогом");
    return false;
  }
  // The server trusts its own certificate; a copy already there is kept as it is.
  const QString certFile = ui->certFileEdit->text();
  QFile::copy(certFile, folder + "/" + QFileInfo(certFile).fileName());
  return true;
}

void RunPrepareDialog::accept() {
  if (!CheckConfigPath()) return;
  const QString certFile = ui->certFileEdit->text();
  const QString keyFile = ui->keyFileEdit->text();
  if (!certFile.isEmpty() && !keyFile.isEmpty()) {
    if (!PrepareTrustFolder()) return;
    emit signalRunServer(ui->clientCertEdit->text(), certFile, keyFile);
  }
  if (ui->radioButton_authCertificate->isChecked() &&
      (certFile.isEmpty() || keyFile.isEmpty() || ui->clientCertEdit->text().isEmpty())) {
    CurrentPrompts().Warning(
        this, "Внимание",
        "Выбрана аутентификация по сертификату, но информация по сертификатам не заполнена!");
    return;
  }
  QDialog::accept();
}

void RunPrepareDialog::on_RunPrepareDialog_accepted() { m_acceptedParameters = RunParameters(); }

void RunPrepareDialog::on_pushButton_save_clicked() {
  if (!CheckConfigPath()) return;
  const QStringList parameters = RunParameters();
  if (virk::WriteOptions(parameters[kRunConfigPath].toStdString(), RunStartOptions(parameters)) !=
      virk::kOptionsOk) {
    CurrentPrompts().Warning(this, "Внимание", "Ошибка при сохранении файла конфигурации");
    return;
  }
  CurrentPrompts().Information(this, "Внимание", "Cохранении файла конфигурации прошло успешно");
  emit signalSaveRunParameters();
}
