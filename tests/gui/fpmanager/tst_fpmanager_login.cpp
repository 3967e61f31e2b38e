// The login window and the change-login dialog, driven as the administrator drives them, with the
// library functions replaced by test doubles and the real encrypted database on the program's
// fixed paths (inside the private test namespace).
#include "ChangeInfoDlg.h"
#include "FakeFingerLibrary.h"
#include "FingerManageDlg.h"
#include "FpmanagerApp.h"
#include "LoginDlg.h"
#include "ManagerTestSupport.h"
#include "UserNameWidth.h"
#include "store/CharsetFuncs.h"
#include "store/FingerManage.h"
#include "store/FpmanagerPaths.h"
#include "ui_ChangeInfoDlg.h"
#include "ui_FingerManageDlg.h"
#include "ui_LoginDlg.h"

#include <QApplication>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QSettings>
#include <QStorageInfo>
#include <QtTest>
#include <cerrno>
#include <cstring>

namespace
{

const QString kRule = QStringLiteral("输入的密码必须是8~16位数字、字母和符号的任意组合，请重新输入");

// Types text one character (code point) at a time, as a keyboard or an input method delivers it.
void typeText(QWidget* widget, const QString& text)
{
    int i = 0;
    while (i < text.size()) {
        const int length = (text.at(i).isHighSurrogate() && i + 1 < text.size()) ? 2 : 1;
        const QString character = text.mid(i, length);
        QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, character);
        QApplication::sendEvent(widget, &press);
        QKeyEvent release(QEvent::KeyRelease, 0, Qt::NoModifier, character);
        QApplication::sendEvent(widget, &release);
        i += length;
    }
}

QString repeated(const QString& piece, int times)
{
    QString text;
    for (int i = 0; i < times; ++i)
        text += piece;
    return text;
}

bool remount(const char* mode)
{
    return QProcess::execute(QStringLiteral("mount"),
               { QStringLiteral("-o"), QStringLiteral("remount,%1").arg(QLatin1String(mode)),
                   QStringLiteral("/usr/share/vrkt7x") })
        == 0;
}

using Printers = QList<QPair<QByteArray, QByteArray>>;

} // namespace

class TestLogin : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();

    void loginForm_data();
    void loginForm();
    void changeInfoForm_data();
    void changeInfoForm();
    void tabOrder_data();
    void tabOrder();

    void login_data();
    void login();
    void returnLogsIn_data();
    void returnLogsIn();
    void nameCodec_data();
    void nameCodec();
    void loginListsPrinters_data();
    void loginListsPrinters();
    void loginWithoutPrinter_data();
    void loginWithoutPrinter();
    void userNameWidth_data();
    void userNameWidth();

    void changeLogin_data();
    void changeLogin();
    void changeTakesEffect_data();
    void changeTakesEffect();
    void changeNotStored_data();
    void changeNotStored();
    void cancelChangesNothing();
};

void TestLogin::initTestCase()
{
    if (!inPrivateNamespace())
        QSKIP("uses fpmanager's fixed paths: runs only inside the private test namespace (ctest)");
    qApp->setQuitOnLastWindowClosed(false);
}

void TestLogin::init() { QVERIFY(ManagerTestEnv::freshManager()); }

// ---- forms ----

namespace
{

void addWidgetRows(const QString& form, const QList<std::tuple<const char*, const char*, QString, QRect>>& rows)
{
    for (const auto& [name, cls, text, geometry] : rows)
        QTest::addRow("%s/%s", qPrintable(form), name)
            << QString::fromLatin1(name) << QString::fromLatin1(cls) << text << geometry;
}

void checkWidget(QWidget* root, const QString& name, const QString& cls, const QString& text, const QRect& geometry)
{
    QWidget* widget = root->findChild<QWidget*>(name);
    QVERIFY2(widget, qPrintable(name));
    QCOMPARE(QString::fromLatin1(widget->metaObject()->className()), cls);
    QCOMPARE(widget->geometry(), geometry);
    QCOMPARE(widget->property("text").toString(), text);
}

} // namespace

void TestLogin::loginForm_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("cls");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QRect>("geometry");
    addWidgetRows(QStringLiteral("login"),
        {
            { "label", "QLabel", QStringLiteral("<html><head/><body><p>用户名：</p></body></html>"),
                QRect(40, 40, 54, 21) },
            { "userName", "QLineEdit", QString(), QRect(100, 40, 151, 21) },
            { "label_2", "QLabel", QStringLiteral("密码："), QRect(40, 80, 54, 18) },
            { "password", "QLineEdit", QString(), QRect(100, 80, 151, 21) },
            { "Button_login", "QPushButton", QStringLiteral("登录"), QRect(50, 120, 80, 26) },
            { "Button_changInfo", "QPushButton", QStringLiteral("修改登录信息"), QRect(150, 120, 101, 26) },
        });
}

void TestLogin::loginForm()
{
    QFETCH(QString, name);
    QFETCH(QString, cls);
    QFETCH(QString, text);
    QFETCH(QRect, geometry);
    LoginDlg login;
    checkWidget(&login, name, cls, text, geometry);
    // The window itself.
    QCOMPARE(login.objectName(), QStringLiteral("LoginDlg"));
    QCOMPARE(login.windowTitle(), QStringLiteral("用户登录"));
    QCOMPARE(login.size(), QSize(293, 191));
    QCOMPARE(login.minimumSize(), login.maximumSize());
    QVERIFY(!login.windowIcon().isNull());
    QVERIFY(login.windowFlags() & Qt::WindowCloseButtonHint);
    QVERIFY(!(login.windowFlags() & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint)));
    QCOMPARE(login.windowModality(), Qt::WindowModal);
    QCOMPARE(login.ui->userName->maxLength(), 32);
    QCOMPARE(login.ui->userName->echoMode(), QLineEdit::Normal);
    QCOMPARE(login.ui->password->maxLength(), 16);
    QCOMPARE(login.ui->password->echoMode(), QLineEdit::Password);
    QVERIFY(login.ui->Button_login->isDefault());
    QVERIFY(login.ui->Button_login->autoDefault());
    QVERIFY(login.styleSheet().contains(QStringLiteral("QPushButton:focus")));
    QVERIFY(login.styleSheet().contains(QStringLiteral("rgb(0,120,215)")));
}

void TestLogin::changeInfoForm_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("cls");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QRect>("geometry");
    addWidgetRows(QStringLiteral("change"),
        {
            { "label", "QLabel", QStringLiteral("输入新用户名："), QRect(30, 30, 101, 21) },
            { "editNewName", "QLineEdit", QString(), QRect(140, 30, 151, 21) },
            { "label_2", "QLabel", QStringLiteral("输入旧密码："), QRect(30, 60, 81, 21) },
            { "editOldPwd", "QLineEdit", QString(), QRect(140, 60, 151, 21) },
            { "label_3", "QLabel", QStringLiteral("输入新密码："), QRect(30, 90, 81, 21) },
            { "editNewPwd", "QLineEdit", QString(), QRect(140, 90, 151, 21) },
            { "label_4", "QLabel", QStringLiteral("再次输入新密码："), QRect(30, 120, 111, 21) },
            { "editReNewPwd", "QLineEdit", QString(), QRect(140, 120, 151, 21) },
            { "Btn_OK", "QPushButton", QStringLiteral("确定"), QRect(120, 180, 80, 26) },
            { "Btn_Cancel", "QPushButton", QStringLiteral("取消"), QRect(230, 180, 80, 26) },
        });
}

void TestLogin::changeInfoForm()
{
    QFETCH(QString, name);
    QFETCH(QString, cls);
    QFETCH(QString, text);
    QFETCH(QRect, geometry);
    ChangeInfoDlg dialog;
    checkWidget(&dialog, name, cls, text, geometry);
    QCOMPARE(dialog.objectName(), QStringLiteral("ChangeInfoDlg"));
    QCOMPARE(dialog.windowTitle(), QStringLiteral("修改登录信息"));
    QCOMPARE(dialog.size(), QSize(332, 241));
    QCOMPARE(dialog.minimumSize(), dialog.maximumSize());
    QVERIFY(!dialog.windowIcon().isNull());
    QCOMPARE(dialog.ui->editNewName->maxLength(), 32);
    for (QLineEdit* edit : { dialog.ui->editOldPwd, dialog.ui->editNewPwd, dialog.ui->editReNewPwd }) {
        QCOMPARE(edit->maxLength(), 16);
        QCOMPARE(edit->echoMode(), QLineEdit::Password);
    }
    LoginDlg login;
    QCOMPARE(dialog.styleSheet(), login.styleSheet());
}

void TestLogin::tabOrder_data()
{
    QTest::addColumn<QString>("window");
    QTest::addColumn<QStringList>("order");
    QTest::newRow("login") << QStringLiteral("login")
                           << QStringList { "userName", "password", "Button_login", "Button_changInfo" };
    QTest::newRow("change") << QStringLiteral(
        "change") << QStringList { "editNewName", "editOldPwd", "editNewPwd", "editReNewPwd", "Btn_OK", "Btn_Cancel" };
}

void TestLogin::tabOrder()
{
    QFETCH(QString, window);
    QFETCH(QStringList, order);
    std::unique_ptr<QWidget> widget;
    if (window == QLatin1String("login"))
        widget = std::make_unique<LoginDlg>();
    else
        widget = std::make_unique<ChangeInfoDlg>();
    widget->show();
    QVERIFY(QTest::qWaitForWindowActive(widget.get()));
    widget->findChild<QWidget*>(order.first())->setFocus();
    for (int i = 1; i < order.size(); ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget()->objectName(), order.at(i));
    }
}

// ---- login ----

void TestLogin::login_data()
{
    QTest::addColumn<QString>("user");
    QTest::addColumn<QString>("password");
    QTest::addColumn<QString>("notice");
    QTest::addColumn<QString>("focus");

    const QString wrongName = QStringLiteral("用户名不正确，请重新输入");
    const QString wrongPassword = QStringLiteral("输入的密码不正确，请重新输入");
    QTest::newRow("default account") << "admin"
                                     << "58203716" << QString() << QString();
    QTest::newRow("blanks around both") << "  admin "
                                        << " 58203716  " << QString() << QString();
    QTest::newRow("name in capitals") << "Admin"
                                      << "58203716" << wrongName << "userName";
    QTest::newRow("nothing typed") << ""
                                   << "" << wrongName << "userName";
    QTest::newRow("wrong password") << "admin"
                                    << "58203717" << wrongPassword << "password";
    QTest::newRow("empty password") << "admin"
                                    << "" << wrongPassword << "password";
}

void TestLogin::login()
{
    QFETCH(QString, user);
    QFETCH(QString, password);
    QFETCH(QString, notice);
    QFETCH(QString, focus);
    FakeFingerLibrary::state().printers = { { "ZPH_A", "usb://Simulated/ZPH6100RMX?serial=SIM0001" } };

    NoticeScript notices;
    LoginDlg login;
    FingerManageDlg main;
    FpmanagerApp::connectWindows(login, main);
    login.show();
    QVERIFY(QTest::qWaitForWindowActive(&login));
    QCOMPARE(QApplication::focusWidget(), login.ui->userName);
    typeText(login.ui->userName, user);
    login.ui->password->setFocus();
    typeText(login.ui->password, password);
    QTest::mouseClick(login.ui->Button_login, Qt::LeftButton);

    if (notice.isEmpty()) {
        QVERIFY2(notices.shown.isEmpty(), qPrintable(notices.texts().join(QLatin1Char(','))));
        QVERIFY(!login.isVisible());
        QVERIFY(main.isVisible());
        QCOMPARE(FakeFingerLibrary::calls().first(), QStringLiteral("GetDeviceConnect "));
        // Settings are loaded once logged in: the defaults written on a first start.
        QSettings settings(QString::fromLatin1(FpmanagerPaths::kSettingsFile), QSettings::IniFormat);
        QCOMPARE(settings.value(QStringLiteral("TimeOut")).toInt(), 30);
        QCOMPARE(fingerMagager.m_nTimeOut, 30);
    } else {
        QCOMPARE(notices.shown.size(), 1);
        const NoticeRequest& shown = notices.shown.first();
        QCOMPARE(shown.text, notice);
        QCOMPARE(shown.title, QStringLiteral("警告"));
        QCOMPARE(shown.icon, QMessageBox::Warning);
        QCOMPARE(shown.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
        QCOMPARE(shown.parent, &login);
        QCOMPARE(QApplication::focusWidget()->objectName(), focus);
        QVERIFY(login.isVisible());
        QVERIFY(!main.isVisible());
        QVERIFY(FakeFingerLibrary::calls().isEmpty());
    }
}

void TestLogin::returnLogsIn_data()
{
    QTest::addColumn<QString>("field");
    QTest::addColumn<int>("key");
    QTest::addColumn<QString>("password");
    QTest::addColumn<QString>("notice");
    QTest::newRow("Return in the name") << "userName" << int(Qt::Key_Return) << "58203716" << QString();
    QTest::newRow("Enter in the password") << "password" << int(Qt::Key_Enter) << "58203716" << QString();
    QTest::newRow("Return, wrong password")
        << "password" << int(Qt::Key_Return) << "x" << QStringLiteral("输入的密码不正确，请重新输入");
}

void TestLogin::returnLogsIn()
{
    QFETCH(QString, field);
    QFETCH(int, key);
    QFETCH(QString, password);
    QFETCH(QString, notice);
    FakeFingerLibrary::state().printers = { { "ZPH_A", "usb://a" } };

    NoticeScript notices;
    LoginDlg login;
    FingerManageDlg main;
    FpmanagerApp::connectWindows(login, main);
    login.show();
    QVERIFY(QTest::qWaitForWindowActive(&login));
    typeText(login.ui->userName, QStringLiteral("admin"));
    typeText(login.ui->password, password);
    QTest::keyClick(login.findChild<QWidget*>(field), Qt::Key(key));
    QCOMPARE(notices.texts(), notice.isEmpty() ? QStringList() : QStringList { notice });
    QCOMPARE(main.isVisible(), notice.isEmpty());
}

void TestLogin::nameCodec_data()
{
    QTest::addColumn<QByteArray>("codec");
    QTest::addColumn<bool>("ready");
    QTest::newRow("GB18030") << QByteArray(CharsetFuncs::kNameCodec) << true;
    // What a Qt built without ICU answers for GB18030.
    QTest::newRow("missing") << QByteArray("x-no-such-codec") << false;
}

void TestLogin::nameCodec()
{
    QFETCH(QByteArray, codec);
    QFETCH(bool, ready);
    NoticeScript notices;
    QCOMPARE(FpmanagerApp::charsetReady(codec.constData()), ready);
    if (ready) {
        QVERIFY(notices.shown.isEmpty());
        return;
    }
    QCOMPARE(notices.shown.size(), 1);
    QCOMPARE(notices.shown.first().title, QStringLiteral("警告"));
    QVERIFY(notices.shown.first().text.contains(QString::fromLatin1(codec)));
    // The program ends there, before any window.
    notices.shown.clear();
    QCOMPARE(FpmanagerApp::run(*qApp, codec.constData()), 1);
    QCOMPARE(notices.shown.size(), 1);
    for (QWidget* window : QApplication::topLevelWidgets())
        QVERIFY2(!window->isVisible(), qPrintable(window->objectName()));
}

void TestLogin::loginListsPrinters_data()
{
    QTest::addColumn<Printers>("printers");
    QTest::addColumn<int>("reported");
    QTest::addColumn<int>("listed");

    const Printers three = { { "ZPH_first", "usb://Simulated/ZPH6100RMX?serial=SIM0001" },
        { "ZPH_second", "usb://Simulated/ZPH6100RMX?serial=SIM0002" },
        { "打印机_三", "usb://Simulated/ZPH6100RMX?serial=SIM0003" } };
    QTest::newRow("one") << Printers { three.first() } << 1 << 1;
    QTest::newRow("three in order") << three << 3 << 3;
    // A library that reports more printers than it was given slots is never read past them.
    QTest::newRow("count beyond the slots") << three << 40 << 32;
}

void TestLogin::loginListsPrinters()
{
    QFETCH(Printers, printers);
    QFETCH(int, reported);
    QFETCH(int, listed);
    FakeFingerLibrary::state().printers = printers;
    FakeFingerLibrary::state().overrideCount = true;
    FakeFingerLibrary::state().count = reported;
    ManagerTestEnv::storeFinger(QString::fromUtf8(printers.first().first), 7, QStringLiteral("张三"));

    NoticeScript notices;
    LoginDlg login;
    FingerManageDlg main;
    FpmanagerApp::connectWindows(login, main);
    QSignalSpy handedOver(&login, &LoginDlg::settingdlgshow);
    login.show();
    typeText(login.ui->userName, QStringLiteral("admin"));
    typeText(login.ui->password, QStringLiteral("58203716"));
    login.ui->Button_login->click();

    QVERIFY(notices.shown.isEmpty());
    QCOMPARE(handedOver.count(), 1);
    QCOMPARE(fingerMagager.m_ListPrinter.size(), listed);
    for (int i = 0; i < printers.size(); ++i) {
        QCOMPARE(QByteArray(fingerMagager.m_ListPrinter.at(i).name), printers.at(i).first);
        QCOMPARE(QByteArray(fingerMagager.m_ListPrinter.at(i).uri), printers.at(i).second);
    }
    QCOMPARE(QByteArray(fingerMagager.m_strPrinterURI), printers.first().second);

    // The main window lists the queue names, the first one selected with its users.
    QCOMPARE(main.ui->cb_printerList->count(), listed);
    for (int i = 0; i < printers.size(); ++i)
        QCOMPARE(main.ui->cb_printerList->itemText(i), QString::fromUtf8(printers.at(i).first));
    QCOMPARE(main.ui->cb_printerList->currentIndex(), 0);
    QCOMPARE(fingerMagager.m_printerName, QString::fromUtf8(printers.first().first));
    QCOMPARE(main.m_userNameList, QStringList { QStringLiteral("张三") });
    QVERIFY(main.isVisible());
    QVERIFY(!login.isVisible());
}

void TestLogin::loginWithoutPrinter_data()
{
    QTest::addColumn<int>("count");
    QTest::addColumn<bool>("bound");
    QTest::newRow("no printer") << 0 << true;
    QTest::newRow("negative count") << -1 << true;
    QTest::newRow("function not bound") << 2 << false;
}

void TestLogin::loginWithoutPrinter()
{
    QFETCH(int, count);
    QFETCH(bool, bound);
    FakeFingerLibrary::state().printers = { { "ZPH_A", "usb://a" }, { "ZPH_B", "usb://b" } };
    FakeFingerLibrary::state().overrideCount = true;
    FakeFingerLibrary::state().count = count;
    if (!bound)
        fingerMagager.m_pfnGetDeviceConnect = nullptr;

    NoticeScript notices;
    LoginDlg login;
    FingerManageDlg main;
    FpmanagerApp::connectWindows(login, main);
    login.show();
    QVERIFY(QTest::qWaitForWindowExposed(&login));
    typeText(login.ui->userName, QStringLiteral("admin"));
    typeText(login.ui->password, QStringLiteral("58203716"));
    login.ui->Button_login->click();

    QCOMPARE(notices.titledTexts(), QStringList { QStringLiteral("警告|设备未安装或者未连接!") });
    QCOMPARE(notices.shown.first().parent, &login);
    // The login window closes; with no other window open that ends the program.
    QVERIFY(!login.isVisible());
    QVERIFY(!main.isVisible());
    for (QWidget* window : QApplication::topLevelWidgets())
        QVERIFY2(!window->isVisible(), qPrintable(window->objectName()));
    QVERIFY(fingerMagager.m_ListPrinter.isEmpty());
}

void TestLogin::userNameWidth_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("kept");

    const QString zhang = QStringLiteral("张");
    QTest::newRow("16 two-byte characters") << repeated(zhang, 16) << repeated(zhang, 16);
    QTest::newRow("a 17th two-byte character") << repeated(zhang, 17) << repeated(zhang, 16);
    QTest::newRow("32 ASCII, the 33rd stopped by the length")
        << repeated(QStringLiteral("a"), 33) << repeated(QStringLiteral("a"), 32);
    QTest::newRow("31 ASCII and a two-byte character")
        << repeated(QStringLiteral("a"), 31) + zhang << repeated(QStringLiteral("a"), 31);
    QTest::newRow("15 two-byte, 3 ASCII")
        << repeated(zhang, 15) + QStringLiteral("abc") << repeated(zhang, 15) + QStringLiteral("ab");
    // A character outside the BMP is one character of width 2, removed whole.
    QTest::newRow("surrogate pairs") << repeated(zhang, 15) + QStringLiteral("😀😀")
                                     << repeated(zhang, 15) + QStringLiteral("😀");
}

void TestLogin::userNameWidth()
{
    QFETCH(QString, typed);
    QFETCH(QString, kept);

    LoginDlg login;
    typeText(login.ui->userName, typed);
    QCOMPARE(login.ui->userName->text(), kept);
    QVERIFY(UserNameWidth::width(login.ui->userName->text()) <= 32);

    ChangeInfoDlg change;
    typeText(change.ui->editNewName, typed);
    QCOMPARE(change.ui->editNewName->text(), kept);
}

// ---- change of the login account ----

void TestLogin::changeLogin_data()
{
    QTest::addColumn<QString>("newName");
    QTest::addColumn<QString>("oldPassword");
    QTest::addColumn<QString>("newPassword");
    QTest::addColumn<QString>("again");
    QTest::addColumn<QString>("notice");
    QTest::addColumn<QString>("focus");

    const QString ok;
    QTest::newRow("all empty") << ""
                               << ""
                               << ""
                               << "" << QStringLiteral("输入新用户名不正确，请重新输入.") << "editNewName";
    QTest::newRow("name of blanks") << "   "
                                    << "58203716"
                                    << "12345678"
                                    << "12345678" << QStringLiteral("输入新用户名不正确，请重新输入.") << "editNewName";
    QTest::newRow("old password empty") << "boss"
                                        << ""
                                        << "12345678"
                                        << "12345678" << QStringLiteral("输入的密码不正确，请重新输入.")
                                        << "editOldPwd";
    QTest::newRow("new password empty") << "boss"
                                        << "58203716"
                                        << ""
                                        << "12345678" << kRule + "."
                                        << "editNewPwd";
    QTest::newRow("new password of blanks") << "boss"
                                            << "58203716"
                                            << "        "
                                            << "12345678" << kRule + "."
                                            << "editNewPwd";
    QTest::newRow("repeat empty") << "boss"
                                  << "58203716"
                                  << "12345678"
                                  << "" << kRule + "."
                                  << "editReNewPwd";
    QTest::newRow("old password wrong") << "boss"
                                        << "58203715"
                                        << "12345678"
                                        << "12345678" << QStringLiteral("输入的密码不正确，请重新输入") << "editOldPwd";
    QTest::newRow("7 characters") << "boss"
                                  << "58203716"
                                  << "1234567"
                                  << "1234567" << kRule << "editNewPwd";
    QTest::newRow("passwords differ") << "boss"
                                      << "58203716"
                                      << "12345678"
                                      << "12345679" << QStringLiteral("两次密码输入的不一致，请重新输入")
                                      << "editReNewPwd";
    QTest::newRow("8 characters") << "boss"
                                  << "58203716"
                                  << "1a2b3c4d"
                                  << "1a2b3c4d" << ok << "";
    QTest::newRow("16 characters") << "boss"
                                   << "58203716"
                                   << "abcdefgh!@#$%^&*"
                                   << "abcdefgh!@#$%^&*" << ok << "";
    QTest::newRow("old password with blanks") << "boss"
                                              << "  58203716 "
                                              << "12345678"
                                              << "12345678" << ok << "";
    QTest::newRow("16 two-byte characters") << repeated(QStringLiteral("管"), 16) << "58203716"
                                            << "12345678"
                                            << "12345678" << ok << "";
    QTest::newRow("quote in name and password") << "o'brien"
                                                << "58203716"
                                                << "it's0k!!"
                                                << "it's0k!!" << ok << "";
    // The account keeps 16 UTF-8 bytes of the password and 32 GB18030 bytes of the name, whole.
    QTest::newRow("8 characters in 16 bytes") << "boss"
                                              << "58203716"
                                              << "парольмо"
                                              << "парольмо" << ok << "";
    QTest::newRow("11 characters in 20 bytes") << "boss"
                                               << "58203716"
                                               << "пароль-мой1"
                                               << "пароль-мой1" << kRule << "editNewPwd";
    QTest::newRow("name of width 18 in 36 bytes")
        << repeated(QStringLiteral("😀"), 9) << "58203716"
        << "12345678"
        << "12345678" << QStringLiteral("输入新用户名不正确，请重新输入.") << "editNewName";
}

void TestLogin::changeLogin()
{
    QFETCH(QString, newName);
    QFETCH(QString, oldPassword);
    QFETCH(QString, newPassword);
    QFETCH(QString, again);
    QFETCH(QString, notice);
    QFETCH(QString, focus);

    NoticeScript notices;
    ChangeInfoDlg dialog;
    dialog.show();
    QVERIFY(QTest::qWaitForWindowActive(&dialog));
    typeText(dialog.ui->editNewName, newName);
    typeText(dialog.ui->editOldPwd, oldPassword);
    typeText(dialog.ui->editNewPwd, newPassword);
    typeText(dialog.ui->editReNewPwd, again);
    dialog.ui->editReNewPwd->setFocus();
    dialog.ui->Btn_OK->click();

    if (notice.isEmpty()) {
        QCOMPARE(notices.shown.size(), 1);
        const NoticeRequest& done = notices.shown.first();
        QCOMPARE(done.title, QStringLiteral("提示"));
        QCOMPARE(done.text, QStringLiteral("更改成功"));
        QCOMPARE(done.icon, QMessageBox::Information);
        QCOMPARE(done.buttons, QMessageBox::StandardButtons(QMessageBox::Yes));
        QCOMPARE(done.parent, &dialog);
        QVERIFY(!dialog.isVisible());
        const QList<QPair<QString, QString>> expected = { { newName.trimmed(), newPassword } };
        QCOMPARE(ManagerTestEnv::storedAccounts(), expected);
    } else {
        QCOMPARE(notices.texts(), QStringList { notice });
        const NoticeRequest& shown = notices.shown.first();
        QCOMPARE(shown.title, QStringLiteral("警告"));
        QCOMPARE(shown.icon, QMessageBox::Warning);
        QCOMPARE(shown.parent, &dialog);
        QCOMPARE(QApplication::focusWidget()->objectName(), focus);
        QVERIFY(dialog.isVisible());
        const QList<QPair<QString, QString>> unchanged = { { QStringLiteral("admin"), QStringLiteral("58203716") } };
        QCOMPARE(ManagerTestEnv::storedAccounts(), unchanged);
    }
}

void TestLogin::changeTakesEffect_data()
{
    QTest::addColumn<QString>("newName");
    QTest::addColumn<QString>("oldAccountNotice");
    QTest::newRow("new name") << QStringLiteral("管理员") << QStringLiteral("用户名不正确，请重新输入");
    QTest::newRow("same name") << QStringLiteral("admin") << QStringLiteral("输入的密码不正确，请重新输入");
}

void TestLogin::changeTakesEffect()
{
    QFETCH(QString, newName);
    QFETCH(QString, oldAccountNotice);
    FakeFingerLibrary::state().printers = { { "ZPH_A", "usb://a" } };

    NoticeScript notices;
    LoginDlg login;
    FingerManageDlg main;
    FpmanagerApp::connectWindows(login, main);
    login.show();
    QVERIFY(QTest::qWaitForWindowExposed(&login));

    // The change dialog runs modally from the login window.
    bool sawDialog = false;
    ModalWatcher watcher([&](QWidget* modal) {
        auto* dialog = qobject_cast<ChangeInfoDlg*>(modal);
        sawDialog = dialog != nullptr;
        if (!dialog)
            return;
        typeText(dialog->ui->editNewName, newName);
        typeText(dialog->ui->editOldPwd, QStringLiteral("58203716"));
        typeText(dialog->ui->editNewPwd, QStringLiteral("n3w-pa55"));
        typeText(dialog->ui->editReNewPwd, QStringLiteral("n3w-pa55"));
        dialog->ui->Btn_OK->click();
    });
    login.ui->Button_changInfo->click();
    QVERIFY(sawDialog);
    QCOMPARE(notices.texts(), QStringList { QStringLiteral("更改成功") });
    QVERIFY(login.isVisible());

    // The old account is refused, the new one admitted.
    notices.shown.clear();
    typeText(login.ui->userName, QStringLiteral("admin"));
    typeText(login.ui->password, QStringLiteral("58203716"));
    login.ui->Button_login->click();
    QCOMPARE(notices.texts(), QStringList { oldAccountNotice });
    QVERIFY(!main.isVisible());

    notices.shown.clear();
    login.ui->userName->clear();
    login.ui->password->clear();
    typeText(login.ui->userName, newName);
    typeText(login.ui->password, QStringLiteral("n3w-pa55"));
    login.ui->Button_login->click();
    QVERIFY2(notices.shown.isEmpty(), qPrintable(notices.texts().join(QLatin1Char(','))));
    QVERIFY(main.isVisible());
}

void TestLogin::changeNotStored_data()
{
    QTest::addColumn<QString>("how");
    QTest::addColumn<QString>("reason"); // in the database warning
    QTest::newRow("database file unreadable") << QStringLiteral("corrupt") << QString();
    QTest::newRow("database folder read-only")
        << QStringLiteral("read-only") << QString::fromLocal8Bit(strerror(EROFS));
    QTest::newRow("database disk full") << QStringLiteral("full") << QString::fromLocal8Bit(strerror(ENOSPC));
}

// "更改成功" only for a change that reached the database file.
void TestLogin::changeNotStored()
{
    QFETCH(QString, how);
    QFETCH(QString, reason);
    const QString dbPath = QString::fromLatin1(FpmanagerPaths::kDatabaseFile);
    const QString filler = QStringLiteral("/usr/share/vrkt7x/filler");
    const qint64 folderSize = QStorageInfo(QStringLiteral("/usr/share/vrkt7x")).bytesTotal();
    QByteArray before;
    if (how == QLatin1String("corrupt")) {
        QFile db(dbPath);
        QVERIFY(db.open(QIODevice::WriteOnly | QIODevice::Truncate));
        db.write(QByteArray(64, '\x5a'));
        db.close();
    } else if (how == QLatin1String("read-only")) {
        QVERIFY(remount("ro"));
    } else {
        // A small folder, filled up.
        QVERIFY(remount("size=256k"));
        QFile fill(filler);
        QVERIFY(fill.open(QIODevice::WriteOnly));
        const QByteArray block(4096, 'f');
        while (fill.write(block) == block.size() && fill.flush()) { }
    }
    {
        QFile db(dbPath);
        QVERIFY(db.open(QIODevice::ReadOnly));
        before = db.readAll();
    }

    NoticeScript notices;
    ChangeInfoDlg dialog;
    dialog.show();
    typeText(dialog.ui->editNewName, QStringLiteral("boss"));
    typeText(dialog.ui->editOldPwd, QStringLiteral("58203716"));
    typeText(dialog.ui->editNewPwd, QStringLiteral("12345678"));
    typeText(dialog.ui->editReNewPwd, QStringLiteral("12345678"));
    dialog.ui->Btn_OK->click();
    bool restored = true;
    if (how == QLatin1String("read-only"))
        restored = remount("rw");
    if (how == QLatin1String("full"))
        restored = QFile::remove(filler) && remount(qPrintable(QStringLiteral("size=%1").arg(folderSize)));

    QVERIFY(!notices.texts().contains(QStringLiteral("更改成功")));
    QVERIFY(dialog.isVisible());
    QVERIFY(restored);
    // The database warning told the administrator, with the reason.
    QVERIFY(!notices.shown.isEmpty());
    QCOMPARE(notices.shown.first().title, QStringLiteral("警告"));
    QVERIFY2(notices.shown.first().text.contains(reason), qPrintable(notices.shown.first().text));
    if (how != QLatin1String("corrupt")) {
        QFile db(dbPath);
        QVERIFY(db.open(QIODevice::ReadOnly));
        QCOMPARE(db.readAll(), before);
        // The account the next login checks is still the stored one.
        fingerMagager.GetUser();
        QCOMPARE(fingerMagager.m_ListUser.size(), 1);
        QCOMPARE(QByteArray(fingerMagager.m_ListUser.first().UserName), QByteArray("admin"));
    }
}

void TestLogin::cancelChangesNothing()
{
    NoticeScript notices;
    ChangeInfoDlg dialog;
    dialog.show();
    typeText(dialog.ui->editNewName, QStringLiteral("boss"));
    typeText(dialog.ui->editOldPwd, QStringLiteral("58203716"));
    typeText(dialog.ui->editNewPwd, QStringLiteral("12345678"));
    typeText(dialog.ui->editReNewPwd, QStringLiteral("12345678"));
    dialog.ui->Btn_Cancel->click();
    QVERIFY(!dialog.isVisible());
    QVERIFY(notices.shown.isEmpty());
    const QList<QPair<QString, QString>> unchanged = { { QStringLiteral("admin"), QStringLiteral("58203716") } };
    QCOMPARE(ManagerTestEnv::storedAccounts(), unchanged);
}

QTEST_MAIN(TestLogin)
#include "tst_fpmanager_login.moc"
