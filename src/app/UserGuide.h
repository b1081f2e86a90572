// The user guide installed with the program, opened by Help: in the browser when the desktop has
// a launcher for it, else in a window of the program's own.
#pragma once

#include <QDialog>
#include <QString>

class QTextBrowser;

// The guide's HTML file for a program in `programDir`: installed beside it in
// ../share/doc/tarn-manager, or in a build tree's docs folder. With `chinese`, the Simplified
// Chinese guide (guide.zh_CN.html) where it is there, else the English one. Empty when there is none.
QString FindUserGuide(const QString& programDir, bool chinese = false);

// Whether a desktop launcher can open a web page here (xdg-open on a real display).
bool HasDesktopLauncher();

// The guide in a window of the program's own, for a desktop without a launcher.
class CHelpWindow : public QDialog {
    Q_OBJECT
public:
    explicit CHelpWindow(QWidget* parent = nullptr);
    // Shows the guide's file, or says that it is not installed.
    void ShowGuide(const QString& path);
    QTextBrowser* Browser() const { return m_browser; }

private:
    QTextBrowser* m_browser;
};

// Loads Qt's own translations (the print and file dialogs' texts) for the program's language, or
// drops them for English; false when Chinese is in force and they are not installed.
bool LoadQtTranslations();
