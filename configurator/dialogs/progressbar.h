// Modal busy dialog shown while a worker thread runs a long operation. The
// worker talks to it through queued signals; the dialog cannot be closed by
// the user, only by the close code the worker sends.
#pragma once

#include <QDialog>
#include <functional>

namespace Ui {
class ProgressBar;
}

class ProgressBar : public QDialog {
  Q_OBJECT

 public:
  explicit ProgressBar(QWidget* parent = nullptr);
  ~ProgressBar() override;

  // The warning shown for a close code; empty for success and unknown codes.
  static QString MessageForCode(int code);
  QString Label() const;

 public slots:
  void slotSetLabelProgressBar(const QString& newLabel);
  void slotCloseProgressBar(int code);

 protected:
  void closeEvent(QCloseEvent* event) override;
  void reject() override;  // Esc

 private:
  Ui::ProgressBar* ui;
  bool m_closeAllowed = false;
};

// Runs `work` on a worker thread and returns its result. The calling (GUI)
// thread waits a moment for it, so that a quick server call shows no window,
// then keeps its events flowing in a modal ProgressBar with `label` until the
// work is done: a server that does not answer never freezes the window.
int RunBehindProgressBar(QWidget* parent, const QString& label, const std::function<int()>& work);
