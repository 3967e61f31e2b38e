#ifndef SERVERTHREAD_H
#define SERVERTHREAD_H

// ServerThread is exported: it is declared and documented in vrkt7xsystem.h.
#include "vrkt7xsystem.h"

#endif
