#include "dialogs/items/groupsetupdialog.h"

#include "dialogs/items/dialog_common.h"
#include "model/tree_edit.h"
#include "ui_groupsetupdialog.h"

GroupSetupDialog::GroupSetupDialog(CGroupInfo* group, QWidget* parent)
    : QDialog(parent), ui(new Ui::GroupSetupDialog), m_group(group), m_oldName(ItemName(*group)) {
  ui->setupUi(this);
  TranslateCancel(ui->buttonBox);
  RestrictNameInput(ui->nameEdit);
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
  ui->updateRateBox->setMaximum(DayInUnit(0));
  ui->updateRateBox->setValue(int(std::min<uint32_t>(d.m_Period, DayInUnit(0))));
  ui->mu_UpdateRateBox->setCurrentIndex(std::clamp(d.m_PeriodUnit, 0, 3));
}

void GroupSetupDialog::on_mu_UpdateRateBox_currentIndexChanged(int index) {
  // setMaximum lowers a larger value to the new maximum.
  ui->updateRateBox->setMaximum(DayInUnit(index));
}

void GroupSetupDialog::on_GroupSetupDialog_accepted() {
  virk::GroupSettings& d = m_group->m_Data;
  ApplyName(*m_group, ui->nameEdit->text());
  d.m_Period = uint32_t(ui->updateRateBox->value());
  d.m_PeriodUnit = ui->mu_UpdateRateBox->currentIndex();
  emit signalInfoGroup(SettingsArguments(*m_group), true);
}
