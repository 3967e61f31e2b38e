// fpmanager's windows on a real X server (Xvfb) with the Chinese font the setup installs, saved as
// test artefacts (fpmanager-*.png). The library is replaced by test doubles; the database is the
// real one on the fixed paths of the private test namespace.
#include "About.h"
#include "AddDlg.h"
#include "ChangeInfoDlg.h"
#include "FakeFingerLibrary.h"
#include "FingerManageDlg.h"
#include "LoginDlg.h"
#include "ManagerTestSupport.h"
#include "SettingsDlg.h"
#include "XvfbServer.h"
#include "store/FingerManage.h"
#include "ui_AddDlg.h"
#include "ui_ChangeInfoDlg.h"
#include "ui_FingerManageDlg.h"
#include "ui_LoginDlg.h"
#include "ui_SettingsDlg.h"

#include <QAction>
#include <QApplication>
#include <QFontDatabase>
#include <QScreen>
#include <QtTest>

namespace
{

using Printers = QList<QPair<QByteArray, QByteArray>>;

// What the X server shows of a window (no window manager: no frame).
QImage onScreen(QWidget* window)
{
    QTest::qWait(150); // let the server draw what Qt sent
    const QRect area = window->frameGeometry();
    return QGuiApplication::primaryScreen()
        ->grabWindow(0, area.x(), area.y(), area.width(), area.height())
        .toImage()
        .convertToFormat(QImage::Format_RGB32);
}

int darkPixels(const QImage& image, const QRect& area)
{
    int count = 0;
    const QRect inside = area.intersected(image.rect());
    for (int y = inside.top(); y <= inside.bottom(); ++y)
        for (int x = inside.left(); x <= inside.right(); ++x)
            if (qGray(image.pixel(x, y)) < 110)
                ++count;
    return count;
}

void typeInto(QWidget* widget, const QString& text)
{
    for (const QChar c : text) {
        QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, QString(c));
        QApplication::sendEvent(widget, &press);
    }
}

bool save(const QImage& image, const QString& name) { return image.save(ManagerTestEnv::artifactPath(name), "PNG"); }

} // namespace

class TestScreens : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void loginWindow();
    void changeLoginDialog();
    void mainWindowWithUsers();
    void aboutWindow();
    void enrolment();
    void addDialog();
    void settingsDialog();
};

void TestScreens::initTestCase()
{
    QVERIFY2(inPrivateNamespace(), "run through tests/fixtures/in-namespace.sh (ctest does)");
    QCOMPARE(QGuiApplication::platformName(), QStringLiteral("xcb"));
    QVERIFY2(!QFontDatabase::families(QFontDatabase::SimplifiedChinese).isEmpty(),
        "no font with Chinese glyphs: scripts/setup.sh installs fonts-wqy-microhei");
    qApp->setQuitOnLastWindowClosed(false);
}

void TestScreens::init() { QVERIFY(ManagerTestEnv::freshManager()); }

void TestScreens::loginWindow()
{
    LoginDlg login;
    login.show();
    QVERIFY(QTest::qWaitForWindowExposed(&login));
    typeInto(login.ui->userName, QStringLiteral("admin"));
    typeInto(login.ui->password, QStringLiteral("58203716"));
    const QImage shot = onScreen(&login);
    QCOMPARE(shot.size(), QSize(293, 191));
    QVERIFY(save(shot, QStringLiteral("fpmanager-login.png")));
    // The labels and the button texts are drawn.
    QVERIFY(darkPixels(shot, QRect(40, 40, 54, 21)) > 20);
    QVERIFY(darkPixels(shot, QRect(150, 120, 101, 26)) > 40);
}

void TestScreens::changeLoginDialog()
{
    ChangeInfoDlg dialog;
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    typeInto(dialog.ui->editNewName, QStringLiteral("管理员"));
    typeInto(dialog.ui->editOldPwd, QStringLiteral("58203716"));
    const QImage shot = onScreen(&dialog);
    QCOMPARE(shot.size(), QSize(332, 241));
    QVERIFY(save(shot, QStringLiteral("fpmanager-change-login.png")));
    QVERIFY(darkPixels(shot, QRect(30, 120, 111, 21)) > 20);
    QVERIFY(darkPixels(shot, QRect(140, 30, 151, 21)) > 20);
}

void TestScreens::mainWindowWithUsers()
{
    const Printers printers = { { "ZPH6100RMX_USB", "usb://Simulated/ZPH6100RMX?serial=SIM0001" },
        { "ZPH6100RMX_Office", "usb://Simulated/ZPH6100RMX?serial=SIM0002" } };
    ManagerTestEnv::setPrinters(printers);
    const QStringList users = { QStringLiteral("张伟"), QStringLiteral("李娜"), QStringLiteral("王芳"),
        QStringLiteral("alice"), QStringLiteral("o'brien") };
    for (int i = 0; i < users.size(); ++i)
        ManagerTestEnv::storeFinger(QStringLiteral("ZPH6100RMX_USB"), i + 1, users.at(i));

    FingerManageDlg window;
    window.settingDlgshow();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    window.ui->LV_userList->setCurrentIndex(window.m_userModel->index(1));
    QCOMPARE(window.m_userNameList, users);
    const QImage shot = onScreen(&window);
    QCOMPARE(shot.size(), QSize(649, 503));
    QVERIFY(save(shot, QStringLiteral("fpmanager-main.png")));
    // Names in the list, the message line in blue.
    QVERIFY(darkPixels(shot, QRect(160, 130, 441, 100)) > 50);
    int blue = 0;
    for (int y = 410; y < 471; ++y)
        for (int x = 50; x < 601; ++x) {
            const QColor c = shot.pixelColor(x, y);
            if (c.blue() > 150 && c.red() < 100 && c.green() < 100)
                ++blue;
        }
    QVERIFY(blue > 20);
}

void TestScreens::aboutWindow()
{
    FingerManageDlg window;
    window.m_aboutAction->trigger();
    QVERIFY(window.m_pAbout);
    QVERIFY(QTest::qWaitForWindowExposed(window.m_pAbout));
    const QImage shot = onScreen(window.m_pAbout);
    QCOMPARE(shot.size(), QSize(565, 255));
    QVERIFY(save(shot, QStringLiteral("fpmanager-about.png")));
    QVERIFY(darkPixels(shot, QRect(shot.width() / 3, 0, shot.width() * 2 / 3, shot.height() / 2)) > 30);
}

// The main window while the printer waits for the second press, and after the enrolment.
void TestScreens::enrolment()
{
    ManagerTestEnv::setPrinters({ { "ZPH6100RMX_USB", "usb://Simulated/ZPH6100RMX?serial=SIM0001" } });
    ManagerTestEnv::storeFinger(QStringLiteral("ZPH6100RMX_USB"), 1, QStringLiteral("李娜"));
    FingerManageDlg window;
    window.settingDlgshow();
    QVERIFY(QTest::qWaitForWindowExposed(&window));

    QImage during;
    FakeFingerLibrary::state().duringCall = [&](const char* function) {
        if (QByteArray(function) == "AddFinger1")
            during = onScreen(&window);
    };
    FakeFingerLibrary::state().nextIndex = 2;
    NoticeScript notices;
    ModalWatcher watcher([](QWidget* modal) {
        auto* dialog = qobject_cast<AddDlg*>(modal);
        if (!dialog) {
            modal->close();
            return;
        }
        typeInto(dialog->ui->AddUserName, QStringLiteral("张伟"));
        dialog->ui->btn_add_OK->click();
    });
    window.ui->Btn_add->click();
    QVERIFY(watcher.fired());
    QVERIFY(!during.isNull());
    QVERIFY(save(during, QStringLiteral("fpmanager-enrol-during.png")));
    const QImage after = onScreen(&window);
    QVERIFY(save(after, QStringLiteral("fpmanager-enrol-after.png")));
    // While the printer waits the buttons are greyed out; afterwards they are drawn dark again
    // and the list has a second name.
    QVERIFY(darkPixels(during, QRect(50, 130, 80, 21)) < darkPixels(after, QRect(50, 130, 80, 21)));
    QVERIFY(darkPixels(after, QRect(160, 145, 441, 15)) > 10);
    QCOMPARE(window.m_userNameList, (QStringList { QStringLiteral("李娜"), QStringLiteral("张伟") }));
}

void TestScreens::addDialog()
{
    AddDlg dialog;
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    typeInto(dialog.ui->AddUserName, QStringLiteral("张伟"));
    const QImage shot = onScreen(&dialog);
    QCOMPARE(shot.size(), QSize(304, 144));
    QVERIFY(save(shot, QStringLiteral("fpmanager-add-dialog.png")));
    QVERIFY(darkPixels(shot, QRect(20, 10, 281, 31)) > 30);
}

void TestScreens::settingsDialog()
{
    fingerMagager.m_strDefaultPath = QStringLiteral("/home/admin/指纹备份");
    fingerMagager.m_nTimeOut = 45;
    SettingsDlg dialog;
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    const QImage shot = onScreen(&dialog);
    QCOMPARE(shot.size(), QSize(400, 145));
    QVERIFY(save(shot, QStringLiteral("fpmanager-settings.png")));
    QVERIFY(darkPixels(shot, QRect(10, 20, 161, 21)) > 30);
    QVERIFY(darkPixels(shot, QRect(140, 60, 181, 21)) > 30);
}

int main(int argc, char* argv[])
{
    XvfbServer xvfb;
    if (!xvfb.start()) {
        std::fprintf(stderr, "cannot start Xvfb (package xvfb, installed by scripts/setup.sh)\n");
        return 1;
    }
    qputenv("DISPLAY", xvfb.display());
    qputenv("QT_QPA_PLATFORM", "xcb");
    int status;
    {
        QApplication app(argc, argv);
        TestScreens test;
        status = QTest::qExec(&test, argc, argv);
    }
    xvfb.stop();
    return status;
}

#include "tst_fpmanager_screens.moc"
