// Certificate file, private-key file and trusted-certificates folder for an
// encrypted connection to the server.
#pragma once

#include <QDialog>

namespace Ui {
class DialogChooseCertificate;
}

class DialogChooseCertificate : public QDialog {
  Q_OBJECT

 public:
  explicit DialogChooseCertificate(QWidget* parent = nullptr);
  ~DialogChooseCertificate() override;

  void SetFields(const QString& certFile, const QString& keyFile, const QString& trustFolder);
  const QString& CertFile() const { return m_certFile; }
  const QString& KeyFile() const { return m_keyFile; }
  const QString& TrustFolder() const { return m_trustFolder; }

 private slots:
  void on_certFileButton_clicked();
  void on_keyFileButton_clicked();
  void on_clientCertButton_clicked();
  void on_pushButton_clicked();
  void on_pushButton_2_clicked();

 private:
  Ui::DialogChooseCertificate* ui;
  QString m_certFile, m_keyFile, m_trustFolder;
};
