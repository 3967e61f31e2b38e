// Every window of fpmanager and fpverify in the session's language: with the English catalogue no
// text shows a Chinese character and none is cut off; under a Chinese locale, and one without a
// catalogue (C), the windows show their texts as written.
#include "About.h"
#include "AddDlg.h"
#include "ChangeInfoDlg.h"
#include "FakeFingerLibrary.h"
#include "FingerManageDlg.h"
#include "LoginDlg.h"
#include "MainWindow.h"
#include "ManagerTestSupport.h"
#include "SettingsDlg.h"
#include "Translations.h"
#include "VerifyOutcome.h"
#include "ui_FingerManageDlg.h"

#include <QAbstractButton>
#include <QAction>
#include <QGroupBox>
#include <QLabel>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QTextDocumentFragment>
#include <QTranslator>
#include <QtTest>

namespace
{

// What one window (or the message boxes one action opens) shows.
struct Seen {
    QStringList texts;
    QStringList clipped;
};

bool hasChinese(const QString& text)
{
    return std::any_of(text.begin(), text.end(), [](QChar c) { return c.unicode() >= 0x3000 && c.unicode() < 0xa000; });
}

void read(QWidget* root, Seen& seen)
{
    QList<QWidget*> widgets = root->findChildren<QWidget*>();
    widgets.prepend(root);
    for (QWidget* widget : widgets) {
        if (widget->isWindow() && !widget->windowTitle().trimmed().isEmpty())
            seen.texts << widget->windowTitle();
        QString text;
        if (const auto* label = qobject_cast<QLabel*>(widget))
            text = Qt::mightBeRichText(label->text()) ? QTextDocumentFragment::fromHtml(label->text()).toPlainText()
                                                      : label->text();
        else if (const auto* button = qobject_cast<QAbstractButton*>(widget))
            text = button->text();
        else if (const auto* group = qobject_cast<QGroupBox*>(widget))
            text = group->title();
        if (text.trimmed().isEmpty())
            continue;
        seen.texts << text;
        if (!widget->isVisibleTo(root) || !(qobject_cast<QLabel*>(widget) || qobject_cast<QAbstractButton*>(widget)))
            continue;
        const auto* label = qobject_cast<QLabel*>(widget);
        const bool fits = label && label->wordWrap() ? label->heightForWidth(label->width()) <= label->height()
                                                     : widget->sizeHint().width() <= widget->width();
        if (!fits)
            seen.clipped << widget->objectName() + QLatin1Char(' ') + text;
    }
    for (const QAction* action : root->findChildren<QAction*>())
        if (!action->text().isEmpty())
            seen.texts << action->text();
}

// Reads every message box that opens while trigger runs (at most two) and answers it with Yes or OK.
void readBoxes(const std::function<void()>& trigger, Seen& seen)
{
    NoticeBox::Handler noScript = NoticeBox::setHandler({});
    auto answer = [&](QWidget* modal) {
        auto* box = qobject_cast<QMessageBox*>(modal);
        if (!box)
            return;
        read(box, seen);
        QAbstractButton* yes = box->button(QMessageBox::Yes);
        (yes ? yes : box->button(QMessageBox::Ok))->click();
    };
    // A watcher fires once; a second box needs its own.
    ModalWatcher first(answer);
    ModalWatcher second(answer);
    trigger();
    NoticeBox::setHandler(noScript);
}

std::unique_ptr<FingerManageDlg> mainWindow()
{
    ManagerTestEnv::setPrinters({ { "Office", "usb://Simulated/ZPH6100RMX?serial=SIM0001" } });
    ManagerTestEnv::storeFinger(QStringLiteral("Office"), 1, QStringLiteral("alice"));
    auto window = std::make_unique<FingerManageDlg>();
    window->settingDlgshow();
    return window;
}

Seen look(const QString& window, const QString& statusFile)
{
    Seen seen;
    auto shown = [&](QWidget& widget) {
        widget.show();
        read(&widget, seen);
    };
    if (window == QLatin1String("login")) {
        LoginDlg login;
        shown(login);
    } else if (window == QLatin1String("change login")) {
        ChangeInfoDlg dialog;
        shown(dialog);
    } else if (window == QLatin1String("main window")) {
        auto main = mainWindow();
        shown(*main);
    } else if (window == QLatin1String("enrol dialog")) {
        AddDlg dialog;
        shown(dialog);
    } else if (window == QLatin1String("settings")) {
        SettingsDlg dialog;
        shown(dialog);
    } else if (window == QLatin1String("about")) {
        About about;
        shown(about);
    } else if (window == QLatin1String("failed delete all")) {
        auto main = mainWindow();
        main->show();
        FakeFingerLibrary::state().deleteAllResult = 9;
        readBoxes([&] { main->ui->Btn_delete_all->click(); }, seen);
        seen.texts << main->ui->result->text();
    } else if (window == QLatin1String("verification")) {
        MainWindow verify(QStringLiteral("start://Office?jobid=12&time_val=60"), nullptr, statusFile, 3600000);
        shown(verify);
    } else if (window == QLatin1String("outcomes")) {
        for (int code : { kResultFailed, kResultCancelled, kResultTimedOut, kResultNoUsers, kResultBusy })
            readBoxes([code] { handler_result(code); }, seen);
    }
    return seen;
}

} // namespace

class TestLanguage : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void windows_data();
    void windows();

private:
    QTemporaryDir m_dir;
};

void TestLanguage::initTestCase()
{
    QVERIFY2(inPrivateNamespace(), "run through tests/fixtures/in-namespace.sh (ctest does)");
    QVERIFY(m_dir.isValid());
    qApp->setQuitOnLastWindowClosed(false);
}

void TestLanguage::init()
{
    QVERIFY(ManagerTestEnv::freshManager());
    FakeFingerLibrary::reset();
}

void TestLanguage::cleanup() { qDeleteAll(qApp->findChildren<QTranslator*>()); }

void TestLanguage::windows_data()
{
    QTest::addColumn<QString>("locale");
    QTest::addColumn<QString>("window");
    const char* windows[] = { "login", "change login", "main window", "enrol dialog", "settings", "about",
        "failed delete all", "verification", "outcomes" };
    for (const char* locale : { "en_US", "zh_CN", "C" })
        for (const char* window : windows)
            QTest::addRow("%s %s", locale, window) << QString::fromLatin1(locale) << QString::fromLatin1(window);
}

void TestLanguage::windows()
{
    QFETCH(QString, locale);
    QFETCH(QString, window);
    const QString statusFile = m_dir.filePath(QStringLiteral("status.conf"));
    const Seen source = look(window, statusFile);
    QVERIFY(!source.texts.isEmpty());
    QVERIFY2(std::any_of(source.texts.begin(), source.texts.end(), hasChinese), qPrintable(source.texts.join('|')));

    const QStringList dirs { QStringLiteral(VRKT_CATALOGUE_DIR) };
    const bool english = locale.startsWith(QLatin1String("en"));
    QCOMPARE(Translations::install(*qApp, QStringLiteral("fpmanager"), QLocale(locale), dirs), english);
    QCOMPARE(Translations::install(*qApp, QStringLiteral("fpverify"), QLocale(locale), dirs), english);
    FakeFingerLibrary::reset();
    QVERIFY(ManagerTestEnv::freshManager());
    const Seen seen = look(window, statusFile);

    QVERIFY2(seen.clipped.isEmpty(), qPrintable(seen.clipped.join('|')));
    if (!english) {
        QCOMPARE(seen.texts, source.texts);
        return;
    }
    QCOMPARE(seen.texts.size(), source.texts.size());
    for (const QString& text : seen.texts)
        QVERIFY2(!hasChinese(text), qPrintable(text));
}

QTEST_MAIN(TestLanguage)
#include "tst_windows_language.moc"
