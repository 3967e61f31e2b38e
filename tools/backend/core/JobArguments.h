#ifndef JOBARGUMENTS_H
#define JOBARGUMENTS_H

#include "JobHost.h"

#include <QByteArray>
#include <QList>
#include <QString>

// The job as CUPS hands it to the backend: job-id user title copies options [file] in argv, the
// device URI in DEVICE_URI and the queue in PRINTER. All of it is checked before use.
struct JobArguments {
    JobRequest request;
    QByteArray innerScheme;
    QList<QByteArray> arguments; // argv[1..], passed on to the inner backend unchanged
};

// False with *error when the arguments are not those of a job or the device URI is not one of
// the backend's. A queue name that cannot be shown leaves request.queue empty (no window).
bool parseJobArguments(const QList<QByteArray>& argv, const QByteArray& deviceUri, const QByteArray& printer,
    JobArguments* job, QString* error);

// The window's countdown: "TimeOut" of the settings file (fpmanager's INI file) when it is a number
// from 10 to 600, otherwise 30. Only a regular file of at most 64 KiB is read, never through a link.
int verificationSeconds(const QString& settingsFile);

// The folder of the backends: $CUPS_SERVERBIN/backend, or the default when that is not an
// absolute path.
QByteArray backendFolder(const QByteArray& serverBin);

#endif
