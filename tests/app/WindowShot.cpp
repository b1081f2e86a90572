// Drives the program's window as its user would, against whatever sites the configuration in the
// current directory names (zentsim daemons in scripts/main-window-shots): Sites Download of every
// site, the first two free rows checked, Synchronize; then pictures of the main window at its
// default size, maximised, filtered, and on a dark theme, named main-window[-what]-LANG.png, and
// of the History window with that synchronisation, history-LANG.png.
// Usage: qob_window_shot OUTPUT-DIRECTORY en|zh. Exit 0 when the download and synchronisation
// succeeded and every picture was saved.
#include <QApplication>
#include <QCheckBox>
#include <QPalette>
#include <QTimer>

#include <cstdio>

#include "app/MainFrm.h"
#include "app/QOB.h"
#include "document/QOBDoc.h"
#include "platform/CodePage.h"
#include "platform/Strings.h"
#include "ui/DlgSelServer.h"
#include "ui/HistoryWnd.h"
#include "ui/ListGrid.h"
#include "ui/QOBView.h"
#include "../ui/UiDriver.h"
#include "DarkPalette.h"

using namespace uitest;

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fputs("usage: qob_window_shot OUTPUT-DIRECTORY en|zh\n", stderr);
        return 2;
    }
    QApplication qapp(argc, argv);
    const std::string lang = argv[2];
    const bool chinese = lang == "zh";
    platform::SetCodePage(chinese ? "CP936" : "WINDOWS-1252");
    platform::SetStringLanguage(chinese ? platform::StringLanguage::Chinese : platform::StringLanguage::English);

    CQOBApp app;
    if (!app.InitInstance()) return 1;
    CMainFrame* frame = app.GetMainWnd();
    CQOBDoc* doc = app.GetDocument();
    doc->m_bReload = false;  // the synchronised rows stay checked and locked in the picture
    (void)QTest::qWaitForWindowExposed(frame);

    NextDialog<CDlgSelServer> choose([&](CDlgSelServer& dlg) {
        CListGrid& g = *dlg.m_listServers;
        for (int r = 0; r < g.GetItemCount(); ++r) dlg.m_saPasswords[static_cast<size_t>(r)] = "pw-" + dlg.m_saServers[static_cast<size_t>(r)];
        g.SelectAll();
        QTest::mouseClick(dlg.GetDlgItem(1), Qt::LeftButton);
    });
    // A command runs on the engine: the window is waited on until it ended (a minute at most).
    auto idle = [frame] { return QTest::qWaitFor([frame] { return !frame->IsBusy(); }, 60000); };
    frame->Command(ID_SITES_DOWNLOAD)->trigger();
    if (!idle() || !doc->m_bDownloaded) return 1;

    CListGrid* grid = frame->GetListView()->m_listExt;
    int checked = 0;
    for (int r = 0; r < grid->GetItemCount() && checked < 2; ++r)
        if (grid->GetCheck(r) == LGCS_UNCHECKED) {
            grid->SetCheck(r, LGCS_CHECKED);
            ++checked;
        }
    {
        MessageBoxes yes(IDYES);
        frame->Command(ID_SYNCHRONIZE)->trigger();
        if (!idle()) return 1;
    }
    int synchronised = 0;
    for (int r = 0; r < grid->GetItemCount(); ++r) synchronised += grid->GetCheck(r) == (LGCS_CHECKED | LGCS_LOCKED);
    grid->SetRowSelected(0, true);
    grid->setFocus();
    const QString dir = QString::fromLocal8Bit(argv[1]);
    int saved = 0;
    auto shot = [&](const char* what) {
        QTest::qWait(300);
        const QString name = QStringLiteral("%1/main-window%2%3-%4.png")
                                 .arg(dir, *what ? QStringLiteral("-") : QString(), QString::fromLatin1(what),
                                      QString::fromStdString(lang));
        if (frame->grab().save(name)) ++saved;
        std::printf("%s\n", name.toLocal8Bit().constData());
    };
    shot("");
    frame->showMaximized();
    (void)QTest::qWaitFor([frame] { return frame->isMaximized(); }, 3000);
    shot("maximised");
    frame->showNormal();
    (void)QTest::qWaitFor([frame] { return !frame->isMaximized(); }, 3000);
    // Filtered: the numbers not synchronized yet.
    CQOBView* view = frame->GetListView();
    view->m_checkUnsynchronized->setChecked(true);
    shot("filtered");
    view->m_checkUnsynchronized->setChecked(false);
    // The History with the synchronisation just made selected.
    frame->OnHistory();
    if (CHistoryWnd* history = frame->GetHistoryWindow()) {
        QTest::qWait(300);
        const QString name = QStringLiteral("%1/history-%2.png").arg(dir, QString::fromStdString(lang));
        if (history->grab().save(name)) ++saved;
        std::printf("%s\n", name.toLocal8Bit().constData());
        history->close();
    }
    // Fusion with a dark palette.
    QApplication::setStyle(QStringLiteral("Fusion"));
    QPalette dark = DarkPalette();
    dark.setColor(QPalette::ToolTipBase, QColor(45, 45, 48));
    dark.setColor(QPalette::ToolTipText, QColor(230, 230, 230));
    dark.setColor(QPalette::PlaceholderText, QColor(150, 150, 150));
    QApplication::setPalette(dark);
    shot("dark");
    std::printf("rows %d, synchronised %d, pictures %d\n", grid->GetItemCount(), synchronised, saved);
    app.ExitInstance();
    return saved == 5 && synchronised == checked && checked > 0 ? 0 : 1;
}
