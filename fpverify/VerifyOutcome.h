#ifndef VERIFYOUTCOME_H
#define VERIFYOUTCOME_H

#include "StatusFile.h"

#include <QString>

// The message shown for an outcome code, or an empty text for codes that end silently.
QString outcome_text(int code);

// Shows the modal warning for code (see outcome_text) and returns when it is closed; shows nothing
// for the other codes.
void handler_result(int code);

// Ends the run on code: hides the window at once, then, just after the current tick, shows the
// outcome (see handler_result) and asks the application to end with status 0 once it is closed.
void finish_with(int code);

// The poll of one tick: when the job's result is there, ends the run on it (finish_with). Once an
// outcome has been read further polls do nothing, so at most one box opens.
void timeout_task(int jobId, const QString& statusFile = defaultStatusFile());

#endif
