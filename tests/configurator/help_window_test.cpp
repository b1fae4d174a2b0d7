// "Справка": the manual is found where the package and the build put it, its
// links and pictures resolve in the window, and F1 opens it.
#include <gtest/gtest.h>

#include <QAction>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>
#include <QTextBrowser>
#include <QTextFragment>

#include "app/mainwindow.h"
#include "dialogs/helpwindow.h"

namespace {

void WriteFile(const QString& path, const QByteArray& text) {
  QDir().mkpath(QFileInfo(path).absolutePath());
  QFile file(path);
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  file.write(text);
}

// The pictures of the page shown, each as the browser loads it.
QList<QImage> PicturesOf(QTextBrowser& browser, QStringList& names) {
  QList<QImage> pictures;
  for (QTextBlock block = browser.document()->begin(); block.isValid(); block = block.next())
    for (auto it = block.begin(); !it.atEnd(); ++it) {
      const QTextCharFormat format = it.fragment().charFormat();
      if (!format.isImageFormat()) continue;
      const QString name = format.toImageFormat().name();
      names << name;
      pictures << LoadPicture(browser, name);
    }
  return pictures;
}

// The sizes the page gives its pictures (0 × 0: their own).
QList<QSizeF> ShownSizes(QTextBrowser& browser) {
  QList<QSizeF> sizes;
  for (QTextBlock block = browser.document()->begin(); block.isValid(); block = block.next())
    for (auto it = block.begin(); !it.atEnd(); ++it)
      if (it.fragment().charFormat().isImageFormat()) {
        const QTextImageFormat format = it.fragment().charFormat().toImageFormat();
        sizes << QSizeF(format.width(), format.height());
      }
  return sizes;
}

QString FirstLine(QTextBrowser& browser) { return browser.document()->firstBlock().text(); }

}  // namespace

TEST(HelpWindow, FindsTheInstalledManualFollowsItsLinksAndShowsItsPictures) {
  QTemporaryDir prefix;
  const QString manual = prefix.path() + "/share/virk-gateway/manual";
  WriteFile(manual + "/index.md", "# Содержание\n\n1. [Установка](01-install.md)\n");
  WriteFile(manual + "/01-install.md",
            "# Установка\n\n![Окно](../screenshots/window.png)\n\n![Экран](../screenshots/wide.png)\n");
  QDir().mkpath(prefix.path() + "/share/virk-gateway/screenshots");
  for (const auto& [name, size] : {std::pair{"window", QSize(8, 6)}, std::pair{"wide", QSize(1520, 1000)}}) {
    QImage picture(size, QImage::Format_RGB32);
    picture.fill(Qt::red);
    ASSERT_TRUE(picture.save(prefix.path() + "/share/virk-gateway/screenshots/" + name + ".png"));
  }

  QStringList tried;
  EXPECT_EQ(FindManualFolder(prefix.path() + "/lib/virk-gateway", &tried), QDir::cleanPath(manual));
  EXPECT_EQ(FindManualFolder(prefix.path() + "/nowhere/at/all", &tried), QString());
  EXPECT_EQ(tried.size(), 3) << "found at the first place, then both places tried";

  HelpWindow window(manual);
  window.show();
  auto* browser = window.findChild<QTextBrowser*>("browser");
  auto* back = window.findChild<QPushButton*>("backButton");
  ASSERT_TRUE(browser && back);
  EXPECT_EQ(FirstLine(*browser), "Содержание") << "Markdown rendered, not shown as text";
  EXPECT_EQ(window.windowTitle(), "Справка — Содержание");
  EXPECT_FALSE(back->isEnabled());

  // The operator's way to a chapter: the keyboard moves to the link and opens it.
  browser->setFocus();
  QTest::keyClick(browser, Qt::Key_Tab);
  QTest::keyClick(browser, Qt::Key_Return);
  EXPECT_EQ(window.CurrentPage(), QDir::cleanPath(manual + "/01-install.md"));
  EXPECT_EQ(FirstLine(*browser), "Установка");
  QStringList names;
  const QList<QImage> pictures = PicturesOf(*browser, names);
  ASSERT_EQ(names, (QStringList{"../screenshots/window.png", "../screenshots/wide.png"}));
  EXPECT_EQ(pictures.front().size(), QSize(8, 6));
  // A small picture keeps its size; a whole screen is shown at half, as wide as the page allows.
  EXPECT_EQ(ShownSizes(*browser), (QList<QSizeF>{QSizeF(0, 0), QSizeF(760, 500)}));
  EXPECT_TRUE(back->isEnabled());

  back->click();
  EXPECT_EQ(window.CurrentPage(), QDir::cleanPath(manual + "/index.md"));
}

TEST(HelpWindow, F1OpensTheManualOfTheBuildWithEveryPageAndPicture) {
  MainWindow main;
  main.show();
  auto* help = main.findChild<QAction*>("action_help");
  ASSERT_TRUE(help);
  EXPECT_EQ(help->shortcut(), QKeySequence(Qt::Key_F1));
  help->trigger();
  help->trigger();  // brings the open window forward, no second one
  const QList<HelpWindow*> windows = main.findChildren<HelpWindow*>();
  ASSERT_EQ(windows.size(), 1) << "the manual of the build is found from the program's folder";
  HelpWindow& window = *windows.front();
  EXPECT_TRUE(window.isVisible());
  EXPECT_TRUE(window.CurrentPage().endsWith("/manual/index.md")) << window.CurrentPage().toStdString();

  const QDir folder(QFileInfo(window.CurrentPage()).absolutePath());
  const QStringList pages = folder.entryList({"*.md"}, QDir::Files);
  EXPECT_GE(pages.size(), 2);
  auto* browser = window.findChild<QTextBrowser*>("browser");
  int pictureCount = 0;
  for (const QString& page : pages) {
    window.ShowPage(page);
    EXPECT_FALSE(FirstLine(*browser).startsWith("#")) << page.toStdString() << " is rendered";
    QStringList names;
    const QList<QImage> pictures = PicturesOf(*browser, names);
    for (int i = 0; i < pictures.size(); ++i)
      EXPECT_FALSE(pictures[i].isNull()) << page.toStdString() << ": " << names[i].toStdString();
    pictureCount += pictures.size();
  }
  EXPECT_GT(pictureCount, 0) << "the manual shows the windows it describes";
}
