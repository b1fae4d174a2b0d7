// The operator's workspace: the configuration tree, the property sheet, the
// tag table and the monitoring table, with the file, editing and security
// actions. Long operations run on worker threads behind the ProgressBar.
#pragma once

#include <QMainWindow>
#include <QHash>
#include <QMap>
#include <QPointer>
#include <QProcess>
#include <QStringList>
#include <QTimer>
#include <QVariantList>
#include <functional>
#include <memory>
#include <vector>

#include "common/item.h"
#include "model/server_calls.h"
#include "server_process/server_runner.h"

class HelpWindow;
class OPCUAWrapper;
class QLabel;
class TrendView;
class QTreeWidgetItem;
class TableModelMonitoring;
class TableModelVariable;

namespace Ui {
class MainWindow;
}

class MainWindow : public QMainWindow {
  Q_OBJECT

 public:
  // Tree widget item types: the root and one per configuration kind.
  enum TreeType { kTreeRoot = 1001, kTreeChannel = 1002, kTreeDevice = 1003, kTreeGroup = 1004 };

  explicit MainWindow(QWidget* parent = nullptr);
  ~MainWindow() override;

  // The connection to a running server for the editing calls; null while not
  // connected. The window does not own it (the OPC UA client sets itself
  // here after a connection; tests may set another).
  void SetServerCalls(ServerCalls* server) { m_server = server; }
  // The one OPC UA client, made on first use.
  OPCUAWrapper& Wrapper();
  QString StatusText() const;
  ServerRunner& Runner() { return m_runner; }

  // State the tests and the screenshots look at.
  virk::CTreeItemRoot& Root() { return m_root; }
  const QString& ConfigPath() const { return m_configPath; }
  bool HasUnsavedChanges() const { return m_unsaved; }
  bool IsMonitoring() const { return m_monitoring; }
  QTreeWidgetItem* TreeItemOf(const virk::CItem* item) const;
  virk::CItem* ItemOf(QTreeWidgetItem* treeItem) const { return m_items.value(treeItem, nullptr); }
  int TreeItemCount() const { return int(m_items.size()); }
  Ui::MainWindow* Form() const { return ui; }
  TableModelVariable* TagModel() const { return m_tagModel; }
  TableModelMonitoring* MonitorModel() const { return m_monitorModel; }
  TrendView* Trend() const { return m_trend; }

  // Selects the tree item of `item` (the root item for the root).
  void Select(const virk::CItem* item);
  // The enabling rules for the selection, or the monitoring row while it runs.
  void ApplyEnablingRules();
  // Switches the monitoring row of the enabling rules on or off; the OPC UA
  // monitoring (a later part) drives this.
  void SetMonitoringActive(bool active);

 signals:
  void signalCloseProgressBar(int code);
  void signalSetLabelProgressBar(QString newLabel);
  void signalTagAdd(int count, int code);
  void signalDuplicateWarning(QString text);

 public slots:
  void slotTagAdd(int count, int code);
  void slotInfoChannel(QStringList info, bool flagSaveEnable);
  void slotInfoDevice(QStringList info, bool flagSaveEnable);
  void slotInfoGroup(QStringList info, bool flagSaveEnable);
  void slotInfoTag(QStringList info, bool flagSaveEnable);
  void slotInfoCountTag(int count);
  void slotEditItemTableDoubleClick();
  void slotEditTagTableDoubleClick();
  void slotDisconnect();
  // The client reported a failure: a connection that went away ends here.
  void slotConnectionLost();
  // The run dialog's confirmed certificate, key and trusted folder.
  void slotRunServer(QString trustFolder, QString certFile, QString keyFile);
  void slotServerEnded(int exitCode, QProcess::ExitStatus status);
  // One value notification of the monitoring subscriptions.
  void slotDataChange(QVariantList mess);

  void on_save_action_triggered();
  void on_save_as_action_triggered();
  void on_open_action_triggered();
  void on_action_export_conf_triggered();
  void on_action_import_conf_triggered();
  void on_close_action_triggered();
  void on_add_channel_action_triggered();
  void on_add_device_action_triggered();
  void on_add_group_action_triggered();
  void on_add_tag_action_triggered();
  void on_edit_action_triggered();
  void on_delete_action_triggered();
  void on_copy_action_triggered();
  void on_paste_action_triggered();
  void on_about_action_triggered();
  void on_action_triggered();
  void on_run_server_action_triggered();
  void on_stop_server_action_triggered();
  void on_showOutput_action_triggered();
  void on_monitoring_action_triggered();
  void on_create_certiifcates_triggered();
  void on_action_addUsers_triggered();
  void on_action_help_triggered();
  void on_treeWidget_itemSelectionChanged();
  void on_treeWidget_customContextMenuRequested(const QPoint& pos);
  void tableWidget_2_customContextMenuRequested(const QPoint& pos);
  void tag_edit_action_triggered();
  void tag_delete_action_triggered();
  void tag_copy_action_triggered();
  void tag_paste_action_triggered();
  void slotCreateCertificates(QMap<QString, QString> mapSettingsCert);

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  void OpenConfiguration(bool import);
  // Writes to the configuration file in use, or asks for one when there is
  // none yet (new, or imported from CSV); false when cancelled or failed.
  bool Save();
  // Runs the file dialog and the save; false when cancelled or failed.
  bool SaveConfigurationAs(bool exportPlain);
  bool WriteConfigurationTo(const QString& path, bool exportPlain);
  void SetUnsaved(bool unsaved);
  // The file's name and the modified mark in the title.
  void UpdateTitle();
  // Runs `work` on a worker thread behind a modal ProgressBar; its result code.
  int RunWithProgress(const std::function<void()>& work);
  void RebuildTree();
  QTreeWidgetItem* AddTreeItem(QTreeWidgetItem* parent, virk::CItem* item);
  void AddSubtree(QTreeWidgetItem* parent, virk::CItem* item);
  // Forgets the tree item and its subtree in the item map (the caller deletes it).
  void RemoveTreeItem(QTreeWidgetItem* treeItem);
  virk::CItem* SelectedItem() const;
  QTreeWidgetItem* SelectedTreeItem() const;
  void ShowProperties(const virk::CItem& item);
  void ShowGroupTags(virk::CItem* group);
  void EnableActions(int treeType);
  void AppendArguments(QStringList& list, const QStringList& info, bool flagSaveEnable);
  void Warn(const QString& text, const QString& title = "Внимание");
  // Runs one or more calls on the connected server off the GUI thread; false
  // when any failed.
  bool CallServer(const std::function<bool(ServerCalls&)>& calls);
  // `call` for each item in one trip off the GUI thread; the items the
  // server refused (none without a connection).
  QList<virk::CItem*> RefusedByServer(const QList<virk::CItem*>& items,
                                      const std::function<bool(ServerCalls&, virk::CItem*)>& call);
  void ShowConnection(const QString& url);
  // Whether the edits go to the OPC UA client (not to a stand-in, not to nobody).
  bool ConnectedThroughWrapper() const;
  // Forgets the connection (so that its end is not taken for a lost server),
  // then closes it when it is still open.
  void DropConnection();
  // The trend follows the rows selected in the monitoring table.
  void TrackSelectedTags();
  // Stops the running server in order, monitoring and the connection first;
  // false when it did not end.
  bool StopServer();
  // The connection after a start, behind the progress dialog; true when connected.
  bool ConnectToStartedServer(uint16_t port);
  // Loads `path` in place of the open configuration; false when it was refused.
  bool LoadConfigurationFrom(const QString& path, bool import);
  void StartMonitoring();
  // Ends monitoring: the client loop first, then (with a connection) the
  // subscriptions on the server; the icon and the enabling rules go back.
  void EndMonitoring(bool deleteSubscriptions);

  // Editing of tree items (channel, device, group).
  void AddChild(int32_t kind);
  // `adding` enables the tag dialog's count.
  bool RunItemDialog(virk::CItem* item, bool adding);
  void EditItem(virk::CItem* item);
  // Runs the dialog on `item` (detached) until its name and settings fit among
  // the children of `parent`, `edited` (the child it will replace) aside;
  // false when cancelled. `args` gets `leading`, then what the dialog sends.
  bool RunUntilItFits(virk::CItem& parent, virk::CItem* edited, virk::CItem& item, QStringList& args,
                      const QStringList& leading, const char* nameTaken, const char* duplicate);
  QList<virk::CItem*> SelectedTags() const;
  void RefreshTags();

  Ui::MainWindow* ui;
  // The open help window, if any: F1 brings it forward instead of a second one.
  QPointer<HelpWindow> m_help;
  virk::CTreeItemRoot m_root;
  QMap<QTreeWidgetItem*, virk::CItem*> m_items;
  QString m_configPath;
  // Deep copies, so a copied item may be deleted before it is pasted.
  std::vector<virk::ItemPtr> m_clipboard;
  QStringList m_channelArgs, m_deviceArgs, m_groupArgs, m_tagArgs;
  bool m_configOpen = false;
  bool m_monitoring = false;
  bool m_unsaved = false;
  bool m_searching = false;
  bool m_itemSelectedSinceStart = false;
  int m_countTag = 1;
  ServerCalls* m_server = nullptr;
  std::unique_ptr<OPCUAWrapper> m_wrapper;
  // Lists of the last connection, offered again by the search dialog.
  QStringList m_servers, m_endpoints;
  // Subscription id -> the row of each tag name monitored in it (its place in the group).
  QMap<quint32, QHash<QString, int>> m_subscriptionRows;
  ServerRunner m_runner;
  // Confirmed in the run dialog; they fill the next one and the client's certificate paths.
  QString m_runCertFile, m_runKeyFile, m_runTrustFolder;
  QTimer m_monitoringTimer;
  TableModelVariable* m_tagModel;
  TableModelMonitoring* m_monitorModel;
  QLabel* m_statusLabel;
  TrendView* m_trend;
};
