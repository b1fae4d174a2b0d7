// Renders the main window (each tab, sample configuration, a group selected)
// and every dialog into PNG files: configurator_screenshots <sample.csv> <out dir>
#include <QApplication>
#include <QDir>
#include <QTabWidget>
#include <QTimer>
#include <QTreeWidget>

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
#include "ui_mainwindow.h"

namespace {

class SamplePrompts : public Prompts {
 public:
  explicit SamplePrompts(QString path) : m_path(std::move(path)) {}
  QString OpenFileName(QWidget*, const QString&, const QString&, const QString&) override { return m_path; }

 private:
  QString m_path;
};

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
  SetPrompts(nullptr);
  return 0;
}
