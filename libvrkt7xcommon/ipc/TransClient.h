#ifndef TRANSCLIENT_H
#define TRANSCLIENT_H

// Trans_Client is exported: it is declared and documented in vrkt7xsystem.h.
#include "vrkt7xsystem.h"

#endif
