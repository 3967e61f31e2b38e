// The shared library's own translation unit: everything else comes from vrkt7xcommon_core.
#include "vrkt7xcommon.h"
