// The main window without its operations: form, switch state, printer selection, message line,
// buttons, tray and About, with the library replaced by test doubles and the real database on the
// program's fixed paths (inside the private test namespace).
#include "About.h"
#include "FakeFingerLibrary.h"
#include "FingerManageDlg.h"
#include "ManagerTestSupport.h"
#include "store/FingerManage.h"
#include "store/FpmanagerPaths.h"
#include "ui_About.h"
#include "ui_FingerManageDlg.h"

#include <QAction>
#include <QApplication>
#include <QImageReader>
#include <QMenu>
#include <QMessageBox>
#include <QStringListModel>
#include <QTranslator>
#include <QtTest>

namespace
{

using Printers = QList<QPair<QByteArray, QByteArray>>;

const Printers kThree = { { "ZPH_first", "usb://Simulated/ZPH6100RMX?serial=SIM0001" },
    { "ZPH_second", "usb://Simulated/ZPH6100RMX?serial=SIM0002" },
    { "ZPH_third", "usb://Simulated/ZPH6100RMX?serial=SIM0003" } };

QStringList enabledButtons(const FingerManageDlg& window)
{
    QStringList names;
    for (QPushButton* button : window.operationButtons())
        if (button->isEnabled())
            names << button->objectName();
    return names;
}

const QStringList kAllButtons
    = { "Btn_add", "Btn_query", "Btn_delete", "Btn_delete_all", "Btn_import", "Btn_export", "Btn_setting" };

bool isBlue(const QWidget* widget)
{
    for (QPalette::ColorGroup group : { QPalette::Active, QPalette::Inactive, QPalette::Disabled })
        if (widget->palette().color(group, QPalette::WindowText) != QColor(Qt::blue)) {
            qWarning() << group << widget->palette().color(group, QPalette::WindowText);
            return false;
        }
    return true;
}

} // namespace

class TestMainWindow : public FakeLibraryTest
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();

    void form_data();
    void form();
    void tabOrder();
    void resources_data();
    void resources();

    void switchState_data();
    void switchState();
    void printerSelection();
    void failedReadEmptiesTheLists();
    void noPrinterListed();
    void switchClicked_data();
    void switchClicked();
    void realNoticeBox();
    void enableButtons_data();
    void enableButtons();
    void messageLine();

    void trayActivation_data();
    void trayActivation();
    void trayMenu();
    void aboutCreatedOnce();
    void quitFromTray();
};

void TestMainWindow::initTestCase()
{
    if (!inPrivateNamespace())
        QSKIP("uses fpmanager's fixed paths: runs only inside the private test namespace (ctest)");
    qApp->setQuitOnLastWindowClosed(false);
}

void TestMainWindow::init() { QVERIFY(ManagerTestEnv::freshManager()); }

// ---- form ----

void TestMainWindow::form_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("cls");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QRect>("geometry");
    QTest::newRow("label") << "label"
                           << "QLabel" << QStringLiteral("设备列表：") << QRect(30, 20, 91, 16);
    QTest::newRow("cb_printerList") << "cb_printerList"
                                    << "QComboBox" << QString() << QRect(130, 12, 341, 28);
    QTest::newRow("groupBox") << "groupBox"
                              << "QGroupBox" << QString() << QRect(30, 60, 591, 431);
    QTest::newRow("chkBox_FSW") << "chkBox_FSW"
                                << "QCheckBox" << QStringLiteral("指纹认证开关") << QRect(50, 80, 131, 20);
    QTest::newRow("label_2") << "label_2"
                             << "QLabel" << QStringLiteral("用户列表：") << QRect(160, 105, 91, 16);
    QTest::newRow("LV_userList") << "LV_userList"
                                 << "QListView" << QString() << QRect(160, 130, 441, 261);
    const QStringList texts = { "添加", "查询", "删除", "删除全部", "导出", "导入", "设置" };
    const QStringList names
        = { "Btn_add", "Btn_query", "Btn_delete", "Btn_delete_all", "Btn_export", "Btn_import", "Btn_setting" };
    for (int i = 0; i < names.size(); ++i)
        QTest::newRow(qPrintable(names.at(i)))
            << names.at(i) << "QPushButton" << texts.at(i) << QRect(50, 130 + 40 * i, 80, 21);
    QTest::newRow("result") << "result"
                            << "QLabel" << QString() << QRect(50, 410, 551, 61);
}

void TestMainWindow::form()
{
    QFETCH(QString, name);
    QFETCH(QString, cls);
    QFETCH(QString, text);
    QFETCH(QRect, geometry);
    FingerManageDlg window;
    QWidget* widget = window.findChild<QWidget*>(name);
    QVERIFY(widget);
    QCOMPARE(QString::fromLatin1(widget->metaObject()->className()), cls);
    QCOMPARE(widget->geometry(), geometry);
    // Every widget is a child of the window itself, the frame included.
    QCOMPARE(widget->parentWidget(), &window);
    if (!text.isNull() || widget->property("text").isValid())
        QCOMPARE(widget->property("text").toString(), text);

    QCOMPARE(window.objectName(), QStringLiteral("FingerManageDlg"));
    QCOMPARE(window.windowTitle(), QStringLiteral("指纹管理软件"));
    QCOMPARE(window.size(), QSize(649, 503));
    QCOMPARE(window.minimumSize(), window.maximumSize());
    QVERIFY(!window.windowIcon().isNull());
    QVERIFY(window.windowFlags() & Qt::WindowCloseButtonHint);
    QVERIFY(!(window.windowFlags() & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint)));
    // The frame is drawn below everything and takes no input.
    QCOMPARE(window.children().indexOf(window.ui->groupBox) < window.children().indexOf(window.ui->label), true);
    QVERIFY(!window.ui->groupBox->isEnabled());
    QCOMPARE(window.ui->LV_userList->editTriggers(), QAbstractItemView::NoEditTriggers);
    QCOMPARE(window.ui->LV_userList->minimumSize(), QSize(10, 10));
    QCOMPARE(window.ui->result->frameShadow(), QFrame::Sunken);
    QCOMPARE(window.ui->result->frameShape(), QFrame::Panel);
    QVERIFY(window.ui->result->alignment() & Qt::AlignTop);
    QVERIFY(window.ui->result->alignment() & Qt::AlignLeft);
    QVERIFY(window.styleSheet().contains(QStringLiteral("QPushButton:disabled")));
    QVERIFY(window.styleSheet().contains(QStringLiteral("groove")));
    // Hidden until the login hands over.
    QVERIFY(!window.isVisible());
}

void TestMainWindow::tabOrder()
{
    FingerManageDlg window;
    window.show();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    const QStringList order = { "Btn_add", "Btn_query", "Btn_delete", "Btn_delete_all", "Btn_export", "Btn_import",
        "Btn_setting", "chkBox_FSW", "LV_userList" };
    window.ui->Btn_add->setFocus();
    for (int i = 1; i < order.size(); ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget()->objectName(), order.at(i));
    }
}

void TestMainWindow::resources_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QList<QSize>>("sizes");
    QTest::newRow("icon") << QStringLiteral(":/FingerManage.ico")
                          << QList<QSize> { { 16, 16 }, { 32, 32 }, { 48, 48 }, { 64, 64 }, { 128, 128 } };
    QTest::newRow("logo") << QStringLiteral(":/logo.bmp") << QList<QSize> { { 120, 128 } };
}

void TestMainWindow::resources()
{
    QFETCH(QString, path);
    QFETCH(QList<QSize>, sizes);
    QImageReader reader(path);
    QCOMPARE(reader.imageCount() > 0 ? reader.imageCount() : 1, sizes.size());
    QList<QSize> found;
    for (int i = 0; i < sizes.size(); ++i) {
        QVERIFY(reader.jumpToImage(i) || i == 0);
        const QImage image = reader.read();
        QVERIFY2(!image.isNull(), qPrintable(reader.errorString()));
        found << image.size();
        // Drawn, not blank: more than one colour.
        QSet<QRgb> colours;
        for (int y = 0; y < image.height(); y += 2)
            for (int x = 0; x < image.width(); x += 2)
                colours.insert(image.pixel(x, y));
        QVERIFY(colours.size() > 2);
    }
    std::sort(found.begin(), found.end(), [](const QSize& a, const QSize& b) { return a.width() < b.width(); });
    QCOMPARE(found, sizes);

    // Qt's own catalogue, compiled in: its standard buttons in Chinese.
    QTranslator translator;
    QVERIFY(translator.load(QStringLiteral(":/qt_zh_CN.qm")));
    QCOMPARE(translator.translate("QPlatformTheme", "Cancel"), QStringLiteral("取消"));
}

// ---- switch state and printers ----

void TestMainWindow::switchState_data()
{
    QTest::addColumn<int>("answer");
    QTest::addColumn<bool>("on");
    QTest::newRow("0 off") << 0 << false;
    QTest::newRow("1 on") << 1 << true;
    QTest::newRow("2 raw") << 2 << false;
    QTest::newRow("3 on") << 3 << true;
    QTest::newRow("4 busy") << 4 << false;
    QTest::newRow("5") << 5 << false;
    QTest::newRow("-1 error") << -1 << false;
}

void TestMainWindow::switchState()
{
    QFETCH(int, answer);
    QFETCH(bool, on);
    FakeFingerLibrary::state().defaultSwitch = answer;
    ManagerTestEnv::setPrinters({ kThree.first() });

    NoticeScript notices;
    FingerManageDlg window;
    window.settingDlgshow();
    QVERIFY(window.isVisible());
    QCOMPARE(window.ui->chkBox_FSW->isChecked(), on);
    QStringList expected = on ? kAllButtons : QStringList { "Btn_setting" };
    QCOMPARE(enabledButtons(window), expected);
    QCOMPARE(window.ui->result->text(), on ? QStringLiteral("指纹功能开启") : QStringLiteral("指纹功能关闭"));
    QVERIFY(isBlue(window.ui->result));
    QVERIFY(window.ui->chkBox_FSW->isEnabled());
    QVERIFY(window.ui->cb_printerList->isEnabled());
    QCOMPARE(FakeFingerLibrary::calls().last(),
        QStringLiteral("IsDeviceFingerOpen ") + QString::fromLatin1(kThree.first().second));
    QVERIFY(notices.shown.isEmpty());
}

void TestMainWindow::printerSelection()
{
    ManagerTestEnv::setPrinters(kThree);
    FakeFingerLibrary::state().switchByUri
        = { { kThree.at(0).second, 1 }, { kThree.at(1).second, 0 }, { kThree.at(2).second, 3 } };
    ManagerTestEnv::storeFinger("ZPH_first", 1, QStringLiteral("张三"));
    ManagerTestEnv::storeFinger("ZPH_first", 2, QStringLiteral("李四"));
    ManagerTestEnv::storeFinger("ZPH_third", 9, QStringLiteral("王五"));

    FingerManageDlg window;
    window.settingDlgshow();

    QCOMPARE(window.ui->cb_printerList->count(), 3);
    QCOMPARE(window.ui->cb_printerList->currentText(), QStringLiteral("ZPH_first"));
    QCOMPARE(fingerMagager.m_printerName, QStringLiteral("ZPH_first"));
    QCOMPARE(QByteArray(fingerMagager.m_strPrinterURI), kThree.at(0).second);
    QCOMPARE(window.m_userNameList, (QStringList { QStringLiteral("张三"), QStringLiteral("李四") }));
    QCOMPARE(window.m_userModel->stringList(), window.m_userNameList);
    QCOMPARE(window.ui->LV_userList->model(), window.m_userModel);
    QCOMPARE(fingerMagager.m_ListFinger.size(), 2);
    QVERIFY(window.ui->chkBox_FSW->isChecked());

    // The second printer: switched off, no users.
    FakeFingerLibrary::calls().clear();
    window.ui->cb_printerList->setCurrentIndex(1);
    QCOMPARE(FakeFingerLibrary::calls(),
        QStringList { QStringLiteral("IsDeviceFingerOpen ") + QString::fromLatin1(kThree.at(1).second) });
    QCOMPARE(fingerMagager.m_printerName, QStringLiteral("ZPH_second"));
    QVERIFY(!window.ui->chkBox_FSW->isChecked());
    QCOMPARE(enabledButtons(window), QStringList { "Btn_setting" });
    QVERIFY(window.m_userNameList.isEmpty());
    QCOMPARE(window.ui->LV_userList->model()->rowCount(), 0);

    // The third: on (3), its one user replaces the list.
    window.ui->cb_printerList->setCurrentIndex(2);
    QCOMPARE(QByteArray(fingerMagager.m_strPrinterURI), kThree.at(2).second);
    QVERIFY(window.ui->chkBox_FSW->isChecked());
    QCOMPARE(window.m_userNameList, QStringList { QStringLiteral("王五") });
    QCOMPARE(fingerMagager.m_ListFinger.size(), 1);
    QCOMPARE(fingerMagager.m_ListFinger.first().ID, 9);
}

void TestMainWindow::failedReadEmptiesTheLists()
{
    ManagerTestEnv::setPrinters(kThree);
    ManagerTestEnv::storeFinger("ZPH_first", 1, QStringLiteral("张三"));
    FingerManageDlg window;
    window.settingDlgshow();
    QCOMPARE(fingerMagager.m_ListFinger.size(), 1);

    // The database can no longer be read when the next printer is selected: none of the first
    // printer's users may stay behind to be deleted from or looked up on this one.
    QFile db(QString::fromLatin1(FpmanagerPaths::kDatabaseFile));
    QVERIFY(db.open(QIODevice::WriteOnly | QIODevice::Truncate));
    db.write(QByteArray(64, '\x5a'));
    db.close();
    NoticeScript notices;
    window.ui->cb_printerList->setCurrentIndex(1);
    QCOMPARE(notices.shown.size(), 1);
    QVERIFY(fingerMagager.m_fingerRecords.isEmpty());
    QVERIFY(fingerMagager.m_ListFinger.isEmpty());
    QVERIFY(window.m_userNameList.isEmpty());
}

void TestMainWindow::noPrinterListed()
{
    // Without printers the box stays empty and the state shown is the answer for an empty URI.
    FakeFingerLibrary::state().switchByUri = { { QByteArray(""), 0 } };
    FingerManageDlg window;
    window.settingDlgshow();
    QCOMPARE(window.ui->cb_printerList->count(), 0);
    QCOMPARE(FakeFingerLibrary::calls(), QStringList { QStringLiteral("IsDeviceFingerOpen ") });
    QVERIFY(!window.ui->chkBox_FSW->isChecked());
    QVERIFY(window.isVisible());
}

void TestMainWindow::switchClicked_data()
{
    QTest::addColumn<int>("state");
    QTest::addColumn<bool>("succeeds");
    QTest::addColumn<QString>("call");
    QTest::addColumn<QString>("notice");
    QTest::addColumn<bool>("ticked");
    QTest::addColumn<bool>("buttonsEnabled");
    QTest::addColumn<QString>("message");
    QTest::newRow("on") << 0 << true << "OpenFinger" << QStringLiteral("设置成功。") << true << true
                        << QStringLiteral("指纹功能开启");
    QTest::newRow("on refused") << 0 << false << "OpenFinger" << QStringLiteral("设置失败。") << false << false
                                << QStringLiteral("指纹功能关闭");
    QTest::newRow("off") << 1 << true << "CloseFinger" << QStringLiteral("设置成功。") << false << false
                         << QStringLiteral("指纹功能关闭");
    // The window shows off although the printer may still be on; the message line keeps its text.
    QTest::newRow("off refused") << 1 << false << "CloseFinger" << QStringLiteral("设置失败。") << false << false
                                 << QStringLiteral("指纹功能开启");
}

void TestMainWindow::switchClicked()
{
    QFETCH(int, state);
    QFETCH(bool, succeeds);
    QFETCH(QString, call);
    QFETCH(QString, notice);
    QFETCH(bool, ticked);
    QFETCH(bool, buttonsEnabled);
    QFETCH(QString, message);
    ManagerTestEnv::setPrinters({ kThree.first() });
    FakeFingerLibrary::state().defaultSwitch = state;
    FakeFingerLibrary::state().openResult = succeeds;
    FakeFingerLibrary::state().closeResult = succeeds;

    NoticeScript notices;
    FingerManageDlg window;
    window.settingDlgshow();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    FakeFingerLibrary::calls().clear();
    QTest::mouseClick(window.ui->chkBox_FSW, Qt::LeftButton);

    QCOMPARE(FakeFingerLibrary::calls(),
        QStringList { call + QLatin1Char(' ') + QString::fromLatin1(kThree.first().second) });
    QCOMPARE(notices.titledTexts(), QStringList { QStringLiteral("信息|") + notice });
    QCOMPARE(notices.shown.first().icon, QMessageBox::Information);
    QCOMPARE(notices.shown.first().parent, &window);
    QCOMPARE(window.ui->chkBox_FSW->isChecked(), ticked);
    QCOMPARE(enabledButtons(window), buttonsEnabled ? kAllButtons : QStringList { "Btn_setting" });
    QCOMPARE(window.ui->result->text(), message);
}

// The notice box as the administrator sees it: built for real, found while it runs, clicked.
void TestMainWindow::realNoticeBox()
{
    ManagerTestEnv::setPrinters({ kThree.first() });
    FakeFingerLibrary::state().defaultSwitch = 0;
    FingerManageDlg window;
    window.settingDlgshow();
    QVERIFY(QTest::qWaitForWindowExposed(&window));

    ShownBox shown;
    ModalWatcher watcher([&](QWidget* modal) {
        shown = readAndClick(qobject_cast<QMessageBox*>(modal), QStringLiteral("确定"), &window);
    });
    QTest::mouseClick(window.ui->chkBox_FSW, Qt::LeftButton);
    QVERIFY(watcher.fired());
    QCOMPARE(shown.icon, int(QMessageBox::Information));
    QCOMPARE(shown.title, QStringLiteral("信息"));
    QCOMPARE(shown.text, QStringLiteral("设置成功。"));
    QCOMPARE(shown.buttonTexts, QStringList { QStringLiteral("确定") });
    QVERIFY(shown.parentIs);
    QVERIFY(shown.flags & Qt::Dialog);
    QVERIFY(shown.flags & Qt::MSWindowsFixedSizeDialogHint);
    QVERIFY(window.ui->chkBox_FSW->isChecked());
    QCOMPARE(QApplication::activeModalWidget(), nullptr);
}

void TestMainWindow::enableButtons_data()
{
    QTest::addColumn<int>("value");
    QTest::addColumn<bool>("enabled");
    QTest::newRow("1 disables") << 1 << false;
    QTest::newRow("0 enables") << 0 << true;
    QTest::newRow("2 enables") << 2 << true;
}

void TestMainWindow::enableButtons()
{
    QFETCH(int, value);
    QFETCH(bool, enabled);
    ManagerTestEnv::setPrinters({ kThree.first() });
    FakeFingerLibrary::state().defaultSwitch = enabled ? 0 : 1; // start from the opposite
    FingerManageDlg window;
    window.settingDlgshow();
    window.EnableButtons(value);
    QCOMPARE(enabledButtons(window), enabled ? kAllButtons : QStringList());
    QVERIFY(window.ui->chkBox_FSW->isEnabled());
    QVERIFY(window.ui->cb_printerList->isEnabled());
}

void TestMainWindow::messageLine()
{
    FingerManageDlg window;
    emit window.setMessageShow(QStringLiteral("正在添加指纹,请按下您的手指"));
    QCOMPARE(window.ui->result->text(), QStringLiteral("正在添加指纹,请按下您的手指"));
    QVERIFY(isBlue(window.ui->result));
    emit window.setMessageShow(QString());
    QCOMPARE(window.ui->result->text(), QString());
}

// ---- tray and About ----

void TestMainWindow::trayActivation_data()
{
    QTest::addColumn<int>("reason");
    QTest::addColumn<bool>("shown");
    QTest::newRow("double click") << int(QSystemTrayIcon::DoubleClick) << true;
    QTest::newRow("single click") << int(QSystemTrayIcon::Trigger) << false;
    QTest::newRow("context") << int(QSystemTrayIcon::Context) << false;
    QTest::newRow("middle click") << int(QSystemTrayIcon::MiddleClick) << false;
}

// Before any login the tray icon already brings up the (empty) window.
void TestMainWindow::trayActivation()
{
    QFETCH(int, reason);
    QFETCH(bool, shown);
    FingerManageDlg window;
    QVERIFY(window.m_trayIcon);
    emit window.m_trayIcon->activated(static_cast<QSystemTrayIcon::ActivationReason>(reason));
    QCOMPARE(window.isVisible(), shown);
    QCOMPARE(window.ui->cb_printerList->count(), 0);
}

void TestMainWindow::trayMenu()
{
    FingerManageDlg window;
    QVERIFY(window.m_trayIcon->isVisible());
    QVERIFY(!window.m_trayIcon->icon().isNull());
    QCOMPARE(window.m_trayIcon->contextMenu(), window.m_trayMenu);
    QStringList texts;
    for (QAction* action : window.m_trayMenu->actions())
        texts << action->text();
    QCOMPARE(texts, (QStringList { QStringLiteral("关于..."), QStringLiteral("退出(&Q)") }));
    if (!QSystemTrayIcon::isSystemTrayAvailable())
        qInfo("no system tray on this platform: the icon is made but not shown");
}

void TestMainWindow::aboutCreatedOnce()
{
    FingerManageDlg window;
    QVERIFY(!window.m_pAbout);
    window.m_aboutAction->trigger();
    QPointer<About> first = window.m_pAbout;
    QVERIFY(first);
    QVERIFY(first->isVisible());
    QVERIFY(!first->isModal());
    QCOMPARE(first->parentWidget(), nullptr);
    QCOMPARE(first->ui->label_version->text(), QStringLiteral("KELB指纹管理版本V0.17"));
    QCOMPARE(first->windowTitle(), QStringLiteral(" "));
    QCOMPARE(first->size(), QSize(565, 255));
    QCOMPARE(first->minimumSize(), first->maximumSize());
    QCOMPARE(first->ui->label->pixmap().size(), QSize(120, 128));
    QVERIFY(first->ui->label->hasScaledContents());
    QCOMPARE(first->ui->btn_ok->text(), QStringLiteral("确认"));

    // "确认" hides it; the next request shows the same window again.
    first->ui->btn_ok->click();
    QVERIFY(!first->isVisible());
    QCOMPARE(first->result(), int(QDialog::Accepted));
    window.m_aboutAction->trigger();
    QCOMPARE(window.m_pAbout, first.data());
    QVERIFY(first->isVisible());
}

void TestMainWindow::quitFromTray()
{
    FingerManageDlg window;
    window.show();
    QTimer::singleShot(0, window.m_quitAction, &QAction::trigger);
    QTimer watchdog;
    watchdog.setSingleShot(true);
    connect(&watchdog, &QTimer::timeout, qApp, [] { QCoreApplication::exit(99); });
    watchdog.start(5000);
    QCOMPARE(qApp->exec(), 0);
}

QTEST_MAIN(TestMainWindow)
#include "tst_fpmanager_mainwindow.moc"
