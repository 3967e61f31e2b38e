#include "JobArguments.h"

#include "AgentMessages.h"
#include "DeviceUri.h"

#include <QFile>
#include <QStringDecoder>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace
{

constexpr int kDefaultSeconds = 30;
constexpr qint64 kMaxSettingsBytes = 64 * 1024;

bool strictPositive(const QByteArray& text, int* value)
{
    if (text.isEmpty() || text.size() > 9 || text.startsWith('0'))
        return false;
    for (char c : text) {
        if (c < '0' || c > '9')
            return false;
    }
    *value = text.toInt();
    return *value > 0;
}

// The value of a top-level key of INI text as QSettings writes it: a key before any section or in
// [General]; the last one wins; a value in double quotes loses them. Empty when absent.
QByteArray iniTopLevelValue(const QByteArray& text, const QByteArray& key)
{
    QByteArray value;
    bool topLevel = true;
    for (const QByteArray& rawLine : text.split('\n')) {
        const QByteArray line = rawLine.trimmed();
        if (line.isEmpty() || line.startsWith(';') || line.startsWith('#'))
            continue;
        if (line.startsWith('[')) {
            const QByteArray section = line.mid(1, line.indexOf(']') - 1).trimmed();
            topLevel = section.compare("General", Qt::CaseInsensitive) == 0;
            continue;
        }
        const int equals = line.indexOf('=');
        if (!topLevel || equals < 0 || line.left(equals).trimmed() != key)
            continue;
        value = line.mid(equals + 1).trimmed();
        if (value.size() >= 2 && value.startsWith('"') && value.endsWith('"'))
            value = value.mid(1, value.size() - 2);
    }
    return value;
}

} // namespace

bool parseJobArguments(const QList<QByteArray>& argv, const QByteArray& deviceUri, const QByteArray& printer,
    JobArguments* job, QString* error)
{
    if (argv.size() != 6 && argv.size() != 7) {
        *error = QStringLiteral("Usage: vrkt7x job-id user title copies options [file]");
        return false;
    }
    DeviceUri::Inner inner;
    if (!DeviceUri::split(deviceUri, &inner)) {
        *error = QStringLiteral("The device URI is not vrkt7x: followed by the printer's own URI.");
        return false;
    }
    int jobId = 0;
    if (!strictPositive(argv.at(1), &jobId)) {
        *error = QStringLiteral("The job id is not a positive number.");
        return false;
    }
    QStringDecoder decoder(QStringDecoder::Utf8, QStringConverter::Flag::Stateless);
    const QString owner = decoder.decode(argv.at(2));
    if (decoder.hasError() || owner.isEmpty() || argv.at(2).size() > 255) {
        *error = QStringLiteral("The job's owner is not a user name.");
        return false;
    }
    QStringDecoder queueDecoder(QStringDecoder::Utf8, QStringConverter::Flag::Stateless);
    const QString queue = queueDecoder.decode(printer);
    job->request.queue = !queueDecoder.hasError() && AgentMessages::isQueueName(queue) ? queue : QString();
    job->request.jobId = jobId;
    job->request.owner = owner;
    job->request.innerUri = inner.uri;
    job->innerScheme = inner.scheme;
    job->arguments = argv.mid(1);
    return true;
}

int verificationSeconds(const QString& settingsFile)
{
    // One open of the file itself (no link, no waiting on a FIFO), checked on the descriptor and
    // read up to a bound: a member of the group that may write the folder can put anything there.
    const int fd = ::open(QFile::encodeName(settingsFile).constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return kDefaultSeconds;
    QByteArray text;
    struct stat st;
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size <= kMaxSettingsBytes) {
        text.resize(kMaxSettingsBytes + 1);
        qsizetype length = 0;
        while (length < text.size()) {
            const ssize_t n = ::read(fd, text.data() + length, static_cast<size_t>(text.size() - length));
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                break;
            length += n;
        }
        // A file that grew past the bound while it was read counts as no file.
        text.resize(length <= kMaxSettingsBytes ? length : 0);
    }
    ::close(fd);
    bool ok = false;
    const int seconds = iniTopLevelValue(text, "TimeOut").trimmed().toInt(&ok);
    if (!ok || seconds < AgentMessages::kMinSeconds || seconds > AgentMessages::kMaxSeconds)
        return kDefaultSeconds;
    return seconds;
}

QByteArray backendFolder(const QByteArray& serverBin)
{
    if (serverBin.startsWith('/') && !serverBin.contains("/../") && !serverBin.endsWith("/.."))
        return serverBin + "/backend";
    return "/usr/lib/cups/backend";
}
