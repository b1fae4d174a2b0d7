// Renders the main window (each tab, sample configuration, a group selected)
// and every dialog into PNG files: configurator_screenshots <sample.csv> <out dir>
// The search dialog and the connected window are taken against the server
// program of the same build, running the sample on a free loopback port.
#include <QApplication>
#include <QScreen>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QEventLoop>
#include <QItemSelectionModel>
#include <QTableView>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QTemporaryDir>

#include <QTimer>
#include <QTreeWidget>

#include "common/text.h"
#include "loopback_listener.h"

#include "app/mainwindow.h"
#include "app/prompts.h"
#include "dialogs/aboutdialog.h"
#include "dialogs/items/channelsetupdialog.h"
#include "dialogs/items/devicesetupdialog.h"
#include "dialogs/items/groupsetupdialog.h"
#include "dialogs/items/tagsetupdialog.h"
#include "dialogs/progressbar.h"
#include "dialogs/security/createcertificates.h"
#include "dialogs/security/dialogaddusers.h"
#include "dialogs/security/dialogchoosecertificate.h"
#include "opcua/searchopcuaserver.h"
#include "server_process/runpreparedialog.h"
#include "server_process/serveroutputdialog.h"
#include "ui_mainwindow.h"

namespace {

class SamplePrompts : public Prompts {
 public:
  explicit SamplePrompts(QString path) : m_path(std::move(path)) {}
  QString OpenFileName(QWidget*, const QString&, const QString&, const QString&) override { return m_path; }
  void SetPath(const QString& path) { m_path = path; }
  // Nobody answers boxes here: every question is taken as Ok, messages go to the console.
  void Warning(QWidget*, const QString&, const QString& text) override { fprintf(stderr, "%s\n", qPrintable(text)); }
  void Information(QWidget*, const QString&, const QString&) override {}
  QMessageBox::StandardButton Question(QWidget*, const QString&, const QString&, QMessageBox::StandardButtons) override {
    return QMessageBox::Ok;
  }

 private:
  QString m_path;
};

// The sample as a scrambled .cfg in `dir`, its meter polled instead of
// emulated (nothing answers at its address: its rows show a bad quality);
// false when it cannot be written.
bool WriteSampleCfg(const QString& sample, const QTemporaryDir& dir) {
  std::u16string text;
  std::string error;
  if (!virk::ReadConfigText(sample.toStdString(), false, text, error)) return false;
  QString edited = QString::fromStdU16String(text);
  edited.replace(";Meter;2;Да;", ";Meter;2;Нет;");
  return virk::WriteConfigText(dir.filePath("sample.cfg").toStdString(), edited.toStdU16String(), true, error);
}

// "Запустить сервер OPC UA" through the window: the run dialog is taken as
// `file`, gets the port and starts the server of this build, with its
// profile in `dir`; the window connects by itself.
void ShootRunning(MainWindow& window, const QTemporaryDir& dir, uint16_t port, const QString& file) {
  window.Runner().SetProgram(VIRK_SERVER_PROGRAM);
  QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  environment.insert("HOME", dir.path());
  environment.remove("USERPROFILE");
  window.Runner().SetEnvironment(environment);
  QTimer::singleShot(200, [port, file] {
    auto* dialog = qobject_cast<RunPrepareDialog*>(QApplication::activeModalWidget());
    if (!dialog) return;
    dialog->findChild<QSpinBox*>("portBox")->setValue(port);
    dialog->grab().save(file);
    dialog->accept();
  });
  window.Form()->run_server_action->trigger();
}

// Lets the window take in what arrives for `ms`.

// "Подключиться к серверу OPC UA" through the window: the search dialog finds
// the server, lists the nodes, connects and is taken as `file` before Ok.
void ShootConnecting(MainWindow& window, uint16_t port, const QString& file) {
  QTimer::singleShot(200, [port, file] {
    auto* dialog = qobject_cast<SearchOPCUAServer*>(QApplication::activeModalWidget());
    if (!dialog) return;
    // Connected by the run already: the dialog shows its log only for a connection of its own.
    if (auto* disconnect = dialog->findChild<QPushButton*>("pb_disconnect"); disconnect->isVisible()) disconnect->click();
    dialog->findChild<QLineEdit*>("le_device")->setText(QString("opc.tcp://127.0.0.1:%1").arg(port));
    dialog->findChild<QPushButton*>("pb_searchDevice")->click();
    dialog->findChild<QPushButton*>("pb_getEndPoint")->click();
    dialog->findChild<QCheckBox*>("checkBox_browse")->setChecked(true);
    dialog->findChild<QPushButton*>("pb_connect")->click();
    QApplication::processEvents();
    dialog->grab().save(file);
    dialog->accept();
  });
  window.Form()->action->trigger();
}

void Shoot(QWidget& widget, const QString& file) {
  widget.show();
  QApplication::processEvents();
  widget.grab().save(file);
  widget.hide();
}

template <class Dialog, class Item>
void ShootItemDialog(Item* item, const QString& file) {
  Dialog dialog(item);
  dialog.Fill();
  Shoot(dialog, file);
}

void Wait(int ms) {
  QEventLoop loop;
  QTimer::singleShot(ms, &loop, &QEventLoop::quit);
  loop.exec();
}

// The screen under `windows`, frames and titles included (they are the window
// manager's, so a widget's own picture has none).
void ShootScreen(const QList<QWidget*>& windows, const QString& file) {
  QRect area;
  for (QWidget* window : windows) area |= window->frameGeometry();
  QGuiApplication::primaryScreen()->grabWindow(0, area.x(), area.y(), area.width(), area.height()).save(file);
}

// The tag dialog refusing a factor of 0: the field marked, the box naming the
// field and what it allows, the dialog still open behind it.
void ShootRefusingDialog(const QString& file) {
  CDATagInfo tag;  // an input register of Float: a factor applies
  TagSetupDialog dialog(&tag);
  dialog.Fill();
  dialog.findChild<QComboBox*>("transformTypeBox")->setCurrentIndex(virk::kTransformFactor);
  dialog.findChild<QLineEdit*>("factorEdit")->setText("0");
  dialog.show();
  dialog.raise();
  dialog.activateWindow();
  Wait(600);  // mapped and placed by the window manager
  Prompts& sample = CurrentPrompts();
  SetPrompts(nullptr);  // the real box, to be seen
  QTimer::singleShot(1000, &dialog, [&dialog, file] {
    QWidget* box = QApplication::activeModalWidget();
    ShootScreen({&dialog, box}, file);
    if (box) box->close();
  });
  dialog.accept();
  SetPrompts(&sample);
  dialog.reject();
}

virk::CItem* FirstGroup(virk::CItem& root) {
  for (virk::CItem* item = &root; item; item = item->Children().empty() ? nullptr : item->Children().begin()->second.get())
    if (item->Kind() == virk::kKindGroup) return item;
  return nullptr;
}

}  // namespace

int main(int argc, char** argv) {
  Q_INIT_RESOURCE(resources);
  QApplication app(argc, argv);
  if (argc != 3) {
    fprintf(stderr, "usage: configurator_screenshots <sample.csv> <output folder>\n");
    return 2;
  }
  const QString sample = QString::fromLocal8Bit(argv[1]);
  const QDir out(QString::fromLocal8Bit(argv[2]));
  QDir().mkpath(out.path());

  SamplePrompts prompts(sample);
  SetPrompts(&prompts);
  MainWindow window;
  window.show();
  window.Form()->action_import_conf->trigger();
  virk::CItem* group = FirstGroup(window.Root());
  if (!group) {
    fprintf(stderr, "the sample has no group\n");
    return 1;
  }
  window.Select(group);
  const char* tabs[] = {"main_properties.png", "main_tags.png", "main_monitoring.png"};
  for (int tab = 0; tab < 3; ++tab) {
    window.Form()->tabWidget->setCurrentIndex(tab);
    Shoot(window, out.filePath(tabs[tab]));
    window.show();
  }

  virk::CItem* device = group->Parent();
  ShootItemDialog<ChannelSetupDialog>(static_cast<CChannelInfo*>(device->Parent()), out.filePath("channel_dialog.png"));
  ShootItemDialog<DeviceSetupDialog>(static_cast<CDeviceInfo*>(device), out.filePath("device_dialog.png"));
  ShootItemDialog<GroupSetupDialog>(static_cast<CGroupInfo*>(group), out.filePath("group_dialog.png"));
  ShootItemDialog<TagSetupDialog>(static_cast<CDATagInfo*>(group->Children().begin()->second.get()),
                                  out.filePath("tag_dialog.png"));
  ShootRefusingDialog(out.filePath("tag_dialog_refusing.png"));
  ProgressBar progress;
  progress.slotSetLabelProgressBar("Выполняется открытие конфигурации, пожалуйста, подождите...");
  Shoot(progress, out.filePath("progress.png"));
  AboutDialog about;
  Shoot(about, out.filePath("about.png"));
  CreateCertificates certificates;
  Shoot(certificates, out.filePath("create_certificates.png"));
  DialogChooseCertificate choose;
  Shoot(choose, out.filePath("choose_certificate.png"));
  DialogAddUsers users(sample);
  Shoot(users, out.filePath("users.png"));

  QTemporaryDir serverDir;
  const uint16_t port = virk::test::ClosedLoopbackPort();
  if (!WriteSampleCfg(sample, serverDir)) {
    fprintf(stderr, "the sample cannot be written as a .cfg\n");
    return 1;
  }
  prompts.SetPath(serverDir.filePath("sample.cfg"));
  window.Form()->open_action->trigger();
  Wait(500);  // the window manager draws the new title
  ShootScreen({&window}, out.filePath("main_title.png"));
  ShootRunning(window, serverDir, port, out.filePath("run_dialog.png"));
  if (!window.Runner().IsRunning() || !window.StatusText().contains("Подключены к серверу")) {
    fprintf(stderr, "the run did not start and connect: %s\n", qPrintable(window.StatusText()));
    return 1;
  }
  window.Select(FirstGroup(window.Root()));
  window.Form()->tabWidget->setCurrentIndex(0);
  Shoot(window, out.filePath("main_connected.png"));
  window.show();
  ServerOutputDialog output(window.Runner().Output());
  Shoot(output, out.filePath("server_output.png"));

  // Live values of an emulated group.
  virk::CItem* fast = window.Root().FindChild(std::string("Plant_TCP"))->FindChild(std::string("Boiler"))
                          ->FindChild(std::string("Fast"));
  window.Select(fast);
  window.Form()->monitoring_action->trigger();
  // The trend of two of its rows under the table.
  QItemSelectionModel* rows = window.Form()->tableView_2->selectionModel();
  for (int row : {2, 4}) rows->select(rows->model()->index(row, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
  window.resize(1100, 760);
  Wait(8000);
  Shoot(window, out.filePath("main_monitoring_live.png"));
  window.show();
  window.Form()->monitoring_action->trigger();

  // A device that does not answer: its rows coloured by their quality.
  window.Select(window.Root().FindChild(std::string("Plant_TCP"))->FindChild(std::string("Meter"))
                    ->FindChild(std::string("Counters")));
  window.Form()->monitoring_action->trigger();
  Wait(6000);
  Shoot(window, out.filePath("main_monitoring_quality.png"));
  window.show();
  window.Form()->monitoring_action->trigger();

  ShootConnecting(window, port, out.filePath("search_server_connected.png"));
  const bool connected = window.StatusText().contains("Подключены к серверу");
  window.Form()->stop_server_action->trigger();
  SetPrompts(nullptr);
  return connected && !window.Runner().IsRunning() ? 0 : 1;
}
