#include "dialogs/items/devicesetupdialog.h"

#include "dialogs/items/dialog_common.h"
#include "model/tree_edit.h"
#include "ui_devicesetupdialog.h"

DeviceSetupDialog::DeviceSetupDialog(CDeviceInfo* device, QWidget* parent)
    : QDialog(parent), ui(new Ui::DeviceSetupDialog), m_device(device),
      m_oldName(ItemName(*device)) {
  ui->setupUi(this);
  TranslateCancel(ui->buttonBox);
  RestrictNameInput(ui->nameEdit);
}

DeviceSetupDialog::~DeviceSetupDialog() { delete ui; }

void DeviceSetupDialog::Fill() {
  const virk::DeviceSettings& d = m_device->m_Data;
  ui->nameEdit->setText(m_oldName);
  ui->addressBox->setValue(d.m_Addr);
  ui->exchangeBox->setCurrentIndex(d.m_Exchange ? 1 : 0);
  ui->emulationBox->setCurrentIndex(d.m_Emulation ? 1 : 0);
  ui->maxRegsBox->setValue(d.m_MaxRegsInReqv);
  ui->maxDiscretsBox->setValue(d.m_MaxStatesInReqv);
  ui->maxFragmentationBox->setValue(d.m_dFragment);
}

void DeviceSetupDialog::on_DeviceSetupDialog_accepted() {
  virk::DeviceSettings& d = m_device->m_Data;
  ApplyName(*m_device, ui->nameEdit->text());
  d.m_Addr = uint8_t(ui->addressBox->value());
  d.m_Exchange = ui->exchangeBox->currentIndex() == 1;
  d.m_Emulation = ui->emulationBox->currentIndex() == 1;
  d.m_MaxRegsInReqv = uint8_t(ui->maxRegsBox->value());
  d.m_MaxStatesInReqv = uint16_t(ui->maxDiscretsBox->value());
  d.m_dFragment = uint8_t(ui->maxFragmentationBox->value());
  emit signalInfoDevice(SettingsArguments(*m_device), true);
}
