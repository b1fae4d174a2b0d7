// Name and polling period of one group.
#pragma once

#include <QDialog>
#include <QStringList>

#include "dialogs/items/dialog_common.h"
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
  // Refuses with a message while a field holds what a file cannot; the dialog
  // stays open with what was typed.
  void accept() override;

  // One day in the unit: 86400000 ms, 86400 s, 1440 min, 24 h.
  static int DayInUnit(int unit);

 signals:
  void signalInfoGroup(QStringList info, bool flagSaveEnable);

 private slots:
  void on_mu_UpdateRateBox_currentIndexChanged(int index);
  void on_GroupSetupDialog_accepted();

 private:
  // `group` as the fields say.
  FieldChecks Collect(CGroupInfo& group) const;
  void Recheck();

  Ui::GroupSetupDialog* ui;
  CGroupInfo* m_group;
  QString m_oldName;
};
