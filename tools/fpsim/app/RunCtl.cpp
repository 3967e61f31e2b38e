#include "Runner.h"

#include <QLocalSocket>
#include <QTextStream>
#include <cstdio>

namespace fpsim
{

int runCtl(const QString& socketPath, const QStringList& commands)
{
    QLocalSocket socket;
    socket.connectToServer(socketPath);
    if (!socket.waitForConnected(5000)) {
        std::fprintf(
            stderr, "fpsim: cannot connect to %s: %s\n", qPrintable(socketPath), qPrintable(socket.errorString()));
        return 1;
    }
    QStringList lines = commands;
    if (lines.isEmpty()) {
        QTextStream in(stdin);
        for (QString l; in.readLineInto(&l);) {
            if (!l.trimmed().isEmpty())
                lines << l;
        }
    }
    int rc = 0;
    for (const QString& line : lines) {
        socket.write(line.toUtf8() + '\n');
        for (;;) {
            if (!socket.canReadLine() && !socket.waitForReadyRead(10000)) {
                std::fprintf(stderr, "fpsim: no answer to '%s'\n", qPrintable(line));
                return 1;
            }
            if (!socket.canReadLine())
                continue;
            const QByteArray answer = socket.readLine();
            std::fputs(answer.constData(), stdout);
            if (answer.startsWith("OK"))
                break;
            if (answer.startsWith("ERR")) {
                rc = 1;
                break;
            }
        }
    }
    return rc;
}

} // namespace fpsim
