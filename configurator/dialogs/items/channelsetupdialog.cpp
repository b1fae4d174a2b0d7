#include "dialogs/items/channelsetupdialog.h"

#include "dialogs/items/dialog_common.h"
#include "model/ip_text.h"
#include "model/tree_edit.h"
#include "ui_channelsetupdialog.h"

using namespace virk;

namespace {

const QStringList kComProtocols = {"MODBUS RTU", "MODBUS ASCII"};
const QStringList kTcpProtocols = {"MODBUS ASCII", "MODBUS TCP"};

}  // namespace

ChannelSetupDialog::ChannelSetupDialog(CChannelInfo* channel, QWidget* parent)
    : QDialog(parent), ui(new Ui::ChannelSetupDialog), m_channel(channel),
      m_oldName(ItemName(*channel)), m_settings(channel->m_Data) {
  ui->setupUi(this);
  TranslateCancel(ui->buttonBox);
  RestrictNameInput(ui->nameEdit);
  for (QSpinBox* box : {ui->timeOutBox, ui->quanRetryBox, ui->timeBusyBox, ui->comNoBox,
                        ui->tcpPortBox, ui->timeoutConnectBox})
    OpenRange(box);
  // Room for "255.255.255.255" and the cursor.
  ui->ipEdit->setMinimumWidth(ui->ipEdit->fontMetrics().horizontalAdvance("255.255.255.255") + 24);
  WatchFields(this, [this] { Recheck(); });
}

ChannelSetupDialog::~ChannelSetupDialog() { delete ui; }

void ChannelSetupDialog::Fill() {
  const ChannelSettings& d = m_settings;
  ui->nameEdit->setText(m_oldName);
  {
    const QSignalBlocker block(ui->typeBox);
    ui->typeBox->setCurrentIndex(d.m_ChannelType == kChannelTcp ? 1 : 0);
  }
  ui->timeOutBox->setValue(int(d.m_ResponseTimeout));
  ui->quanRetryBox->setValue(d.m_Attempts);
  ui->timeBusyBox->setValue(int(d.m_Pause));
  FillPort();
  Recheck();
}

void ChannelSetupDialog::FillPort() {
  const ChannelSettings& d = m_settings;
  const bool tcp = d.m_ChannelType == kChannelTcp;
  ui->protocolBox->clear();
  ui->protocolBox->addItems(tcp ? kTcpProtocols : kComProtocols);
  // TCP lists ASCII first: its index is the protocol code minus one.
  ui->protocolBox->setCurrentIndex(std::clamp(tcp ? d.m_Protocol - 1 : d.m_Protocol, 0, 1));
  ui->stackedWidget->setCurrentIndex(tcp ? 1 : 0);
  if (const auto* com = d.Com()) {
    ui->comNoBox->setValue(int(com->m_PortNumber));
    ui->baudRateBox->setCurrentText(QString::number(com->m_BaudRate));
    ui->dataBitsBox->setCurrentIndex(com->m_DataBits == 7 ? 0 : 1);
    ui->stopBitsBox->setCurrentIndex(com->m_StopBits == 1 ? 0 : 1);
    ui->parityBox->setCurrentIndex(com->m_Parity);
    ui->echoBox->setCurrentIndex(com->m_Echo);
    ui->rtsControlBox->setCurrentIndex(com->m_RtsControl);
    ui->dtrControlBox->setCurrentIndex(com->m_DtrControl);
  }
  if (const auto* tcpPort = d.Tcp()) {
    ui->ipEdit->setText(IpText(tcpPort->m_IpAddress));
    ui->tcpPortBox->setValue(tcpPort->m_Port);
    ui->timeoutConnectBox->setValue(int(tcpPort->m_ConnectTimeout));
  }
}

// Switching the type shows the other port's defaults; the channel itself
// changes only when the dialog is accepted.
void ChannelSetupDialog::on_typeBox_currentIndexChanged(int index) {
  ChannelSettings& d = m_settings;
  d.SetChannelType(index == 1 ? kChannelTcp : kChannelCom);
  d.m_Protocol = index == 1 ? kProtocolTcp : kProtocolRtu;
  FillPort();
}

FieldChecks ChannelSetupDialog::Collect(CChannelInfo& channel) const {
  channel.SetName(m_channel->Name());
  channel.m_Data = m_settings;
  ChannelSettings& d = channel.m_Data;
  CChannelData data(channel);
  FieldChecks checks;
  checks.Name(ui->nameEdit, "Имя канала", data);
  const int type = ui->typeBox->currentIndex() == 1 ? kChannelTcp : kChannelCom;
  if (type != d.m_ChannelType) d.SetChannelType(type);
  checks.Spin(ui->timeOutBox, "Таймаут ожидания ответа (мс)", data, &CChannelData::SetResponseTimeout);
  checks.Spin(ui->quanRetryBox, "Кол-во попыток", data, &CChannelData::SetAttempts);
  checks.Spin(ui->timeBusyBox, "Пауза перед запросом (мс)", data, &CChannelData::SetPause);
  if (auto* com = d.Com()) {
    d.m_Protocol = ui->protocolBox->currentIndex() == 1 ? kProtocolAscii : kProtocolRtu;
    checks.Spin(ui->comNoBox, "Номер COM-порта", data, &CChannelData::SetComPort);
    checks.Text(ui->baudRateBox, "Скорость обмена", ui->baudRateBox->currentText(), data,
                &CChannelData::SetBaudRate);
    com->m_DataBits = ui->dataBitsBox->currentIndex() == 0 ? 7 : 8;
    com->m_StopBits = ui->stopBitsBox->currentIndex() == 0 ? 1 : 2;
    com->m_Parity = uint8_t(ui->parityBox->currentIndex());
    com->m_Echo = uint8_t(ui->echoBox->currentIndex());
    com->m_RtsControl = uint8_t(ui->rtsControlBox->currentIndex());
    com->m_DtrControl = uint8_t(ui->dtrControlBox->currentIndex());
  } else {
    d.m_Protocol = ui->protocolBox->currentIndex() + 1;
    checks.Text(ui->ipEdit, "IP адрес", ui->ipEdit->text(), data, &CChannelData::SetIpAddress);
    checks.Spin(ui->tcpPortBox, "TCP порт", data, &CChannelData::SetTcpPort);
    checks.Spin(ui->timeoutConnectBox, "Таймаут установки соединения (мс)", data,
                &CChannelData::SetConnectTimeout);
  }
  return checks;
}

void ChannelSetupDialog::Recheck() {
  CChannelInfo channel;
  Collect(channel).Mark(this);
}

void ChannelSetupDialog::accept() {
  CChannelInfo channel;
  if (!Collect(channel).ShowFirst(this)) QDialog::accept();
}

void ChannelSetupDialog::on_ChannelSetupDialog_accepted() {
  CChannelInfo channel;
  Collect(channel);
  CopySettings(*m_channel, channel);
  if (m_channel->m_Data.Tcp()) emit signalIpAddr(ui->ipEdit->text());
  emit signalInfoChannel(SettingsArguments(*m_channel), true);
}
