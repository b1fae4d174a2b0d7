// Settings of one Modbus device.
#pragma once

#include <QDialog>
#include <QStringList>

#include "dialogs/items/dialog_common.h"
#include "model/item_info.h"

namespace Ui {
class DeviceSetupDialog;
}

class DeviceSetupDialog : public QDialog {
  Q_OBJECT

 public:
  DeviceSetupDialog(CDeviceInfo* device, QWidget* parent = nullptr);
  ~DeviceSetupDialog() override;
  void Fill();
  // Refuses with a message while a field holds what a file cannot; the dialog
  // stays open with what was typed.
  void accept() override;

 signals:
  void signalInfoDevice(QStringList info, bool flagSaveEnable);

 private slots:
  void on_DeviceSetupDialog_accepted();

 private:
  // `device` as the fields say.
  FieldChecks Collect(CDeviceInfo& device) const;
  void Recheck();

  Ui::DeviceSetupDialog* ui;
  CDeviceInfo* m_device;
  QString m_oldName;
};
