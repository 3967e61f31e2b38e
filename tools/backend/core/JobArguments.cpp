#include "JobArguments.h"

#include "AgentMessages.h"
#include "DeviceUri.h"

#include <QFileInfo>
#include <QSettings>
#include <QStringDecoder>

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
    const QFileInfo info(settingsFile);
    if (!info.isFile() || info.size() > kMaxSettingsBytes)
        return kDefaultSeconds;
    const QSettings settings(settingsFile, QSettings::NativeFormat);
    bool ok = false;
    const int seconds = settings.value(QStringLiteral("TimeOut")).toString().trimmed().toInt(&ok);
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
