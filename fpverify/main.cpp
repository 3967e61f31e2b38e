// fpverify: the window shown while a print job waits for a fingerprint.
// Usage: fpverify [start://<printer>?jobid=<N>&time_val=<S>]
// Environment: VRKT7X_STATUS_FILE, the status file to use instead of /tmp/.vrkt7xsmtmp.conf.
#include "MainWindow.h"
#include "SigintHandler.h"
#include "StatusFile.h"
#include "Translations.h"
#include "VerifyArgument.h"

#include <QApplication>
#include <QIcon>

namespace
{

// The window and its messages in the language of the session the agent started us in, when there
// is a catalogue for it; otherwise the texts as written.
void installTranslations(QApplication& app) { Translations::install(app, QStringLiteral("fpverify")); }

} // namespace

int main(int argc, char* argv[])
{
    installSigintHandler();

    QApplication app(argc, argv);
    watchSigint(&app);
    installTranslations(app);
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/image/app_icon.png")));
    QApplication::setQuitOnLastWindowClosed(false);
    // Texts and 8-bit strings are UTF-8 throughout: Qt 6 has no other codec to set.

    const QStringList arguments = QCoreApplication::arguments();
    const QString argument = arguments.size() < 2 ? QString::fromLatin1(kDefaultVerifyArgument) : arguments.at(1);

    // The agent's file of this user when it gave one, else the fixed name of the other print sides.
    MainWindow window(argument, nullptr, chosenStatusFile());
    ww = &window;
    window.show();
    QApplication::exec();
    return 0;
}
