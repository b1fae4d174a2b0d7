#include "dialogs/progressbar.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QThread>
#include <memory>

#include "app/prompts.h"

#include "ui_progressbar.h"

namespace {

const char kAutoHint[] =
    "Проверьте, запущен ли сервер, доступны ли IP адрес и порт, и попробуйте вручную.";

// Below this a window would only flash; well under what an operator feels as a stall.
constexpr unsigned long kQuietWaitMs = 40;

}  // namespace

ProgressBar::ProgressBar(QWidget* parent) : QDialog(parent), ui(new Ui::ProgressBar) {
  ui->setupUi(this);
  setWindowFlags(windowFlags() & ~Qt::WindowCloseButtonHint);
}

ProgressBar::~ProgressBar() { delete ui; }

QString ProgressBar::MessageForCode(int code) {
  switch (code) {
    case 1: return QString("Не удалось автоматически подключиться к серверу. ") + kAutoHint;
    case 2: return QString("Не удалось автоматически получить конечные точки. ") + kAutoHint;
    case 3: return QString("Не удалось автоматически подключиться к конечной точке. ") + kAutoHint;
    case 4: return QString("Не удалось подключиться к конечной точке. ") + kAutoHint;
    case 5:
      return "Добавление тега завершилось неудачно, не удалось добавить дочерний элемент в группу.";
    case 6: return "Добавление тега завершилось неудачно, на сервере произошла ошибка.";
    case 7: return "Ошибка заполнения дерева, неверный формат файла.";
    case 8: return "Ошибка отключения подписки выбранных тегов, подробности смотрите в логе.";
    case 9: return "Ошибка отключения опроса выбранных тегов, подробности смотрите в логе.";
    case 10: return "Ошибка создания подписки выбранных тегов, подробности смотрите в логе.";
    case 11: return "Ошибка запуска опроса выбранных тегов, подробности смотрите в логе.";
    case 12:
    case 13: return "Не удалось сохранить файл конфигурации.";
    default: return QString();
  }
}

QString ProgressBar::Label() const { return ui->label->text(); }

void ProgressBar::slotSetLabelProgressBar(const QString& newLabel) { ui->label->setText(newLabel); }

void ProgressBar::slotCloseProgressBar(int code) {
  const QString message = MessageForCode(code);
  if (!message.isEmpty()) CurrentPrompts().Warning(this, "Внимание", message);
  m_closeAllowed = true;
  done(code);
}

void ProgressBar::closeEvent(QCloseEvent* event) {
  if (m_closeAllowed)
    event->accept();
  else
    event->ignore();
}

void ProgressBar::reject() {
  if (m_closeAllowed) QDialog::reject();
}

int RunBehindProgressBar(QWidget* parent, const QString& label, const std::function<int()>& work) {
  int result = 0;
  std::unique_ptr<QThread> worker(QThread::create([&] { result = work(); }));
  ProgressBar bar(parent);
  bar.slotSetLabelProgressBar(label);
  // Queued to the bar's thread; dropped unseen when the bar is gone first.
  QObject::connect(worker.get(), &QThread::finished, &bar, [&bar] { bar.slotCloseProgressBar(0); });
  worker->start();
  if (!worker->wait(kQuietWaitMs)) bar.exec();
  worker->wait();
  // What the work reported through queued signals arrives before its result.
  QCoreApplication::sendPostedEvents(nullptr, QEvent::MetaCall);
  return result;
}
