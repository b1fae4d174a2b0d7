// The server start dialog: configuration file, port, log level, access kind
// and the server's certificate files. It checks what the server needs before
// it is started and writes the options section of the configuration file.
#pragma once

#include <QDialog>
#include <QStringList>

namespace Ui {
class RunPrepareDialog;
}

class RunPrepareDialog : public QDialog {
  Q_OBJECT

 public:
  explicit RunPrepareDialog(QWidget* parent = nullptr);
  ~RunPrepareDialog() override;

  // The window's current configuration and the paths confirmed last time.
  void Fill(const QString& configPath, const QString& certFile, const QString& keyFile,
            const QString& trustFolder);
  // The seven texts of RunParameter, taken from the widgets on every call.
  QStringList RunParameters() const;
  // The parameters as they stood when the operator pressed Ok; empty before.
  const QStringList& AcceptedRunParameters() const { return m_acceptedParameters; }

  void accept() override;

 signals:
  void signalRunServer(QString trustFolder, QString certFile, QString keyFile);
  // After the options section was written.
  void signalSaveRunParameters();

 private slots:
  void on_cgfBrowseButton_clicked();
  void on_certFileButton_clicked();
  void on_keyFileButton_clicked();
  void on_clientCertButton_clicked();
  void on_userBrowseButton_clicked();
  void on_radioButton_anonimus_clicked();
  void on_radioButton_authCertificate_clicked();
  void on_radioButton_authLoginPassword_clicked();
  void on_pushButton_save_clicked();
  void on_RunPrepareDialog_accepted();

 private:
  // Checks 1 and 2 of Ok and "Сохранить"; warns and returns false on a refusal.
  bool CheckConfigPath();
  // With certificate and key given: the trusted folder exists (created when
  // missing) and holds the server's certificate.
  bool PrepareTrustFolder();
  void EnableUsersFile(bool enable);

  Ui::RunPrepareDialog* ui;
  QStringList m_acceptedParameters;
};
