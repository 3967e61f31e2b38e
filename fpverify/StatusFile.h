#ifndef STATUSFILE_H
#define STATUSFILE_H

#include <QString>

// The status file that fpverify shares with the print side. Each job has its own group, named by the
// job id in decimal; fpverify writes "status" there and polls "result". The desktop agent passes a
// file of the user's own in VRKT7X_STATUS_FILE; any other print side uses the fixed name in /tmp.
// Only a regular file of this user is read or written (IniStatusFile).
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
// The file this run uses: VRKT7X_STATUS_FILE when it holds an absolute path, else the fixed name.
QString chosenStatusFile();

// Each write opens the file, sets the one key in the job's group and forces it to disk. False when
// the file could not be written.
bool update_status(int jobId, int value, const QString& statusFile = defaultStatusFile());
bool update_result(int jobId, int value, const QString& statusFile = defaultStatusFile());

// The job's "result", or kResultNone when the file, the group or the key is missing, the value is
// not a number, or the file is not one this user may trust (another user's, a link, locked).
int get_result(int jobId, const QString& statusFile = defaultStatusFile());

#endif
