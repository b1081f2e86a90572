// One copy of the program per user and directory: the first copy listens on a local socket named
// after its directory once its window is shown; a later copy in the same directory that reaches it
// asks it to come to the front and ends.
#pragma once

#include <QObject>
#include <QString>

class QLocalServer;

class CSingleInstance : public QObject {
    Q_OBJECT
public:
    explicit CSingleInstance(QObject* parent = nullptr) : QObject(parent) {}

    // True when a running copy listens under `name` and was asked to come to the front.
    static bool HandOver(const QString& name);
    // Listens under `name` (a copy that ended without closing leaves its name behind: taken over).
    bool Listen(const QString& name);

signals:
    // Another copy asked this one to come to the front.
    void activateRequested();

private:
    QLocalServer* m_server = nullptr;
};
