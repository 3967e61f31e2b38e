#include "Discovery.h"

#include <cstdio>
#include <cstring>

bool _isDeviceSupported(Printer_struct* ps)
{
    fprintf(stderr, "found device name:%s \n\tmodel:%s\n", ps->name, ps->makeAndModel);
    if (strstr(ps->makeAndModel, "ZPH6100RMX") == nullptr)
        return false;
    fprintf(stderr, "found device name:%s is true\n", ps->name);
    return true;
}
