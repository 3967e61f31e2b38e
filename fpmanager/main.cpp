// fpmanager: the administrator's fingerprint management application.
#include "ui/FpmanagerApp.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    return FpmanagerApp::run(app);
}
