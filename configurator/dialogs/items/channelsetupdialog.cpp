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

QStringList ChannelSetupDialog::Info() const { return SettingsArguments(*m_channel); }

void ChannelSetupDialog::on_ChannelSetupDialog_accepted() {
  ChannelSettings& d = m_settings;
  const int type = ui->typeBox->currentIndex() == 1 ? kChannelTcp : kChannelCom;
  if (type != d.m_ChannelType) d.SetChannelType(type);
  d.m_ResponseTimeout = uint32_t(ui->timeOutBox->value());
  d.m_Attempts = uint8_t(ui->quanRetryBox->value());
  d.m_Pause = uint32_t(ui->timeBusyBox->value());
  if (auto* com = d.Com()) {
    d.m_Protocol = ui->protocolBox->currentIndex() == 1 ? kProtocolAscii : kProtocolRtu;
    com->m_PortNumber = uint32_t(ui->comNoBox->value());
    com->m_BaudRate = ui->baudRateBox->currentText().toUInt();
    com->m_DataBits = ui->dataBitsBox->currentIndex() == 0 ? 7 : 8;
    com->m_StopBits = ui->stopBitsBox->currentIndex() == 0 ? 1 : 2;
    com->m_Parity = uint8_t(ui->parityBox->currentIndex());
    com->m_Echo = uint8_t(ui->echoBox->currentIndex());
    com->m_RtsControl = uint8_t(ui->rtsControlBox->currentIndex());
    com->m_DtrControl = uint8_t(ui->dtrControlBox->currentIndex());
  } else if (auto* tcp = d.Tcp()) {
    d.m_Protocol = ui->protocolBox->currentIndex() + 1;
    tcp->m_IpAddress = IpFromText(ui->ipEdit->text());
    tcp->m_Port = uint16_t(ui->tcpPortBox->value());
    tcp->m_ConnectTimeout = uint32_t(ui->timeoutConnectBox->value());
  }
  ApplyName(*m_channel, ui->nameEdit->text());
  m_channel->m_Data = m_settings;
  if (d.Tcp()) emit signalIpAddr(ui->ipEdit->text());
  emit signalInfoChannel(Info(), true);
}
