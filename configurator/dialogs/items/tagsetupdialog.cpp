#include "dialogs/items/tagsetupdialog.h"

#include "dialogs/items/dialog_common.h"
#include "model/tree_edit.h"
#include "ui_tagsetupdialog.h"

using namespace virk;

namespace {

// More tags in one go than any device has registers for.
constexpr int kMaxBatch = 250000;

}  // namespace

TagSetupDialog::TagSetupDialog(CDATagInfo* tag, QWidget* parent)
    : QDialog(parent), ui(new Ui::TagSetupDialog), m_tag(tag), m_oldName(ItemName(*tag)) {
  ui->setupUi(this);
  TranslateCancel(ui->buttonBox);
  RestrictNameInput(ui->nameEdit);
  for (QSpinBox* box : {ui->addressBox, ui->regsInSegmentBox, ui->periodBox, ui->spinBox_5}) OpenRange(box);
  WatchFields(this, [this] { Recheck(); });
}

void TagSetupDialog::SetCountEnabled(bool enabled) {
  ui->spinBox_5->setEnabled(enabled);
  ui->label_80->setEnabled(enabled);
}

TagSetupDialog::~TagSetupDialog() { delete ui; }

int TagSetupDialog::RegisterCount(int valueType) {
  switch (valueType) {
    case kTypeFloat32:
    case kTypeUInt32:
    case kTypeInt32: return 2;
    case kTypeFloat64: return 4;
    case kTypeUInt16:
    case kTypeInt16: return 1;
    default: return 0;
  }
}

QStringList TagSetupDialog::ByteOrderNames(int registerCount) {
  switch (registerCount) {
    case 1: return {"AB", "BA"};
    case 2: return {"AB CD", "CD AB", "BA DC", "DC BA"};
    case 4: return {"AB CD EF GH", "GH EF CD AB", "BA DC FE HG", "HG FE DC BA"};
    default: return {};
  }
}

void TagSetupDialog::FillByteOrders(int valueType, int byteOrder) {
  const int count = RegisterCount(valueType);
  const QStringList names = ByteOrderNames(count);
  ui->byteOrderBox->clear();
  ui->byteOrderBox->addItems(names);
  ui->byteOrderBox->setEnabled(!names.isEmpty() && ui->valTypeBox->isEnabled());
  if (names.isEmpty()) return;
  const int fallback = count == 1 ? 1 : 2;
  ui->byteOrderBox->setCurrentIndex(byteOrder >= 0 && byteOrder < names.size() ? byteOrder : fallback);
}

void TagSetupDialog::Fill() {
  const TagSettings& d = m_tag->m_Data;
  ui->nameEdit->setText(m_oldName);
  {
    const QSignalBlocker blockKind(ui->regTypeBox);
    const QSignalBlocker blockType(ui->valTypeBox);
    ui->regTypeBox->setCurrentIndex(std::clamp(d.m_RegKind, 0, 3));
    ui->valTypeBox->setCurrentIndex(std::clamp(d.m_ValueType, 0, int(kTypeBit15)));
  }
  ui->addressBox->setValue(d.m_Addr + 1);
  on_regTypeBox_currentIndexChanged(ui->regTypeBox->currentIndex());
  FillByteOrders(ui->valTypeBox->currentIndex(), d.m_ByteOrder);
  ui->readBox->setCurrentIndex(d.m_Read ? 1 : 0);
  ui->writeBox->setCurrentIndex(d.m_Write ? 1 : 0);
  ui->writeGroupBox->setCurrentIndex(d.m_bWriteGroup ? 1 : 0);
  ui->regsInSegmentBox->setValue(d.m_RegsInSegment);
  ApplySegmentSize(d.m_RegsInSegment);
  ui->segmentPosBox->setValue(d.m_PosInSegment);

  // Every page starts with the defaults of its record, so a kind chosen later
  // shows numbers that load rather than empty fields.
  for (QLineEdit* edit : {ui->srcMinEdit, ui->srcMaxEdit, ui->dstMinEdit, ui->dstMaxEdit, ui->constEdit})
    edit->setText("0");
  ui->factorEdit->setText(QString::number(CTransform_FactorData().m_Factor));
  ui->transformTypeBox->setCurrentIndex(std::clamp(d.m_TransformKind, 0, 2));
  on_transformTypeBox_currentIndexChanged(ui->transformTypeBox->currentIndex());
  if (const auto* scale = std::get_if<CTransform_LineScaleData>(&d.m_Transform)) {
    ui->srcMinEdit->setText(QString::number(scale->m_SrcMin));
    ui->srcMaxEdit->setText(QString::number(scale->m_SrcMax));
    ui->dstMinEdit->setText(QString::number(scale->m_DstMin));
    ui->dstMaxEdit->setText(QString::number(scale->m_DstMax));
  } else if (const auto* factor = std::get_if<CTransform_FactorData>(&d.m_Transform)) {
    ui->factorEdit->setText(QString::number(factor->m_Factor));
  }
  ui->emulTypeBox->setCurrentIndex(std::clamp(d.m_EmulKind, 0, 2));
  on_emulTypeBox_currentIndexChanged(ui->emulTypeBox->currentIndex());
  if (const auto* constant = std::get_if<CEmulData_Const>(&d.m_Emul))
    ui->constEdit->setText(QString::number(constant->m_Value));
  else if (const auto* sine = std::get_if<CEmulData_Sin>(&d.m_Emul))
    ui->periodBox->setValue(sine->m_Period);
  Recheck();
}

void TagSetupDialog::on_regTypeBox_currentIndexChanged(int index) {
  static const char* const kReadTexts[] = {"Чтение (функция 2)", "Чтение (функция 1)",
                                           "Чтение (функция 4)", "Чтение (функция 3)"};
  const bool registers = index == kRegInput || index == kRegHolding;
  ui->valTypeBox->setEnabled(registers);
  ui->byteOrderBox->setEnabled(registers && ui->byteOrderBox->count() > 0);
  ui->readBox->setEnabled(true);
  if (index >= 0 && index < 4) ui->readlabel->setText(kReadTexts[index]);
  ui->writeBox->setEnabled(index == kRegCoil || index == kRegHolding);
  ui->segmentPosBox->setEnabled(false);
  UpdateWriteText();
  UpdateWriteModeEnabled();
}

void TagSetupDialog::UpdateWriteText() {
  const bool group = ui->writeGroupBox->currentIndex() == 1;
  switch (ui->regTypeBox->currentIndex()) {
    case kRegCoil:
      ui->writelabel->setText(group ? "Запись (функция 15)" : "Запись (функция 5)");
      break;
    case kRegHolding:
      ui->writelabel->setText(group ? "Запись (функция 16)" : "Запись (функция 6)");
      break;
    default:
      ui->writelabel->setText("Запись (-)");
  }
}

void TagSetupDialog::UpdateWriteModeEnabled() {
  const int kind = ui->regTypeBox->currentIndex();
  ui->writeGroupBox->setEnabled((kind == kRegCoil || kind == kRegHolding) &&
                                ui->writeBox->currentIndex() == 1);
}

void TagSetupDialog::on_valTypeBox_currentIndexChanged(int index) { FillByteOrders(index, -1); }

void TagSetupDialog::on_writeGroupBox_currentIndexChanged(int) { UpdateWriteText(); }

void TagSetupDialog::on_writeBox_currentIndexChanged(int) { UpdateWriteModeEnabled(); }

void TagSetupDialog::ApplySegmentSize(int size) {
  ui->segmentPosBox->setValue(0);
  if (size <= 2) {
    ui->segmentPosBox->setEnabled(false);
  } else {
    ui->segmentPosBox->setMaximum(size - 2);
    ui->segmentPosBox->setEnabled(true);
  }
}

void TagSetupDialog::on_regsInSegmentBox_valueChanged(int value) { ApplySegmentSize(value); }

void TagSetupDialog::on_regsInSegmentBox_textChanged(const QString& text) {
  ApplySegmentSize(text.toInt());
}

void TagSetupDialog::on_transformTypeBox_currentIndexChanged(int index) {
  ui->transformWidget->setCurrentIndex(index);
}

void TagSetupDialog::on_emulTypeBox_currentIndexChanged(int index) {
  ui->emulWidget->setCurrentIndex(index);
}

FieldChecks TagSetupDialog::Collect(CDATagInfo& tag) const {
  CopySettings(tag, *m_tag);
  TagSettings& d = tag.m_Data;
  CDATagData data(tag);
  FieldChecks checks;
  checks.Name(ui->nameEdit, "Имя", data);
  // Lists first: the ranges of the numbers depend on them.
  d.m_RegKind = ui->regTypeBox->currentIndex();
  d.m_ValueType = ui->valTypeBox->currentIndex();
  const int byteOrder = ui->byteOrderBox->currentIndex();
  d.m_ByteOrder = byteOrder < 0 ? kByteOrderNone : byteOrder;
  d.m_Read = ui->readBox->currentIndex() == 1;
  d.m_Write = ui->writeBox->currentIndex() == 1;
  d.m_bWriteGroup = ui->writeGroupBox->currentIndex() == 1;
  if (ui->transformTypeBox->currentIndex() != d.m_TransformKind)
    d.SetTransformKind(ui->transformTypeBox->currentIndex());
  if (ui->emulTypeBox->currentIndex() != d.m_EmulKind) d.SetEmulKind(ui->emulTypeBox->currentIndex());

  checks.Spin(ui->addressBox, "Адрес регистра", data, &CDATagData::SetAddress);
  checks.Spin(ui->regsInSegmentBox, "Кол-во регистров в сегменте", data, &CDATagData::SetRegsInSegment);
  checks.Spin(ui->segmentPosBox, "Смещение параметра в сегменте", data, &CDATagData::SetPosInSegment);
  // A file keeps the parameters only where a transformation applies.
  if (!d.IsBitKind() && d.m_ValueType < kTypeBit0) {
    if (d.m_TransformKind == kTransformLineScale) {
      checks.Number(ui->srcMinEdit, "Минимум шкалы значений из устройства", data, &CDATagData::SetSourceMin);
      checks.Number(ui->srcMaxEdit, "Максимум шкалы значений из устройства", data, &CDATagData::SetSourceMax);
      checks.Number(ui->dstMinEdit, "Минимум шкалы конечного значения", data, &CDATagData::SetDestinationMin);
      checks.Number(ui->dstMaxEdit, "Максимум шкалы конечного значения", data, &CDATagData::SetDestinationMax);
    } else if (d.m_TransformKind == kTransformFactor) {
      checks.Number(ui->factorEdit, "Множитель", data, &CDATagData::SetFactor);
    }
  }
  if (d.m_EmulKind == kEmulConst)
    checks.Number(ui->constEdit, "Константа", data, &CDATagData::SetEmulationParameter);
  else if (d.m_EmulKind == kEmulSin)
    checks.Spin(ui->periodBox, "Период", data, &CDATagData::SetEmulationParameter);
  if (ui->spinBox_5->value() < 1 || ui->spinBox_5->value() > kMaxBatch)
    checks.Refuse(ui->spinBox_5, "Количество", QString("целое число от 1 до %1").arg(kMaxBatch));
  return checks;
}

void TagSetupDialog::Recheck() {
  CDATagInfo tag;
  Collect(tag).Mark(this);
}

void TagSetupDialog::accept() {
  CDATagInfo tag;
  if (!Collect(tag).ShowFirst(this)) QDialog::accept();
}

void TagSetupDialog::on_TagSetupDialog_accepted() {
  CDATagInfo tag;
  Collect(tag);
  CopySettings(*m_tag, tag);
  emit signalInfoCountTag(ui->spinBox_5->value());
  emit signalInfoTag(SettingsArguments(*m_tag), true);
}
