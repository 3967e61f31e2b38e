/*
 * libvrkt7xcommon: fingerprint print authentication for the ZPH6100RMX printer family.
 *
 * These functions (the fifteen of the fingerprint services and DropFingerPrintJob for the print
 * side) are the library's whole fingerprint interface. They are exported under
 * their plain C names so that programs can bind them by name at run time (dlsym, QLibrary).
 *
 * Common rules
 * - The printer argument (pPrinterName) is the printer's CUPS device URI, zero-terminated and
 *   shorter than 256 bytes (for example "usb://Maker/ZPH6100RMX?serial=ABC123" or
 *   "socket://192.168.1.20"), except for IsDeviceConnect and GetDeviceConnect, which hand such
 *   URIs out.
 * - User names are zero-terminated byte strings of at most 32 bytes, passed to the printer
 *   unchanged (the management application uses GB18030).
 * - All functions share one library-wide command object: a process runs one fingerprint operation
 *   at a time. The one exception is CancelFingerPrint, which may be called from another thread
 *   while IsFingerPrint blocks.
 * - Nothing is allocated for the caller; every buffer belongs to the caller.
 *
 * Result codes of the int functions (0 is success):
 *   -1 the status query failed, or export was asked of a printer that is not on USB
 *    2 the fingerprint data file is missing, cannot be opened or cannot be written
 *    4 the printer is busy              5 the printer refused the command, or the import failed
 *    7 enrolment step one failed, or an export received no (or not all) data
 *    9 the operation failed or timed out; empty import file; out of memory
 *   10 the printer kept answering "not ready" and then stopped answering
 *   11 fingerprint verification failed  12 cancelled by the caller
 *   13 the second enrolment step failed, or a result named no user
 *   14 the printer does not know the user name
 *   15 the printer could not be opened or connected
 *   16 no usable reply                  17 writing the command failed
 *   18 the printer did not become ready in time
 *   19 the reply was not a status record 22 a network reply was malformed or had the wrong size
 *   23 (VRKT_NAME_TOO_LONG) the user name is longer than 32 bytes; nothing was sent
 */
#ifndef VRKT7XCOMMON_H
#define VRKT7XCOMMON_H

#include "vrkt7xexport.h"

/* Result codes of the int functions, as listed above. */
#define VRKT_OK 0
#define VRKT_QUERY_FAILED (-1) /* status query failed; export asked of a printer not on USB */
#define VRKT_FILE_ERROR 2 /* fingerprint data file missing, unopenable or unwritable */
#define VRKT_BUSY 4 /* the printer is busy */
#define VRKT_REFUSED 5 /* the printer refused the command, or the import failed */
#define VRKT_ADD_FAILED 7 /* enrolment step one failed; export received no or not all data */
#define VRKT_FAILED 9 /* failed or timed out; empty import file; out of memory */
#define VRKT_NOT_READY 10 /* kept answering "not ready", then stopped answering */
#define VRKT_NO_MATCH 11 /* fingerprint verification failed */
#define VRKT_CANCELLED 12 /* cancelled by the caller */
#define VRKT_NO_USER 13 /* second enrolment step failed, or a result named no user */
#define VRKT_UNKNOWN_USER 14 /* the printer does not know the user name */
#define VRKT_OPEN_FAILED 15 /* the printer could not be opened or connected */
#define VRKT_NO_REPLY 16 /* no usable reply */
#define VRKT_WRITE_FAILED 17 /* writing the command failed */
#define VRKT_NEVER_READY 18 /* the printer did not become ready in time */
#define VRKT_NOT_STATUS 19 /* the reply was not a status record */
#define VRKT_NET_FORMAT 22 /* a network reply was malformed or had the wrong size */
/* Result of CheckFinger, DeleteFinger and AddFinger (either step) for a user name longer than the
 * printer's 32-byte field. Such a name is refused before anything is sent: cut to 32 bytes it
 * would name another user, the one whose name is that prefix. */
#define VRKT_NAME_TOO_LONG 23
/* The greatest result code a fingerprint operation gives for the printer's own answer (refused,
 * unknown user); codes above it report that the exchange itself failed. */
#define VRKT_LAST_ANSWER_CODE VRKT_UNKNOWN_USER

/* Results of the bool and 0/1 functions. Mind IsFingerPrint: it returns false on success. */
#define VRKT_FINGER_IDENTIFIED false /* IsFingerPrint: an enrolled user was identified */
#define VRKT_FINGER_NOT_IDENTIFIED true /* IsFingerPrint: anything else */
#define VRKT_REACHABLE 1 /* IsDeviceConnectForPrint: the printer answers */
#define VRKT_UNREACHABLE 0 /* IsDeviceConnectForPrint: it does not */

/* The state byte of IsDeviceFingerOpen (any value not named here means off), and the results of
 * IsDeviceFingerOpenForPrint (which reports VRKT_AUTH_ON_PENDING as VRKT_AUTH_ON). */
enum vrkt_auth_state {
    VRKT_AUTH_OFF = 0,
    VRKT_AUTH_ON = 1,
    VRKT_AUTH_OFF_2 = 2, /* also off; IsDeviceFingerOpenForPrint hands it on unchanged */
    VRKT_AUTH_ON_PENDING = 3,
    VRKT_AUTH_BUSY = 4 /* the fingerprint unit is busy */
};

/* Sizes of the caller's buffers and of the data file's records. */
#define VRKT_MAX_PRINTERS 32 /* slots of GetDeviceConnect's arrays */
#define VRKT_FIELD_SIZE 256 /* a device URI or queue name buffer, terminator included */
#define VRKT_NAME_SIZE 32 /* the printer's user-name field (bytes, no terminator) */
#define VRKT_NAME_BUFFER_SIZE 33 /* IsFingerPrint's userName buffer: a name and its terminator */
#define VRKT_TEMPLATE_SIZE 512 /* one fingerprint template (slot) of a record */
#define VRKT_RECORD_SIZE 546 /* one record of a fingerprint data file */

/* Results of the USB transport's open beyond the libusb error codes (negative like them); the
 * library also exports them as the constants usb_error_printing and so on. */
#define VRKT_USB_ERROR_PRINTING (-100) /* CUPS reports a job in progress on this printer */
#define VRKT_USB_ERROR_SCANNING (-101) /* a scanner program kept /tmp/.scanner_lock for about 3.8 s */
#define VRKT_USB_ERROR_USB_LOCKED (-102) /* this process already has the printer open */
#define VRKT_USB_ERROR_BUSY (-103) /* defined for callers */

#ifdef __cplusplus
#include <cstdbool>
extern "C" {
#else
#include <stdbool.h>
#endif

/* Finds the first installed USB printer of the supported model that is present.
 * pPrinterName: caller's buffer of at least 256 bytes; receives that printer's device URI.
 * Returns true when one was found (and pPrinterName was filled), false otherwise. */
VRKT_EXPORT bool IsDeviceConnect(char* pPrinterName);

/* Lists the installed USB printers of the supported model (no presence test is made).
 * pPrinterName, printUri: arrays of 32 caller buffers of at least 256 bytes each; slot i receives
 * the CUPS queue name and the device URI of printer i. At most 32 slots are written.
 * Returns the number of slots written (0 leaves the arrays untouched). */
VRKT_EXPORT int GetDeviceConnect(char** pPrinterName, char** printUri);

/* Tells whether the printer of a print job is reachable, over USB or the network. A network
 * printer answers when its SNMP device-ID query is answered or its fingerprint port (TCP 10001)
 * accepts a connection, within about 5 s.
 * Returns 1 when it answers, 0 otherwise (also for a URI of 256 bytes or more). */
VRKT_EXPORT int IsDeviceConnectForPrint(char* pPrinterName);

/* Reads the printer's fingerprint authentication state.
 * Returns the state byte (1 or 3 = on, 4 = unit busy, any other value = off), or -1 when the
 * query failed. */
VRKT_EXPORT int IsDeviceFingerOpen(char* pPrinterName);

/* The print side's form of IsDeviceFingerOpen.
 * Returns 1 when authentication is on (state 1 or 3), 4 when the unit is busy, otherwise the raw
 * state (0, 2, ...) or -1 when the query failed. */
VRKT_EXPORT int IsDeviceFingerOpenForPrint(char* pPrinterName);

/* Switches fingerprint authentication on. Returns true when the printer accepted the command. */
VRKT_EXPORT bool OpenFinger(char* pPrinterName);

/* Switches fingerprint authentication off. Returns true when the printer accepted the command. */
VRKT_EXPORT bool CloseFinger(char* pPrinterName);

/* Asks whether userName has an enrolled fingerprint.
 * Returns 0 when enrolled, 14 when not, VRKT_NAME_TOO_LONG for a name over 32 bytes, or another
 * result code when the exchange failed. */
VRKT_EXPORT int CheckFinger(char* pPrinterName, char* userName);

/* Cancels the verification that IsFingerPrint is running in another thread, on whichever printer.
 * pPrinterName is ignored. A cancel made before IsFingerPrint has started has no effect.
 * Always returns true. */
VRKT_EXPORT bool CancelFingerPrint(char* pPrinterName);

/* Deletes every fingerprint of userName (null is sent as an empty name).
 * Returns 0, 14 when the printer refused (it does not know the name), VRKT_NAME_TOO_LONG for a
 * name over 32 bytes, or another result code. */
VRKT_EXPORT int DeleteFinger(char* pPrinterName, char* userName);

/* Deletes all fingerprints of the printer. Returns 0 or a result code. */
VRKT_EXPORT int DeleteFingers(char* pPrinterName);

/* Enrols a fingerprint in two steps, one press each.
 * mode 0: first step for userName; returns 0 when the first press was taken, 7 when the printer
 *         reported failure, or another result code. ret_index is not used.
 * any other mode: second step; userName must be the name of the first step. Returns 0 and stores
 *         the new fingerprint's index into *ret_index when the printer enrolled that very name;
 *         9 when the step failed or the printer reported another name or none.
 * Either mode returns VRKT_NAME_TOO_LONG for a name over 32 bytes, without sending anything. */
VRKT_EXPORT int AddFinger(char* pPrinterName, int mode, char* userName, int* ret_index);

/* Uploads the fingerprint records of the data file fileName (546-byte records; a trailing
 * partial record is not sent) and waits for the printer to finish (up to about 3 minutes).
 * Returns 0 when the printer reports the import done, 2 when the file is missing or unreadable
 * or its reading ends before its size,
 * 9 when it is empty or memory ran out, 5 when the printer reports a failed import, 4 busy,
 * 17 when the records could not be written, or another result code. */
VRKT_EXPORT int ImportFinger(char* pPrinterName, char* fileName);

/* Downloads every fingerprint record of a USB printer into the data file fileName (waiting up to
 * about 10 minutes for the printer to announce them). pdwLen must not be null; it receives the
 * record count. Returns 0 on success, also when the printer holds no records (then *pdwLen is 0
 * and no file is touched); -1 for a network printer, 15 when it cannot be opened, 9 on failure or
 * time-out, 7 when the records did not all arrive, 2 when the file cannot be written. An existing
 * file is replaced only once the new one is complete. The file holds fingerprint templates: it is
 * created readable and writable by its owner only (mode 0600). */
VRKT_EXPORT int ExportFinger(char* pPrinterName, char* fileName, int* pdwLen);

/* Print-time verification: asks the printer to wait for a finger and polls it every 5 s, up to
 * 10 times (about 50 s). Blocks the calling thread; CancelFingerPrint stops it.
 * userName: caller's buffer of at least 33 bytes; pIndex: receives the fingerprint index.
 * Returns false when an enrolled user was identified (userName and *pIndex are then filled),
 * true in every other case (busy, time-out, no match, cancelled, empty result). */
VRKT_EXPORT bool IsFingerPrint(char* pPrinterName, char* userName, short int* pIndex);

/* Tells the printer to drop the print job it holds for a fingerprint ("CANL"). For the print side
 * once a verification has ended without identifying anyone: a verification that was cancelled
 * does not tell the printer itself. Not for use while IsFingerPrint runs (one fingerprint
 * operation at a time). Returns true when the printer accepted the command. */
VRKT_EXPORT bool DropFingerPrintJob(char* pPrinterName);

#ifdef __cplusplus
}
#endif

#endif
