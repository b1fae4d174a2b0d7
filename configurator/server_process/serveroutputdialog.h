// The server's console output collected since its start, read-only.
#pragma once

#include <QDialog>

namespace Ui {
class ServerOutputDialog;
}

class ServerOutputDialog : public QDialog {
  Q_OBJECT

 public:
  explicit ServerOutputDialog(const QString& output, QWidget* parent = nullptr);
  ~ServerOutputDialog() override;

 protected:
  // Opens at the end: the newest lines are the ones the operator looks for.
  void showEvent(QShowEvent* event) override;

 private:
  Ui::ServerOutputDialog* ui;
};
