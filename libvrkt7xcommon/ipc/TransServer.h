#ifndef TRANSSERVER_H
#define TRANSSERVER_H

// Trans_Server is exported: it is declared and documented in vrkt7xsystem.h.
#include "vrkt7xsystem.h"

#endif
