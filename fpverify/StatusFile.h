#ifndef STATUSFILE_H
#define STATUSFILE_H

#include <QString>

// The status file that fpverify shares with the print side. Each job has its own group, named by the
// job id in decimal; fpverify writes "status" there and polls "result".
inline constexpr char kStatusFilePath[] = "/tmp/.vrkt7xsmtmp.conf";

// Values of "status", written by fpverify.
enum VerifyStatus {
    kStatusCancelled = 3, // Cancel button or window closed
    kStatusTimedOut = 5, // the countdown reached zero
};

// Values of "result", written by the print side (and 5 by fpverify itself when nothing arrived).
enum VerifyResult {
    kResultEnd = 1, // end without a message
    kResultFailed = 2,
    kResultCancelled = 3,
    kResultCancelledToo = 4,
    kResultTimedOut = 5,
    kResultNone = 6, // what a read gives when no result is there yet; never written
    kResultNoUsers = 7,
    kResultBusy = 8,
};

QString defaultStatusFile();

// Each write opens the file, sets the one key in the job's group and forces it to disk. False when
// the file could not be written.
bool update_status(int jobId, int value, const QString& statusFile = defaultStatusFile());
bool update_result(int jobId, int value, const QString& statusFile = defaultStatusFile());

// The job's "result", or kResultNone when the file, the group or the key is missing or the value is
// not a number.
int get_result(int jobId, const QString& statusFile = defaultStatusFile());

#endif
