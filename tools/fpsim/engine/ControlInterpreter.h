#pragma once
// The control language of the simulated printer: one command per line, answered by zero or more
// data lines and a final "OK" or "ERR <reason>" line (see ControlClient.h for the commands).
// User names are written percent-encoded (bytes other than letters, digits and -._~ as %XX), so
// that names of any bytes (GB18030 included) fit on a line.

#include "PrinterEngine.h"

#include <QStringList>
#include <functional>

namespace fpsim
{

class ControlInterpreter
{
public:
    explicit ControlInterpreter(PrinterEngine& engine);

    // Runs one command line. Returns true for success; `lines` receives the data lines (without
    // any prefix), `error` the reason of a failure.
    bool execute(const QString& line, QStringList* lines, QString* error);

    // Called for "quit".
    void setQuitHandler(std::function<void()> handler) { m_quit = std::move(handler); }

    static QByteArray decodeName(const QString& text);
    static QString encodeName(const QByteArray& name);

private:
    bool store(const QStringList& args, QStringList* lines, QString* error);
    bool finger(const QStringList& args, QStringList* lines, QString* error);
    bool jobs(const QStringList& args, QStringList* lines, QString* error);
    bool fault(const QStringList& args, const QString& rest, QStringList* lines, QString* error);

    PrinterEngine& m_engine;
    std::function<void()> m_quit;
};

} // namespace fpsim
