// The certificate dialog's checks and values, and real keyforge runs.
#include <gtest/gtest.h>

#include <QDir>

#include <QProcess>

#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>

#include "dialogs/security/createcertificates.h"
#include "dialogs/security/dialogchoosecertificate.h"
#include "dialogs/security/keyforge_run.h"
#include "fake_prompts.h"

namespace {

class CertificatesTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(dir.isValid()); }

  QLineEdit* Edit(const char* name) { return dialog.findChild<QLineEdit*>(name); }
  void Ok() { dialog.findChild<QPushButton*>("pushButton_ok")->click(); }
  void FillRequired() {
    Edit("lineEdit_common_name")->setText("gateway");
    Edit("lineEdit_organization_name")->setText("Plant");
    dialog.findChild<QPlainTextEdit*>("textEdit_ip_adresses")->setPlainText("127.0.0.1");
    Edit("lineEdit_outputCatalogCert")->setText(dir.path());
    Edit("lineEdit_outputCatalogKey")->setText(dir.path());
  }
  QString LastMessage() const { return prompts.messages.isEmpty() ? QString() : prompts.messages.last(); }

  QTemporaryDir dir;
  FakePrompts prompts;
  CreateCertificates dialog;
};

}  // namespace

TEST_F(CertificatesTest, ChecksStopAtTheFirstMissingValue) {
  Edit("lineEdit_common_name")->clear();
  Ok();
  EXPECT_EQ(LastMessage(), "Внимание: Имя не заполнено");
  FillRequired();
  Edit("lineEdit_organization_name")->clear();
  Ok();
  EXPECT_EQ(LastMessage(), "Внимание: Имя организации не заполнено");
  FillRequired();
  dialog.findChild<QPlainTextEdit*>("textEdit_ip_adresses")->clear();
  Ok();
  EXPECT_EQ(LastMessage(), "Внимание: Домены или IP адреса не заполнены");
  FillRequired();
  Edit("lineEdit_outputCatalogKey")->clear();
  Ok();
  EXPECT_EQ(LastMessage(), "Внимание: Путь до каталога с сертификатами не заполнен");
  QFile file(dir.filePath("a-file"));
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  Edit("lineEdit_outputCatalogKey")->setText(file.fileName());
  Ok();
  EXPECT_EQ(LastMessage(), "Внимание: Путь до каталога с сертификатами не является путем");
  EXPECT_TRUE(prompts.questions.isEmpty()) << "a file in the folder's place is not offered to be created";
  FillRequired();
  dialog.findChild<QCheckBox*>("checkBox_usePassword")->setChecked(true);
  EXPECT_TRUE(Edit("lineEdit_password")->isEnabled());
  Edit("lineEdit_password")->setText("a");
  Edit("lineEdit_passwordRepeat")->setText("b");
  Ok();
  EXPECT_EQ(LastMessage(), "Внимание: Пароли не совпадают");
  EXPECT_EQ(dialog.result(), QDialog::Rejected);
  EXPECT_EQ(prompts.messages.size(), 6);
  Edit("lineEdit_passwordRepeat")->setText("a");
  Ok();
  EXPECT_EQ(prompts.messages.size(), 6);
  EXPECT_EQ(dialog.result(), QDialog::Accepted);
}

TEST_F(CertificatesTest, ValuesAndDerivedNumbers) {
  FillRequired();
  Edit("lineEdit_country_name")->setText("DE");
  Edit("lineEdit_country_name")->insert("X");
  EXPECT_EQ(Edit("lineEdit_country_name")->text(), "DE") << "a third character is removed";
  Ok();
  const auto& s = dialog.Settings();
  EXPECT_EQ(s["keySize"], "2048");
  EXPECT_EQ(s["algotirm"], "Sha256");
  EXPECT_EQ(s["validate"], "1825");
  EXPECT_EQ(s["appURI"], "urn:virkopcua.server.application");
  QComboBox* validity = dialog.findChild<QComboBox*>("comboBox_validate");
  validity->setCurrentIndex(1);
  Ok();
  EXPECT_EQ(dialog.Settings()["validate"], "7");
  validity->setCurrentIndex(9);
  Ok();
  EXPECT_EQ(dialog.Settings()["validate"], "7300");
}

TEST(KeyforgeArguments, SpacesAndLineFeedsStayInsideTheirArgument) {
  QMap<QString, QString> s{{"common_name", "gw"},        {"organization_unit", "Shop floor"},
                           {"domains", "a.local\nb.local"}, {"appURI", "urn:x"}};
  const QStringList args = KeyforgeArguments(s);
  EXPECT_TRUE(args.contains("-OU=Shop floor"));
  EXPECT_FALSE(args.contains("floor"));
  EXPECT_TRUE(args.contains("-DNS=a.local\nb.local"));
  EXPECT_EQ(args.last(), "-URI=urn:x");
  EXPECT_EQ(args.first(), "-CN=gw");
}

TEST_F(CertificatesTest, KeyforgeWritesTheFilesAndFailuresAreReported) {
  FillRequired();
  Edit("lineEdit_organization_unit")->setText("Shop floor");
  dialog.findChild<QComboBox*>("comboBox_keySize")->setCurrentIndex(0);  // fast: 1024 bits
  Ok();
  ASSERT_EQ(dialog.result(), QDialog::Accepted);
  const KeyforgeResult made = RunKeyforge(KEYFORGE_PATH, dialog.Settings());
  EXPECT_TRUE(made.success) << made.message.toStdString();
  EXPECT_EQ(made.message, "Сертификаты успешно созданы!");
  EXPECT_GT(QFileInfo(dir.filePath("server_cert.der")).size(), 0);
  EXPECT_GT(QFileInfo(dir.filePath("server_key.pem")).size(), 0);

  // Values with spaces arrive whole: an organisation of two words, output
  // folders with a space in their path (as the profile's ".../OPC UA/").
  QMap<QString, QString> spaced = dialog.Settings();
  spaced["organization_name"] = "Example Plant";
  const QString folder = dir.filePath("OPC UA");
  ASSERT_TRUE(QDir().mkpath(folder));
  spaced["outputCatalogCert"] = spaced["outputCatalogKey"] = folder;
  const KeyforgeResult spacedRun = RunKeyforge(KEYFORGE_PATH, spaced);
  ASSERT_TRUE(spacedRun.success) << spacedRun.message.toStdString();
  QProcess subject;
  subject.start("openssl", {"x509", "-inform", "DER", "-noout", "-subject", "-in", folder + "/server_cert.der"});
  ASSERT_TRUE(subject.waitForFinished(10000));
  const QString line = QString::fromUtf8(subject.readAllStandardOutput());
  EXPECT_TRUE(line.contains("O = Example Plant")) << line.toStdString();
  EXPECT_TRUE(line.contains("OU = Shop floor")) << line.toStdString();

  // keyforge refuses a missing organisation with a non-zero exit and no
  // standard error output: still a failure.
  QMap<QString, QString> incomplete = dialog.Settings();
  incomplete["organization_name"].clear();
  const KeyforgeResult refused = RunKeyforge(KEYFORGE_PATH, incomplete);
  EXPECT_FALSE(refused.success);
  EXPECT_TRUE(refused.message.startsWith("При создании сертификатов произошла ошибка!"));

  const KeyforgeResult missing = RunKeyforge(dir.filePath("no-such-program"), dialog.Settings());
  EXPECT_EQ(missing.message, "При создании сертификатов произошла ошибка! Процесс keyforge не запустился");
}

// OK runs keyforge: a missing folder is offered first, and the dialog closes
// only once the files are made, keeping what was typed until then.
TEST_F(CertificatesTest, OkCreatesMissingFoldersAndClosesOnlyOnceKeyforgeSucceeded) {
  dialog.SetKeyforge(KEYFORGE_PATH);
  FillRequired();
  dialog.findChild<QComboBox*>("comboBox_keySize")->setCurrentIndex(0);  // fast: 1024 bits
  const QString keys = dir.filePath("keys/server");  // its parent is missing too
  Edit("lineEdit_outputCatalogKey")->setText(keys);
  prompts.answer = QMessageBox::No;
  Ok();
  EXPECT_EQ(prompts.questions, QStringList{QString("Папка «%1» не существует. Создать её?").arg(keys)});
  EXPECT_FALSE(QFileInfo::exists(keys));
  // "Да" makes it; keyforge then fails where a folder has the certificate's name.
  ASSERT_TRUE(QDir().mkpath(dir.filePath("server_cert.der/in-the-way")));
  prompts.answer = QMessageBox::Yes;
  Ok();
  EXPECT_TRUE(QFileInfo(keys).isDir());
  ASSERT_EQ(prompts.messages.size(), 1);
  EXPECT_TRUE(prompts.messages[0].startsWith("Ошибка: При создании сертификатов произошла ошибка!\n"));
  EXPECT_NE(dialog.result(), QDialog::Accepted);
  EXPECT_EQ(Edit("lineEdit_outputCatalogKey")->text(), keys) << "what was typed stays";
  Edit("lineEdit_outputCatalogCert")->setText(keys);
  Ok();
  EXPECT_EQ(prompts.messages.last(), "Успешно: Сертификаты успешно созданы!");
  EXPECT_EQ(dialog.result(), QDialog::Accepted);
  EXPECT_GT(QFileInfo(keys + "/server_key.pem").size(), 0);
  EXPECT_EQ(prompts.questions.size(), 2) << "the made folder is not asked about again";
}

TEST(DialogChooseCertificate, AcceptsOnlyWithAllThreeFields) {
  FakePrompts prompts;
  DialogChooseCertificate dialog;
  dialog.SetFields("cert.der", "", "trust");
  dialog.findChild<QPushButton*>("pushButton")->click();
  EXPECT_EQ(prompts.messages, QStringList{"Внимание: Заполните все поля"});
  EXPECT_NE(dialog.result(), QDialog::Accepted);
  dialog.findChild<QLineEdit*>("keyFileEdit")->setText("key.pem");
  dialog.findChild<QPushButton*>("pushButton")->click();
  EXPECT_EQ(dialog.result(), QDialog::Accepted);
  EXPECT_EQ(dialog.KeyFile(), "key.pem");
  EXPECT_EQ(dialog.TrustFolder(), "trust");
}
