#ifndef VERIFYARGUMENT_H
#define VERIFYARGUMENT_H

#include <QString>

// The one argument the print side passes: start://<printer>?jobid=<N>&time_val=<S>.
inline constexpr char kDefaultVerifyArgument[] = "start://testprinter?jobid=0&time_val=30";

// Countdowns of 9 seconds or less (and absent or unreadable ones) are replaced by this.
inline constexpr int kDefaultVerifySeconds = 30;

struct VerifyArgument {
    QString printer; // for the window title only
    int jobId = 0; // names the job's group in the status file
    int seconds = kDefaultVerifySeconds;
};

// Never fails: a malformed argument yields whatever printer text the rule gives, job 0 and 30 s.
VerifyArgument parseVerifyArgument(const QString& argument);

#endif
