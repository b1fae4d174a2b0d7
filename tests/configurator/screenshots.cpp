// Renders the main window (each tab, sample configuration, a group selected)
// and every dialog into PNG files: configurator_screenshots <sample.csv> <out dir>
// The search dialog and the connected window are taken against the server
// program of the same build, running the sample on a free loopback port.
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QTabWidget>
#include <QTemporaryDir>

#include <chrono>
#include <QTimer>
#include <QTreeWidget>

#include "common/options.h"
#include "common/text.h"
#include "loopback_listener.h"
#include "opcua_client.h"

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
#include "ui_mainwindow.h"

namespace {

class SamplePrompts : public Prompts {
 public:
  explicit SamplePrompts(QString path) : m_path(std::move(path)) {}
  QString OpenFileName(QWidget*, const QString&, const QString&, const QString&) override { return m_path; }
  void SetPath(const QString& path) { m_path = path; }

 private:
  QString m_path;
};

// The sample as a scrambled .cfg listening on `port`, run by the server
// program with its profile (and log) in `dir`; false when it did not start.
bool StartSampleServer(const QString& sample, const QTemporaryDir& dir, uint16_t port, QProcess& server) {
  std::u16string text;
  std::string error;
  if (!virk::ReadConfigText(sample.toStdString(), false, text, error)) return false;
  virk::StartOptions options;
  options.port = std::to_string(port);
  const std::string cfg = dir.filePath("sample.cfg").toStdString();
  if (!virk::WriteConfigText(cfg, virk::WithStartOptions(text, options), true, error)) return false;
  QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  environment.insert("HOME", dir.path());
  environment.remove("USERPROFILE");
  server.setProcessEnvironment(environment);
  server.setProcessChannelMode(QProcess::ForwardedErrorChannel);
  server.setStandardOutputFile(QProcess::nullDevice());
  server.start(VIRK_SERVER_PROGRAM, {QString::fromStdString(cfg)});
  return server.waitForStarted(10000) && virk::server::test::WaitUntilServing(port, std::chrono::seconds(20));
}

// "Подключиться к серверу OPC UA" through the window: the search dialog finds
// the server, lists the nodes, connects and is taken as `file` before Ok.
void ShootConnecting(MainWindow& window, uint16_t port, const QString& file) {
  QTimer::singleShot(200, [port, file] {
    auto* dialog = qobject_cast<SearchOPCUAServer*>(QApplication::activeModalWidget());
    if (!dialog) return;
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
  ProgressBar progress;
  progress.slotSetLabelProgressBar("Выполняется открытие конфигуарции, пожалуйста, подождите...");
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
  QProcess server;
  const uint16_t port = virk::test::ClosedLoopbackPort();
  if (!StartSampleServer(sample, serverDir, port, server)) {
    fprintf(stderr, "the server did not start on the sample\n");
    return 1;
  }
  prompts.SetPath(serverDir.filePath("sample.cfg"));
  window.Form()->open_action->trigger();
  window.Select(FirstGroup(window.Root()));
  ShootConnecting(window, port, out.filePath("search_server_connected.png"));
  window.Form()->tabWidget->setCurrentIndex(0);
  Shoot(window, out.filePath("main_connected.png"));
  server.terminate();
  server.waitForFinished(20000);
  SetPrompts(nullptr);
  return window.StatusText().contains("Подключены к серверу") ? 0 : 1;
}
