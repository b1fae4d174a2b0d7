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
  for (QSpinBox* box : {ui->addressBox, ui->maxRegsBox, ui->maxDiscretsBox, ui->maxFragmentationBox})
    OpenRange(box);
  WatchFields(this, [this] { Recheck(); });
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
  Recheck();
}

FieldChecks DeviceSetupDialog::Collect(CDeviceInfo& device) const {
  CopySettings(device, *m_device);
  virk::CDeviceData data(device);
  FieldChecks checks;
  checks.Name(ui->nameEdit, "Имя устройства", data);
  checks.Spin(ui->addressBox, "Адрес", data, &virk::CDeviceData::SetAddress);
  device.m_Data.m_Exchange = ui->exchangeBox->currentIndex() == 1;
  device.m_Data.m_Emulation = ui->emulationBox->currentIndex() == 1;
  checks.Spin(ui->maxRegsBox, "Максимальное кол-во регистров в запросе", data,
              &virk::CDeviceData::SetMaxRegsInReqv);
  checks.Spin(ui->maxDiscretsBox, "Максимальное кол-во состояний в запросе", data,
              &virk::CDeviceData::SetMaxStatesInReqv);
  checks.Spin(ui->maxFragmentationBox, "Максимально допустимая фрагментация", data,
              &virk::CDeviceData::SetFragment);
  return checks;
}

void DeviceSetupDialog::Recheck() {
  CDeviceInfo device;
  Collect(device).Mark(this);
}

void DeviceSetupDialog::accept() {
  CDeviceInfo device;
  if (!Collect(device).ShowFirst(this)) QDialog::accept();
}

void DeviceSetupDialog::on_DeviceSetupDialog_accepted() {
  CDeviceInfo device;
  Collect(device);
  CopySettings(*m_device, device);
  emit signalInfoDevice(SettingsArguments(*m_device), true);
}
