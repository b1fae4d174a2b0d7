// The users dialog edits only the users section of the configuration file.
#include <gtest/gtest.h>

#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>

#include "common/csv_writer.h"
#include "common/options.h"
#include "common/text.h"
#include "dialogs/security/dialogaddusers.h"
#include "fake_prompts.h"
#include "sample_config.h"
#include "views/stardelegate.h"

using namespace virk;

namespace {

class UsersDialogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir.isValid());
    path = dir.filePath("users.cfg").toStdString();
    CTreeItemRoot root;
    BuildSample(root);
    ASSERT_EQ(WriteConfiguration(root, path, false), kWriteOk);
    StartOptions options;
    options.port = "4841";
    options.allowanonimus = "false";
    ASSERT_EQ(WriteOptions(path, options), kOptionsOk);
  }

  void Add(DialogAddUsers& dialog, const QString& login, const QString& password) {
    dialog.findChild<QLineEdit*>("lineEdit_login")->setText(login);
    dialog.findChild<QLineEdit*>("lineEdit_password")->setText(password);
    dialog.findChild<QPushButton*>("pushButton_add_user")->click();
  }

  std::vector<Login> Users() {
    std::vector<Login> logins;
    EXPECT_EQ(ReadUsers(path, logins), kOptionsOk);
    return logins;
  }

  QTemporaryDir dir;
  std::string path;
  FakePrompts prompts;
};

}  // namespace

TEST_F(UsersDialogTest, AddAndDeleteTouchOnlyTheUsersList) {
  DialogAddUsers dialog(QString::fromStdString(path));
  QTableWidget* table = dialog.findChild<QTableWidget*>("tableWidget_users");
  EXPECT_EQ(table->rowCount(), 0);
  Add(dialog, "operator", "secret1");
  Add(dialog, "engineer", "");
  EXPECT_EQ(Users(), (std::vector<Login>{{"operator", "secret1"}, {"engineer", ""}}));
  ASSERT_EQ(table->rowCount(), 2);
  EXPECT_EQ(table->item(1, 0)->text(), "engineer");

  table->selectRow(1);
  dialog.findChild<QPushButton*>("pushButton_delete_user")->click();
  EXPECT_EQ(Users(), (std::vector<Login>{{"operator", "secret1"}}));
  EXPECT_EQ(table->rowCount(), 1);

  std::vector<std::string> values;
  ASSERT_EQ(readParametrsStart(path, values), 0);
  EXPECT_EQ(values[kStartPort], "4841");
  EXPECT_EQ(values[kStartAllowAnonymous], "false");

  // The records are still there after the users were rewritten.
  CTreeItemRoot sample;
  BuildSample(sample);
  std::u16string text;
  std::string error;
  ASSERT_TRUE(ReadConfigText(path, true, text, error)) << error;
  EXPECT_EQ(text.rfind(RecordsText(sample), 0), 0u);
}

TEST_F(UsersDialogTest, EmptyLoginAndUnstorableTextsAreRefused) {
  DialogAddUsers dialog(QString::fromStdString(path));
  Add(dialog, "", "x");
  Add(dialog, "a;b", "x");
  EXPECT_TRUE(Users().empty());
  ASSERT_EQ(prompts.messages.size(), 2);
  EXPECT_EQ(prompts.messages[0], "Внимание: Заполните поле логин");
  // Deleting with nothing selected changes nothing.
  dialog.findChild<QPushButton*>("pushButton_delete_user")->click();
  EXPECT_TRUE(Users().empty());
}

TEST_F(UsersDialogTest, ALoginInTheListIsRefusedAndAnAddedOneClearsTheFields) {
  DialogAddUsers dialog(QString::fromStdString(path));
  dialog.show();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&dialog));
  auto* login = dialog.findChild<QLineEdit*>("lineEdit_login");
  auto* password = dialog.findChild<QLineEdit*>("lineEdit_password");
  password->setFocus();  // typed last
  Add(dialog, "operator", "secret1");
  EXPECT_TRUE(login->text().isEmpty() && password->text().isEmpty() && login->hasFocus());
  Add(dialog, "operator", "other");
  EXPECT_EQ(prompts.messages, QStringList{"Внимание: Пользователь «operator» уже есть в списке"});
  EXPECT_EQ(Users(), (std::vector<Login>{{"operator", "secret1"}}));
  EXPECT_EQ(login->text() + "/" + password->text(), "operator/other") << "kept to be corrected";
}

TEST(StarDelegate, MasksEveryPasswordWithSixStars) {
  StarDelegate delegate;
  EXPECT_EQ(delegate.displayText(QString("a"), QLocale()), "******");
  EXPECT_EQ(delegate.displayText(QString("a much longer password"), QLocale()), "******");
}
