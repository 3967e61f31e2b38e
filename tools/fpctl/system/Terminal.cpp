#include "Terminal.h"

#include <QtGlobal>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_UNDEFINED__)
#include <sanitizer/common_interface_defs.h>
#define FPCTL_SANITIZED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(undefined_behavior_sanitizer)
#include <sanitizer/common_interface_defs.h>
#define FPCTL_SANITIZED 1
#endif
#endif

namespace
{

void dropMessage(QtMsgType, const QMessageLogContext&, const QString&) { }

} // namespace

Terminal::Terminal()
{
    m_errFd = ::fcntl(STDERR_FILENO, F_DUPFD_CLOEXEC, 3);
    if (m_errFd < 0)
        m_errFd = STDERR_FILENO;
}

Terminal::~Terminal()
{
    m_status.reset();
    if (m_errFd > STDERR_FILENO)
        ::close(m_errFd);
}

void Terminal::silenceDiagnostics()
{
    std::fflush(stderr);
    const int null = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
    if (null >= 0) {
        ::dup2(null, STDERR_FILENO);
        ::close(null);
    }
    qInstallMessageHandler(dropMessage);
#ifdef FPCTL_SANITIZED
    __sanitizer_set_report_fd(reinterpret_cast<void*>(static_cast<intptr_t>(m_errFd)));
#endif
}

void Terminal::writeOut(const QByteArray& bytes)
{
    std::fflush(stdout);
    StatusLine::writeAll(STDOUT_FILENO, bytes);
}

void Terminal::writeErr(const QByteArray& bytes) { StatusLine::writeAll(m_errFd, bytes); }

void Terminal::prompt(const QString& line)
{
    const QByteArray bytes = line.toUtf8() + '\n';
    if (m_promptsToStderr)
        writeErr(bytes);
    else
        writeOut(bytes);
}

bool Terminal::confirm(const QString& question)
{
    const QByteArray bytes = question.toUtf8();
    if (m_promptsToStderr)
        writeErr(bytes);
    else
        writeOut(bytes);
    QByteArray answer;
    char c = 0;
    for (;;) {
        const ssize_t n = ::read(STDIN_FILENO, &c, 1);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0 || c == '\n')
            break;
        if (answer.size() < 64)
            answer += c;
    }
    // Typed answers end the line on the terminal; otherwise end it here.
    if (!::isatty(STDIN_FILENO))
        prompt(QString());
    answer = answer.trimmed().toLower();
    return answer == "y" || answer == "yes";
}

bool Terminal::errorIsTerminal() const { return ::isatty(m_errFd) == 1; }

void Terminal::showWaits(bool show)
{
    if (!show)
        m_status.reset();
    else if (!m_status)
        m_status = std::make_unique<StatusLine>(m_errFd);
}

void Terminal::beginWait(const QString& what)
{
    if (m_status)
        m_status->start(what);
}

void Terminal::endWait()
{
    if (m_status)
        m_status->stop();
}
