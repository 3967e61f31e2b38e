#include "FpmanagerApp.h"

#include "FingerManageDlg.h"
#include "LoginDlg.h"
#include "NoticeBox.h"
#include "SingleInstanceGuard.h"
#include "Translations.h"
#include "store/FingerManage.h"

#include <QApplication>
#include <QDebug>
#include <QIcon>
#include <QStringDecoder>
#include <QStringEncoder>
#include <QTranslator>

namespace FpmanagerApp
{

void connectWindows(LoginDlg& login, FingerManageDlg& main)
{
    QObject::connect(&login, &LoginDlg::settingdlgshow, &main, &FingerManageDlg::settingDlgshow);
}

bool charsetReady(const char* codec)
{
    if (QStringEncoder(codec).isValid() && QStringDecoder(codec).isValid())
        return true;
    qDebug() << "no" << codec << "codec in this Qt (built without ICU?): user names cannot be converted";
    NoticeBox::warning(
        QCoreApplication::translate("FpmanagerApp", "无法使用%1字符集（Qt缺少ICU支持），用户名无法转换，程序将退出。")
            .arg(QString::fromLatin1(codec)));
    return false;
}

int run(QApplication& app, const char* nameCodec)
{
    // The windows in the session's language when there is a catalogue for it (with Qt's own texts
    // of that language). Otherwise the texts as written, and Qt's dialogs and buttons in Chinese to
    // match; without that catalogue they stay English.
    QTranslator translator;
    if (!Translations::install(app, QStringLiteral("fpmanager")) && translator.load(QStringLiteral(":/qt_zh_CN.qm")))
        app.installTranslator(&translator);

    if (!charsetReady(nameCodec))
        return 1;

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
