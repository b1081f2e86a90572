#include "app/UserGuide.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLibraryInfo>
#include <QStandardPaths>
#include <QTextBrowser>
#include <QTranslator>
#include <QUrl>
#include <QVBoxLayout>

#include "platform/Strings.h"
#include "ui/UiText.h"

QString FindUserGuide(const QString& programDir, bool chinese) {
    const QDir dir(programDir);
    const QStringList folders = {
        dir.filePath(QStringLiteral("../share/doc/tarn-manager")),
        dir.filePath(QStringLiteral("../docs")),
#ifdef QOB_SOURCE_DIR
        QStringLiteral(QOB_SOURCE_DIR "/docs"),
#endif
    };
    QStringList names;
    if (chinese) names << QStringLiteral("guide.zh_CN.html");
    names << QStringLiteral("guide.html");
    for (const QString& name : names)
        for (const QString& folder : folders) {
            const QString path = QDir(folder).filePath(name);
            if (QFileInfo(path).isFile()) return QFileInfo(path).canonicalFilePath();
        }
    return {};
}

bool HasDesktopLauncher() {
    const QString platform = QGuiApplication::platformName();
    if (platform == QLatin1String("offscreen") || platform == QLatin1String("minimal")) return false;
    return !QStandardPaths::findExecutable(QStringLiteral("xdg-open")).isEmpty();
}

CHelpWindow::CHelpWindow(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("helpWindow"));
    setWindowTitle(ui::LoadQString(47120));
    setAttribute(Qt::WA_DeleteOnClose);
    m_browser = new QTextBrowser(this);
    m_browser->setObjectName(QStringLiteral("helpBrowser"));
    m_browser->setOpenExternalLinks(true);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_browser);
    resize(820, 640);
}

void CHelpWindow::ShowGuide(const QString& path) {
    if (path.isEmpty()) {
        m_browser->setPlainText(ui::LoadQString(47121));
        return;
    }
    m_browser->setSearchPaths({QFileInfo(path).absolutePath()});
    m_browser->setSource(QUrl::fromLocalFile(path));
}

bool LoadQtTranslations() {
    static QTranslator* translator = nullptr;
    if (platform::StringLanguageInForce() != platform::StringLanguage::Chinese) {
        // English: Qt's own texts as they are.
        if (translator) QCoreApplication::removeTranslator(translator);
        delete translator;
        translator = nullptr;
        return true;
    }
    if (translator) return true;
    auto* t = new QTranslator;
    if (!t->load(QStringLiteral("qtbase_zh_CN"), QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        delete t;
        return false;
    }
    QCoreApplication::installTranslator(t);
    translator = t;
    return true;
}
