#include "dialogs/helpwindow.h"

#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextFragment>
#include <QTextImageFormat>
#include <QTextBrowser>
#include <QUrl>

#include "ui_helpwindow.h"

namespace {

constexpr const char* kIndex = "index.md";
// Pictures wider than this are shown smaller, so a page never scrolls sideways.
constexpr int kWidestPicture = 760;

// Screenshots of whole windows are shrunk to kWidestPicture, keeping their shape.
void FitPictures(QTextBrowser& browser) {
  QTextDocument& document = *browser.document();
  QList<QPair<QTextFragment, QTextImageFormat>> wide;
  for (QTextBlock block = document.begin(); block.isValid(); block = block.next())
    for (auto it = block.begin(); !it.atEnd(); ++it) {
      QTextImageFormat format = it.fragment().charFormat().toImageFormat();
      if (!format.isValid()) continue;
      const QImage picture = LoadPicture(browser, format.name());
      if (picture.isNull() || picture.width() <= kWidestPicture) continue;
      format.setWidth(kWidestPicture);
      format.setHeight(double(picture.height()) * kWidestPicture / picture.width());
      wide.append({it.fragment(), format});
    }
  // Changed after the walk: a format change may split the fragments walked.
  for (const auto& [fragment, format] : wide) {
    QTextCursor cursor(&document);
    cursor.setPosition(fragment.position());
    cursor.setPosition(fragment.position() + fragment.length(), QTextCursor::KeepAnchor);
    cursor.setCharFormat(format);
  }
}

}  // namespace

QImage LoadPicture(QTextBrowser& browser, const QString& name) {
  const QVariant resource = browser.loadResource(QTextDocument::ImageResource, QUrl(name));
  return resource.canConvert<QImage>() ? qvariant_cast<QImage>(resource) : QImage::fromData(resource.toByteArray());
}

QString FindManualFolder(const QString& programFolder, QStringList* tried) {
  for (const char* relative : {"/../../share/virk-gateway/manual", "/../share/virk-gateway/manual"}) {
    const QString folder = QDir::cleanPath(programFolder + relative);
    if (tried) tried->append(folder);
    if (QFileInfo::exists(folder + "/" + kIndex)) return folder;
  }
  return QString();
}

HelpWindow::HelpWindow(const QString& manualFolder, QWidget* parent)
    : QDialog(parent), ui(new Ui::HelpWindow), m_Folder(manualFolder) {
  ui->setupUi(this);
  // A help window stays open beside the main window, which remains usable.
  setWindowFlag(Qt::WindowMaximizeButtonHint);
  setModal(false);
  ui->browser->setOpenExternalLinks(true);
  connect(ui->backButton, &QPushButton::clicked, ui->browser, &QTextBrowser::backward);
  connect(ui->forwardButton, &QPushButton::clicked, ui->browser, &QTextBrowser::forward);
  connect(ui->contentsButton, &QPushButton::clicked, this, [this] { ShowPage(kIndex); });
  connect(ui->browser, &QTextBrowser::backwardAvailable, ui->backButton, &QPushButton::setEnabled);
  connect(ui->browser, &QTextBrowser::forwardAvailable, ui->forwardButton, &QPushButton::setEnabled);
  connect(ui->browser, &QTextBrowser::sourceChanged, this, [this] {
    FitPictures(*ui->browser);
    // A Markdown page has no title of its own: its first heading names it.
    const QString title = ui->browser->document()->firstBlock().text();
    setWindowTitle(title.isEmpty() ? QStringLiteral("Справка") : "Справка — " + title);
  });
  ShowPage(kIndex);
}

HelpWindow::~HelpWindow() { delete ui; }

QString HelpWindow::CurrentPage() const { return ui->browser->source().toLocalFile(); }

void HelpWindow::ShowPage(const QString& fileName) {
  ui->browser->setSource(QUrl::fromLocalFile(m_Folder + "/" + fileName), QTextDocument::MarkdownResource);
}
