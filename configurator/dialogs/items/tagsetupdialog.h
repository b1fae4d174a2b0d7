// Settings of one tag (and the number of tags to create from it): register,
// value type and byte order, access, segment, transformation and emulation.
#pragma once

#include <QDialog>
#include <QStringList>

#include "dialogs/items/dialog_common.h"
#include "model/item_info.h"

namespace Ui {
class TagSetupDialog;
}

class TagSetupDialog : public QDialog {
  Q_OBJECT

 public:
  TagSetupDialog(CDATagInfo* tag, QWidget* parent = nullptr);
  ~TagSetupDialog() override;
  void Fill();
  // The number of tags to create; off when an existing tag is edited.
  void SetCountEnabled(bool enabled);
  // Refuses with a message while a field holds what a file cannot; the dialog
  // stays open with what was typed.
  void accept() override;

  // Registers a value type occupies: 1, 2, 4, or 0 for bytes and bits.
  static int RegisterCount(int valueType);
  static QStringList ByteOrderNames(int registerCount);

 signals:
  void signalInfoTag(QStringList info, bool flagSaveEnable);
  void signalInfoCountTag(int count);

 private slots:
  void on_regTypeBox_currentIndexChanged(int index);
  void on_valTypeBox_currentIndexChanged(int index);
  void on_writeGroupBox_currentIndexChanged(int index);
  void on_writeBox_currentIndexChanged(int index);
  void on_regsInSegmentBox_valueChanged(int value);
  void on_regsInSegmentBox_textChanged(const QString& text);
  void on_transformTypeBox_currentIndexChanged(int index);
  void on_emulTypeBox_currentIndexChanged(int index);
  void on_TagSetupDialog_accepted();

 private:
  // `tag` as the fields say, starting from the edited tag's settings.
  FieldChecks Collect(CDATagInfo& tag) const;
  void Recheck();
  void FillByteOrders(int valueType, int byteOrder);
  void UpdateWriteText();
  void UpdateWriteModeEnabled();
  void ApplySegmentSize(int size);

  Ui::TagSetupDialog* ui;
  CDATagInfo* m_tag;
  QString m_oldName;
};
