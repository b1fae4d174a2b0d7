// The main window driven as the operator would: open, save, export, select,
// add, copy, paste, delete and sort, with scripted answers to every question.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QDir>
#include <QStatusBar>
#include <QFile>
#include <QLineEdit>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTreeWidget>

#include "app/mainwindow.h"
#include "common/csv_writer.h"
#include "fake_prompts.h"
#include "fake_server.h"
#include "model/item_info.h"
#include "sample_config.h"
#include "ui_mainwindow.h"
#include "views/tablemodelvariable.h"

using namespace virk;

namespace {

QByteArray FileBytes(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

class MainWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir.isValid());
    samplePath = dir.filePath("sample.csv");
    ASSERT_TRUE(WriteSample(samplePath));
  }

  // Imports the sample through the window's own import action.
  void ImportSample() {
    prompts.fileName = samplePath;
    ui()->action_import_conf->trigger();
    ASSERT_EQ(window.Root().Children().size(), 2u) << prompts.messages.join('\n').toStdString();
  }

  Ui::MainWindow* ui() { return window.Form(); }
  CItem* Channel() { return window.Root().FindChild(std::string("Channel_1")); }
  CItem* Device() { return Channel()->FindChild(std::string("Device_1")); }
  CItem* Group() { return Device()->FindChild(std::string("Group_1")); }

  QTemporaryDir dir;
  QString samplePath;
  FakePrompts prompts;
  MainWindow window;
};

}  // namespace

TEST_F(MainWindowTest, ImportBuildsTheTreeAndSaveWritesTheScrambledForm) {
  ImportSample();
  EXPECT_EQ(window.TreeItemCount(), 1 + 2 + 1 + 2) << "root, channels, device, groups; no tags";
  EXPECT_EQ(prompts.filters.last(), "Конфигурация OPC UA сервера MODBUS (*.csv);;Все файлы (*.*)");
  EXPECT_EQ(window.ConfigPath(), samplePath);
  EXPECT_FALSE(window.HasUnsavedChanges());

  const QString cfg = dir.filePath("saved.cfg");
  prompts.fileName = cfg;
  window.on_save_action_triggered();
  const QByteArray stored = FileBytes(cfg);
  ASSERT_FALSE(stored.isEmpty());
  EXPECT_FALSE(stored.contains("CHANNEL")) << "a .cfg file holds the scrambled text";
  EXPECT_EQ(window.ConfigPath(), cfg);

  // Opening what was saved gives the same records.
  const std::u16string before = RecordsText(window.Root());
  window.on_open_action_triggered();
  EXPECT_EQ(prompts.filters.last(), "Конфигурация OPC UA сервера MODBUS (*.cfg);;Все файлы (*.*)");
  EXPECT_EQ(RecordsText(window.Root()), before);
  EXPECT_TRUE(prompts.messages.isEmpty()) << prompts.messages.join('\n').toStdString();
}

TEST_F(MainWindowTest, ExportWritesPlainTextAndKeepsTheUnsavedFlag) {
  ImportSample();
  window.Select(&window.Root());
  OnNextDialog([](QDialog*) { return true; });
  ui()->add_channel_action->trigger();
  ASSERT_TRUE(window.HasUnsavedChanges());
  const QString csv = dir.filePath("export.csv");
  prompts.fileName = csv;
  ui()->action_export_conf->trigger();
  EXPECT_TRUE(FileBytes(csv).startsWith("CHANNEL;"));
  EXPECT_TRUE(FileBytes(csv).contains("Channel_3"));
  EXPECT_TRUE(window.HasUnsavedChanges());
}

TEST_F(MainWindowTest, CancelledAndFailedOpensLeaveAConsistentState) {
  ImportSample();
  prompts.fileName.clear();
  window.on_open_action_triggered();
  EXPECT_EQ(window.ConfigPath(), samplePath) << "cancelling changes nothing";
  EXPECT_EQ(window.Root().Children().size(), 2u);

  const QString bad = dir.filePath("bad.cfg");
  QFile file(bad);
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  file.write("\xff\xfe not a configuration");
  file.close();
  prompts.fileName = bad;
  window.on_open_action_triggered();
  ASSERT_FALSE(prompts.messages.isEmpty());
  EXPECT_TRUE(prompts.messages.last().startsWith("Внимание: Ошибка заполнения дерева, неверный формат файла.\n\n"));
  EXPECT_TRUE(prompts.messages.last().contains("the file is not valid UTF-8")) << "the loader's own reason";
  EXPECT_TRUE(window.Root().Children().empty());
  EXPECT_EQ(window.TreeItemCount(), 1) << "only the root item is left, matching the empty model";
  EXPECT_FALSE(ui()->save_action->isEnabled());
}

TEST_F(MainWindowTest, EnablingRulesFollowTheSelectedKindAndMonitoring) {
  ImportSample();
  struct Expect {
    CItem* item;
    bool device, group, tag, edit, remove, monitoring;
  };
  EXPECT_FALSE(ui()->save_action->isEnabled()) << "root before anything below it was selected";
  for (const Expect& e : {Expect{&window.Root(), false, false, false, false, false, false},
                          Expect{Channel(), true, false, false, false, true, false},
                          Expect{Device(), true, true, false, true, true, false},
                          Expect{Group(), true, true, true, true, true, true},
                          Expect{&window.Root(), false, false, false, false, false, false}}) {
    window.Select(e.item);
    SCOPED_TRACE(e.item->Name());
    EXPECT_TRUE(ui()->add_channel_action->isEnabled());
    EXPECT_TRUE(ui()->open_action->isEnabled());
    EXPECT_EQ(ui()->add_device_action->isEnabled(), e.device);
    EXPECT_EQ(ui()->add_group_action->isEnabled(), e.group);
    EXPECT_EQ(ui()->add_tag_action->isEnabled(), e.tag);
    EXPECT_EQ(ui()->edit_action->isEnabled(), e.edit);
    EXPECT_EQ(ui()->delete_action->isEnabled(), e.remove);
    EXPECT_EQ(ui()->copy_action->isEnabled(), e.remove);
    EXPECT_EQ(ui()->monitoring_action->isEnabled(), e.monitoring);
    EXPECT_EQ(ui()->tabWidget->isTabEnabled(1), e.tag);
  }
  EXPECT_TRUE(ui()->save_action->isEnabled()) << "root once an item below it was selected";

  window.Select(Group());
  window.SetMonitoringActive(true);
  for (QAction* a : {ui()->save_action, ui()->open_action, ui()->add_channel_action,
                     ui()->add_tag_action, ui()->edit_action, ui()->delete_action,
                     ui()->paste_action, ui()->action_export_conf})
    EXPECT_FALSE(a->isEnabled()) << a->objectName().toStdString();
  EXPECT_TRUE(ui()->monitoring_action->isEnabled());
  window.SetMonitoringActive(false);
  EXPECT_TRUE(ui()->add_tag_action->isEnabled());
}

// The warning names the entries of "Сервис" that can connect now, by their texts.
TEST_F(MainWindowTest, MonitoringWithoutAServerOnlyWarns) {
  ImportSample();
  window.Select(Group());
  ui()->monitoring_action->trigger();
  ASSERT_EQ(prompts.messages.size(), 1);
  EXPECT_EQ(prompts.messages[0],
            "Ошибка: Нет подключенных серверов: запустите сервер (меню «Сервис» → «Запустить сервер OPC UA») "
            "или подключитесь к работающему серверу (меню «Сервис» → «Подключиться к серверу OPC UA»)");
  ui()->run_server_action->setEnabled(false);
  ui()->monitoring_action->trigger();
  EXPECT_FALSE(prompts.messages.last().contains(ui()->run_server_action->text())) << "a disabled entry is not offered";
  EXPECT_FALSE(window.IsMonitoring());
}

TEST_F(MainWindowTest, FirstChannelsAreChannel1And2AndCancelAddsNothing) {
  EXPECT_FALSE(ui()->save_action->isEnabled()) << "nothing to save at start";
  EXPECT_FALSE(ui()->add_device_action->isEnabled());
  EXPECT_EQ(window.Form()->tableWidget->item(1, 0)->text(), "Количество каналов");
  OnNextDialog([](QDialog*) { return true; });
  ui()->add_channel_action->trigger();
  OnNextDialog([](QDialog*) { return true; });
  ui()->add_channel_action->trigger();
  OnNextDialog([](QDialog*) { return false; });
  ui()->add_channel_action->trigger();
  std::vector<std::string> names;
  for (const auto& [name, item] : window.Root().Children()) names.push_back(name);
  EXPECT_EQ(names, (std::vector<std::string>{"Channel_1", "Channel_2"}));
  EXPECT_EQ(window.TreeItemCount(), 3);
  EXPECT_EQ(window.ItemOf(window.Form()->treeWidget->currentItem())->Name(), "Channel_2");
  EXPECT_TRUE(ui()->save_action->isEnabled()) << "the first channel opens a configuration";
}

TEST_F(MainWindowTest, ClashesNameTheSiblingAndReopenTheDialogWithTheInput) {
  ImportSample();
  window.Select(Channel());
  int reopenedAddress = -1;
  OnNextDialog([&](QDialog* dialog) {
    dialog->findChild<QSpinBox*>("addressBox")->setValue(0);  // Device_1 has address 0
    OnNextDialog([&](QDialog* again) {
      reopenedAddress = again->findChild<QSpinBox*>("addressBox")->value();
      return false;
    });
    return true;
  });
  ui()->add_device_action->trigger();
  EXPECT_EQ(Channel()->Children().size(), 1u);
  EXPECT_EQ(prompts.messages, QStringList{"Внимание: Добавление устройства завершилось неудачно, "
                                          "обнаружен дубликат: адрес 0 уже у «Device_1»."});
  EXPECT_EQ(reopenedAddress, 0) << "the dialog opens again on what was typed";

  // A group renamed to a sibling's name: refused with the name, nothing renamed.
  prompts.messages.clear();
  window.Select(Group());
  QString reopenedName;
  OnNextDialog([&](QDialog* dialog) {
    dialog->findChild<QLineEdit*>("nameEdit")->setText("Group_2");
    OnNextDialog([&](QDialog* again) {
      reopenedName = again->findChild<QLineEdit*>("nameEdit")->text();
      again->findChild<QLineEdit*>("nameEdit")->setText("Fast");
      return true;
    });
    return true;
  });
  ui()->edit_action->trigger();
  EXPECT_EQ(prompts.messages, QStringList{"Внимание: Изменения группы завершилось неудачно, "
                                          "обнаружен дубликат: имя «Group_2» уже занято."});
  EXPECT_EQ(reopenedName, "Group_2");
  EXPECT_NE(Device()->FindChild(std::string("Fast")), nullptr);
  EXPECT_EQ(Device()->Children().size(), 2u);
}

TEST_F(MainWindowTest, ABatchOfTagsStepsByTheRegistersOfTheValueType) {
  ImportSample();
  window.Select(Device()->FindChild(std::string("Group_2")));
  OnNextDialog([](QDialog* dialog) {
    dialog->findChild<QComboBox*>("regTypeBox")->setCurrentIndex(kRegHolding);
    dialog->findChild<QSpinBox*>("addressBox")->setValue(100);
    dialog->findChild<QComboBox*>("valTypeBox")->setCurrentIndex(kTypeFloat32);
    dialog->findChild<QSpinBox*>("spinBox_5")->setValue(3);
    return true;
  });
  ui()->add_tag_action->trigger();
  TableModelVariable* model = window.TagModel();
  ASSERT_EQ(model->rowCount(), 3) << prompts.messages.join('\n').toStdString();
  QStringList addresses;
  for (int row = 0; row < 3; ++row) addresses << model->index(row, 2).data().toString();
  EXPECT_EQ(addresses, (QStringList{"100", "102", "104"})) << "two registers each, none shared";
}

TEST_F(MainWindowTest, AddingThreeBitTagsFillsTheTagTable) {
  ImportSample();
  window.Select(Device()->FindChild(std::string("Group_2")));
  OnNextDialog([](QDialog* dialog) {
    dialog->findChild<QSpinBox*>("addressBox")->setValue(10);
    dialog->findChild<QComboBox*>("valTypeBox")->setCurrentIndex(22);
    dialog->findChild<QSpinBox*>("spinBox_5")->setValue(3);
    return true;
  });
  ui()->add_tag_action->trigger();
  TableModelVariable* model = window.TagModel();
  ASSERT_EQ(model->rowCount(), 3);
  EXPECT_EQ(ui()->tabWidget->currentIndex(), 1);
  QStringList cells;
  for (int row = 0; row < 3; ++row)
    cells << model->index(row, 0).data().toString() + " " + model->index(row, 2).data().toString() +
                 " " + model->index(row, 6).data().toString();
  EXPECT_EQ(cells, (QStringList{"Tag_1 10 Бит14", "Tag_2 10 Бит15", "Tag_3 11 Бит0"}));
  EXPECT_TRUE(window.HasUnsavedChanges());
}

TEST_F(MainWindowTest, TagTableSortsByTheTextOfTheAddress) {
  ImportSample();
  window.Select(Group());
  TableModelVariable* model = window.TagModel();
  model->sort(2, Qt::AscendingOrder);
  QStringList addresses;
  for (int row = 0; row < model->rowCount(); ++row) addresses << model->index(row, 2).data().toString();
  EXPECT_EQ(addresses, (QStringList{"10", "100", "9"}));
  model->sort(2, Qt::DescendingOrder);
  EXPECT_EQ(model->index(0, 2).data().toString(), "9");
  EXPECT_EQ(model->headerData(2, Qt::Horizontal).toString(), "Адрес");
}

TEST_F(MainWindowTest, CopyPasteAndDeleteKeepTreeAndModelTogether) {
  ImportSample();
  window.Select(Device());
  ui()->copy_action->trigger();
  ui()->paste_action->trigger();
  CItem* copy = Channel()->FindChild(std::string("Device_1_Copy1"));
  ASSERT_NE(copy, nullptr);
  EXPECT_EQ(copy->Children().size(), 2u) << "groups come along";
  EXPECT_EQ(window.TreeItemCount(), 6 + 3);

  // The copied item may be deleted before a second paste.
  window.Select(Device());
  prompts.confirmDelete = false;
  ui()->delete_action->trigger();
  EXPECT_NE(Device(), nullptr) << "answering Нет keeps the device";
  prompts.confirmDelete = true;
  ui()->delete_action->trigger();
  EXPECT_EQ(Channel()->FindChild(std::string("Device_1")), nullptr);
  EXPECT_EQ(prompts.questions.last(), "выбранное устройство");
  EXPECT_EQ(window.TreeItemCount(), 6);
  window.Select(Channel());
  ui()->paste_action->trigger();
  EXPECT_NE(Channel()->FindChild(std::string("Device_1_Copy2")), nullptr);
  EXPECT_TRUE(window.HasUnsavedChanges());
}

TEST_F(MainWindowTest, TagsCopiedInTheTableArePastedWithFreeAddresses) {
  ImportSample();
  window.Select(Group());
  ui()->tableView->selectRow(0);
  window.tag_copy_action_triggered();
  window.tag_paste_action_triggered();
  EXPECT_EQ(Group()->Children().size(), 4u);
  EXPECT_EQ(window.TagModel()->rowCount(), 4);
  ui()->tableView->selectRow(3);
  window.tag_delete_action_triggered();
  EXPECT_EQ(Group()->Children().size(), 3u);
  EXPECT_EQ(prompts.questions.last(), "выбранные теги");
}

TEST_F(MainWindowTest, ASaveThatWouldNotLoadIsRefusedAndTheOldFileKept) {
  ImportSample();
  const QString cfg = dir.filePath("kept.cfg");
  prompts.fileName = cfg;
  window.on_save_action_triggered();
  const QByteArray good = FileBytes(cfg);
  ASSERT_FALSE(good.isEmpty());

  // A factor of 0 reached the model some other way than a dialog.
  auto* tag = static_cast<CDATagInfo*>(Group()->Children().begin()->second.get());
  tag->m_Data.SetTransformKind(kTransformFactor);
  std::get<CTransform_FactorData>(tag->m_Data.m_Transform).m_Factor = 0;
  prompts.messages.clear();
  window.on_save_action_triggered();
  ASSERT_EQ(prompts.messages.size(), 1);
  EXPECT_TRUE(prompts.messages[0].startsWith("Внимание: Конфигурация не сохранена: файл не открылся бы снова."));
  EXPECT_TRUE(prompts.messages[0].contains("Строка")) << prompts.messages[0].toStdString();
  EXPECT_EQ(FileBytes(cfg), good);
}

TEST_F(MainWindowTest, SavingWorksAsOnAnyDesktop) {
  ImportSample();
  EXPECT_EQ(window.windowTitle(), "sample.csv[*] — OPC-UA сервер протоколов Modbus");
  // Ctrl+S asks while there is no .cfg yet (an imported CSV is not the file
  // it writes), in the folder of the current file, and adds the extension.
  window.Select(Channel());
  prompts.fileName = dir.filePath("plant");
  ui()->save_action->trigger();
  EXPECT_EQ(prompts.folders, QStringList{dir.path()});
  const QString cfg = dir.filePath("plant.cfg");
  EXPECT_FALSE(FileBytes(cfg).isEmpty());
  EXPECT_EQ(window.ConfigPath(), cfg);
  EXPECT_EQ(window.windowTitle(), "plant.cfg[*] — OPC-UA сервер протоколов Modbus");
  EXPECT_FALSE(window.isWindowModified());
  EXPECT_EQ(window.statusBar()->currentMessage(), "Конфигурация сохранена: " + QDir::toNativeSeparators(cfg));

  // Then it writes there without asking; the mark follows the changes.
  window.Select(&window.Root());
  OnNextDialog([](QDialog*) { return true; });
  ui()->add_channel_action->trigger();
  EXPECT_TRUE(window.isWindowModified());
  prompts.fileName = dir.filePath("elsewhere.cfg");
  ui()->save_action->trigger();
  EXPECT_EQ(prompts.folders.size(), 1) << "no second question";
  EXPECT_FALSE(window.isWindowModified());
  EXPECT_TRUE(FileBytes(cfg).size() > 0 && !QFile::exists(dir.filePath("elsewhere.cfg")));
  ui()->save_as_action->trigger();
  EXPECT_EQ(prompts.folders.size(), 2);
  EXPECT_EQ(window.ConfigPath(), dir.filePath("elsewhere.cfg"));
  EXPECT_EQ(ui()->save_as_action->shortcut(), QKeySequence("Ctrl+Shift+S"));
  EXPECT_EQ(ui()->copy_action->shortcut(), QKeySequence::Copy) << "the edit menu shows the key";
}

TEST_F(MainWindowTest, DoubleClickOnATreeItemOpensItsDialog) {
  ImportSample();
  QString title;
  OnNextDialog([&](QDialog* dialog) {
    title = dialog->windowTitle();
    return false;
  });
  QTreeWidgetItem* device = window.TreeItemOf(Device());
  ASSERT_NE(device, nullptr);
  window.Select(Device());
  emit ui()->treeWidget->itemDoubleClicked(device, 0);
  EXPECT_EQ(title, "Настройка устройства");
}

TEST_F(MainWindowTest, ClosingAsksToSaveUnsavedChanges) {
  OnNextDialog([](QDialog*) { return true; });
  ui()->add_channel_action->trigger();
  prompts.answer = QMessageBox::Cancel;
  EXPECT_FALSE(window.close());
  prompts.answer = QMessageBox::No;
  EXPECT_TRUE(window.close());
  EXPECT_EQ(prompts.questions, (QStringList{"Хотите сохранить изменения настроек?",
                                            "Хотите сохранить изменения настроек?"}));
}

TEST_F(MainWindowTest, DuplicateComPortInTheFileIsShownAndNothingHalfLoaded) {
  CTreeItemRoot root;
  BuildSample(root);
  auto* tcp = static_cast<CChannelInfo*>(root.FindChild(std::string("Channel_2")));
  tcp->m_Data.SetChannelType(kChannelCom);  // COM port 1, as Channel_1
  const QString path = dir.filePath("duplicate.csv");
  ASSERT_EQ(WriteConfiguration(root, path.toStdString(), true), kWriteOk);
  prompts.fileName = path;
  ui()->action_import_conf->trigger();
  ASSERT_EQ(prompts.messages.size(), 2);
  EXPECT_EQ(prompts.messages[0], "Внимание: Обнаружено дублирование COM порта");
  EXPECT_EQ(prompts.messages[1], "Внимание: Ошибка заполнения дерева, неверный формат файла.\n\n"
                                 "Обнаружено дублирование COM порта");
  EXPECT_TRUE(window.Root().Children().empty());
  EXPECT_EQ(window.TreeItemCount(), 1);
}

TEST_F(MainWindowTest, ServerCallsFollowLocalEditsAndAFailedAddLeavesNothing) {
  ImportSample();
  RecordingServer server;
  window.SetServerCalls(&server);
  server.failing = "addNode";
  window.Select(&window.Root());
  OnNextDialog([](QDialog*) { return true; });
  ui()->add_channel_action->trigger();
  EXPECT_EQ(window.Root().Children().size(), 2u);
  EXPECT_EQ(window.TreeItemCount(), 6);
  EXPECT_EQ(prompts.messages.last(),
            "Внимание: Добавление канала завершилось неудачно, на сервере произошла ошибка");
  ASSERT_EQ(server.calls.size(), 1);
  EXPECT_TRUE(server.calls[0].startsWith("addNode Каналы;1;Channel_3;0;500;3;0;0;"));

  // A refused deletion removes nothing; an accepted one is sent by path.
  server.failing = "deleteNode";
  window.Select(Device());
  ui()->delete_action->trigger();
  EXPECT_NE(Device(), nullptr);
  server.failing.clear();
  window.Select(Group());
  OnNextDialog([](QDialog*) { return true; });
  ui()->edit_action->trigger();
  ui()->delete_action->trigger();
  EXPECT_EQ(server.calls.mid(1), (QStringList{"deleteNode Channel_1.Device_1",
                                              "editNode Channel_1.Device_1.Group_1;3;Group_1;50;0",
                                              "deleteNode Channel_1.Device_1.Group_1"}));
  EXPECT_EQ(Device()->Children().size(), 1u);
  window.SetServerCalls(nullptr);
}
