// The application object: brings the program up in its fixed order (one copy only, the runtime,
// the proxy library, the document with its configuration, the window), opens the map table
// editor once when the document asks, and takes the runtime down at the end.
#pragma once

#include <QObject>
#include <QString>

#include <memory>
#include <string>

#include "app/SingleInstance.h"

class CMainFrame;
class CQOBDoc;

class CQOBApp : public QObject {
    Q_OBJECT
public:
    // The name under which the running copy is found, for the directory it works in: one copy per
    // directory, so that several networks can be kept in several directories at once.
    static constexpr const char* kInstanceName = "PlexarConfigurator";
    static QString InstanceName(const std::string& workDir);

    CQOBApp();
    ~CQOBApp() override;

    // `workDir` stands for the current directory (configuration and log file); empty: the
    // process's own. False ends the program: another copy took over, or start-up failed.
    bool InitInstance(const std::string& workDir = {});
    // Why InitInstance returned false: another copy runs (the normal end of a second copy).
    bool HandedOver() const { return m_bHandedOver; }
    int ExitInstance();

    bool IsFirstInstance(const std::string& workDir = {});
    // The idle hook: opens the map table editor when the document asked for it.
    void OnIdle();
    // New (Ctrl+N): the document's new-document handler again, which reloads the configuration.
    void OnFileNew();

    CQOBDoc* GetDocument() const { return m_pDoc.get(); }
    CMainFrame* GetMainWnd() const { return m_pMainWnd.get(); }

    // 0: the map table editor is to be opened when the program is next idle.
    int m_bMapEditDone = 1;

private:
    void ScheduleIdle();

    std::unique_ptr<CQOBDoc> m_pDoc;
    std::unique_ptr<CMainFrame> m_pMainWnd;
    CSingleInstance m_instance;
    bool m_bRuntime = false;
    bool m_bHandedOver = false;
    bool m_bIdleScheduled = false;
};
