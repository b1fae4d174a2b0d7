#include "dialogs/security/dialogaddusers.h"

#include <QPushButton>

#include "app/prompts.h"
#include "common/options.h"
#include "dialogs/items/dialog_common.h"
#include "ui_dialogaddusers.h"
#include "views/stardelegate.h"

DialogAddUsers::DialogAddUsers(const QString& configPath, QWidget* parent)
    : QDialog(parent), ui(new Ui::DialogAddUsers), m_path(configPath.toStdString()) {
  ui->setupUi(this);
  TranslateCancel(ui->buttonBox);
  QTableWidget* table = ui->tableWidget_users;
  table->setColumnCount(2);
  table->setHorizontalHeaderLabels({"Логин", "Пароль"});
  table->setColumnWidth(0, 130);
  table->setColumnWidth(1, 130);
  table->verticalHeader()->hide();
  table->setItemDelegateForColumn(1, new StarDelegate(table));
  LoadTable();
}

DialogAddUsers::~DialogAddUsers() { delete ui; }

void DialogAddUsers::LoadTable() {
  std::vector<virk::Login> logins;
  // A file that cannot be read shows an empty list.
  if (virk::ReadUsers(m_path, logins) != virk::kOptionsOk) logins.clear();
  QTableWidget* table = ui->tableWidget_users;
  table->setRowCount(int(logins.size()));
  for (int row = 0; row < int(logins.size()); ++row) {
    table->setItem(row, 0, new QTableWidgetItem(QString::fromStdString(logins[row].first)));
    table->setItem(row, 1, new QTableWidgetItem(QString::fromStdString(logins[row].second)));
  }
}

void DialogAddUsers::on_pushButton_add_user_clicked() {
  const QString login = ui->lineEdit_login->text();
  if (login.isEmpty()) {
    CurrentPrompts().Warning(this, "Внимание", "Заполните поле логин");
    return;
  }
  // Two entries of one login leave unclear which password holds, and "Удалить" takes only the first.
  if (!ui->tableWidget_users->findItems(login, Qt::MatchExactly | Qt::MatchCaseSensitive).isEmpty()) {
    CurrentPrompts().Warning(this, "Внимание", QString("Пользователь «%1» уже есть в списке").arg(login));
    return;
  }
  switch (virk::AddUser(m_path, login.toStdString(), ui->lineEdit_password->text().toStdString())) {
    case virk::kOptionsOk: break;
    case virk::kOptionsBadInput:
      // ';' or a line end would break the list the server reads.
      CurrentPrompts().Warning(this, "Внимание",
                               "Логин и пароль не могут содержать символ ';' и перевод строки");
      return;
    default:
      CurrentPrompts().Warning(this, "Внимание", "Не удалось сохранить файл конфигурации");
      return;
  }
  LoadTable();
  // Ready for the next user; what was refused above stays to be corrected.
  ui->lineEdit_login->clear();
  ui->lineEdit_password->clear();
  ui->lineEdit_login->setFocus();
}

void DialogAddUsers::on_pushButton_delete_user_clicked() {
  const QList<QTableWidgetItem*> selected = ui->tableWidget_users->selectedItems();
  if (selected.isEmpty()) return;
  const QTableWidgetItem* login = ui->tableWidget_users->item(selected.first()->row(), 0);
  if (!login) return;
  if (virk::RemoveUser(m_path, login->text().toStdString()) == virk::kOptionsFileError)
    CurrentPrompts().Warning(this, "Внимание", "Не удалось сохранить файл конфигурации");
  LoadTable();
}
