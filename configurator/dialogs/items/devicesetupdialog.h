// Settings of one Modbus device.
#pragma once

#include <QDialog>
#include <QStringList>

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

 signals:
  void signalInfoDevice(QStringList info, bool flagSaveEnable);

 private slots:
  void on_DeviceSetupDialog_accepted();

 private:
  Ui::DeviceSetupDialog* ui;
  CDeviceInfo* m_device;
  QString m_oldName;
};
