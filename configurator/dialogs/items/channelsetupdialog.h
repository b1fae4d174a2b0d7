// Settings of one channel: link type, protocol, timing and the port page of
// the link type.
#pragma once

#include <QDialog>
#include <QStringList>

#include "dialogs/items/dialog_common.h"
#include "model/item_info.h"

namespace Ui {
class ChannelSetupDialog;
}

class ChannelSetupDialog : public QDialog {
  Q_OBJECT

 public:
  ChannelSetupDialog(CChannelInfo* channel, QWidget* parent = nullptr);
  ~ChannelSetupDialog() override;
  // Loads the widgets from the channel.
  void Fill();
  // Refuses with a message while a field holds what a file cannot; the dialog
  // stays open with what was typed.
  void accept() override;

 signals:
  void signalInfoChannel(QStringList info, bool flagSaveEnable);
  void signalIpAddr(QString ip);

 private slots:
  void on_typeBox_currentIndexChanged(int index);
  void on_ChannelSetupDialog_accepted();

 private:
  void FillPort();
  // `channel` as the fields say.
  FieldChecks Collect(CChannelInfo& channel) const;
  void Recheck();

  Ui::ChannelSetupDialog* ui;
  CChannelInfo* m_channel;
  QString m_oldName;
  // What the widgets show; copied into the channel on acceptance only.
  virk::ChannelSettings m_settings;
};
