#include "app/UserGuide.h"

#include <QDir>
#include <QFileInfo>

QString FindUserGuide(const QString& programDir) {
    const QDir dir(programDir);
    const QString candidates[] = {
        dir.filePath(QStringLiteral("../share/doc/tarn-manager/guide.html")),
        dir.filePath(QStringLiteral("../docs/guide.html")),
#ifdef QOB_SOURCE_DIR
        QStringLiteral(QOB_SOURCE_DIR "/docs/guide.html"),
#endif
    };
    for (const QString& path : candidates)
        if (QFileInfo(path).isFile()) return QFileInfo(path).canonicalFilePath();
    return {};
}
