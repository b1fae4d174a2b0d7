// Collects what keyforge needs to make the server's certificate and key, and
// runs it: the dialog closes only once the files are made, so a refused run
// leaves everything typed in place to be corrected.
#pragma once

#include <QDialog>
#include <QMap>

namespace Ui {
class CreateCertificates;
}

class CreateCertificates : public QDialog {
  Q_OBJECT

 public:
  explicit CreateCertificates(QWidget* parent = nullptr);
  ~CreateCertificates() override;

  // The keyforge program OK runs. Without one, OK accepts once the fields
  // pass and the caller runs keyforge.
  void SetKeyforge(const QString& program) { m_keyforge = program; }
  // The values by key, as the last OK delivered them.
  const QMap<QString, QString>& Settings() const { return m_settings; }

 signals:
  void signalCreateCertificate(QMap<QString, QString> settings);

 private slots:
  void on_pushButton_ok_clicked();
  void on_pushButton_cancel_clicked();
  void on_lineEdit_country_name_textChanged(const QString& text);
  void on_pushButton_fileDialogCert_clicked();
  void on_pushButton_fileDialogKey_clicked();

 private:
  // Connected by hand: the check box of this Qt version has no checkStateChanged.
  void on_checkBox_usePassword_checkStateChanged(int state);
  void CollectSettings();
  // The first failed check's message; empty when everything is filled in.
  QString CheckSettings() const;
  // Offers to create each output folder that does not exist; true when they all exist now.
  bool OfferMissingFolders();
  // Runs keyforge and tells the operator how it went; true on success.
  bool RunKeyforgeAndReport();

  Ui::CreateCertificates* ui;
  QMap<QString, QString> m_settings;
  QString m_keyforge;
};
