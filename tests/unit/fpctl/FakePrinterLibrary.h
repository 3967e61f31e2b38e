#ifndef FAKEPRINTERLIBRARY_H
#define FAKEPRINTERLIBRARY_H

#include "commands/Console.h"
#include "library/PrinterLibrary.h"

#include <QFile>
#include <QHash>
#include <QStringList>
#include <atomic>
#include <chrono>
#include <functional>
#include <thread>

// A PrinterLibrary whose answers a test sets, and which writes down every call it gets
// ("checkFinger usb://... alice"), so that a test can tell whether a printer was touched.
class FakePrinterLibrary : public PrinterLibrary
{
public:
    QList<SupportedPrinter> usbPrinters;
    QList<Queue> queues;
    // Results of the fingerprint functions by name ("checkFinger", ...); 0 / true when not set.
    QHash<QString, int> results;
    // addFinger's result per mode (0, 1) and the index it hands out.
    int addResults[2] = { 0, 0 };
    int addIndex = 7;
    // exportFinger: records reported and bytes written to the file.
    int exportCount = 0;
    QByteArray exportBytes;
    // identifyFinger: what it does while "blocking". The default waits for a cancel like the
    // library: it first drops any cancel made before it started (as binding does), then waits
    // until cancelFingerPrint is called or blockMs passes.
    int blockMs = 5000;
    // Time identifyFinger takes to bind to the printer; cancels made meanwhile are dropped.
    int bindDelayMs = 0;
    bool identifies = false;
    QByteArray identifiedName = "alice";
    short identifiedIndex = 3;
    std::atomic<int> cancelCalls { 0 };

    QStringList calls;

    QList<SupportedPrinter> supportedUsbPrinters() override
    {
        calls << QStringLiteral("supportedUsbPrinters");
        return usbPrinters;
    }
    QList<Queue> cupsQueues() override
    {
        calls << QStringLiteral("cupsQueues");
        return queues;
    }
    bool findQueue(const QByteArray& name, Queue* queue) override
    {
        for (const Queue& q : queues) {
            if (q.name == name) {
                *queue = q;
                return true;
            }
        }
        return false;
    }
    int isDeviceConnectForPrint(const QByteArray& uri) override { return call("isDeviceConnectForPrint", uri, 1); }
    int isDeviceFingerOpen(const QByteArray& uri) override { return call("isDeviceFingerOpen", uri, 0); }
    int isDeviceFingerOpenForPrint(const QByteArray& uri) override
    {
        return call("isDeviceFingerOpenForPrint", uri, 1);
    }
    bool openFinger(const QByteArray& uri) override { return call("openFinger", uri, 1) != 0; }
    bool closeFinger(const QByteArray& uri) override { return call("closeFinger", uri, 1) != 0; }
    int checkFinger(const QByteArray& uri, const QByteArray& name) override
    {
        return call("checkFinger", uri + ' ' + name, 0);
    }
    int deleteFinger(const QByteArray& uri, const QByteArray& name) override
    {
        return call("deleteFinger", uri + ' ' + name, 0);
    }
    int deleteFingers(const QByteArray& uri) override { return call("deleteFingers", uri, 0); }
    int addFinger(const QByteArray& uri, int mode, const QByteArray& name, int* index) override
    {
        calls << QStringLiteral("addFinger %1 %2 %3")
                     .arg(QString::fromUtf8(uri))
                     .arg(mode)
                     .arg(QString::fromLatin1(name.toHex()));
        const int result = addResults[mode == 0 ? 0 : 1];
        if (mode != 0 && result == 0)
            *index = addIndex;
        return result;
    }
    int importFinger(const QByteArray& uri, const QByteArray& file) override
    {
        return call("importFinger", uri + ' ' + file, 0);
    }
    int exportFinger(const QByteArray& uri, const QByteArray& file, int* count) override
    {
        const int result = call("exportFinger", uri + ' ' + file, 0);
        if (result == 0) {
            *count = exportCount;
            if (!exportBytes.isNull()) {
                QFile out(QString::fromLocal8Bit(file));
                if (out.open(QIODevice::WriteOnly))
                    out.write(exportBytes);
            }
        }
        return result;
    }
    bool identifyFinger(const QByteArray& uri, QByteArray* name, short* index) override
    {
        calls << QStringLiteral("identifyFinger %1").arg(QString::fromUtf8(uri));
        std::this_thread::sleep_for(std::chrono::milliseconds(bindDelayMs));
        m_cancel = false; // binding clears a cancel that came too early
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(blockMs);
        while (!m_cancel && std::chrono::steady_clock::now() < end)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        if (m_cancel || !identifies)
            return false;
        *name = identifiedName;
        *index = identifiedIndex;
        return true;
    }
    void cancelFingerPrint() override
    {
        ++cancelCalls;
        m_cancel = true;
    }

    // The calls that reached a printer (everything but the CUPS queries).
    QStringList printerCalls() const
    {
        QStringList list;
        for (const QString& c : calls) {
            if (!c.startsWith(QLatin1String("supportedUsbPrinters")) && !c.startsWith(QLatin1String("cupsQueues")))
                list << c;
        }
        return list;
    }

private:
    int call(const char* function, const QByteArray& arguments, int fallback)
    {
        const QString name = QLatin1String(function);
        calls << name + QLatin1Char(' ') + QString::fromUtf8(arguments);
        return results.value(name, fallback);
    }

    std::atomic<bool> m_cancel { false };
};

// A Console that records prompts and answers questions from a list.
class ScriptedConsole : public Console
{
public:
    QStringList prompts;
    QStringList answers; // taken in order; none left: the end of input
    std::atomic<int> promptCount { 0 }; // readable from other threads
    void prompt(const QString& line) override
    {
        prompts << line;
        ++promptCount;
    }
    bool confirm(const QString& question) override
    {
        prompts << question;
        const QString answer = answers.isEmpty() ? QString() : answers.takeFirst().trimmed().toLower();
        return answer == QLatin1String("y") || answer == QLatin1String("yes");
    }
};

#endif
