// "Справка": the operator manual (Markdown with pictures) in a browser of its
// own, with back, forward and the table of contents.
#pragma once

#include <QDialog>
#include <QStringList>

namespace Ui {
class HelpWindow;
}

// The folder of the manual seen from the folder of the program: installed
// (<prefix>/lib/virk-gateway -> <prefix>/share/virk-gateway/manual) or in
// the build tree (build/bin -> build/share/virk-gateway/manual). Empty when
// neither holds an index.md; `tried` gets the folders looked at.
QString FindManualFolder(const QString& programFolder, QStringList* tried = nullptr);

class QImage;
class QTextBrowser;

// The picture `name` (as a page names it) the way `browser` loads it; null
// when it cannot be found or read.
QImage LoadPicture(QTextBrowser& browser, const QString& name);

class HelpWindow : public QDialog {
  Q_OBJECT

 public:
  // Shows `manualFolder`/index.md.
  explicit HelpWindow(const QString& manualFolder, QWidget* parent = nullptr);
  ~HelpWindow() override;

  // The page shown, as a local file path.
  QString CurrentPage() const;
  // Opens a page of the manual by its file name (as its links name it).
  void ShowPage(const QString& fileName);

 private:
  Ui::HelpWindow* ui;
  QString m_Folder;
};
