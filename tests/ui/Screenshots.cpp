// Writes a picture of every dialog in English and in Chinese, with sample data, into the directory
// named on the command line. Run under Xvfb by scripts/screenshots, with real fonts.
#include <arpa/inet.h>

#include <QApplication>
#include <QDir>
#include <QImage>
#include <QPainter>
#include <QtTest/QTest>

#include <cstdio>
#include <functional>

#include "document/MapTableOps.h"
#include "document/QOBDoc.h"
#include "platform/CodePage.h"
#include "platform/Strings.h"
#include "ui/DelExtDlg.h"
#include "ui/DlgSelServer.h"
#include "ui/EditMap.h"
#include "ui/EditServer.h"
#include "ui/ListGrid.h"
#include "ui/Options.h"

namespace {

// The dialog's client area under a plain caption bar (there is no window manager to draw one).
QImage WithCaption(QWidget& w) {
    const QImage body = w.grab().toImage();
    QFont font = w.font();
    font.setBold(true);
    const int bar = QFontMetrics(font).height() + 8;
    QImage image(body.width() + 2, body.height() + bar + 1, QImage::Format_RGB32);
    image.fill(QColor(128, 128, 128));
    QPainter p(&image);
    p.fillRect(QRect(1, 1, body.width(), bar - 1), QColor(0, 0, 128));
    p.setFont(font);
    p.setPen(Qt::white);
    p.drawText(QRect(6, 1, body.width() - 8, bar - 1), Qt::AlignVCenter | Qt::AlignLeft, w.windowTitle());
    p.drawImage(1, bar, body);
    return image;
}

bool Save(QWidget& w, const QString& dir, const QString& name) {
    w.show();
    if (!QTest::qWaitForWindowExposed(&w)) return false;
    QTest::qWait(50);
    const QString path = dir + QLatin1Char('/') + name + QStringLiteral(".png");
    const bool ok = WithCaption(w).save(path, "PNG");
    std::printf("%s %s\n", ok ? "wrote" : "FAILED", path.toLocal8Bit().constData());
    w.close();
    return ok;
}

void Sites(CQOBDoc& doc) {
    const struct {
        const char* name;
        uint32_t ip;
        const char* suffix;
        const char* code;
    } sites[] = {{"Zurich", 0x0A000001, "zurich.example.com", "81N"},
                 {"Bern", 0x0A000002, "bern.example.com", "82N"},
                 {"Geneva", 0x0A000003, "", ""}};
    for (const auto& s : sites) MapAddSite(doc, SiteEditValues{s.name, htonl(s.ip), "", ""});
    for (const auto& s : sites) MapSetRouteCell(doc, 0, s.name, RouteColumn::MailSuffix, s.suffix);
    for (const auto& s : sites) MapSetRouteCell(doc, 0, s.name, RouteColumn::AccessCode, s.code);
}

bool Shoot(const QString& dir, const QString& suffix) {
    bool ok = true;
    {
        CDlgSelServer dlg;
        dlg.m_saServers = {"Zurich", "Bern", "Geneva"};
        dlg.m_saPasswords = {"secret", "", "pw"};
        dlg.show();
        dlg.m_listServers->SetRowSelected(0, true);
        dlg.m_listServers->SetRowSelected(1, true);
        ok &= Save(dlg, dir, QStringLiteral("select-servers") + suffix);
    }
    {
        CEditServer dlg;
        dlg.m_strName = "Zurich";
        dlg.m_dwIP = htonl(0xC0A80114);
        dlg.m_strMBAccount = "ZURICH\\voicemail";
        dlg.m_strMBPassword = "mailbox-pw";
        ok &= Save(dlg, dir, QStringLiteral("server-edit") + suffix);
    }
    {
        CQOBDoc doc;
        Sites(doc);
        CEditMap dlg(&doc);
        ok &= Save(dlg, dir, QStringLiteral("map-table-edit") + suffix);
    }
    {
        COptions dlg;
        dlg.m_bAutoReload = 1;
        dlg.m_bRelocate = 1;
        dlg.m_bRelocateVoiceMail = 1;
        dlg.m_strNTAccount = "EXAMPLE\\admin";
        dlg.m_strNTPassword = "options-pw";
        ok &= Save(dlg, dir, QStringLiteral("options") + suffix);
    }
    {
        CDelExtDlg dlg;
        dlg.m_nRadio = 0;
        dlg.m_strExtNo = "205";
        dlg.m_nType = 0;
        ok &= Save(dlg, dir, QStringLiteral("delete-extension") + suffix);
    }
    return ok;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s DIRECTORY\n", argv[0]);
        return 2;
    }
    QApplication app(argc, argv);
    const QString dir = QString::fromLocal8Bit(argv[1]);
    QDir().mkpath(dir);
    bool ok = true;
    for (bool chinese : {false, true}) {
        platform::SetCodePage(chinese ? "CP936" : "WINDOWS-1252");
        platform::SetStringLanguage(chinese ? platform::StringLanguage::Chinese : platform::StringLanguage::English);
        ok &= Shoot(dir, chinese ? QStringLiteral("-zh") : QStringLiteral("-en"));
    }
    return ok ? 0 : 1;
}
