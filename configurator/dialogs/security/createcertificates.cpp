#include "dialogs/security/createcertificates.h"

#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QSysInfo>

#include "app/app_log.h"
#include "app/prompts.h"
#include "dialogs/security/keyforge_run.h"
#include "ui_createcertificates.h"

CreateCertificates::CreateCertificates(QWidget* parent)
    : QDialog(parent), ui(new Ui::CreateCertificates) {
  ui->setupUi(this);
  ui->lineEdit_common_name->setText(QSysInfo::machineHostName());
  connect(ui->checkBox_usePassword, &QCheckBox::stateChanged, this,
          &CreateCertificates::on_checkBox_usePassword_checkStateChanged);
}

CreateCertificates::~CreateCertificates() { delete ui; }

void CreateCertificates::on_checkBox_usePassword_checkStateChanged(int state) {
  ui->lineEdit_password->setEnabled(state == Qt::Checked);
  ui->lineEdit_passwordRepeat->setEnabled(state == Qt::Checked);
}

void CreateCertificates::on_lineEdit_country_name_textChanged(const QString& text) {
  if (text.size() > 2) ui->lineEdit_country_name->setText(text.left(text.size() - 1));
}

void CreateCertificates::on_pushButton_fileDialogCert_clicked() {
  ui->lineEdit_outputCatalogCert->setText(
      CurrentPrompts().FolderName(this, "Открыть каталог", QDir::currentPath()));
}

void CreateCertificates::on_pushButton_fileDialogKey_clicked() {
  ui->lineEdit_outputCatalogKey->setText(
      CurrentPrompts().FolderName(this, "Открыть каталог", QDir::currentPath()));
}

void CreateCertificates::CollectSettings() {
  static const int kDaysPer[] = {1, 7, 30};
  const QString validity = ui->comboBox_validate->currentText();
  const int index = ui->comboBox_validate->currentIndex();
  const int days = validity.section(' ', 0, 0).toInt() * (index < 3 ? kDaysPer[index] : 365);
  m_settings.clear();
  m_settings["appURI"] = ui->lineEdit_appURI->text();
  m_settings["common_name"] = ui->lineEdit_common_name->text();
  m_settings["organization_name"] = ui->lineEdit_organization_name->text();
  m_settings["organization_unit"] = ui->lineEdit_organization_unit->text();
  m_settings["locality_name"] = ui->lineEdit_locality_name->text();
  m_settings["city_name"] = ui->lineEdit_city_name->text();
  m_settings["country_name"] = ui->lineEdit_country_name->text();
  m_settings["domains"] = ui->textEdit_domains->toPlainText();
  m_settings["ip_adresses"] = ui->textEdit_ip_adresses->toPlainText();
  m_settings["outputCatalogCert"] = ui->lineEdit_outputCatalogCert->text();
  m_settings["outputCatalogKey"] = ui->lineEdit_outputCatalogKey->text();
  m_settings["keySize"] = ui->comboBox_keySize->currentText().section(' ', 0, 0);
  m_settings["algotirm"] = ui->comboBox_algoritm->currentText();
  m_settings["validate"] = QString::number(days);
  m_settings["password"] = ui->lineEdit_password->text();
  m_settings["passwordRepeat"] = ui->lineEdit_passwordRepeat->text();
}

QString CreateCertificates::CheckSettings() const {
  const auto& s = m_settings;
  if (s["common_name"].isEmpty()) return "Имя не заполнено";
  if (s["organization_name"].isEmpty()) return "Имя организации не заполнено";
  if (s["domains"].isEmpty() && s["ip_adresses"].isEmpty()) return "Домены или IP адреса не заполнены";
  if (s["outputCatalogCert"].isEmpty() || s["outputCatalogKey"].isEmpty())
    return "Путь до каталога с сертификатами не заполнен";
  // A missing folder is offered to be created later; a file in its place cannot be.
  for (const char* key : {"outputCatalogCert", "outputCatalogKey"}) {
    const QFileInfo folder(s[key]);
    if (folder.exists() && !folder.isDir()) return "Путь до каталога с сертификатами не является путем";
  }
  if (ui->checkBox_usePassword->isChecked()) {
    if (s["password"].isEmpty() || s["passwordRepeat"].isEmpty()) return "Пароль не заполнен";
    if (s["password"] != s["passwordRepeat"]) return "Пароли не совпадают";
  }
  return QString();
}

void CreateCertificates::on_pushButton_ok_clicked() {
  CollectSettings();
  emit signalCreateCertificate(m_settings);
  const QString problem = CheckSettings();
  if (!problem.isEmpty()) {
    CurrentPrompts().Warning(this, "Внимание", problem);
    return;
  }
  if (!OfferMissingFolders()) return;
  if (m_keyforge.isEmpty() || RunKeyforgeAndReport()) accept();
}

bool CreateCertificates::OfferMissingFolders() {
  Prompts& prompts = CurrentPrompts();
  for (const QString& path : {m_settings["outputCatalogCert"], m_settings["outputCatalogKey"]}) {
    if (QFileInfo(path).isDir()) continue;  // also the second of one folder entered twice
    if (prompts.Question(this, "Внимание", QString("Папка «%1» не существует. Создать её?").arg(path),
                         QMessageBox::Yes | QMessageBox::No) != QMessageBox::Yes)
      return false;
    if (!QDir().mkpath(path)) {
      prompts.Warning(this, "Ошибка", QString("Не удалось создать папку «%1»").arg(path));
      return false;
    }
  }
  return true;
}

bool CreateCertificates::RunKeyforgeAndReport() {
  // A 4096-bit key takes a while; the window must not look hung meanwhile.
  QGuiApplication::setOverrideCursor(Qt::WaitCursor);
  const KeyforgeResult result = RunKeyforge(m_keyforge, m_settings);
  QGuiApplication::restoreOverrideCursor();
  if (result.success) {
    CurrentPrompts().Information(this, "Успешно", result.message);
    LogInfo(result.message);
  } else {
    CurrentPrompts().Warning(this, "Ошибка", result.message);
    LogWarning(result.message);
  }
  return result.success;
}

void CreateCertificates::on_pushButton_cancel_clicked() { reject(); }
