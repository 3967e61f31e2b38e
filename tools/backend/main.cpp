// vrkt7x: the CUPS backend that makes each job wait for a fingerprint at the printer.
//   vrkt7x                                       list the supported printers behind "vrkt7x:"
//   vrkt7x job-id user title copies options [file]   print a job (DEVICE_URI=vrkt7x:<printer URI>)
#include "BackendJob.h"
#include "CupsJobHost.h"
#include "DeviceUri.h"
#include "Discovery.h"
#include "FpmanagerPaths.h"
#include "JobArguments.h"
#include "LinkedPrintLibrary.h"
#include "vrkt7xsystem.h"

#include <QFileInfo>
#include <cstdio>
#include <cstdlib>
#include <cups/backend.h>
#include <syslog.h>

int main(int argc, char* argv[])
{
    openlog("vrkt7x", LOG_PID, LOG_LPR);
    const QByteArray folder = backendFolder(qgetenv("CUPS_SERVERBIN"));
    if (argc == 1) {
        for (const QByteArray& line : Discovery::discover(folder))
            printf("%s\n", line.constData());
        fflush(stdout);
        return CUPS_BACKEND_OK;
    }

    QList<QByteArray> arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QByteArray(argv[i]);
    JobArguments job;
    QString error;
    if (!parseJobArguments(arguments, qgetenv("DEVICE_URI"), qgetenv("PRINTER"), &job, &error)) {
        fprintf(stderr, "ERROR: %s\n", qPrintable(error));
        return CUPS_BACKEND_FAILED;
    }
    // The printer's URI as its backend gets it (the library keeps reaching the printer by the queue's).
    const QByteArray printUri = DeviceUri::innerBackendUri(job.request.innerUri, [](const QByteArray& uri) {
        char resolved[1024] = {};
        return cups_resolve_uri(uri.constData(), resolved, sizeof(resolved)) == 0 ? QByteArray(resolved) : QByteArray();
    });
    const QByteArray scheme = printUri.left(printUri.indexOf(':'));
    const QByteArray inner = folder + '/' + scheme;
    const QFileInfo innerInfo(QString::fromLocal8Bit(inner));
    if (!innerInfo.isFile() || !innerInfo.isExecutable()) {
        fprintf(stderr, "ERROR: No backend for the printer's URI scheme \"%s\".\n", scheme.constData());
        return CUPS_BACKEND_FAILED;
    }
    job.request.seconds = verificationSeconds(QString::fromLatin1(FpmanagerPaths::kSettingsFile));
    if (!CupsJobHost::installSignalHandling()) {
        fprintf(stderr, "ERROR: The backend cannot watch for signals.\n");
        return CUPS_BACKEND_FAILED;
    }
    LinkedPrintLibrary library;
    CupsJobHost host(inner, printUri, job.arguments);
    BackendJob backendJob(library, host, job.request);
    return backendJob.run();
}
