/* A stand-in for libvrkt7xcommon with the eleven functions fpmanager binds. Each answers with a
 * value of its own, so that a test can tell which export a bound pointer reaches. Built once with
 * all of them and once per function with that one left out (OMIT_<name>). */
#include <stdbool.h>
#include <string.h>

#define FAKE_EXPORT __attribute__((visibility("default")))

#ifndef OMIT_AddFinger
FAKE_EXPORT int AddFinger(char* printer, int mode, char* userName, int* retIndex)
{
    (void)printer;
    (void)userName;
    if (retIndex)
        *retIndex = 77;
    return 100 + mode;
}
#endif

#ifndef OMIT_IsDeviceConnect
FAKE_EXPORT bool IsDeviceConnect(char* printer)
{
    strcpy(printer, "usb://Fake/ZPH6100RMX?serial=1");
    return true;
}
#endif

#ifndef OMIT_GetDeviceConnect
FAKE_EXPORT int GetDeviceConnect(char** names, char** uris)
{
    strcpy(names[0], "FakeQueue");
    strcpy(uris[0], "usb://Fake/ZPH6100RMX?serial=1");
    return 1;
}
#endif

#ifndef OMIT_IsDeviceFingerOpen
FAKE_EXPORT int IsDeviceFingerOpen(char* printer)
{
    (void)printer;
    return 3;
}
#endif

#ifndef OMIT_OpenFinger
FAKE_EXPORT bool OpenFinger(char* printer)
{
    (void)printer;
    return true;
}
#endif

#ifndef OMIT_CloseFinger
FAKE_EXPORT bool CloseFinger(char* printer)
{
    (void)printer;
    return false;
}
#endif

#ifndef OMIT_DeleteFinger
FAKE_EXPORT int DeleteFinger(char* printer, char* userName)
{
    (void)printer;
    return userName && strcmp(userName, "amy") == 0 ? 0 : 14;
}
#endif

#ifndef OMIT_DeleteFingers
FAKE_EXPORT int DeleteFingers(char* printer)
{
    (void)printer;
    return 4;
}
#endif

#ifndef OMIT_CheckFinger
FAKE_EXPORT int CheckFinger(char* printer, char* userName)
{
    (void)printer;
    (void)userName;
    return 11;
}
#endif

#ifndef OMIT_ImportFinger
FAKE_EXPORT int ImportFinger(char* printer, char* fileName)
{
    (void)printer;
    (void)fileName;
    return 5;
}
#endif

#ifndef OMIT_ExportFinger
FAKE_EXPORT int ExportFinger(char* printer, char* fileName, int* length)
{
    (void)printer;
    (void)fileName;
    *length = 2;
    return 9;
}
#endif
