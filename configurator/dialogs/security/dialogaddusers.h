// The user names and passwords the server accepts, kept in the users section
// of the open configuration file. Every addition and deletion is written at
// once; the records and the options section are left as they are.
#pragma once

#include <QDialog>

namespace Ui {
class DialogAddUsers;
}

class DialogAddUsers : public QDialog {
  Q_OBJECT

 public:
  DialogAddUsers(const QString& configPath, QWidget* parent = nullptr);
  ~DialogAddUsers() override;

 private slots:
  void on_pushButton_add_user_clicked();
  void on_pushButton_delete_user_clicked();

 private:
  void LoadTable();

  Ui::DialogAddUsers* ui;
  std::string m_path;
};
