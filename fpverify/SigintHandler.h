#ifndef SIGINTHANDLER_H
#define SIGINTHANDLER_H

class QCoreApplication;

// The SIGINT handler: asks the application to end (status 0) once one exists. It only writes a byte
// to a pipe, which is all a signal handler may safely do; the application leaves its event loop when
// the byte is read on the GUI thread.
void quit(int signalNumber);

// Installs quit() as the SIGINT handler. Signals that arrive before watchSigint() are ignored.
void installSigintHandler();

// Creates the pipe and its reader for app; from now on SIGINT ends app's event loop.
void watchSigint(QCoreApplication* app);

#endif
