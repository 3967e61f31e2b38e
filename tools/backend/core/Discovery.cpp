#include "Discovery.h"

#include "DeviceUri.h"
#include "UsbPrinters.h"

#include <QDeadlineTimer>
#include <QFileInfo>
#include <QProcess>
#include <memory>
#include <vector>

namespace Discovery
{

namespace
{

    // Splits a device line into its words: bare words and double-quoted strings with backslash
    // escapes. False on an unterminated string.
    bool tokenize(const QByteArray& line, QList<QByteArray>* words)
    {
        int i = 0;
        const int n = line.size();
        while (i < n) {
            while (i < n && (line.at(i) == ' ' || line.at(i) == '\t'))
                ++i;
            if (i >= n)
                break;
            QByteArray word;
            if (line.at(i) == '"') {
                ++i;
                bool closed = false;
                while (i < n) {
                    const char c = line.at(i++);
                    if (c == '\\' && i < n) {
                        word += line.at(i++);
                    } else if (c == '"') {
                        closed = true;
                        break;
                    } else {
                        word += c;
                    }
                }
                if (!closed)
                    return false;
            } else {
                while (i < n && line.at(i) != ' ' && line.at(i) != '\t')
                    word += line.at(i++);
            }
            words->append(word);
        }
        return true;
    }

    QByteArray quoted(const QByteArray& text)
    {
        QByteArray out = "\"";
        for (char c : text) {
            if (c == '"' || c == '\\')
                out += '\\';
            out += c;
        }
        return out + '"';
    }

} // namespace

QByteArray rewrite(const QByteArray& line)
{
    QList<QByteArray> words;
    if (!tokenize(line.trimmed(), &words) || words.size() < 4 || words.size() > 6)
        return QByteArray();
    const QByteArray& makeModel = words.at(2);
    const QByteArray deviceId = words.size() > 4 ? words.at(4) : QByteArray();
    if (!makeModel.contains(kModel) && !deviceId.contains(kModel))
        return QByteArray();
    const QByteArray uri = DeviceUri::wrap(words.at(1));
    DeviceUri::Inner inner;
    if (!DeviceUri::split(uri, &inner))
        return QByteArray();
    for (char c : words.at(0)) {
        if (!((c >= 'a' && c <= 'z') || c == '-'))
            return QByteArray();
    }
    QByteArray out = words.at(0) + ' ' + uri + ' ' + quoted(makeModel) + ' ' + quoted(words.at(3) + kInfoSuffix);
    for (int i = 4; i < words.size(); ++i)
        out += ' ' + quoted(words.at(i));
    for (char c : out) {
        if (static_cast<unsigned char>(c) < 0x20)
            return QByteArray();
    }
    return out;
}

QByteArray usbLine(const QByteArray& uri, const QByteArray& makeAndModel, const QByteArray& deviceId)
{
    return "direct " + uri + ' ' + quoted(makeAndModel) + ' ' + quoted(makeAndModel) + ' ' + quoted(deviceId) + " \"\"";
}

QList<QByteArray> discover(const QByteArray& folder, int timeoutMs)
{
    const auto installed = [&folder](const QByteArray& name) {
        const QFileInfo info(QString::fromLocal8Bit(folder + '/' + name));
        return info.isFile() && info.isExecutable();
    };
    std::vector<std::unique_ptr<QProcess>> running;
    for (const QByteArray& name : kInnerBackends) {
        if (!installed(name))
            continue;
        const QString path = QString::fromLocal8Bit(folder + '/' + name);
        auto process = std::make_unique<QProcess>();
        process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process->setStandardInputFile(QProcess::nullDevice());
        process->start(path, QStringList());
        running.push_back(std::move(process));
    }
    const QDeadlineTimer deadline(timeoutMs);
    QList<QByteArray> lines;
    if (installed(kUsbBackend)) {
        for (const UsbPrinters::Printer& printer : UsbPrinters::list(timeoutMs)) {
            const QByteArray wrapped = rewrite(usbLine(printer.uri, printer.makeAndModel, printer.deviceId));
            if (!wrapped.isEmpty() && !lines.contains(wrapped))
                lines << wrapped;
        }
    }
    for (auto& process : running) {
        if (!process->waitForFinished(static_cast<int>(std::max<qint64>(deadline.remainingTime(), 0)))) {
            process->kill();
            process->waitForFinished(1000);
        }
        const QList<QByteArray> output = process->readAllStandardOutput().split('\n');
        for (const QByteArray& line : output) {
            const QByteArray wrapped = rewrite(line);
            if (!wrapped.isEmpty() && !lines.contains(wrapped))
                lines << wrapped;
        }
    }
    return lines;
}

} // namespace Discovery
