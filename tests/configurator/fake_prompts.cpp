#include "fake_prompts.h"

#include <QApplication>
#include <QTimer>

#include "dialogs/progressbar.h"

void OnNextDialog(const std::function<bool(QDialog*)>& edit) {
  // Polls until a modal dialog other than a progress dialog is up; bounded so
  // a test that never opens one cannot hang.
  auto* timer = new QTimer;
  auto tries = std::make_shared<int>(0);
  QObject::connect(timer, &QTimer::timeout, [timer, tries, edit] {
    auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
    if ((!dialog || qobject_cast<ProgressBar*>(dialog)) && ++*tries < 500) return;
    timer->stop();
    timer->deleteLater();
    if (!dialog) return;
    if (edit(dialog)) dialog->accept();
    // A dialog that refused a field stays open: closing it lets the test go
    // on and look at the refusal.
    if (dialog->isVisible()) dialog->reject();
  });
  timer->start(5);
}
