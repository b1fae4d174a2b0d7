// The server start dialog, the output window and the decoding of the
// server's console output.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTextBrowser>

#include "common/csv_writer.h"
#include "common/options.h"
#include "fake_prompts.h"
#include "sample_config.h"
#include "server_process/run_parameters.h"
#include "server_process/runpreparedialog.h"
#include "server_process/server_output.h"
#include "server_process/serveroutputdialog.h"

using namespace virk;

namespace {

bool WriteFile(const QString& path, const QByteArray& bytes) {
  QFile file(path);
  return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

class RunPrepareDialogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir.isValid());
    config = dir.filePath("plant.cfg");
    CTreeItemRoot root;
    BuildSample(root);
    ASSERT_EQ(WriteConfiguration(root, config.toStdString(), false), kWriteOk);
    cert = dir.filePath("server.der");
    ASSERT_TRUE(WriteFile(cert, "first certificate"));
    key = dir.filePath("server.pem");
  }

  template <class T>
  T* Child(const char* name) {
    T* child = dialog.findChild<T*>(name);
    EXPECT_NE(child, nullptr) << name;
    return child;
  }
  void SetText(const char* edit, const QString& text) { Child<QLineEdit>(edit)->setText(text); }
  void PressOk() {
    Child<QDialogButtonBox>("buttonBox")->button(QDialogButtonBox::Ok)->click();
  }
  // Ok is refused with `message` as the only new one.
  void ExpectRefused(const QString& message, const QSignalSpy& accepted) {
    const qsizetype before = prompts.messages.size();
    PressOk();
    EXPECT_EQ(accepted.count(), 0) << message.toStdString();
    ASSERT_EQ(prompts.messages.size(), before + 1) << message.toStdString();
    EXPECT_EQ(prompts.messages.last(), message);
  }

  QTemporaryDir dir;
  QString config, cert, key;
  FakePrompts prompts;
  RunPrepareDialog dialog;
};

}  // namespace

TEST_F(RunPrepareDialogTest, OkRefusesInOrderThenPreparesTheTrustedFolder) {
  QSignalSpy accepted(&dialog, &QDialog::accepted);
  QSignalSpy run(&dialog, &RunPrepareDialog::signalRunServer);
  dialog.Fill("", cert, key, "");
  EXPECT_EQ(Child<QDialogButtonBox>("buttonBox")->button(QDialogButtonBox::Ok)->text(),
            "Запустить сервер");

  ExpectRefused("Ошибка: Заполните поле файл конфигурации!", accepted);
  SetText("cfgPathEdit", dir.filePath("missing.cfg"));
  ExpectRefused("Внимание: По указанному пути файл конфигурации не найден", accepted);
  SetText("cfgPathEdit", dir.path());
  ExpectRefused("Внимание: По указанному пути файл конфигурации не найден", accepted);

  SetText("cfgPathEdit", config);
  ASSERT_TRUE(Child<QRadioButton>("radioButton_anonimus")->isChecked());
  ExpectRefused("Внимание: Каталог доверенных сертификатов клиентов не заполнен!", accepted);
  SetText("clientCertEdit", key);
  ASSERT_TRUE(WriteFile(key, "key"));
  ExpectRefused("Внимание: Каталог доверенных сертификатов не является каталогом", accepted);

  const QString trusted = dir.filePath("pki/trusted");
  SetText("clientCertEdit", trusted);
  SetText("certFileEdit", "");
  Child<QRadioButton>("radioButton_authCertificate")->click();
  ExpectRefused(
      "Внимание: Выбрана аутентификация по сертификату, но информация по сертификатам не "
      "заполнена!",
      accepted);
  EXPECT_EQ(run.count(), 0);
  EXPECT_FALSE(QFileInfo::exists(trusted)) << "nothing made before the checks pass";

  SetText("certFileEdit", cert);
  const qsizetype messages = prompts.messages.size();
  PressOk();
  EXPECT_EQ(prompts.messages.size(), messages);
  ASSERT_EQ(accepted.count(), 1);
  EXPECT_EQ(dialog.result(), QDialog::Accepted);
  ASSERT_EQ(run.count(), 1);
  EXPECT_EQ(run.at(0), (QVariantList{trusted, cert, key}));
  QFile copy(trusted + "/server.der");
  const auto copied = [&copy] {
    copy.open(QIODevice::ReadOnly);
    const QByteArray bytes = copy.readAll();
    copy.close();
    return bytes;
  };
  EXPECT_EQ(copied(), "first certificate");
  EXPECT_EQ(dialog.AcceptedRunParameters(),
            (QStringList{config, "4840", "warning", "false", cert, key, trusted}));

  // A copy already in the folder is the operator's: a new certificate of the
  // same name does not replace it.
  ASSERT_TRUE(WriteFile(cert, "second certificate"));
  PressOk();
  EXPECT_EQ(accepted.count(), 2);
  EXPECT_EQ(copied(), "first certificate");
}

TEST_F(RunPrepareDialogTest, SaveWritesTheOptionsSectionFromTheWidgetsEachTime) {
  QSignalSpy saved(&dialog, &RunPrepareDialog::signalSaveRunParameters);
  dialog.Fill(config, cert, key, dir.path());
  EXPECT_EQ(dialog.RunParameters(),
            (QStringList{config, "4840", "warning", "true", cert, key, dir.path()}));

  Child<QSpinBox>("portBox")->setValue(4850);
  Child<QComboBox>("logLevelBox")->setCurrentIndex(0);
  QPushButton* save = Child<QPushButton>("pushButton_save");
  save->click();
  Child<QComboBox>("logLevelBox")->setCurrentIndex(6);
  Child<QRadioButton>("radioButton_authLoginPassword")->click();
  save->click();
  EXPECT_EQ(prompts.messages,
            QStringList(2, "Внимание: Cохранении файла конфигурации прошло успешно"));
  EXPECT_EQ(saved.count(), 2);

  const QStringList parameters = dialog.RunParameters();
  ASSERT_EQ(parameters.size(), kRunParameterCount);
  EXPECT_EQ(parameters[kRunLogLevel], "verbose");
  EXPECT_EQ(parameters[kRunAnonymous], "false");
  const auto stored = [this] {
    std::vector<std::string> values;
    EXPECT_EQ(readParametrsStart(config.toStdString(), values), 0);
    return values;
  };
  const std::vector<std::string> values = stored();
  for (int i = kRunPort; i <= kRunTrustFolder; ++i)
    EXPECT_EQ(QString::fromStdString(values[size_t(i - kRunPort)]), parameters[i]) << i;

  // A path the options section cannot hold is refused and the options are kept.
  SetText("clientCertEdit", "pki\nport = 1");
  save->click();
  EXPECT_EQ(prompts.messages.last(), "Внимание: Ошибка при сохранении файла конфигурации");
  EXPECT_EQ(saved.count(), 2);
  EXPECT_EQ(stored(), values);
}

TEST_F(RunPrepareDialogTest, BrowseAnswersAndTheHiddenUsersFile) {
  dialog.Fill(config, "", "", "");
  prompts.fileName = "";
  Child<QPushButton>("cgfBrowseButton")->click();
  EXPECT_EQ(Child<QLineEdit>("cfgPathEdit")->text(), config) << "a cancelled dialog keeps the path";
  prompts.fileName = dir.filePath("other.cfg");
  Child<QPushButton>("cgfBrowseButton")->click();
  Child<QPushButton>("keyFileButton")->click();
  EXPECT_EQ(Child<QLineEdit>("cfgPathEdit")->text(), prompts.fileName);
  EXPECT_EQ(Child<QLineEdit>("keyFileEdit")->text(), prompts.fileName);
  EXPECT_EQ(prompts.filters.last(),
            "Файл приватного ключа сервера MODBUS (*.pem);;Все файлы (*.*)");

  QLineEdit* users = Child<QLineEdit>("usersSettingsEdit");
  EXPECT_FALSE(users->isEnabled());
  Child<QRadioButton>("radioButton_authLoginPassword")->click();
  EXPECT_TRUE(users->isEnabled());
  Child<QRadioButton>("radioButton_authCertificate")->click();
  EXPECT_FALSE(users->isEnabled());
  EXPECT_TRUE(users->isHidden());
}

TEST(RunParameters, LogLevelNamesAtTheEndsAndOutside) {
  EXPECT_EQ(RunLogLevelName(0), "none");
  EXPECT_EQ(RunLogLevelName(6), "verbose");
  EXPECT_EQ(RunLogLevelName(7), "warning");
  EXPECT_EQ(RunLogLevelName(-1), "warning") << "nothing chosen in the box";
}

TEST(ServerOutput, ColourCodesGoAndSplitReadsDecodeAsOne) {
  const QByteArray output =
      "[2024-03-01 12:00:00.000 (UTC+0300)] \x1b[32minfo/network\x1b[0m\tTCP network layer "
      "listening on opc.tcp://127.0.0.1:4840/\n"
      "[2024-03-01 12:00:01.000 (UTC+0300)] \x1b[1;31merror/server\x1b[0m\t"
      "Сервер: нет связи с устройством «Котёл 1» ✓ 🔥\n"
      "\x1b[2K\x1b(Bend\n";
  const QString expected = QString::fromUtf8(
      "[2024-03-01 12:00:00.000 (UTC+0300)] info/network\tTCP network layer "
      "listening on opc.tcp://127.0.0.1:4840/\n"
      "[2024-03-01 12:00:01.000 (UTC+0300)] error/server\t"
      "Сервер: нет связи с устройством «Котёл 1» ✓ 🔥\n"
      "end\n");
  EXPECT_EQ(ServerOutputText(output), expected);

  for (qsizetype cut = 1; cut < output.size(); ++cut) {
    ServerOutputDecoder decoder;
    QString text = decoder.Feed(output.left(cut));
    text += decoder.Feed(output.mid(cut));
    ASSERT_EQ(text.toStdString(), expected.toStdString()) << "cut at byte " << cut;
  }
  ServerOutputDecoder bytewise;
  QString text;
  for (const char c : output) text += bytewise.Feed(QByteArray(1, c));
  EXPECT_EQ(text, expected);
}

TEST(ServerOutput, DialogShowsTheNewestLines) {
  QStringList lines;
  for (int i = 0; i < 500; ++i) lines << QString("line %1").arg(i);
  ServerOutputDialog dialog(lines.join('\n'));
  EXPECT_EQ(dialog.windowTitle(), "Сообщения сервера");
  EXPECT_EQ(dialog.size(), QSize(800, 400));
  dialog.show();
  QTextBrowser* browser = dialog.findChild<QTextBrowser*>("textBrowser");
  ASSERT_NE(browser, nullptr);
  EXPECT_TRUE(browser->isReadOnly());
  QScrollBar* bar = browser->verticalScrollBar();
  EXPECT_GT(bar->maximum(), 0);
  EXPECT_EQ(bar->value(), bar->maximum());
  dialog.findChild<QDialogButtonBox*>("buttonBox")->button(QDialogButtonBox::Cancel)->click();
  EXPECT_FALSE(dialog.isVisible());
}
