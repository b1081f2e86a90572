// qob: the administrator's window over the document.
#include <QApplication>

#include "app/QOB.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    CQOBApp theApp;
    if (!theApp.InitInstance()) return theApp.HandedOver() ? 0 : 1;
    const int code = app.exec();
    theApp.ExitInstance();
    return code;
}
