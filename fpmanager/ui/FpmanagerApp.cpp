#include "FpmanagerApp.h"

#include "FingerManageDlg.h"
#include "LoginDlg.h"
#include "SingleInstanceGuard.h"

#include "store/FingerManage.h"

#include <QApplication>
#include <QIcon>
#include <QTranslator>

namespace FpmanagerApp {

void connectWindows(LoginDlg& login, FingerManageDlg& main)
{
    QObject::connect(&login, &LoginDlg::settingdlgshow, &main, &FingerManageDlg::settingDlgshow);
}

int run(QApplication& app)
{
    // Texts of Qt's own dialogs and buttons in Chinese; without the catalogue they stay English.
    QTranslator translator;
    if (translator.load(QStringLiteral(":/qt_zh_CN.qm")))
        app.installTranslator(&translator);

    SingleInstanceGuard guard;
    switch (guard.acquire()) {
    case SingleInstanceGuard::Result::AlreadyRunning:
        return 0;
    case SingleInstanceGuard::Result::Failed:
        return -1;
    case SingleInstanceGuard::Result::Acquired:
        break;
    }

    if (!fingerMagager.init())
        return 0;

    LoginDlg login(nullptr);
    FingerManageDlg main(nullptr);
    connectWindows(login, main);
    login.show();
    app.setWindowIcon(QIcon(QStringLiteral("FingerManage.ico")));

    const int result = app.exec();
    guard.release();
    return result;
}

} // namespace FpmanagerApp
