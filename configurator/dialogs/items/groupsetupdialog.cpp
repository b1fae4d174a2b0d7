#include "dialogs/items/groupsetupdialog.h"

#include "dialogs/items/dialog_common.h"
#include "model/tree_edit.h"
#include "ui_groupsetupdialog.h"

GroupSetupDialog::GroupSetupDialog(CGroupInfo* group, QWidget* parent)
    : QDialog(parent), ui(new Ui::GroupSetupDialog), m_group(group), m_oldName(ItemName(*group)) {
  ui->setupUi(this);
  TranslateCancel(ui->buttonBox);
  RestrictNameInput(ui->nameEdit);
  OpenRange(ui->updateRateBox);
  WatchFields(this, [this] { Recheck(); });
}

GroupSetupDialog::~GroupSetupDialog() { delete ui; }

int GroupSetupDialog::DayInUnit(int unit) {
  switch (unit) {
    case 1: return 86400;
    case 2: return 1440;
    case 3: return 24;
    default: return 86400000;
  }
}

void GroupSetupDialog::Fill() {
  const virk::GroupSettings& d = m_group->m_Data;
  ui->nameEdit->setText(m_oldName);
  ui->updateRateBox->setValue(int(std::min<uint32_t>(d.m_Period, DayInUnit(0))));
  ui->mu_UpdateRateBox->setCurrentIndex(std::clamp(d.m_PeriodUnit, 0, 3));
  Recheck();
}

void GroupSetupDialog::on_mu_UpdateRateBox_currentIndexChanged(int index) {
  // A unit chosen in the list brings the period down to one day, in sight;
  // a period typed beyond it is refused instead.
  if (ui->updateRateBox->value() > DayInUnit(index)) ui->updateRateBox->setValue(DayInUnit(index));
}

FieldChecks GroupSetupDialog::Collect(CGroupInfo& group) const {
  CopySettings(group, *m_group);
  virk::CGroupData data(group);
  FieldChecks checks;
  checks.Name(ui->nameEdit, "Имя", data);
  group.m_Data.m_PeriodUnit = ui->mu_UpdateRateBox->currentIndex();
  checks.Spin(ui->updateRateBox, "Период опроса", data, &virk::CGroupData::SetPeriod);
  return checks;
}

void GroupSetupDialog::Recheck() {
  CGroupInfo group;
  Collect(group).Mark(this);
}

void GroupSetupDialog::accept() {
  CGroupInfo group;
  if (!Collect(group).ShowFirst(this)) QDialog::accept();
}

void GroupSetupDialog::on_GroupSetupDialog_accepted() {
  CGroupInfo group;
  Collect(group);
  CopySettings(*m_group, group);
  emit signalInfoGroup(SettingsArguments(*m_group), true);
}
