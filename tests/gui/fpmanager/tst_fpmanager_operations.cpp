// The operations of the main window (enrol, query, delete, delete all, export, import, settings)
// with the library replaced by test doubles, the real database and settings file on the program's
// fixed paths (inside the private test namespace), and the name, file and settings dialogs run
// for real or answered through their seams.
#include "AddDlg.h"
#include "ExportThread.h"
#include "FakeFingerLibrary.h"
#include "FingerManageDlg.h"
#include "ManagerTestSupport.h"
#include "SettingsDlg.h"
#include "store/FingerManage.h"
#include "store/FpmanagerPaths.h"
#include "ui_AddDlg.h"
#include "ui_FingerManageDlg.h"
#include "ui_SettingsDlg.h"

#include <QApplication>
#include <QMessageBox>
#include <QProcess>
#include <QSettings>
#include <QStringListModel>
#include <QtTest>

namespace
{

using Printers = QList<QPair<QByteArray, QByteArray>>;
using Rows = QList<QPair<int, QString>>;

const QByteArray kUri = "usb://Simulated/ZPH6100RMX?serial=SIM0001";
const QString kQueue = QStringLiteral("ZPH_first");
const QString kExportTemp = QString::fromLatin1(FpmanagerPaths::kExportTempFile);
const QString kImportTemp = QString::fromLatin1(FpmanagerPaths::kImportTempFile);

void typeText(QWidget* widget, const QString& text)
{
    for (const QChar c : text) {
        QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, QString(c));
        QApplication::sendEvent(widget, &press);
    }
}

// Answers the next name dialog: types name and presses OK, or cancels when name is null.
std::unique_ptr<ModalWatcher> answerName(const QString& name, QString* title = nullptr, QString* prompt = nullptr)
{
    return std::make_unique<ModalWatcher>([=](QWidget* modal) {
        auto* dialog = qobject_cast<AddDlg*>(modal);
        if (!dialog) {
            modal->close();
            return;
        }
        if (title)
            *title = dialog->windowTitle();
        if (prompt)
            *prompt = dialog->ui->label->text();
        if (name.isNull()) {
            dialog->ui->btn_add_No->click();
            return;
        }
        typeText(dialog->ui->AddUserName, name);
        dialog->ui->btn_add_OK->click();
    });
}

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

// What the window shows while the "printer" works.
struct DuringCall {
    QString message;
    QStringList enabled;
};

QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(missing)");
}

bool writeFile(const QString& path, const QByteArray& data)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(data) == data.size();
}

} // namespace

class TestOperations : public FakeLibraryTest
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();

    void addDialogForm_data();
    void addDialogForm();
    void addDialogName_data();
    void addDialogName();

    void enrol_data();
    void enrol();
    void enrolCancelled();
    void enrolListFull();
    void enrolTwice();
    void query_data();
    void query();
    void deleteOne_data();
    void deleteOne();
    void deleteNeedsRowAfterYes();
    void deleteConfirmationBox();
    void deleteAll_data();
    void deleteAll();

    void exportToFile_data();
    void exportToFile();
    void exportOverTheTemporaryFile_data();
    void exportOverTheTemporaryFile();
    void exportCancelled();
    void importFromFile_data();
    void importFromFile();
    void dataLayerWarningsDuringTransfer_data();
    void dataLayerWarningsDuringTransfer();

    void settingsForm();
    void settings_data();
    void settings();
    void settingsProposedToExport();

private:
    std::unique_ptr<FingerManageDlg> showWindow(const Rows& users = {}, int switchState = 1);
};

void TestOperations::initTestCase()
{
    if (!inPrivateNamespace())
        QSKIP("uses fpmanager's fixed paths: runs only inside the private test namespace (ctest)");
    qApp->setQuitOnLastWindowClosed(false);
}

void TestOperations::init()
{
    QVERIFY(ManagerTestEnv::freshManager());
    QFile::remove(kExportTemp);
    QFile::remove(kImportTemp);
}

std::unique_ptr<FingerManageDlg> TestOperations::showWindow(const Rows& users, int switchState)
{
    ManagerTestEnv::setPrinters({ { kQueue.toUtf8(), kUri } });
    for (const auto& user : users)
        ManagerTestEnv::storeFinger(kQueue, user.first, user.second);
    FakeFingerLibrary::state().defaultSwitch = switchState;
    auto window = std::make_unique<FingerManageDlg>();
    window->settingDlgshow();
    FakeFingerLibrary::calls().clear();
    return window;
}

// ---- name dialog ----

void TestOperations::addDialogForm_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QRect>("geometry");
    QTest::newRow("label") << "label" << QStringLiteral("正在添加指纹，请输入用户名。") << QRect(20, 10, 281, 31);
    QTest::newRow("label_2") << "label_2" << QStringLiteral("用户名：") << QRect(60, 50, 61, 21);
    QTest::newRow("AddUserName") << "AddUserName" << QString() << QRect(130, 50, 113, 21);
    QTest::newRow("btn_add_OK") << "btn_add_OK" << QStringLiteral("确定") << QRect(160, 100, 61, 21);
    QTest::newRow("btn_add_No") << "btn_add_No" << QStringLiteral("取消") << QRect(230, 100, 61, 21);
}

void TestOperations::addDialogForm()
{
    QFETCH(QString, name);
    QFETCH(QString, text);
    QFETCH(QRect, geometry);
    AddDlg dialog;
    QWidget* widget = dialog.findChild<QWidget*>(name);
    QVERIFY(widget);
    QCOMPARE(widget->geometry(), geometry);
    QCOMPARE(widget->property("text").toString(), text);
    QCOMPARE(dialog.objectName(), QStringLiteral("AddDlg"));
    QCOMPARE(dialog.windowTitle(), QStringLiteral("添加指纹"));
    QCOMPARE(dialog.size(), QSize(304, 144));
    QCOMPARE(dialog.minimumSize(), dialog.maximumSize());
    QVERIFY(!dialog.windowIcon().isNull());
    QCOMPARE(dialog.ui->AddUserName->maxLength(), 32);
    QVERIFY(dialog.m_strUserName.isEmpty());
    QVERIFY(!dialog.styleSheet().contains(QStringLiteral(":disabled")));
    dialog.setQueryMsg(QStringLiteral("正在查询用户，请输入用户名。"));
    QCOMPARE(dialog.ui->label->text(), QStringLiteral("正在查询用户，请输入用户名。"));
}

void TestOperations::addDialogName_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("kept");
    QTest::addColumn<bool>("accepted");
    const QString zhang = QStringLiteral("张");
    QTest::newRow("16 Chinese characters") << zhang.repeated(16) << zhang.repeated(16) << true;
    QTest::newRow("a 17th removed") << zhang.repeated(17) << zhang.repeated(16) << true;
    QTest::newRow("32 ASCII, the 33rd refused")
        << QStringLiteral("b").repeated(33) << QStringLiteral("b").repeated(32) << true;
    QTest::newRow("blanks around") << QStringLiteral("  li si ") << QStringLiteral("  li si ") << true;
    QTest::newRow("only blanks") << QStringLiteral("    ") << QStringLiteral("    ") << false;
    QTest::newRow("nothing") << QString() << QString() << false;
}

void TestOperations::addDialogName()
{
    QFETCH(QString, typed);
    QFETCH(QString, kept);
    QFETCH(bool, accepted);
    NoticeScript notices;
    AddDlg dialog;
    dialog.show();
    QVERIFY(QTest::qWaitForWindowActive(&dialog));
    typeText(dialog.ui->AddUserName, typed);
    QCOMPARE(dialog.ui->AddUserName->text(), kept);
    dialog.ui->btn_add_OK->click();
    if (accepted) {
        QVERIFY(notices.shown.isEmpty());
        QCOMPARE(dialog.result(), 1);
        QVERIFY(!dialog.isVisible());
        QCOMPARE(dialog.m_strUserName, kept.trimmed());
    } else {
        QCOMPARE(notices.titledTexts(), QStringList { QStringLiteral("警告|输入用户名不正确，请重新输入") });
        QCOMPARE(notices.shown.first().icon, QMessageBox::Warning);
        QCOMPARE(notices.shown.first().parent, &dialog);
        QVERIFY(dialog.isVisible());
        QCOMPARE(QApplication::focusWidget(), dialog.ui->AddUserName);
        dialog.ui->btn_add_No->click();
        QCOMPARE(dialog.result(), 0);
        QVERIFY(dialog.m_strUserName.isEmpty());
    }
}

// ---- enrol ----

void TestOperations::enrol_data()
{
    QTest::addColumn<int>("first");
    QTest::addColumn<int>("second");
    QTest::addColumn<QString>("notice");
    QTest::addColumn<QString>("message");
    QTest::addColumn<int>("presses");

    const QString retry = QStringLiteral("添加失败,请稍后重试!");
    const QString taken = QStringLiteral("用户已经注冊,请重新填写姓名!");
    QTest::newRow("both presses") << 0 << 0 << QString() << QStringLiteral("添加成功") << 2;
    QTest::newRow("first 4 busy") << 4 << 0 << retry << QStringLiteral("添加失败") << 1;
    QTest::newRow("first 7") << 7 << 0 << retry << QStringLiteral("添加失败") << 1;
    QTest::newRow("first 15") << 15 << 0 << retry << QStringLiteral("添加失败") << 1;
    QTest::newRow("first 22") << 22 << 0 << retry << QStringLiteral("添加失败") << 1;
    QTest::newRow("first 2") << 2 << 0 << taken << QString() << 1;
    QTest::newRow("first 5") << 5 << 0 << taken << QString() << 1;
    QTest::newRow("first 14") << 14 << 0 << taken << QString() << 1;
    QTest::newRow("first -1") << -1 << 0 << taken << QString() << 1;
    QTest::newRow("second 13") << 0 << 13 << QStringLiteral("添加失败，请稍后重试!") << QString() << 2;
    QTest::newRow("second 9") << 0 << 9 << QStringLiteral("添加失败，请稍后重试!") << QString() << 2;
}

void TestOperations::enrol()
{
    QFETCH(int, first);
    QFETCH(int, second);
    QFETCH(QString, notice);
    QFETCH(QString, message);
    QFETCH(int, presses);
    const Rows before = { { 3, QStringLiteral("李四") } };
    auto window = showWindow(before);
    FakeFingerLibrary::state().firstPressResult = first;
    FakeFingerLibrary::state().secondPressResult = second;
    FakeFingerLibrary::state().nextIndex = 41;
    QList<DuringCall> during;
    FakeFingerLibrary::state().duringCall = [&](const char*) {
        during.append({ window->ui->result->text(), enabledButtons(*window) });
    };

    NoticeScript notices;
    auto watcher = answerName(QStringLiteral(" 张三 "));
    window->ui->Btn_add->click();
    QVERIFY(watcher->fired());

    // Before each press: its prompt, every operation button disabled.
    QCOMPARE(during.size(), presses);
    QCOMPARE(during.at(0).message, QStringLiteral("正在添加指纹,请按下您的手指"));
    QVERIFY(during.at(0).enabled.isEmpty());
    if (presses == 2) {
        QCOMPARE(during.at(1).message, QStringLiteral("请再次按下您的手指"));
        QVERIFY(during.at(1).enabled.isEmpty());
    }
    const QString nameHex = QString::fromLatin1(ManagerTestEnv::gb18030(QStringLiteral("张三")).toHex());
    QCOMPARE(FakeFingerLibrary::calls().first(),
        QStringLiteral("AddFinger0 ") + QString::fromLatin1(kUri) + QLatin1Char(' ') + nameHex);

    QCOMPARE(window->ui->result->text(), message);
    QCOMPARE(enabledButtons(*window), kAllButtons);
    if (notice.isEmpty()) {
        QVERIFY(notices.shown.isEmpty());
        const Rows after = { { 3, QStringLiteral("李四") }, { 41, QStringLiteral("张三") } };
        QCOMPARE(ManagerTestEnv::storedFingers(kQueue), after);
        QCOMPARE(window->m_userNameList, (QStringList { QStringLiteral("李四"), QStringLiteral("张三") }));
        QCOMPARE(window->m_userModel->stringList(), window->m_userNameList);
        QCOMPARE(window->ui->LV_userList->model(), window->m_userModel);
        QCOMPARE(fingerMagager.m_ListFinger.size(), 2);
        QCOMPARE(
            QByteArray(fingerMagager.m_ListFinger.last().UserName), ManagerTestEnv::gb18030(QStringLiteral("张三")));
        QCOMPARE(fingerMagager.m_ListFinger.last().ID, 41);
    } else {
        QCOMPARE(notices.titledTexts(), QStringList { QStringLiteral("信息|") + notice });
        QCOMPARE(notices.shown.first().icon, QMessageBox::Information);
        QCOMPARE(notices.shown.first().parent, window.get());
        QCOMPARE(ManagerTestEnv::storedFingers(kQueue), before);
        QCOMPARE(window->m_userNameList, QStringList { QStringLiteral("李四") });
        QCOMPARE(fingerMagager.m_ListFinger.size(), 1);
    }
}

void TestOperations::enrolCancelled()
{
    auto window = showWindow();
    emit window->setMessageShow(QStringLiteral("指纹功能开启"));
    NoticeScript notices;
    auto watcher = answerName(QString());
    window->ui->Btn_add->click();
    QVERIFY(watcher->fired());
    QVERIFY(FakeFingerLibrary::calls().isEmpty());
    QVERIFY(notices.shown.isEmpty());
    QCOMPARE(window->ui->result->text(), QString());
    QCOMPARE(enabledButtons(*window), kAllButtons);
}

void TestOperations::enrolListFull()
{
    auto window = showWindow();
    _FINGER_LIST finger {};
    for (int i = 0; i < 1000; ++i)
        fingerMagager.m_ListFinger.append(finger);
    NoticeScript notices;
    ModalWatcher watcher([](QWidget* modal) { modal->close(); });
    window->ui->Btn_add->click();
    QTest::qWait(50);
    QVERIFY(!watcher.fired());
    QCOMPARE(notices.titledTexts(), QStringList { QStringLiteral("信息|用户列表已满，请删除后重试！") });
    QVERIFY(FakeFingerLibrary::calls().isEmpty());
}

// The same name enrolled twice: two rows; a query selects the later one.
void TestOperations::enrolTwice()
{
    auto window = showWindow({ { 1, QStringLiteral("alice") } });
    FakeFingerLibrary::state().nextIndex = 7;
    NoticeScript notices;
    for (int i = 0; i < 2; ++i) {
        auto watcher = answerName(QStringLiteral("bob"));
        window->ui->Btn_add->click();
        QVERIFY(watcher->fired());
    }
    QCOMPARE(window->m_userNameList, (QStringList { "alice", "bob", "bob" }));
    const Rows stored = { { 1, "alice" }, { 7, "bob" }, { 8, "bob" } };
    QCOMPARE(ManagerTestEnv::storedFingers(kQueue), stored);

    auto watcher = answerName(QStringLiteral("bob"));
    window->ui->Btn_query->click();
    QCOMPARE(window->ui->LV_userList->currentIndex().row(), 2);
}

// ---- query ----

void TestOperations::query_data()
{
    QTest::addColumn<int>("result");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("notice");
    QTest::addColumn<int>("selected");
    QTest::newRow("enrolled") << 0 << QStringLiteral("查询成功") << QStringLiteral("信息|此用户指纹已经存在,可以使用!")
                              << 3;
    QTest::newRow("unknown 14") << 14 << QStringLiteral("用户或者指纹信息不存在")
                                << QStringLiteral("警告|用户或者指纹信息不存在!") << -1;
    QTest::newRow("busy 4") << 4 << QStringLiteral("查询失败") << QStringLiteral("警告|查询失败") << -1;
    QTest::newRow("no answer 16") << 16 << QStringLiteral("查询失败") << QStringLiteral("警告|查询失败") << -1;
}

void TestOperations::query()
{
    QFETCH(int, result);
    QFETCH(QString, message);
    QFETCH(QString, notice);
    QFETCH(int, selected);
    auto window = showWindow({ { 1, "alice" }, { 2, QStringLiteral("王五") }, { 3, "carol" },
        { 4, QStringLiteral("王五") }, { 5, "dave" } });
    FakeFingerLibrary::state().checkResult = result;
    QList<DuringCall> during;
    FakeFingerLibrary::state().duringCall = [&](const char*) {
        during.append({ window->ui->result->text(), enabledButtons(*window) });
    };
    NoticeScript notices;
    QString title;
    QString prompt;
    auto watcher = answerName(QStringLiteral("王五"), &title, &prompt);
    window->ui->Btn_query->click();

    QCOMPARE(title, QStringLiteral("查询指纹"));
    QCOMPARE(prompt, QStringLiteral("正在查询用户，请输入用户名。"));
    QCOMPARE(during.size(), 1);
    QCOMPARE(during.first().message, QStringLiteral("正在查询用户,请稍候..."));
    QVERIFY(during.first().enabled.isEmpty());
    QCOMPARE(FakeFingerLibrary::calls(),
        QStringList { QStringLiteral("CheckFinger ") + QString::fromLatin1(kUri) + QLatin1Char(' ')
            + QString::fromLatin1(ManagerTestEnv::gb18030(QStringLiteral("王五")).toHex()) });
    QCOMPARE(window->ui->result->text(), message);
    QCOMPARE(notices.titledTexts(), QStringList { notice });
    QCOMPARE(notices.shown.first().icon, QMessageBox::Information);
    QCOMPARE(window->ui->LV_userList->currentIndex().row(), selected);
    QCOMPARE(enabledButtons(*window), kAllButtons);
    QCOMPARE(window->m_userNameList.size(), 5);
}

// ---- delete ----

void TestOperations::deleteOne_data()
{
    QTest::addColumn<int>("result");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QStringList>("notices");
    QTest::addColumn<bool>("removed");
    QTest::newRow("deleted") << 0 << QStringLiteral("删除成功! ") << QStringList() << true;
    QTest::newRow("unknown to the printer")
        << 14 << QStringLiteral("用户不存在! ") << QStringList { QStringLiteral("警告|用户不存在！") } << true;
    QTest::newRow("refused") << 5 << QStringLiteral("删除失败! ")
                             << QStringList { QStringLiteral("警告|删除失败，请重试！") } << false;
    QTest::newRow("busy") << 4 << QStringLiteral("删除失败! ")
                          << QStringList { QStringLiteral("警告|删除失败，请重试！") } << false;
}

void TestOperations::deleteOne()
{
    QFETCH(int, result);
    QFETCH(QString, message);
    QFETCH(QStringList, notices);
    QFETCH(bool, removed);
    const Rows before = { { 1, "alice" }, { 2, QStringLiteral("张三") }, { 3, "carol" } };
    auto window = showWindow(before);
    FakeFingerLibrary::state().deleteResult = result;
    QString messageDuring;
    FakeFingerLibrary::state().duringCall = [&](const char*) { messageDuring = window->ui->result->text(); };
    window->ui->LV_userList->setCurrentIndex(window->m_userModel->index(1));

    NoticeScript script;
    script.answers = { QMessageBox::Yes };
    window->ui->Btn_delete->click();

    QCOMPARE(script.shown.first().title, QStringLiteral("警告"));
    QCOMPARE(script.shown.first().text, QStringLiteral("您确认要删除当前的用户和指纹吗？"));
    QCOMPARE(script.shown.first().buttons, QMessageBox::Yes | QMessageBox::No);
    QCOMPARE(script.shown.first().icon, QMessageBox::Information);
    QCOMPARE(script.titledTexts().mid(1), notices);
    QCOMPARE(messageDuring, QStringLiteral("正在删除指纹,请稍候! "));
    QCOMPARE(FakeFingerLibrary::calls(),
        QStringList { QStringLiteral("DeleteFinger ") + QString::fromLatin1(kUri) + QLatin1Char(' ')
            + QString::fromLatin1(ManagerTestEnv::gb18030(QStringLiteral("张三")).toHex()) });
    QCOMPARE(window->ui->result->text(), message);
    const Rows after = removed ? Rows { { 1, "alice" }, { 3, "carol" } } : before;
    QCOMPARE(ManagerTestEnv::storedFingers(kQueue), after);
    QStringList names;
    for (const auto& row : after)
        names << row.second;
    QCOMPARE(window->m_userNameList, names);
    QCOMPARE(window->ui->LV_userList->model()->rowCount(), names.size());
    QCOMPARE(fingerMagager.m_ListFinger.size(), names.size());
    QCOMPARE(fingerMagager.m_ListFinger.last().ID, 3);
    QCOMPARE(enabledButtons(*window), kAllButtons);
}

void TestOperations::deleteNeedsRowAfterYes()
{
    auto window = showWindow({ { 1, "alice" } });
    QVERIFY(!window->ui->LV_userList->currentIndex().isValid());
    {
        // Answered No: nothing else happens.
        NoticeScript script;
        script.answers = { QMessageBox::No };
        window->ui->Btn_delete->click();
        QCOMPARE(script.texts(), QStringList { QStringLiteral("您确认要删除当前的用户和指纹吗？") });
    }
    {
        NoticeScript script;
        script.answers = { QMessageBox::Yes };
        window->ui->Btn_delete->click();
        QCOMPARE(script.texts(),
            (QStringList { QStringLiteral("您确认要删除当前的用户和指纹吗？"), QStringLiteral("请指定一个用户!") }));
    }
    QVERIFY(FakeFingerLibrary::calls().isEmpty());
    // An empty list asks nothing at all.
    fingerMagager.m_ListFinger.clear();
    NoticeScript script;
    window->ui->Btn_delete->click();
    QVERIFY(script.shown.isEmpty());
}

// The confirmation as the administrator sees it: "是" and "否"; "否" keeps the user.
void TestOperations::deleteConfirmationBox()
{
    auto window = showWindow({ { 1, "alice" } });
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    window->ui->LV_userList->setCurrentIndex(window->m_userModel->index(0));
    ShownBox shown;
    ModalWatcher watcher([&](QWidget* modal) {
        shown = readAndClick(qobject_cast<QMessageBox*>(modal), QStringLiteral("否"), window.get());
    });
    window->ui->Btn_delete->click();
    QVERIFY(watcher.fired());
    QCOMPARE(shown.buttonTexts, (QStringList { QStringLiteral("是"), QStringLiteral("否") }));
    QCOMPARE(shown.title, QStringLiteral("警告"));
    QCOMPARE(shown.icon, int(QMessageBox::Information));
    QVERIFY(shown.parentIs);
    QVERIFY(shown.flags & Qt::MSWindowsFixedSizeDialogHint);
    QVERIFY(FakeFingerLibrary::calls().isEmpty());
    QCOMPARE(window->m_userNameList, QStringList { "alice" });
}

void TestOperations::deleteAll_data()
{
    QTest::addColumn<QMessageBox::StandardButton>("answer");
    QTest::addColumn<int>("result");
    QTest::addColumn<QString>("message");
    QTest::addColumn<bool>("removed");
    QTest::newRow("deleted") << QMessageBox::Yes << 0 << QStringLiteral("删除成功! ") << true;
    QTest::newRow("failed") << QMessageBox::Yes << 9 << QStringLiteral("删除失败! ") << false;
    QTest::newRow("answered no") << QMessageBox::No << 0 << QString() << false;
}

void TestOperations::deleteAll()
{
    QFETCH(QMessageBox::StandardButton, answer);
    QFETCH(int, result);
    QFETCH(QString, message);
    QFETCH(bool, removed);
    const Rows before = { { 1, "alice" }, { 2, "bob" } };
    auto window = showWindow(before);
    ManagerTestEnv::storeFinger(QStringLiteral("other queue"), 5, QStringLiteral("eve"));
    FakeFingerLibrary::state().deleteAllResult = result;
    QString messageDuring;
    FakeFingerLibrary::state().duringCall = [&](const char*) { messageDuring = window->ui->result->text(); };
    emit window->setMessageShow(QStringLiteral("指纹功能开启"));

    NoticeScript script;
    script.answers = { answer };
    window->ui->Btn_delete_all->click();
    QCOMPARE(script.shown.first().text, QStringLiteral("您确认要删除全部用户和指纹吗？"));
    QCOMPARE(script.shown.first().buttons, QMessageBox::Yes | QMessageBox::No);
    QCOMPARE(window->ui->result->text(), message);
    if (answer == QMessageBox::No) {
        QVERIFY(FakeFingerLibrary::calls().isEmpty());
        QCOMPARE(script.shown.size(), 1);
    } else {
        QCOMPARE(messageDuring, QStringLiteral("正在删除指纹, 请稍候!"));
        QCOMPARE(
            FakeFingerLibrary::calls(), QStringList { QStringLiteral("DeleteFingers ") + QString::fromLatin1(kUri) });
        QCOMPARE(script.texts().mid(1), removed ? QStringList() : QStringList { QStringLiteral("删除失败，请重试！") });
    }
    QCOMPARE(ManagerTestEnv::storedFingers(kQueue), removed ? Rows() : before);
    QCOMPARE(window->m_userNameList.size(), removed ? 0 : 2);
    QCOMPARE(window->ui->LV_userList->model()->rowCount(), removed ? 0 : 2);
    QCOMPARE(fingerMagager.m_ListFinger.size(), removed ? 0 : 2);
    // Other printers' rows stay.
    QCOMPARE(ManagerTestEnv::storedFingers(QStringLiteral("other queue")), (Rows { { 5, "eve" } }));
}

// ---- export and import ----

void TestOperations::exportToFile_data()
{
    QTest::addColumn<QString>("chosen"); // relative to the test folder
    QTest::addColumn<QString>("written"); // the file that receives the records
    QTest::addColumn<int>("result");
    QTest::addColumn<int>("length");
    QTest::addColumn<QString>("notice");
    QTest::addColumn<QString>("message");

    const QString done = QStringLiteral("信息|导出到文件成功!");
    const QString failed = QStringLiteral("警告|导出到文件失败，请检查您的设备，再重试!");
    QTest::newRow("fdl") << "backup.fdl"
                         << "backup.fdl" << 0 << 2 << done << QStringLiteral("导出到文件成功");
    QTest::newRow("no suffix") << "backup"
                               << "backup.fdl" << 0 << 2 << done << QStringLiteral("导出到文件成功");
    QTest::newRow("other suffix") << "backup.bin"
                                  << "backup.bin" << 0 << 2 << done << QStringLiteral("导出到文件成功");
    QTest::newRow("over an old file") << "old.fdl"
                                      << "old.fdl" << 0 << 2 << done << QStringLiteral("导出到文件成功");
    QTest::newRow("empty printer") << "old.fdl"
                                   << "old.fdl" << 0 << 0 << QStringLiteral("信息|设备中无指纹存储!") << QString();
    QTest::newRow("export failed") << "old.fdl"
                                   << "old.fdl" << 9 << 0 << failed << QStringLiteral("导出失败");
    // The copy cannot be completed: a failure, and the old file is still there.
    QTest::newRow("folder missing") << "gone/backup.fdl"
                                    << "gone/backup.fdl" << 0 << 2 << failed << QStringLiteral("导出失败");
    QTest::newRow("folder read-only") << "ro/old.fdl"
                                      << "ro/old.fdl" << 0 << 2 << failed << QStringLiteral("导出失败");
    QTest::newRow("disk full") << "full/old.fdl"
                               << "full/old.fdl" << 0 << 40 << failed << QStringLiteral("导出失败");
}

void TestOperations::exportToFile()
{
    QFETCH(QString, chosen);
    QFETCH(QString, written);
    QFETCH(int, result);
    QFETCH(int, length);
    QFETCH(QString, notice);
    QFETCH(QString, message);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QByteArray oldContent = "the administrator's previous backup";
    QVERIFY(writeFile(dir.filePath(QStringLiteral("old.fdl")), oldContent));
    QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("ro")));
    QVERIFY(writeFile(dir.filePath(QStringLiteral("ro/old.fdl")), oldContent));
    const QString ro = dir.filePath(QStringLiteral("ro"));
    const QString full = dir.filePath(QStringLiteral("full"));
    QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("full")));
    if (chosen.startsWith(QLatin1String("ro/")))
        QCOMPARE(QProcess::execute(QStringLiteral("sh"),
                     { "-c", QStringLiteral("mount --bind '%1' '%1' && mount -o remount,bind,ro '%1'").arg(ro) }),
            0);
    if (chosen.startsWith(QLatin1String("full/"))) {
        // 16 KiB of room: the old file fits, the export of 40 records (21840 bytes) does not.
        QCOMPARE(QProcess::execute(QStringLiteral("mount"), { "-t", "tmpfs", "-o", "size=16k", "tmpfs", full }), 0);
        QVERIFY(writeFile(dir.filePath(QStringLiteral("full/old.fdl")), oldContent));
    }
    const QString target = dir.filePath(written);
    const QByteArray before = readFile(target);

    QByteArray records = ManagerTestEnv::fdlRecord(ManagerTestEnv::gb18030(QStringLiteral("李四")), 3)
        + ManagerTestEnv::fdlRecord("newcomer", 9);
    for (int i = 2; i < length; ++i)
        records += ManagerTestEnv::fdlRecord("filler" + QByteArray::number(i), quint16(100 + i));
    auto window = showWindow({ { 3, QStringLiteral("李四") } });
    FakeFingerLibrary::state().exportResult = result;
    FakeFingerLibrary::state().exportLength = length;
    FakeFingerLibrary::state().exportData = length > 0 ? records : QByteArray();
    QList<DuringCall> during;
    FakeFingerLibrary::state().duringCall = [&](const char*) {
        during.append({ window->ui->result->text(), enabledButtons(*window) });
    };
    fingerMagager.m_strDefaultPath = dir.path();

    FileDialogScript dialogs;
    dialogs.answers = { dir.filePath(chosen) };
    NoticeScript notices;
    window->ui->Btn_export->click();
    const QByteArray afterwards = readFile(target);
    QStringList leftInFull = QDir(full).entryList(QDir::Files);
    if (chosen.startsWith(QLatin1String("ro/")))
        QProcess::execute(QStringLiteral("umount"), { ro });
    if (chosen.startsWith(QLatin1String("full/")))
        QProcess::execute(QStringLiteral("umount"), { full });

    QCOMPARE(dialogs.asked.size(), 1);
    QCOMPARE(dialogs.asked.first().kind, FileDialogRequest::SaveFile);
    QCOMPARE(dialogs.asked.first().title, QStringLiteral("另存为"));
    QCOMPARE(dialogs.asked.first().start, dir.path() + QStringLiteral("/fingerdata.fdl"));
    QCOMPARE(dialogs.asked.first().filter, QStringLiteral("指纹数据文件(*.fdl)"));
    QCOMPARE(dialogs.asked.first().parent, window.get());
    QCOMPARE(FingerManageDlg::im_exportDefPath, dir.path());
    QCOMPARE(fingerMagager.m_strExportFile, target);

    QCOMPARE(during.size(), 1);
    QCOMPARE(during.first().message, QStringLiteral("正在导出数据到文件，请稍候"));
    QVERIFY(during.first().enabled.isEmpty());
    QCOMPARE(FakeFingerLibrary::calls(),
        QStringList { QStringLiteral("ExportFinger ") + QString::fromLatin1(kUri) + QLatin1Char(' ')
            + QString::fromLatin1(QByteArray(FpmanagerPaths::kExportTempFile).toHex()) });
    QCOMPARE(notices.titledTexts(), QStringList { notice });
    QCOMPARE(window->ui->result->text(), message);
    QCOMPARE(enabledButtons(*window), kAllButtons);

    const bool exported = notice.endsWith(QStringLiteral("导出到文件成功!"));
    QCOMPARE(afterwards, exported ? records : before);
    if (chosen.startsWith(QLatin1String("full/")))
        QCOMPARE(leftInFull, QStringList { QStringLiteral("old.fdl") });
    if (exported) {
        QVERIFY(!QFile::exists(kExportTemp));
        // The records of the file are merged into the database and listed.
        QCOMPARE(window->m_userNameList, (QStringList { QStringLiteral("李四"), QStringLiteral("newcomer") }));
        QCOMPARE(ManagerTestEnv::storedFingers(kQueue), (Rows { { 3, QStringLiteral("李四") }, { 9, "newcomer" } }));
        QCOMPARE(QFileInfo(target).permissions() & QFileDevice::ReadOwner, QFileDevice::ReadOwner);
    } else {
        QCOMPARE(window->m_userNameList, QStringList { QStringLiteral("李四") });
        QCOMPARE(ManagerTestEnv::storedFingers(kQueue), (Rows { { 3, QStringLiteral("李四") } }));
    }
    // Nothing but the target (and the folders) in the test folder: no half-written file left.
    QStringList left = QDir(dir.path()).entryList(QDir::Files);
    left.sort();
    QStringList expected = { QStringLiteral("old.fdl") };
    if (exported && written != QLatin1String("old.fdl"))
        expected << written;
    expected.sort();
    QCOMPARE(left, expected);
}

void TestOperations::exportOverTheTemporaryFile_data()
{
    QTest::addColumn<int>("result");
    QTest::addColumn<int>("length");
    QTest::addColumn<bool>("replaced");
    QTest::newRow("records") << 0 << 1 << true;
    QTest::newRow("empty printer") << 0 << 0 << false;
    QTest::newRow("export failed") << 9 << 0 << false;
}

// The administrator's file is the library's temporary file itself: only a complete export replaces it.
void TestOperations::exportOverTheTemporaryFile()
{
    QFETCH(int, result);
    QFETCH(int, length);
    QFETCH(bool, replaced);
    const QByteArray oldContent = "the administrator's previous backup";
    QVERIFY(writeFile(kExportTemp, oldContent));
    const QByteArray records = ManagerTestEnv::fdlRecord("newcomer", 9);
    auto window = showWindow();
    FakeFingerLibrary::state().exportResult = result;
    FakeFingerLibrary::state().exportLength = length;
    FakeFingerLibrary::state().exportData = records;
    FileDialogScript dialogs;
    dialogs.answers = { kExportTemp };
    NoticeScript notices;
    window->ui->Btn_export->click();
    QCOMPARE(notices.shown.size(), 1);
    QCOMPARE(readFile(kExportTemp), replaced ? records : oldContent);
}

void TestOperations::exportCancelled()
{
    auto window = showWindow();
    emit window->setMessageShow(QStringLiteral("指纹功能开启"));
    FileDialogScript dialogs;
    NoticeScript notices;
    window->ui->Btn_export->click();
    window->ui->Btn_import->click();
    QCOMPARE(dialogs.asked.size(), 2);
    QCOMPARE(dialogs.asked.at(1).kind, FileDialogRequest::OpenFile);
    QCOMPARE(dialogs.asked.at(1).title, QStringLiteral("打开"));
    QCOMPARE(dialogs.asked.at(1).start, fingerMagager.m_strDefaultPath);
    QCOMPARE(dialogs.asked.at(1).filter, QStringLiteral("指纹数据文件(*.fdl)"));
    QVERIFY(FakeFingerLibrary::calls().isEmpty());
    QVERIFY(notices.shown.isEmpty());
    QCOMPARE(window->ui->result->text(), QString());
    QCOMPARE(enabledButtons(*window), kAllButtons);
}

void TestOperations::importFromFile_data()
{
    QTest::addColumn<int>("result");
    QTest::addColumn<QString>("notice");
    QTest::addColumn<QString>("message");
    QTest::newRow("imported") << 0 << QStringLiteral("信息|导入文件成功!") << QStringLiteral("导入文件成功");
    QTest::newRow("refused") << 5 << QStringLiteral("警告|导入文件失败，请检查您的设备，再重试!") << QString();
    QTest::newRow("unreadable") << 9 << QStringLiteral("警告|导入文件失败，请检查您的设备，再重试!") << QString();
}

void TestOperations::importFromFile()
{
    QFETCH(int, result);
    QFETCH(QString, notice);
    QFETCH(QString, message);
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("team.fdl"));
    const QByteArray records = ManagerTestEnv::fdlRecord("alice", 4)
        + ManagerTestEnv::fdlRecord(ManagerTestEnv::gb18030(QStringLiteral("王五")), 12)
        + ManagerTestEnv::fdlRecord("carol", 13);
    QVERIFY(writeFile(file, records));
    QVERIFY(writeFile(kImportTemp, "stale"));

    auto window = showWindow({ { 4, "alice" }, { 1, "zed" } });
    FakeFingerLibrary::state().importResult = result;
    QList<DuringCall> during;
    FakeFingerLibrary::state().duringCall = [&](const char*) {
        during.append({ window->ui->result->text(), enabledButtons(*window) });
    };
    FileDialogScript dialogs;
    dialogs.answers = { file };
    NoticeScript notices;
    window->ui->Btn_import->click();

    QCOMPARE(during.size(), 1);
    QCOMPARE(during.first().message, QStringLiteral("正在导入指纹数据，请稍候..."));
    QVERIFY(during.first().enabled.isEmpty());
    // The library read a fresh copy of the chosen file at the temporary location.
    QVERIFY(FakeFingerLibrary::state().importFileExisted);
    QCOMPARE(FakeFingerLibrary::state().importedData, records);
    QCOMPARE(fingerMagager.m_strImportFile, file);
    QCOMPARE(notices.titledTexts(), QStringList { notice });
    QCOMPARE(window->ui->result->text(), message);
    QCOMPARE(enabledButtons(*window), kAllButtons);
    QVERIFY(!QFile::exists(kImportTemp));
    QCOMPARE(readFile(file), records);
    if (result == 0) {
        QCOMPARE(window->m_userNameList, (QStringList { "zed", "alice", QStringLiteral("王五"), "carol" }));
        QCOMPARE(ManagerTestEnv::storedFingers(kQueue),
            (Rows { { 1, "zed" }, { 4, "alice" }, { 12, QStringLiteral("王五") }, { 13, "carol" } }));
    } else {
        QCOMPARE(window->m_userNameList, (QStringList { "alice", "zed" }));
        QCOMPARE(ManagerTestEnv::storedFingers(kQueue), (Rows { { 4, "alice" }, { 1, "zed" } }));
    }
}

// ---- settings ----

void TestOperations::settingsForm()
{
    fingerMagager.m_strDefaultPath = QStringLiteral("/srv/backups");
    fingerMagager.m_nTimeOut = 45;
    SettingsDlg dialog;
    const QList<std::tuple<const char*, QString, QRect>> rows = {
        { "label", QStringLiteral("打印指纹验证超时时间："), QRect(10, 20, 161, 21) },
        { "sbox_timeout", QString(), QRect(170, 18, 44, 24) },
        { "label_2", QStringLiteral("导入导出默认路径："), QRect(10, 60, 131, 21) },
        { "read_browse", QStringLiteral("/srv/backups"), QRect(140, 60, 181, 21) },
        { "btn_browse", QStringLiteral("浏览"), QRect(329, 60, 61, 21) },
        { "btn_set_Ok", QStringLiteral("确定"), QRect(260, 110, 61, 21) },
        { "btn_set_No", QStringLiteral("取消"), QRect(330, 110, 61, 21) },
    };
    for (const auto& [name, text, geometry] : rows) {
        QWidget* widget = dialog.findChild<QWidget*>(QString::fromLatin1(name));
        QVERIFY2(widget, name);
        QCOMPARE(widget->geometry(), geometry);
        if (!text.isNull())
            QCOMPARE(widget->property("text").toString(), text);
    }
    QCOMPARE(dialog.objectName(), QStringLiteral("SettingsDlg"));
    QCOMPARE(dialog.windowTitle(), QStringLiteral("设置"));
    QCOMPARE(dialog.size(), QSize(400, 145));
    QCOMPARE(dialog.minimumSize(), dialog.maximumSize());
    QCOMPARE(dialog.ui->sbox_timeout->minimum(), 10);
    QCOMPARE(dialog.ui->sbox_timeout->maximum(), 180);
    QCOMPARE(dialog.ui->sbox_timeout->value(), 45);
    QVERIFY(dialog.ui->read_browse->isReadOnly());
    QVERIFY(dialog.m_strPath.isEmpty());
}

void TestOperations::settings_data()
{
    QTest::addColumn<int>("storedTimeOut");
    QTest::addColumn<QStringList>("browseAnswers"); // one entry per click on 浏览 ("" = cancelled)
    QTest::addColumn<int>("typedTimeOut"); // -1: leave the spin box
    QTest::addColumn<bool>("ok");
    QTest::addColumn<QString>("shownPath");
    QTest::addColumn<QString>("savedPath");
    QTest::addColumn<int>("savedTimeOut");

    const QString old = QStringLiteral("/srv/old");
    QTest::newRow("OK without browsing") << 30 << QStringList() << 60 << true << old << old << 60;
    QTest::newRow("browse then OK") << 30 << QStringList { "/srv/new" } << -1 << true << "/srv/new"
                                    << "/srv/new" << 30;
    QTest::newRow("browse then cancel the dialog")
        << 30 << QStringList { "/srv/new" } << 90 << false << "/srv/new" << old << 30;
    QTest::newRow("pick, browse again and cancel, OK")
        << 30 << QStringList { "/srv/new", "" } << -1 << true << "/srv/new" << old << 30;
    QTest::newRow("time-out above the range") << 500 << QStringList() << -1 << true << old << old << 180;
    QTest::newRow("time-out below the range") << 3 << QStringList() << -1 << true << old << old << 10;
}

void TestOperations::settings()
{
    QFETCH(int, storedTimeOut);
    QFETCH(QStringList, browseAnswers);
    QFETCH(int, typedTimeOut);
    QFETCH(bool, ok);
    QFETCH(QString, shownPath);
    QFETCH(QString, savedPath);
    QFETCH(int, savedTimeOut);

    const QString settingsFile = QString::fromLatin1(FpmanagerPaths::kSettingsFile);
    fingerMagager.m_strDefaultPath = QStringLiteral("/srv/old");
    fingerMagager.m_nTimeOut = storedTimeOut;
    fingerMagager.SaveSettingData();

    auto window = showWindow();
    FingerManageDlg::im_exportDefPath = QStringLiteral("/srv/old");
    FileDialogScript dialogs;
    dialogs.answers = browseAnswers;
    bool sawDialog = false;
    QString shownInDialog;
    ModalWatcher watcher([&](QWidget* modal) {
        auto* dialog = qobject_cast<SettingsDlg*>(modal);
        sawDialog = dialog != nullptr;
        if (!dialog) {
            modal->close();
            return;
        }
        for (int i = 0; i < browseAnswers.size(); ++i)
            dialog->ui->btn_browse->click();
        shownInDialog = dialog->ui->read_browse->text();
        if (typedTimeOut >= 0)
            dialog->ui->sbox_timeout->setValue(typedTimeOut);
        (ok ? dialog->ui->btn_set_Ok : dialog->ui->btn_set_No)->click();
    });
    window->ui->Btn_setting->click();
    QVERIFY(sawDialog);
    QCOMPARE(shownInDialog, shownPath);

    for (const FileDialogRequest& request : std::as_const(dialogs.asked)) {
        QCOMPARE(request.kind, FileDialogRequest::Directory);
        QCOMPARE(request.title, QStringLiteral("请选择文件夹"));
        QCOMPARE(request.start, QDir::homePath());
        QVERIFY(request.options & QFileDialog::ShowDirsOnly);
    }
    QCOMPARE(fingerMagager.m_strDefaultPath, savedPath);
    QCOMPARE(fingerMagager.m_nTimeOut, ok ? savedTimeOut : storedTimeOut);
    QCOMPARE(FingerManageDlg::im_exportDefPath, savedPath);
    QSettings stored(settingsFile, QSettings::IniFormat);
    QCOMPARE(stored.value(QStringLiteral("DefaultPath")).toString(), savedPath);
    QCOMPARE(stored.value(QStringLiteral("TimeOut")).toInt(), ok ? savedTimeOut : storedTimeOut);
    QVERIFY(FakeFingerLibrary::calls().isEmpty());
}

void TestOperations::settingsProposedToExport()
{
    auto window = showWindow();
    FileDialogScript dialogs;
    dialogs.answers = { QStringLiteral("/srv/exports"), QString() };
    ModalWatcher watcher([&](QWidget* modal) {
        auto* dialog = qobject_cast<SettingsDlg*>(modal);
        if (!dialog) {
            modal->close();
            return;
        }
        dialog->ui->btn_browse->click();
        dialog->ui->btn_set_Ok->click();
    });
    window->ui->Btn_setting->click();
    window->ui->Btn_export->click();
    QCOMPARE(dialogs.asked.size(), 2);
    QCOMPARE(dialogs.asked.at(1).start, QStringLiteral("/srv/exports/fingerdata.fdl"));
}

void TestOperations::dataLayerWarningsDuringTransfer_data()
{
    QTest::addColumn<bool>("exporting");
    QTest::addColumn<QString>("result");
    QTest::newRow("export") << true << QStringLiteral("信息|导出到文件成功!");
    QTest::newRow("import") << false << QStringLiteral("信息|导入文件成功!");
}

// The records are merged into the database on the worker thread; a warning of the data layer is
// still shown by the GUI thread, before the result.
void TestOperations::dataLayerWarningsDuringTransfer()
{
    QFETCH(bool, exporting);
    QFETCH(QString, result);
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("team.fdl"));
    const QByteArray records = ManagerTestEnv::fdlRecord("alice", 4);
    QVERIFY(writeFile(file, records));
    auto window = showWindow();
    FakeFingerLibrary::state().exportLength = 1;
    FakeFingerLibrary::state().exportData = records;
    // The stored database turns unreadable while the printer works.
    FakeFingerLibrary::state().duringCall = [](const char*) { writeFile(fingerMagager.m_strDbPath, "not a database"); };
    FileDialogScript dialogs;
    dialogs.answers = { file };
    NoticeScript notices;
    int offGuiThread = 0;
    notices.onShow = [&](const NoticeRequest&) {
        if (QThread::currentThread() != qApp->thread())
            ++offGuiThread;
    };
    (exporting ? window->ui->Btn_export : window->ui->Btn_import)->click();

    QCOMPARE(offGuiThread, 0);
    QVERIFY2(notices.shown.size() >= 2, qPrintable(notices.titledTexts().join(QLatin1Char(','))));
    QCOMPARE(notices.shown.first().title, QStringLiteral("警告"));
    QCOMPARE(notices.titledTexts().last(), result);
}

QTEST_MAIN(TestOperations)
#include "tst_fpmanager_operations.moc"
