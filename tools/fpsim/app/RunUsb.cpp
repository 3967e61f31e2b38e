#include "Runner.h"

#include <cstdio>

namespace fpsim {

int runUsb(const Options&, char**)
{
    std::fprintf(stderr, "fpsim: the USB front-end is not part of this build yet\n");
    return 2;
}

} // namespace fpsim
