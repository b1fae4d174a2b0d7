// Name and polling period of one group.
#pragma once

#include <QDialog>
#include <QStringList>

#include "model/item_info.h"

namespace Ui {
class GroupSetupDialog;
}

class GroupSetupDialog : public QDialog {
  Q_OBJECT

 public:
  GroupSetupDialog(CGroupInfo* group, QWidget* parent = nullptr);
  ~GroupSetupDialog() override;
  void Fill();

  // One day in the unit: 86400000 ms, 86400 s, 1440 min, 24 h.
  static int DayInUnit(int unit);

 signals:
  void signalInfoGroup(QStringList info, bool flagSaveEnable);

 private slots:
  void on_mu_UpdateRateBox_currentIndexChanged(int index);
  void on_GroupSetupDialog_accepted();

 private:
  Ui::GroupSetupDialog* ui;
  CGroupInfo* m_group;
  QString m_oldName;
};
