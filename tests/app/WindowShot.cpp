// Drives the program's window as its user would, against whatever sites the configuration in the
// current directory names (zentsim daemons in scripts/main-window-shots): Sites Download of every
// site, the first two free rows checked, Synchronize; then a picture of the main window.
// Usage: qob_window_shot OUTPUT.png [zh]. Exit 0 when the download and synchronisation succeeded.
#include <QApplication>
#include <QTimer>

#include <cstdio>

#include "app/MainFrm.h"
#include "app/QOB.h"
#include "document/QOBDoc.h"
#include "platform/CodePage.h"
#include "platform/Strings.h"
#include "ui/DlgSelServer.h"
#include "ui/ListGrid.h"
#include "ui/QOBView.h"
#include "../ui/UiDriver.h"

using namespace uitest;

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fputs("usage: qob_window_shot OUTPUT.png [zh]\n", stderr);
        return 2;
    }
    QApplication qapp(argc, argv);
    const bool chinese = argc > 2 && std::string(argv[2]) == "zh";
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
    QTest::qWait(200);
    const bool saved = frame->grab().save(QString::fromLocal8Bit(argv[1]));
    std::printf("rows %d, synchronised %d, picture %s\n", grid->GetItemCount(), synchronised, saved ? "saved" : "not saved");
    app.ExitInstance();
    return saved && synchronised == checked && checked > 0 ? 0 : 1;
}
