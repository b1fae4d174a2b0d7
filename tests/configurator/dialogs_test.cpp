// Fill, handler and accept rules of the four item dialogs.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QSignalSpy>
#include <QSpinBox>
#include <QStackedWidget>

#include "dialogs/items/channelsetupdialog.h"
#include "dialogs/items/devicesetupdialog.h"
#include "dialogs/items/groupsetupdialog.h"
#include "dialogs/items/tagsetupdialog.h"
#include "fake_prompts.h"

using namespace virk;

namespace {

template <class T>
T* Child(QObject* dialog, const char* name) {
  T* child = dialog->findChild<T*>(name);
  EXPECT_NE(child, nullptr) << name;
  return child;
}
QComboBox* Box(QObject* d, const char* name) { return Child<QComboBox>(d, name); }
QSpinBox* Spin(QObject* d, const char* name) { return Child<QSpinBox>(d, name); }

}  // namespace

TEST(ChannelSetupDialog, FillShowsTheProtocolOfTheLinkTypeAndTypeSwitchResetsThePort) {
  CChannelInfo channel;
  channel.m_Data.m_Protocol = kProtocolAscii;
  channel.m_Data.Com()->m_PortNumber = 7;
  channel.m_Data.Com()->m_BaudRate = 19200;
  ChannelSetupDialog dialog(&channel);
  dialog.Fill();
  EXPECT_EQ(Box(&dialog, "protocolBox")->currentText(), "MODBUS ASCII");
  EXPECT_EQ(Box(&dialog, "baudRateBox")->currentText(), "19200");
  EXPECT_EQ(Spin(&dialog, "comNoBox")->value(), 7);

  Box(&dialog, "typeBox")->setCurrentIndex(1);
  EXPECT_EQ(Child<QStackedWidget>(&dialog, "stackedWidget")->currentIndex(), 1);
  EXPECT_EQ(Box(&dialog, "protocolBox")->currentText(), "MODBUS TCP");
  EXPECT_EQ(Spin(&dialog, "tcpPortBox")->value(), 502);
  EXPECT_EQ(Spin(&dialog, "timeoutConnectBox")->value(), 5000);

  Box(&dialog, "typeBox")->setCurrentIndex(0);
  EXPECT_EQ(Box(&dialog, "protocolBox")->currentText(), "MODBUS RTU");
  EXPECT_EQ(Spin(&dialog, "comNoBox")->value(), 1) << "port settings back at their defaults";
  EXPECT_EQ(Box(&dialog, "baudRateBox")->currentText(), "9600");
}

TEST(ChannelSetupDialog, AcceptWritesTcpSettingsAndEmitsTheArgumentList) {
  FakePrompts prompts;
  CChannelInfo channel;
  ChannelSetupDialog dialog(&channel);
  dialog.Fill();
  QSignalSpy info(&dialog, &ChannelSetupDialog::signalInfoChannel);
  QSignalSpy ip(&dialog, &ChannelSetupDialog::signalIpAddr);
  Box(&dialog, "typeBox")->setCurrentIndex(1);
  Box(&dialog, "protocolBox")->setCurrentIndex(0);  // ASCII over TCP
  Child<QLineEdit>(&dialog, "ipEdit")->setText("192.168.1.20");
  Spin(&dialog, "tcpPortBox")->setValue(5020);
  Child<QLineEdit>(&dialog, "nameEdit")->setText("");
  dialog.accept();
  EXPECT_EQ(info.count(), 0) << "an emptied name is refused, not replaced by the old one";
  EXPECT_EQ(prompts.messages,
            QStringList{"Неверное значение: Поле «Имя канала»: допустимо имя из 1–64 символов, без точки."});
  Child<QLineEdit>(&dialog, "nameEdit")->setText("Channel_0");
  dialog.accept();

  EXPECT_EQ(channel.Name(), "Channel_0");
  ASSERT_TRUE(channel.m_Data.Tcp());
  EXPECT_EQ(channel.m_Data.m_Protocol, kProtocolAscii);
  EXPECT_EQ(channel.m_Data.Tcp()->m_IpAddress, 192u | 168u << 8 | 1u << 16 | 20u << 24);
  ASSERT_EQ(info.count(), 1);
  const QStringList args = info[0][0].toStringList();
  EXPECT_EQ(args, (QStringList{"Channel_0", "1", "500", "3", "0", "1",
                               QString::number(channel.m_Data.Tcp()->m_IpAddress), "5020", "5000"}));
  EXPECT_TRUE(info[0][1].toBool());
  ASSERT_EQ(ip.count(), 1);
  EXPECT_EQ(ip[0][0].toString(), "192.168.1.20");
}

TEST(DeviceSetupDialog, AcceptStoresTheBoxesAndCodesSmallNumbersAsCharacters) {
  FakePrompts prompts;
  CDeviceInfo device;
  DeviceSetupDialog dialog(&device);
  dialog.Fill();
  QSignalSpy info(&dialog, &DeviceSetupDialog::signalInfoDevice);
  Child<QLineEdit>(&dialog, "nameEdit")->setText("Pump");
  Spin(&dialog, "addressBox")->setValue(65);
  Box(&dialog, "emulationBox")->setCurrentIndex(1);
  Spin(&dialog, "maxRegsBox")->setValue(66);
  Spin(&dialog, "maxFragmentationBox")->setValue(0);
  dialog.accept();
  EXPECT_EQ(device.Name(), "Pump");
  EXPECT_EQ(device.m_Data.m_Addr, 65);
  EXPECT_TRUE(device.m_Data.m_Emulation);
  ASSERT_EQ(info.count(), 1);
  EXPECT_EQ(info[0][0].toStringList(),
            (QStringList{"Pump", "A", "1", "1", "B", QString(QChar(2000)), ""}));
}

TEST(GroupSetupDialog, UnitHoursLowersThePeriodToOneDay) {
  FakePrompts prompts;
  CGroupInfo group;
  group.m_Data.m_Period = 100;
  GroupSetupDialog dialog(&group);
  dialog.Fill();
  QSpinBox* period = Spin(&dialog, "updateRateBox");
  EXPECT_EQ(period->value(), 100);
  Box(&dialog, "mu_UpdateRateBox")->setCurrentIndex(3);
  EXPECT_EQ(period->value(), 24);
  Box(&dialog, "mu_UpdateRateBox")->setCurrentIndex(2);
  EXPECT_EQ(period->value(), 24);
  dialog.accept();
  EXPECT_EQ(group.m_Data.m_Period, 24u);
  EXPECT_EQ(group.m_Data.m_PeriodUnit, kUnitMin);
}

class TagDialogTest : public ::testing::Test {
 protected:
  void SetUp() override { dialog.Fill(); }
  FakePrompts prompts;
  CDATagInfo tag;
  TagSetupDialog dialog{&tag};
};

TEST_F(TagDialogTest, SegmentSizeTwoDisablesTheOffsetAndTenAllowsZeroToEight) {
  QSpinBox* size = Spin(&dialog, "regsInSegmentBox");
  QSpinBox* offset = Spin(&dialog, "segmentPosBox");
  size->setValue(2);
  EXPECT_FALSE(offset->isEnabled());
  size->setValue(10);
  EXPECT_TRUE(offset->isEnabled());
  EXPECT_EQ(offset->maximum(), 8);
  offset->setValue(8);
  size->setValue(11);
  EXPECT_EQ(offset->value(), 0) << "a new segment size resets the offset";
}

TEST_F(TagDialogTest, ByteAndBitTypesEmptyAndDisableTheByteOrder) {
  QComboBox* order = Box(&dialog, "byteOrderBox");
  EXPECT_EQ(order->count(), 4);
  EXPECT_EQ(order->currentText(), "BA DC") << "default byte order 2 of a two-register type";
  Box(&dialog, "valTypeBox")->setCurrentIndex(kTypeLowByte);
  EXPECT_EQ(order->count(), 0);
  EXPECT_FALSE(order->isEnabled());
  Box(&dialog, "valTypeBox")->setCurrentIndex(kTypeBit0 + 3);
  EXPECT_FALSE(order->isEnabled());
  Box(&dialog, "valTypeBox")->setCurrentIndex(kTypeInt16);
  EXPECT_TRUE(order->isEnabled());
  EXPECT_EQ(order->currentText(), "BA") << "one register falls back to index 1";
  Box(&dialog, "valTypeBox")->setCurrentIndex(kTypeFloat64);
  EXPECT_EQ(order->itemText(3), "HG FE DC BA");
}

TEST_F(TagDialogTest, WriteModeOnlyForWritableKindsWithWriteOn) {
  QComboBox* kind = Box(&dialog, "regTypeBox");
  QComboBox* write = Box(&dialog, "writeBox");
  QComboBox* mode = Box(&dialog, "writeGroupBox");
  QLabel* writeLabel = Child<QLabel>(&dialog, "writelabel");
  QLabel* readLabel = Child<QLabel>(&dialog, "readlabel");

  kind->setCurrentIndex(kRegInput);
  write->setCurrentIndex(1);
  EXPECT_FALSE(write->isEnabled());
  EXPECT_FALSE(mode->isEnabled());
  EXPECT_EQ(writeLabel->text(), "Запись (-)");
  EXPECT_EQ(readLabel->text(), "Чтение (функция 4)");

  kind->setCurrentIndex(kRegHolding);
  EXPECT_TRUE(mode->isEnabled());
  mode->setCurrentIndex(0);
  EXPECT_EQ(writeLabel->text(), "Запись (функция 6)");
  mode->setCurrentIndex(1);
  EXPECT_EQ(writeLabel->text(), "Запись (функция 16)");
  write->setCurrentIndex(0);
  EXPECT_FALSE(mode->isEnabled());

  kind->setCurrentIndex(kRegCoil);
  write->setCurrentIndex(1);
  EXPECT_EQ(writeLabel->text(), "Запись (функция 15)");
  EXPECT_FALSE(Box(&dialog, "valTypeBox")->isEnabled());
  EXPECT_FALSE(Box(&dialog, "byteOrderBox")->isEnabled());
  EXPECT_EQ(readLabel->text(), "Чтение (функция 1)");
}

TEST_F(TagDialogTest, AcceptRefusesUntilEveryFieldLoadsThenStoresTheAddressFromZero) {
  QSignalSpy info(&dialog, &TagSetupDialog::signalInfoTag);
  QSignalSpy count(&dialog, &TagSetupDialog::signalInfoCountTag);
  Child<QLineEdit>(&dialog, "nameEdit")->clear();
  Spin(&dialog, "addressBox")->setValue(10);
  Box(&dialog, "valTypeBox")->setCurrentIndex(kTypeInt16);
  Box(&dialog, "transformTypeBox")->setCurrentIndex(1);
  Child<QLineEdit>(&dialog, "srcMaxEdit")->setText("4,5");
  Child<QLineEdit>(&dialog, "dstMaxEdit")->setText("junk");
  Box(&dialog, "emulTypeBox")->setCurrentIndex(2);
  Spin(&dialog, "periodBox")->setValue(30);
  Spin(&dialog, "spinBox_5")->setValue(3);
  dialog.accept();
  Child<QLineEdit>(&dialog, "nameEdit")->setText("Tag_0");
  dialog.accept();
  EXPECT_EQ(prompts.messages, (QStringList{"Неверное значение: Поле «Имя»: допустимо имя из 1–64 символов, без точки.",
                                           "Неверное значение: Поле «Максимум шкалы конечного значения»: "
                                           "допустимо число, например 2 или -0.5."}));
  EXPECT_EQ(info.count(), 0);
  EXPECT_EQ(Child<QLineEdit>(&dialog, "dstMaxEdit")->text(), "junk") << "what was typed stays";
  Child<QLineEdit>(&dialog, "dstMaxEdit")->setText("100");
  dialog.accept();

  EXPECT_EQ(tag.Name(), "Tag_0");
  EXPECT_EQ(tag.m_Data.m_Addr, 9);
  EXPECT_EQ(tag.m_Data.m_ValueType, kTypeInt16);
  const auto* scale = std::get_if<CTransform_LineScaleData>(&tag.m_Data.m_Transform);
  ASSERT_NE(scale, nullptr);
  EXPECT_FLOAT_EQ(scale->m_SrcMax, 4.5f) << "a decimal comma is read as the point";
  EXPECT_FLOAT_EQ(scale->m_DstMax, 100.0f);
  const auto* sine = std::get_if<CEmulData_Sin>(&tag.m_Data.m_Emul);
  ASSERT_NE(sine, nullptr);
  EXPECT_EQ(sine->m_Period, 30);
  ASSERT_EQ(count.count(), 1);
  EXPECT_EQ(count[0][0].toInt(), 3);
  ASSERT_EQ(info.count(), 1);
  EXPECT_EQ(info[0][0].toStringList(),
            (QStringList{"Tag_0", "2", "10", "4", "1", "1", "1", "1", "0", "0", "1", "1", "2", "2"}));
}

// What the operator meets typing bad values: the field keeps the text, shows
// it as refused, OK names the field and the allowed values, the item is untouched.
TEST_F(TagDialogTest, BadValuesAreShownAndRefusedNeverCorrected) {
  QSignalSpy info(&dialog, &TagSetupDialog::signalInfoTag);
  QSpinBox* address = Spin(&dialog, "addressBox");
  for (int typed : {0, 70000}) {
    address->setValue(typed);
    EXPECT_EQ(address->value(), typed) << "kept as typed";
    EXPECT_FALSE(address->styleSheet().isEmpty()) << typed << " is shown as refused";
    EXPECT_EQ(address->toolTip(), "Допустимо: целое число от 1 до 65535");
  }
  address->setValue(65535);
  EXPECT_TRUE(address->styleSheet().isEmpty());

  Box(&dialog, "transformTypeBox")->setCurrentIndex(kTransformFactor);
  QLineEdit* factor = Child<QLineEdit>(&dialog, "factorEdit");
  for (const char* typed : {"0", "abc", "100001"}) {
    factor->setText(typed);
    dialog.accept();
  }
  const QString range = "Неверное значение: Поле «Множитель»: допустимо число от -100000 до 100000, кроме 0.";
  EXPECT_EQ(prompts.messages,
            (QStringList{range, "Неверное значение: Поле «Множитель»: допустимо число, например 2 или -0.5.", range}));
  EXPECT_EQ(info.count(), 0);
  EXPECT_EQ(tag.m_Data.m_TransformKind, kTransformNone) << "the tag is untouched until OK passes";

  // The constant's range follows the value type chosen in the same dialog.
  factor->setText("2");
  Box(&dialog, "valTypeBox")->setCurrentIndex(kTypeInt16);
  Child<QLineEdit>(&dialog, "constEdit")->setText("40000");
  dialog.accept();
  EXPECT_EQ(prompts.messages.last(),
            "Неверное значение: Поле «Константа»: допустимо целое число от -32768 до 32767.");
  Child<QLineEdit>(&dialog, "constEdit")->setText("-32768");
  dialog.accept();
  EXPECT_EQ(info.count(), 1);
}

TEST(ItemDialogs, SilentCorrectionsAreGoneFromChannelAndGroup) {
  FakePrompts prompts;
  CChannelInfo channel;
  channel.m_Data.SetChannelType(kChannelTcp);
  ChannelSetupDialog channelDialog(&channel);
  channelDialog.Fill();
  QLineEdit* ip = Child<QLineEdit>(&channelDialog, "ipEdit");
  ip->setText("300.1.1.1");
  channelDialog.accept();
  EXPECT_EQ(ip->text(), "300.1.1.1");
  EXPECT_EQ(prompts.messages.last(), "Неверное значение: Поле «IP адрес»: допустимо четыре числа от 0 "
                                     "до 255 через точку, например 192.168.0.10.");
  EXPECT_EQ(channel.m_Data.Tcp()->m_IpAddress, 0u);
  EXPECT_GE(ip->minimumWidth(), ip->fontMetrics().horizontalAdvance("255.255.255.255"));

  // Period 0 is what a file may hold (read in every turn): taken as typed.
  CGroupInfo group;
  GroupSetupDialog groupDialog(&group);
  groupDialog.Fill();
  Spin(&groupDialog, "updateRateBox")->setValue(0);
  groupDialog.accept();
  EXPECT_EQ(group.m_Data.m_Period, 0u);
  Spin(&groupDialog, "updateRateBox")->setValue(86400001);
  groupDialog.accept();
  EXPECT_EQ(prompts.messages.last(),
            "Неверное значение: Поле «Период опроса»: допустимо целое число от 0 до 86400000.");
}

TEST_F(TagDialogTest, FillShowsAStoredTagAndTheKindRule) {
  tag.m_Data.m_RegKind = kRegCoil;
  tag.m_Data.m_Addr = 99;
  tag.m_Data.m_RegsInSegment = 6;
  tag.m_Data.m_PosInSegment = 3;
  tag.m_Data.SetTransformKind(kTransformFactor);
  std::get<CTransform_FactorData>(tag.m_Data.m_Transform).m_Factor = 2.5f;
  TagSetupDialog filled(&tag);
  filled.Fill();
  EXPECT_EQ(Spin(&filled, "addressBox")->value(), 100);
  EXPECT_EQ(Spin(&filled, "segmentPosBox")->value(), 3);
  EXPECT_TRUE(Spin(&filled, "segmentPosBox")->isEnabled());
  EXPECT_EQ(Child<QLineEdit>(&filled, "factorEdit")->text(), "2.5");
  EXPECT_EQ(Child<QStackedWidget>(&filled, "transformWidget")->currentIndex(), 2);
  EXPECT_FALSE(Box(&filled, "valTypeBox")->isEnabled());
}

// Every box of the dialog moved, then Cancel: the item keeps its name and
// every setting (the channel's type switch used to replace the live port).
QStringList Shown(const CInfo& item) {
  QStringList rows;
  for (const PropertyRow& row : item.Properties()) rows << row.name + "=" + row.value;
  return rows;
}

template <class Dialog, class Info>
void ExpectCancelChangesNothing(Info& item) {
  const QStringList before = Shown(item);
  Dialog dialog(&item);
  dialog.Fill();
  for (QComboBox* box : dialog.template findChildren<QComboBox*>()) box->setCurrentIndex(box->count() - 1);
  for (QSpinBox* spin : dialog.template findChildren<QSpinBox*>()) spin->setValue(spin->maximum());
  for (QLineEdit* edit : dialog.template findChildren<QLineEdit*>()) edit->setText("Changed");
  dialog.reject();
  EXPECT_EQ(Shown(item), before) << Dialog::staticMetaObject.className();
}

TEST(ItemDialogs, CancelChangesNothingInAnyDialog) {
  FakePrompts prompts;
  CChannelInfo channel;
  ExpectCancelChangesNothing<ChannelSetupDialog>(channel);
  ASSERT_TRUE(channel.m_Data.Com()) << "still a COM channel";
  CChannelInfo tcpChannel;
  tcpChannel.m_Data.SetChannelType(kChannelTcp);
  ExpectCancelChangesNothing<ChannelSetupDialog>(tcpChannel);
  CDeviceInfo device;
  ExpectCancelChangesNothing<DeviceSetupDialog>(device);
  CGroupInfo group;
  ExpectCancelChangesNothing<GroupSetupDialog>(group);
  CDATagInfo tag;
  ExpectCancelChangesNothing<TagSetupDialog>(tag);
}
