// The progress dialog, the application log, the monitoring table and its warning.
#include <gtest/gtest.h>

#include <climits>

#include <QCloseEvent>
#include <QAction>
#include <QFile>
#include <QMenu>
#include <QRegularExpression>
#include <QTemporaryDir>

#include "app/app_log.h"
#include "app/connection_hint.h"
#include "dialogs/progressbar.h"
#include "fake_prompts.h"
#include "model/tree_edit.h"
#include "views/monitored_value.h"
#include "views/tablemodelmonitoring.h"

using virk::CItem;

TEST(ProgressBar, RefusesToCloseUntilItsCodeArrivesAndWarnsForFailures) {
  FakePrompts prompts;
  ProgressBar bar;
  bar.show();
  EXPECT_FALSE(bar.close()) << "the user cannot close it";
  static_cast<QDialog&>(bar).reject();  // Esc
  EXPECT_TRUE(bar.isVisible());
  bar.slotSetLabelProgressBar("busy");
  EXPECT_EQ(bar.Label(), "busy");
  bar.slotCloseProgressBar(12);
  EXPECT_FALSE(bar.isVisible());
  EXPECT_EQ(bar.result(), 12);
  EXPECT_EQ(prompts.messages, QStringList{"Внимание: Не удалось сохранить файл конфигурации."});

  ProgressBar ok;
  ok.show();
  ok.slotCloseProgressBar(0);
  EXPECT_EQ(prompts.messages.size(), 1) << "success shows nothing";
  EXPECT_TRUE(ProgressBar::MessageForCode(14).isEmpty());
  EXPECT_TRUE(ProgressBar::MessageForCode(1).endsWith("попробуйте вручную."));
}

TEST(ApplicationLog, WritesTimeStampedInfoAndWarningLines) {
  QTemporaryDir dir;
  const QString folder = dir.filePath("Documents/VIRK/OPC UA/Log/");
  ASSERT_TRUE(InstallApplicationLog(folder));
  LogInfo("Приложение запущено");
  LogWarning("Не удалось открыть справку");
  qInstallMessageHandler(nullptr);
  QFile file(folder + "OPCUAserverGui.log");
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  const QStringList lines = QString::fromUtf8(file.readAll()).split('\n', Qt::SkipEmptyParts);
  ASSERT_EQ(lines.size(), 2);
  const QRegularExpression stamp("^\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d\\.\\d{3}");
  EXPECT_TRUE(stamp.match(lines[0]).hasMatch()) << lines[0].toStdString();
  EXPECT_TRUE(lines[0].endsWith("Info: Приложение запущено"));
  EXPECT_TRUE(lines[1].endsWith("Warning: Не удалось открыть справку"));
  EXPECT_EQ(lines[1].mid(23), " Warning: Не удалось открыть справку") << "time, a space, the category";
}

TEST(TableModelMonitoring, StoresValuesOnlyForGroupsThatWereShown) {
  CGroupInfo group;
  group.SetName("G");
  for (int i = 0; i < 2; ++i) group.AddChild(NewItem(group, virk::kKindTag));
  TableModelMonitoring model;
  model.UpdateRow(0, "1.5", "Good", "t", "K.D.G");
  model.SetGroup("K.D.G", &group);
  EXPECT_FALSE(model.index(0, 1).data().isValid()) << "the value sent before was not kept, nor a 0 put in its place";
  model.UpdateRow(1, "2.25", "Good", "2026-01-01 00:00:00.000", "K.D.G");
  model.UpdateRow(0, "9", "Bad", "t", "Other.Path");
  EXPECT_EQ(model.rowCount(), 2);
  EXPECT_EQ(model.index(1, 0).data().toString(), "Tag_2");
  EXPECT_EQ(model.index(1, 1).data().toString(), "2.25");
  EXPECT_EQ(model.index(1, 2).data().toString(), "Good");
  EXPECT_EQ(model.headerData(3, Qt::Horizontal).toString(), "Время");
  EXPECT_FALSE(model.headerData(0, Qt::Vertical).isValid());
  // A row the server does not vouch for is coloured, a Good one is not.
  EXPECT_FALSE(model.index(1, 1).data(Qt::BackgroundRole).isValid());
  model.UpdateRow(0, "0", "BadWaitingForInitialData", "t", "K.D.G");
  model.UpdateRow(1, "2.5", "UncertainLastUsableValue", "t", "K.D.G");
  const QVariant bad = model.index(0, 3).data(Qt::BackgroundRole), uncertain = model.index(1, 0).data(Qt::BackgroundRole);
  EXPECT_TRUE(bad.isValid() && uncertain.isValid() && bad != uncertain);
}

// Starting the window's running server again would restart it: only the connection is offered.
TEST(NoConnectionHint, WhileItsServerRunsOnlyTheConnectionIsOffered) {
  QMenu menu("Сервис");
  QAction run("Запустить сервер OPC UA"), connect("Подключиться к серверу OPC UA");
  EXPECT_EQ(NoConnectionHint(menu, run, connect, true),
            "Нет подключения к запущенному серверу: подключитесь к нему (меню «Сервис» → «Подключиться к серверу OPC UA»)");
}

TEST(MonitoredValue, SixDecimalsAtMostAndTheGroupsPeriodInMs) {
  EXPECT_EQ(MonitoredValueText(0.12345678), "0.123456");
  EXPECT_EQ(MonitoredValueText(-2.5), "-2.5");
  EXPECT_EQ(MonitoredValueText(qlonglong(1234567890123)), "1234567890123");
  EXPECT_EQ(MonitoredValueText(true), "true");
  virk::GroupSettings group;
  group.m_Period = 2;
  group.m_PeriodUnit = virk::kUnitSec;
  EXPECT_EQ(MonitoringIntervalMs(group), 2000);
  group.m_PeriodUnit = virk::kUnitHour;
  group.m_Period = 1000;
  EXPECT_EQ(MonitoringIntervalMs(group), INT_MAX) << "3,600,000,000 ms does not fit an int";
}

TEST(PropertyRows, ShowNamesOfCodesAddressesFromOneAndCounts) {
  CChannelInfo channel;
  channel.m_Data.SetChannelType(virk::kChannelTcp);
  channel.m_Data.m_Protocol = virk::kProtocolTcp;
  channel.m_Data.Tcp()->m_IpAddress = 0x0A01A8C0;  // 192.168.1.10
  virk::ItemPtr newDevice = NewDevice(channel);
  CItem* device = newDevice.get();
  ASSERT_TRUE(channel.AddChild(std::move(newDevice)));
  virk::ItemPtr newGroup = NewItem(*device, virk::kKindGroup);
  CItem* group = newGroup.get();
  ASSERT_TRUE(device->AddChild(std::move(newGroup)));
  static_cast<CGroupInfo*>(group)->m_Data.m_PeriodUnit = virk::kUnitHour;
  group->AddChild(NewItem(*group, virk::kKindTag));

  const PropertyRows channelRows = channel.Properties();
  ASSERT_EQ(channelRows.size(), 10) << "no empty row in the short TCP list";
  EXPECT_EQ(channelRows[1].value, "TCP-соединение");
  EXPECT_EQ(channelRows[2].value, "MODBUS TCP");
  EXPECT_EQ(channelRows[6].name, "IP-адрес");
  EXPECT_EQ(channelRows[6].value, "192.168.1.10");
  EXPECT_EQ(channelRows[9].name, "Кол-во устройств");
  EXPECT_EQ(channelRows[9].value, "1");

  const PropertyRows deviceRows = InfoOf(device)->Properties();
  EXPECT_EQ(deviceRows[2].value, "Да");
  EXPECT_EQ(deviceRows[8].name, "Кол-во тегов");
  EXPECT_EQ(deviceRows[8].value, "1");
  EXPECT_EQ(InfoOf(group)->Properties()[1].name, "Период опроса (ч)");

  const PropertyRows tagRows = InfoOf(group->Children().begin()->second.get())->Properties();
  ASSERT_EQ(tagRows.size(), 12);
  EXPECT_EQ(tagRows[1].value, "Входной регистр");
  EXPECT_EQ(tagRows[2].value, "1") << "register 0 is the operator's 1";
  EXPECT_EQ(tagRows[7].value, "BA DC");
  EXPECT_EQ(tagRows[11].value, "Константа");
  EXPECT_TRUE(tagRows[4].value.isEmpty() && tagRows[5].value.isEmpty()) << "an input register is not written";
  auto* holding = static_cast<CDATagInfo*>(group->Children().begin()->second.get());
  holding->m_Data.m_RegKind = virk::kRegHolding;
  EXPECT_FALSE(holding->Properties()[4].value.isEmpty());
}
