#include "app/mainwindow.h"

#include <QCloseEvent>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QMenu>
#include <QSplitter>
#include <QThread>

#include "app/app_log.h"
#include "app/prompts.h"
#include "dialogs/aboutdialog.h"
#include "dialogs/helpwindow.h"
#include "dialogs/items/channelsetupdialog.h"
#include "dialogs/items/devicesetupdialog.h"
#include "dialogs/items/groupsetupdialog.h"
#include "dialogs/items/item_dialogs.h"
#include "dialogs/items/tagsetupdialog.h"
#include "dialogs/progressbar.h"
#include "dialogs/security/createcertificates.h"
#include "dialogs/security/dialogaddusers.h"
#include "model/config_file.h"
#include "model/tag_series.h"
#include "model/tree_edit.h"
#include "opcua/opcua_wrapper.h"
#include "opcua/searchopcuaserver.h"
#include "ui_mainwindow.h"
#include "views/tablemodelmonitoring.h"
#include "views/tablemodelvariable.h"
#include "views/trendview.h"

using namespace virk;

namespace {

const char kCfgFilter[] = "Конфигурация OPC UA сервера MODBUS (*.cfg);;Все файлы (*.*)";
const char kCsvFilter[] = "Конфигурация OPC UA сервера MODBUS (*.csv);;Все файлы (*.*)";
const char kImageDir[] = ":/res/images/res/";
const char kNotRunning[] = "Сервер не запущен";
const char kAppTitle[] = "OPC-UA сервер протоколов Modbus";
// Long enough to read a path.
constexpr int kStatusMessageMs = 6000;

QIcon Icon(const char* file) { return QIcon(QString(kImageDir) + file); }

const char* IconOfKind(int32_t kind) {
  switch (kind) {
    case kKindChannel: return "channel.png";
    case kKindDevice: return "device.png";
    case kKindGroup: return "group.png";
    default: return "channels.png";
  }
}

// Messages of the add and edit operations, by kind (channel, device, group).
struct KindTexts {
  const char* addFailed;
  const char* addDuplicate;
  const char* addServer;
  const char* editDuplicate;
  const char* editFailed;
  const char* deleteWhat;
};

const KindTexts& TextsOf(int32_t kind) {
  static const KindTexts kChannel = {
      "Добавление канала завершилось неудачно, не удалось добавить дочерний элемент",
      "Добавление канала завершилось неудачно, обнаружен дубликат",
      "Добавление канала завершилось неудачно, на сервере произошла ошибка",
      "Изменения канала завершилось неудачно, обнаружен дубликат",
      "Изменения канала завершилось неудачно", "выбранный канал"};
  static const KindTexts kDevice = {
      "Добавление устройства завершилось неудачно, не удалось добавить дочерний элемент в канал",
      "Добавление устройства завершилось неудачно, обнаружен дубликат",
      "Добавление устройства завершилось неудачно, на сервере произошла ошибка",
      "Изменения устройства завершилось неудачно, обнаружен дубликат",
      "Изменения устройства завершилось неудачно", "выбранное устройство"};
  static const KindTexts kGroup = {
      "Добавление группы завершилось неудачно, не удалось добавить дочерний элемент в устройство",
      "Добавление группы завершилось неудачно, обнаружен дубликат",
      "Добавление группы завершилось неудачно, на сервере произошла ошибка",
      "Изменения группы завершилось неудачно, обнаружен дубликат",
      "Изменения группы завершилось неудачно", "выбранную группу"};
  return kind == kKindChannel ? kChannel : kind == kKindDevice ? kDevice : kGroup;
}

// The setting two siblings may not share, in words.
QString SharedSetting(const CItem& item) {
  if (const auto* channel = dynamic_cast<const CChannelInfo*>(&item)) {
    if (const auto* com = channel->m_Data.Com()) return QString("COM-порт %1").arg(com->m_PortNumber);
    return "IP адрес и TCP порт";
  }
  if (const auto* device = dynamic_cast<const CDeviceInfo*>(&item))
    return QString("адрес %1").arg(device->m_Data.m_Addr);
  return "регистр";
}

// A failure text of the window with what clashed: the taken name, or the
// sibling that has the same settings.
QString ClashText(const char* failure, const Clash& clash, const CItem& item) {
  const QString sibling = QString::fromStdString(clash.sibling);
  if (clash.kind == Clash::Name) return QString("%1: имя «%2» уже занято.").arg(failure, sibling);
  return QString("%1: %2 уже у «%3».").arg(failure, SharedSetting(item), sibling);
}

}  // namespace

MainWindow::MainWindow(QWidget* parent)
    : QMainWindow(parent), ui(new Ui::MainWindow),
      m_tagModel(new TableModelVariable(this)),
      m_monitorModel(new TableModelMonitoring(this)),
      m_statusLabel(new QLabel(this)),
      m_trend(new TrendView(this)) {
  ui->setupUi(this);
  ui->splitter->setStretchFactor(0, 0);
  ui->splitter->setStretchFactor(1, 1);
  ui->splitter->setSizes({260, 640});
  ui->tableView->setModel(m_tagModel);
  ui->tableView_2->setModel(m_monitorModel);
  ui->tableView_2->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
  // The monitoring tab: the table above, the trend of its selected rows below.
  auto* monitoringSplitter = new QSplitter(Qt::Vertical, ui->tab_3);
  ui->tab_3->layout()->replaceWidget(ui->tableView_2, monitoringSplitter);
  monitoringSplitter->addWidget(ui->tableView_2);
  monitoringSplitter->addWidget(m_trend);
  monitoringSplitter->setSizes({300, 260});
  connect(ui->tableView_2->selectionModel(), &QItemSelectionModel::selectionChanged, this,
          &MainWindow::TrackSelectedTags);
  statusBar()->addWidget(m_statusLabel);
  m_statusLabel->setText(kNotRunning);

  connect(&m_runner, &ServerRunner::signalEndedByItself, this, &MainWindow::slotServerEnded);

  // Copy, paste and delete keys of the tree: the menu's own actions, so the
  // menu shows the keys, active while the tree has the focus (a line being
  // edited keeps its own Ctrl+C).
  const std::pair<QAction*, QKeySequence> treeKeys[] = {{ui->copy_action, QKeySequence::Copy},
                                                        {ui->paste_action, QKeySequence::Paste},
                                                        {ui->delete_action, QKeySequence::Delete}};
  for (const auto& [action, key] : treeKeys) {
    action->setShortcut(key);
    action->setShortcutContext(Qt::WidgetShortcut);
    ui->treeWidget->addAction(action);
  }
  // A double click opens the item's dialog rather than folding the branch behind it.
  ui->treeWidget->setExpandsOnDoubleClick(false);
  connect(ui->treeWidget, &QTreeWidget::itemDoubleClicked, this,
          [this](QTreeWidgetItem* treeItem) { EditItem(ItemOf(treeItem)); });
  // The tree keeps room for its names however the splitter is dragged.
  ui->treeWidget->setMinimumWidth(180);
  ui->splitter->setChildrenCollapsible(false);

  connect(ui->tableView, &QWidget::customContextMenuRequested, this,
          &MainWindow::tableWidget_2_customContextMenuRequested);
  connect(ui->tableWidget, &QTableWidget::cellDoubleClicked, this,
          &MainWindow::slotEditItemTableDoubleClick);
  connect(ui->tableView, &QTableView::doubleClicked, this, &MainWindow::slotEditTagTableDoubleClick);
  connect(this, &MainWindow::signalTagAdd, this, &MainWindow::slotTagAdd, Qt::QueuedConnection);
  connect(this, &MainWindow::signalDuplicateWarning, this,
          [this](const QString& text) { Warn(text); }, Qt::QueuedConnection);
  connect(&m_monitoringTimer, &QTimer::timeout, m_monitorModel, &TableModelMonitoring::Refresh);
  connect(&m_monitoringTimer, &QTimer::timeout, m_trend, &TrendView::Refresh);

  RebuildTree();
  Select(&m_root);  // shows the root's properties and applies its enabling rules
  ui->tabWidget->setCurrentIndex(0);
  ui->tabWidget->setTabEnabled(1, false);
  ui->tabWidget->setTabEnabled(2, false);
  UpdateTitle();
}

OPCUAWrapper& MainWindow::Wrapper() {
  if (!m_wrapper) {
    m_wrapper = std::make_unique<OPCUAWrapper>();
    connect(m_wrapper.get(), &OPCUAWrapper::signalErrorConnect, this, &MainWindow::slotConnectionLost);
    // Notifications come from the client loop's thread.
    connect(m_wrapper.get(), &OPCUAWrapper::signalDataChange, this, &MainWindow::slotDataChange,
            Qt::QueuedConnection);
  }
  return *m_wrapper;
}

QString MainWindow::StatusText() const { return m_statusLabel->text(); }

MainWindow::~MainWindow() {
  // The connection goes before the server it is connected to.
  m_wrapper.reset();
  m_runner.Stop();
  delete ui;
}

void MainWindow::Warn(const QString& text, const QString& title) {
  CurrentPrompts().Warning(this, title, text);
  LogWarning(text);
}

// ---------------------------------------------------------------- tree widget

QTreeWidgetItem* MainWindow::AddTreeItem(QTreeWidgetItem* parent, CItem* item) {
  auto* treeItem = new QTreeWidgetItem(kTreeRoot + item->Kind());
  treeItem->setText(0, item->Kind() == kKindRoot ? QString("Каналы") : ItemName(*item));
  treeItem->setIcon(0, Icon(IconOfKind(item->Kind())));
  if (parent)
    parent->addChild(treeItem);
  else
    ui->treeWidget->addTopLevelItem(treeItem);
  m_items.insert(treeItem, item);
  return treeItem;
}

void MainWindow::AddSubtree(QTreeWidgetItem* parent, CItem* item) {
  QTreeWidgetItem* treeItem = AddTreeItem(parent, item);
  if (item->Kind() >= kKindGroup) return;  // tags live in the tag table
  for (const auto& [name, child] : item->Children()) AddSubtree(treeItem, child.get());
}

void MainWindow::RebuildTree() {
  m_tagModel->SetGroup(QString(), nullptr);
  m_monitorModel->SetGroup(QString(), nullptr);
  const QSignalBlocker block(ui->treeWidget);
  ui->treeWidget->clear();
  m_items.clear();
  QTreeWidgetItem* rootItem = AddTreeItem(nullptr, &m_root);
  for (const auto& [name, channel] : m_root.Children()) AddSubtree(rootItem, channel.get());
  rootItem->setExpanded(true);
}

void MainWindow::RemoveTreeItem(QTreeWidgetItem* treeItem) {
  for (int i = 0; i < treeItem->childCount(); ++i) RemoveTreeItem(treeItem->child(i));
  m_items.remove(treeItem);
}

QTreeWidgetItem* MainWindow::TreeItemOf(const CItem* item) const {
  for (auto it = m_items.cbegin(); it != m_items.cend(); ++it)
    if (it.value() == item) return it.key();
  return nullptr;
}

void MainWindow::Select(const CItem* item) {
  if (QTreeWidgetItem* treeItem = TreeItemOf(item)) {
    ui->treeWidget->clearSelection();
    ui->treeWidget->setCurrentItem(treeItem);
    treeItem->setSelected(true);
  }
}

QTreeWidgetItem* MainWindow::SelectedTreeItem() const {
  const QList<QTreeWidgetItem*> selected = ui->treeWidget->selectedItems();
  return selected.isEmpty() ? nullptr : selected.first();
}

CItem* MainWindow::SelectedItem() const { return ItemOf(SelectedTreeItem()); }

// ------------------------------------------------------ selection and enabling

void MainWindow::ShowProperties(const CItem& item) {
  PropertyRows rows;
  if (const CInfo* info = InfoOf(&item)) {
    rows = info->Properties();
  } else {
    rows = {{"Файл конфигурации", m_configPath},
            {"Количество каналов", QString::number(m_root.Children().size())}};
  }
  QTableWidget* table = ui->tableWidget;
  table->clearContents();
  table->setRowCount(int(rows.size()));
  for (int r = 0; r < rows.size(); ++r) {
    for (int c = 0; c < 2; ++c) {
      auto* cell = new QTableWidgetItem(c == 0 ? rows[r].name : rows[r].value);
      cell->setFlags(Qt::ItemIsSelectable | Qt::ItemIsEnabled);
      table->setItem(r, c, cell);
    }
  }
  table->horizontalHeader()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
  table->horizontalHeader()->setSectionResizeMode(1, QHeaderView::Stretch);
  table->verticalHeader()->hide();
}

void MainWindow::ShowGroupTags(CItem* group) {
  const QString path = group ? ItemPath(*group) : QString();
  m_tagModel->SetGroup(path, group);
  m_monitorModel->SetGroup(path, group);
  TrackSelectedTags();
  if (group) {
    ui->tableView->resizeColumnsToContents();
    ui->tableView_2->resizeColumnsToContents();
  }
}

void MainWindow::on_treeWidget_itemSelectionChanged() {
  QTreeWidgetItem* treeItem = SelectedTreeItem();
  CItem* item = ItemOf(treeItem);
  if (!item) return;
  if (item->Kind() != kKindRoot) m_itemSelectedSinceStart = true;
  ShowProperties(*item);
  const bool group = item->Kind() == kKindGroup;
  ShowGroupTags(group ? item : nullptr);
  if (!group) ui->tabWidget->setCurrentIndex(0);
  ui->tabWidget->setTabEnabled(1, group);
  ui->tabWidget->setTabEnabled(2, group);
  EnableActions(treeItem->type());
}

void MainWindow::ApplyEnablingRules() {
  QTreeWidgetItem* treeItem = SelectedTreeItem();
  EnableActions(treeItem ? treeItem->type() : int(kTreeRoot));
}

void MainWindow::SetMonitoringActive(bool active) {
  m_monitoring = active;
  ui->monitoring_action->setIcon(Icon(active ? "monitoring_on.png" : "monitoring_off.png"));
  ApplyEnablingRules();
}

void MainWindow::EnableActions(int type) {
  const bool channelOrBelow = type >= kTreeChannel;
  const bool deviceOrBelow = type >= kTreeDevice;
  const bool group = type == kTreeGroup;
  const bool on = !m_monitoring;
  for (QAction* a : {ui->open_action, ui->action_import_conf, ui->action_export_conf})
    a->setEnabled(on);
  ui->save_action->setEnabled(on && m_configOpen && (channelOrBelow || m_itemSelectedSinceStart));
  ui->add_channel_action->setEnabled(on);
  ui->add_device_action->setEnabled(on && channelOrBelow);
  ui->add_group_action->setEnabled(on && deviceOrBelow);
  ui->add_tag_action->setEnabled(on && group);
  ui->edit_action->setEnabled(on && deviceOrBelow);
  for (QAction* a : {ui->delete_action, ui->copy_action, ui->paste_action})
    a->setEnabled(on && channelOrBelow);
  ui->monitoring_action->setEnabled(m_monitoring || group);
}

// ------------------------------------------------------------ long operations

int MainWindow::RunWithProgress(const std::function<void()>& work) {
  ProgressBar bar(this);
  connect(this, &MainWindow::signalSetLabelProgressBar, &bar,
          &ProgressBar::slotSetLabelProgressBar, Qt::QueuedConnection);
  connect(this, &MainWindow::signalCloseProgressBar, &bar, &ProgressBar::slotCloseProgressBar,
          Qt::QueuedConnection);
  std::unique_ptr<QThread> worker(QThread::create(work));
  worker->start();
  const int code = bar.exec();
  worker->wait();
  return code;
}

void MainWindow::OpenConfiguration(bool import) {
  const QString path = CurrentPrompts().OpenFileName(this, "Открыть файл", QDir::currentPath(),
                                                     import ? kCsvFilter : kCfgFilter);
  if (!path.isEmpty()) LoadConfigurationFrom(path, import);
}

bool MainWindow::LoadConfigurationFrom(const QString& path, bool import) {
  m_configPath = path;
  // The views hold pointers into the tree the load replaces.
  m_tagModel->SetGroup(QString(), nullptr);
  m_monitorModel->SetGroup(QString(), nullptr);
  bool loaded = false;
  QStringList errors;
  RunWithProgress([&] {
    emit signalSetLabelProgressBar("Выполняется открытие конфигурации, пожалуйста, подождите...");
    loaded = LoadConfiguration(m_root, path, import,
                               [this](const QString& text) { emit signalDuplicateWarning(text); }, &errors);
    if (!loaded) {
      // A rejected file leaves an empty configuration, never half of one.
      while (!m_root.Children().empty()) m_root.RemoveChild(m_root.Children().begin()->first);
      LogWarning("Ошибка заполнения дерева, неверный формат файла");
    }
    emit signalCloseProgressBar(0);
  });
  if (!loaded)
    Warn(ProgressBar::MessageForCode(7) + "\n\n" + errors.join("\n"));
  RebuildTree();
  m_configOpen = loaded;
  SetUnsaved(loaded ? false : m_unsaved);
  Select(&m_root);
  on_treeWidget_itemSelectionChanged();
  return loaded;
}

bool MainWindow::Save() {
  const bool ownFile = m_configPath.endsWith(".cfg", Qt::CaseInsensitive) && m_configOpen;
  return ownFile ? WriteConfigurationTo(m_configPath, false) : SaveConfigurationAs(false);
}

bool MainWindow::SaveConfigurationAs(bool exportPlain) {
  const QString folder = m_configPath.isEmpty() ? QDir::homePath() : QFileInfo(m_configPath).absolutePath();
  QString path = CurrentPrompts().SaveFileName(this, "Сохранить файл", folder,
                                               exportPlain ? kCsvFilter : kCfgFilter);
  if (path.isEmpty()) return false;
  if (QFileInfo(path).suffix().isEmpty()) path += exportPlain ? ".csv" : ".cfg";
  return WriteConfigurationTo(path, exportPlain);
}

bool MainWindow::WriteConfigurationTo(const QString& path, bool exportPlain) {
  QStringList problem;
  int code = 0;
  RunWithProgress([&] {
    emit signalSetLabelProgressBar("Выполняется сохранение конфигурации, пожалуйста, подождите...");
    code = SaveConfiguration(m_root, path, exportPlain, &problem);
    if (code != 0) LogWarning("Не удалось сохранить файл конфигурации");
    emit signalCloseProgressBar(0);
  });
  if (code == 14)
    Warn("Конфигурация не сохранена: файл не открылся бы снова.\n\n" + problem.join("\n"));
  else if (code != 0)
    Warn(ProgressBar::MessageForCode(code));
  if (code != 0) return false;
  if (!exportPlain) {
    m_configPath = path;
    m_root.m_FilePath = path.toStdString();
    SetUnsaved(false);
  }
  statusBar()->showMessage(QString(exportPlain ? "Конфигурация экспортирована: %1" : "Конфигурация сохранена: %1")
                               .arg(QDir::toNativeSeparators(path)),
                           kStatusMessageMs);
  return true;
}

void MainWindow::SetUnsaved(bool unsaved) {
  m_unsaved = unsaved;
  UpdateTitle();
}

void MainWindow::UpdateTitle() {
  const QString file = m_configOpen && !m_configPath.isEmpty() ? QFileInfo(m_configPath).fileName()
                                                               : QString("Новая конфигурация");
  setWindowTitle(QString("%1[*] — %2").arg(file, kAppTitle));
  setWindowModified(m_unsaved);
}

void MainWindow::on_open_action_triggered() { OpenConfiguration(false); }
void MainWindow::on_action_import_conf_triggered() { OpenConfiguration(true); }
void MainWindow::on_save_action_triggered() { Save(); }
void MainWindow::on_save_as_action_triggered() { SaveConfigurationAs(false); }
void MainWindow::on_action_export_conf_triggered() { SaveConfigurationAs(true); }

// -------------------------------------------------------- dialog result slots

void MainWindow::AppendArguments(QStringList& list, const QStringList& info, bool flagSaveEnable) {
  list += info;
  SetUnsaved(flagSaveEnable);
}

void MainWindow::slotInfoChannel(QStringList info, bool flag) { AppendArguments(m_channelArgs, info, flag); }
void MainWindow::slotInfoDevice(QStringList info, bool flag) { AppendArguments(m_deviceArgs, info, flag); }
void MainWindow::slotInfoGroup(QStringList info, bool flag) { AppendArguments(m_groupArgs, info, flag); }
void MainWindow::slotInfoTag(QStringList info, bool flag) { AppendArguments(m_tagArgs, info, flag); }
void MainWindow::slotInfoCountTag(int count) { m_countTag = std::max(1, count); }

void MainWindow::slotDisconnect() { ShowConnection({}); }

void MainWindow::slotConnectionLost() {
  // While the search dialog is open it shows every failure itself, and the
  // window takes the outcome when it closes.
  if (m_searching || !ConnectedThroughWrapper() || m_wrapper->IsConnected()) return;
  EndMonitoring(false);
  ShowConnection({});
  Warn("Соединение с сервером потеряно, изменения вносятся только в конфигурацию");
}

bool MainWindow::ConnectedThroughWrapper() const { return m_wrapper && m_server == m_wrapper.get(); }

void MainWindow::ShowConnection(const QString& url) {
  m_server = url.isEmpty() ? nullptr : m_wrapper.get();
  m_statusLabel->setText(url.isEmpty() ? QString(kNotRunning) : QString(" Подключены к серверу (%1).").arg(url));
}

void MainWindow::on_action_triggered() {
  SearchOPCUAServer dialog(ConnectedThroughWrapper(), this, m_servers, m_endpoints, &Wrapper());
  connect(&dialog, &SearchOPCUAServer::signalDisconnect, this, &MainWindow::slotDisconnect);
  m_searching = true;
  dialog.exec();
  m_searching = false;
  m_servers = dialog.Servers();
  m_endpoints = dialog.Endpoints();
  ShowConnection(dialog.Connected() ? dialog.ServerUrl() : QString());
}

QList<CItem*> MainWindow::RefusedByServer(const QList<CItem*>& items,
                                          const std::function<bool(ServerCalls&, CItem*)>& call) {
  QList<CItem*> refused;
  if (m_server && !items.isEmpty())
    CallServer([&](ServerCalls& server) {
      for (CItem* item : items)
        if (!call(server, item)) refused << item;
      return refused.isEmpty();
    });
  return refused;
}

bool MainWindow::CallServer(const std::function<bool(ServerCalls&)>& calls) {
  ServerCalls* server = m_server;
  return RunBehindProgressBar(this, "Выполняется обращение к серверу, пожалуйста, подождите...",
                              [&] { return calls(*server) ? 1 : 0; }) == 1;
}

// ------------------------------------------------------------- tree editing

bool MainWindow::RunItemDialog(CItem* item, bool adding) {
  std::unique_ptr<QDialog> dialog = CreateItemDialog(item, this);
  if (!dialog) return false;
  if (auto* d = qobject_cast<ChannelSetupDialog*>(dialog.get()))
    connect(d, &ChannelSetupDialog::signalInfoChannel, this, &MainWindow::slotInfoChannel);
  if (auto* d = qobject_cast<DeviceSetupDialog*>(dialog.get()))
    connect(d, &DeviceSetupDialog::signalInfoDevice, this, &MainWindow::slotInfoDevice);
  if (auto* d = qobject_cast<GroupSetupDialog*>(dialog.get()))
    connect(d, &GroupSetupDialog::signalInfoGroup, this, &MainWindow::slotInfoGroup);
  if (auto* d = qobject_cast<TagSetupDialog*>(dialog.get())) {
    d->SetCountEnabled(adding);
    connect(d, &TagSetupDialog::signalInfoTag, this, &MainWindow::slotInfoTag);
    connect(d, &TagSetupDialog::signalInfoCountTag, this, &MainWindow::slotInfoCountTag);
  }
  return dialog->exec() == QDialog::Accepted;
}

bool MainWindow::RunUntilItFits(CItem& parent, CItem* edited, CItem& item, QStringList& args,
                                const QStringList& leading, const char* nameTaken,
                                const char* duplicate) {
  // The dialog opens again on what was typed until it fits among the siblings
  // or the operator cancels.
  for (;;) {
    args = leading;
    if (!RunItemDialog(&item, !edited)) {
      args.clear();
      return false;
    }
    const Clash clash = FindClash(parent, item, edited);
    // Tags may share registers; only their names must differ.
    if (clash.kind == Clash::None || (clash.kind == Clash::Duplicate && item.Kind() == kKindTag))
      return true;
    Warn(ClashText(clash.kind == Clash::Name ? nameTaken : duplicate, clash, item));
  }
}

void MainWindow::AddChild(int32_t kind) {
  CItem* parent = kind == kKindChannel ? &m_root : AncestorOfKind(SelectedItem(), kind - 1);
  if (!parent) return;
  QStringList& args = kind == kKindChannel ? m_channelArgs
                      : kind == kKindDevice ? m_deviceArgs
                                            : m_groupArgs;
  const KindTexts& texts = TextsOf(kind);
  ItemPtr item = kind == kKindChannel  ? NewChannel(m_root)
                 : kind == kKindDevice ? NewDevice(*parent)
                                       : NewItem(*parent, kind);
  const QStringList leading = {kind == kKindChannel ? QString("Каналы") : ItemPath(*parent),
                               QString::number(kind)};
  if (!RunUntilItFits(*parent, nullptr, *item, args, leading, texts.addFailed, texts.addDuplicate))
    return;
  CItem* added = item.get();
  if (!parent->AddChild(std::move(item))) {
    Warn(texts.addFailed);
    added = nullptr;
  } else if (m_server && !CallServer([&](ServerCalls& server) { return server.AddNode(args); })) {
    Warn(texts.addServer);
    parent->RemoveChild(added->Name());
    added = nullptr;
  } else if (m_server) {
    SetUnsaved(true);
  }
  args.clear();
  if (!added) return;
  QTreeWidgetItem* parentItem = TreeItemOf(parent);
  AddTreeItem(parentItem, added);
  parentItem->setExpanded(true);
  if (kind == kKindChannel) m_configOpen = true;
  Select(added);
}

void MainWindow::on_add_channel_action_triggered() { AddChild(kKindChannel); }
void MainWindow::on_add_device_action_triggered() { AddChild(kKindDevice); }
void MainWindow::on_add_group_action_triggered() { AddChild(kKindGroup); }

void MainWindow::on_add_tag_action_triggered() {
  CItem* group = SelectedItem();
  if (!group || group->Kind() != kKindGroup) return;
  ItemPtr tag = NewItem(*group, kKindTag);
  m_countTag = 1;
  if (!RunUntilItFits(*group, nullptr, *tag, m_tagArgs, {ItemPath(*group), "4"},
                      "Добавление тега завершилось неудачно, не удалось добавить дочерний элемент в группу",
                      nullptr))
    return;
  const QStringList args = m_tagArgs;
  const int count = m_countTag;
  m_tagArgs.clear();
  // The table shows the group while the worker adds to it; its rows are
  // announced once the worker is done.
  m_tagModel->SetGroup(QString(), nullptr);
  m_monitorModel->SetGroup(QString(), nullptr);
  bool serverChanged = false;
  RunWithProgress([&] {
    emit signalSetLabelProgressBar("Выполняется добавление тегов, пожалуйста, подождите...");
    const TagSeriesOutcome outcome = AddTagSeries(*group, std::move(tag), args, count, m_server);
    serverChanged = outcome.serverChanged;
    emit signalTagAdd(count, outcome.code);
  });
  if (serverChanged) SetUnsaved(true);
}

void MainWindow::slotTagAdd(int, int code) {
  on_treeWidget_itemSelectionChanged();
  ui->tabWidget->setCurrentIndex(1);
  emit signalCloseProgressBar(code);
}

void MainWindow::EditItem(CItem* item) {
  if (!item || item->Kind() == kKindRoot || m_monitoring) return;
  const int32_t kind = item->Kind();
  const KindTexts& texts = TextsOf(kind);
  QStringList& args = kind == kKindChannel ? m_channelArgs
                      : kind == kKindDevice ? m_deviceArgs
                                            : m_groupArgs;
  // The dialog edits a copy; the item changes only once the edit fits.
  const ItemPtr edited = SettingsCopy(*item);
  if (!RunUntilItFits(*item->Parent(), item, *edited, args, {ItemPath(*item), QString::number(kind)},
                      texts.editDuplicate, texts.editDuplicate))
    return;
  const ItemPtr before = SettingsCopy(*item);
  CopySettings(*item, *edited);
  if (m_server) {
    const bool channel = kind == kKindChannel;
    const bool ok = CallServer([&](ServerCalls& server) {
      bool done = !channel || server.StopExchange();
      done = done && server.EditNode(args);
      return (!channel || server.StartExchange()) && done;
    });
    if (!ok) {
      // The server keeps its settings; so does the window, or the two differ unseen.
      CopySettings(*item, *before);
      Warn(texts.editFailed);
    }
  }
  SetUnsaved(true);
  args.clear();
  if (QTreeWidgetItem* treeItem = TreeItemOf(item)) treeItem->setText(0, ItemName(*item));
  on_treeWidget_itemSelectionChanged();
}

void MainWindow::on_edit_action_triggered() { EditItem(SelectedItem()); }
void MainWindow::slotEditItemTableDoubleClick() { EditItem(SelectedItem()); }

void MainWindow::on_delete_action_triggered() {
  QTreeWidgetItem* treeItem = SelectedTreeItem();
  CItem* item = ItemOf(treeItem);
  if (!item || item->Kind() == kKindRoot || m_monitoring) return;
  if (!CurrentPrompts().ConfirmDelete(this, TextsOf(item->Kind()).deleteWhat)) return;
  if (m_server && !CallServer([&](ServerCalls& server) { return server.DeleteNode({ItemPath(*item)}); })) {
    Warn("Удаление ноды завершилось неудачно");
    return;
  }
  m_tagModel->SetGroup(QString(), nullptr);
  m_monitorModel->SetGroup(QString(), nullptr);
  CItem* parent = item->Parent();
  QTreeWidgetItem* parentItem = treeItem->parent();
  RemoveTreeItem(treeItem);
  delete treeItem;
  parent->RemoveChild(item->Name());
  SetUnsaved(true);
  Select(ItemOf(parentItem));
}

void MainWindow::on_copy_action_triggered() {
  CItem* item = SelectedItem();
  if (!item || item->Kind() == kKindRoot || m_monitoring) return;
  m_clipboard.clear();
  if (ItemPtr copy = item->DeepCopy(ItemFactory())) m_clipboard.push_back(std::move(copy));
}

void MainWindow::on_paste_action_triggered() {
  if (m_clipboard.empty() || m_monitoring) return;
  CItem* parent = AncestorOfKind(SelectedItem(), m_clipboard.front()->Kind() - 1);
  if (!parent || parent->Kind() == kKindGroup) return;  // tags are pasted in the tag table
  CItem* pasted = nullptr;
  for (const ItemPtr& source : m_clipboard)
    if ((pasted = PasteCopy(*parent, *source, int(m_clipboard.size()))))
      AddSubtree(TreeItemOf(parent), pasted);
  if (!pasted) return;
  SetUnsaved(true);
  TreeItemOf(parent)->setExpanded(true);
  Select(pasted);
}

// ---------------------------------------------------------------- tag table

QList<CItem*> MainWindow::SelectedTags() const {
  QList<CItem*> tags;
  for (const QModelIndex& index : ui->tableView->selectionModel()->selectedRows())
    if (CItem* tag = m_tagModel->TagAt(index.row())) tags.push_back(tag);
  return tags;
}

void MainWindow::RefreshTags() { on_treeWidget_itemSelectionChanged(); }

void MainWindow::tag_edit_action_triggered() {
  CItem* group = SelectedItem();
  const QList<CItem*> tags = SelectedTags();
  if (!group || group->Kind() != kKindGroup || tags.isEmpty() || m_monitoring) return;
  CItem* tag = tags.first();
  const ItemPtr edited = SettingsCopy(*tag);
  if (!RunUntilItFits(*group, tag, *edited, m_tagArgs, {QString::fromStdString(tag->FullName()), "4"},
                      "Изменение тега завершилось неудачно", nullptr))
    return;
  const ItemPtr before = SettingsCopy(*tag);
  CopySettings(*tag, *edited);
  SetUnsaved(true);
  if (m_server && !CallServer([this](ServerCalls& server) { return server.EditNode(m_tagArgs); })) {
    CopySettings(*tag, *before);
    Warn("Изменение тега завершилось неудачно");
  }
  RefreshTags();
  m_tagArgs.clear();
}

void MainWindow::slotEditTagTableDoubleClick() { tag_edit_action_triggered(); }

void MainWindow::tag_delete_action_triggered() {
  CItem* group = SelectedItem();
  const QList<CItem*> tags = SelectedTags();
  if (!group || group->Kind() != kKindGroup || tags.isEmpty() || m_monitoring) return;
  if (!CurrentPrompts().ConfirmDelete(this, "выбранные теги")) return;
  m_tagModel->SetGroup(QString(), nullptr);
  m_monitorModel->SetGroup(QString(), nullptr);
  const QList<CItem*> refused = RefusedByServer(
      tags, [](ServerCalls& server, CItem* tag) { return server.DeleteNode({QString::fromStdString(tag->FullName())}); });
  for (CItem* tag : tags) {
    if (refused.contains(tag)) {
      Warn("Удаление ноды завершилось неудачно");
      continue;
    }
    group->RemoveChild(tag->Name());
    SetUnsaved(true);
  }
  RefreshTags();
}

void MainWindow::tag_copy_action_triggered() {
  const QList<CItem*> tags = SelectedTags();
  if (tags.isEmpty() || m_monitoring) return;
  m_clipboard.clear();
  for (CItem* tag : tags)
    if (ItemPtr copy = tag->DeepCopy(ItemFactory())) m_clipboard.push_back(std::move(copy));
}

void MainWindow::tag_paste_action_triggered() {
  CItem* group = SelectedItem();
  if (!group || group->Kind() != kKindGroup || m_clipboard.empty() || m_monitoring ||
      m_clipboard.front()->Kind() != kKindTag)
    return;
  m_tagModel->SetGroup(QString(), nullptr);
  QList<CItem*> pasted;
  for (const ItemPtr& source : m_clipboard)
    if (CItem* copy = PasteCopy(*group, *source, int(m_clipboard.size()))) pasted << copy;
  if (!pasted.isEmpty()) SetUnsaved(true);
  const QString groupPath = ItemPath(*group);
  const QList<CItem*> refused = RefusedByServer(pasted, [&groupPath](ServerCalls& server, CItem* tag) {
    return server.AddNode(QStringList{groupPath, "4"} + SettingsArguments(*tag));
  });
  for (CItem* tag : refused) {
    Warn("Добавление тега завершилось неудачно, на сервере произошла ошибка");
    group->RemoveChild(tag->Name());
  }
  RefreshTags();
}

// ------------------------------------------------------------- context menus

void MainWindow::on_treeWidget_customContextMenuRequested(const QPoint& pos) {
  QTreeWidgetItem* treeItem = ui->treeWidget->itemAt(pos);
  if (m_monitoring || !treeItem) return;
  QMenu menu(this);
  switch (treeItem->type()) {
    case kTreeRoot: menu.addAction(ui->add_channel_action); break;
    case kTreeChannel: menu.addAction(ui->add_device_action); break;
    case kTreeDevice: menu.addAction(ui->add_group_action); break;
    default: menu.addAction(ui->add_tag_action);
  }
  if (treeItem->type() != kTreeRoot) {
    menu.addSeparator();
    menu.addAction("Редактировать", this, &MainWindow::on_edit_action_triggered);
    menu.addAction(ui->delete_action);
    menu.addSeparator();
    menu.addAction(ui->copy_action);
    menu.addAction(ui->paste_action);
  }
  menu.exec(ui->treeWidget->viewport()->mapToGlobal(pos));
}

void MainWindow::tableWidget_2_customContextMenuRequested(const QPoint& pos) {
  if (m_monitoring) return;
  QMenu menu(this);
  menu.addAction(Icon("tag_add.png"), "Добавить", this, &MainWindow::on_add_tag_action_triggered);
  menu.addSeparator();
  menu.addAction("Редактировать", this, &MainWindow::tag_edit_action_triggered);
  menu.addAction(Icon("delete.png"), "Удалить", this, &MainWindow::tag_delete_action_triggered);
  menu.addSeparator();
  menu.addAction("Копировать", this, &MainWindow::tag_copy_action_triggered);
  menu.addAction("Вставить", this, &MainWindow::tag_paste_action_triggered);
  menu.exec(ui->tableView->viewport()->mapToGlobal(pos));
}

// ---------------------------------------------------------- other actions

void MainWindow::on_about_action_triggered() { AboutDialog(this).exec(); }

void MainWindow::on_action_help_triggered() {
  if (m_help) {
    m_help->raise();
    m_help->activateWindow();
    return;
  }
  QStringList tried;
  const QString folder = FindManualFolder(QCoreApplication::applicationDirPath(), &tried);
  if (folder.isEmpty()) {
    Warn("Не удалось открыть справку: руководство не найдено (index.md в папках:\n" + tried.join("\n") + ")");
    return;
  }
  m_help = new HelpWindow(folder, this);
  m_help->setAttribute(Qt::WA_DeleteOnClose);
  m_help->show();
}

void MainWindow::on_create_certiifcates_triggered() { slotCreateCertificates({}); }

void MainWindow::slotCreateCertificates(QMap<QString, QString>) {
  CreateCertificates dialog(this);
  dialog.SetKeyforge(QCoreApplication::applicationDirPath() + "/keyforge");
  // The dialog runs keyforge and reports; it closes only once the files are made.
  dialog.exec();
}

void MainWindow::on_action_addUsers_triggered() {
  if (m_configPath.isEmpty()) {
    Warn("Не открыта конфигурация сервера, операция прервана");
    return;
  }
  DialogAddUsers dialog(m_configPath, this);
  dialog.exec();
}

// The close event asks about a running server; asking here too put the same question twice.
void MainWindow::on_close_action_triggered() { close(); }

void MainWindow::closeEvent(QCloseEvent* event) {
  Prompts& prompts = CurrentPrompts();
  if (m_runner.IsRunning()) {
    if (prompts.Question(this, "Внимание", "Сервер запущен, хотите остановить сервер и выйти?",
                         QMessageBox::Ok | QMessageBox::Cancel) != QMessageBox::Ok) {
      event->ignore();
      return;
    }
    if (!StopServer() &&
        prompts.Question(this, "Внимание", "При остановке сервера произошла ошибка! Хотите выйти?",
                         QMessageBox::Ok | QMessageBox::Cancel) != QMessageBox::Ok) {
      event->ignore();
      return;
    }
  }
  if (m_unsaved) {
    const auto answer = prompts.Question(this, "Внимание", "Хотите сохранить изменения настроек?",
                                         QMessageBox::Ok | QMessageBox::No | QMessageBox::Cancel);
    if (answer == QMessageBox::Cancel ||
        (answer == QMessageBox::Ok && !Save())) {
      event->ignore();
      return;
    }
  }
  event->accept();
}
