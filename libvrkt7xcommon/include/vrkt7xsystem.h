/*
 * libvrkt7xcommon: the helpers it exports beside the fingerprint functions of vrkt7xcommon.h.
 *
 * - CUPS queries: the installed printers, their device URIs and models, print jobs, URI
 *   resolution, and the device ID inside a CUPS backend or filter;
 * - shell and settings helpers: a shell command's output, whether a queue is printing, the shared
 *   settings file /usr/share/vrkt7x/sm.conf, the status-monitor names, the printer model test;
 * - a log file under /tmp for the programs that link the library;
 * - a local request/reply channel over a Unix-domain socket;
 * - a listing of the USB bus.
 *
 * The functions with plain C signatures are declared extern "C" and exported under their plain
 * names; the library still answers to their former C++ names, so programs built against those
 * keep loading. The functions and classes that take Qt or standard C++ types have C++ linkage and
 * are declared only for C++ programs that build with Qt Core (QT_CORE_LIB, which Qt's CMake
 * targets define).
 *
 * Nothing is allocated for the caller unless said otherwise; every buffer belongs to the caller.
 * None of these functions touches the fingerprint command object of vrkt7xcommon.h.
 */
#ifndef VRKT7XSYSTEM_H
#define VRKT7XSYSTEM_H

#include "vrkt7xcommon.h"
#include "vrkt7xexport.h"

#ifdef __cplusplus
#include <cstdint>
#else
#include <stdint.h>
#endif

struct libusb_device;
struct libusb_device_handle;
struct _ipp_s; /* libcups' ipp_t */

/* One printer as the library sees it. The CUPS query fills name, makeAndModel, deviceUri and
 * isDefault; connectTo stays empty. Every text field holds at most 255 bytes, terminated. */
typedef struct Printer_struct {
    char name[VRKT_FIELD_SIZE];
    char makeAndModel[VRKT_FIELD_SIZE];
    char deviceUri[VRKT_FIELD_SIZE];
    char connectTo[VRKT_FIELD_SIZE];
    bool isDefault;
} Printer_struct;

/* One print job, filled by the job query. */
typedef struct Job_struct {
    char name[VRKT_FIELD_SIZE];
    char time[VRKT_FIELD_SIZE];
    char printer[VRKT_FIELD_SIZE];
    char user_name[VRKT_FIELD_SIZE];
    int32_t id;
    int32_t document_size;
    int32_t pages_completed;
    int32_t copies;
    int32_t state;
    int64_t timet;
} Job_struct;

/* Called once per printer; return nonzero to go on, 0 to stop the walk. */
typedef int (*CALLBACK_getPrinters)(void* para, Printer_struct* printer);
/* Called once per job; the record is only valid during the call. */
typedef void (*CALLBACK_getJob)(void* para, Job_struct* job);
/* Receives a socket request in buffer (bufsize bytes, zero-filled before the read) and writes its
 * zero-terminated reply into the same buffer. Returns 0 to have the reply sent, anything else to
 * send nothing. */
typedef int (*CALLBACK_Server)(void* para, char* buffer, int bufsize);
/* Decides whether a printer found in CUPS belongs to the supported family. */
typedef bool (*func_isDeviceSupported)(Printer_struct* printer);

#ifdef __cplusplus
extern "C" {
#endif

/* ---- CUPS queries, through libcups on the calling thread's default connection (CUPS_SERVER,
 * client.conf or the local socket). Nothing is kept between calls. ---- */

/* Walks CUPS' destinations in the order CUPS gives them and hands each to callback as a
 * Printer_struct: name, "printer-make-and-model", "device-uri" (each at most 255 characters,
 * empty when the destination lacks it), connectTo empty, isDefault. The record is reused for
 * every call: the callback copies what it keeps. Stops early when the callback returns 0.
 * Returns 0, or -2 when callback is null. No destinations (or no CUPS) means no calls and 0. */
VRKT_EXPORT int cups_get_printers(CALLBACK_getPrinters callback, void* para);

/* The default destination's name, or null when there is none. The text belongs to libcups and
 * stays valid until the thread's next libcups call. */
VRKT_EXPORT const char* cups_get_default_printer(void);

/* Copies the "device-uri" of the destination called printer into device_uri (a caller buffer of
 * at least VRKT_FIELD_SIZE bytes; at most 255 characters are written, always terminated). A
 * destination without the option gives "". A name CUPS does not know (or a null name) leaves
 * device_uri untouched, so callers clear it first. Returns 0. */
VRKT_EXPORT int cups_get_device_uri(const char* printer, char* device_uri);

/* The same for "printer-make-and-model" into model (at least VRKT_FIELD_SIZE bytes). Returns 0. */
VRKT_EXPORT int get_device_model(const char* printer, char* model);

/* Resolves device_uri with libcups' URI resolver (no options, no callback): a "dnssd://" URI
 * becomes a directly usable one, other URIs come back unchanged. buffer receives the result,
 * truncated to bufsize - 1 characters. Returns 0, or -1 when the URI cannot be resolved (then
 * buffer holds "" when bufsize > 0). */
VRKT_EXPORT int cups_resolve_uri(const char* device_uri, char* buffer, int bufsize);

/* Inside a CUPS backend or filter: asks the backend side channel (descriptor 4) for the device
 * ID, waiting at most one second. data receives the text, at most datalen - 1 bytes, terminated.
 * Returns 0 when an ID came back; otherwise -1 with data[0] = 0 (when datalen > 0). Outside a
 * backend, when descriptor 4 is not a socket, nothing is sent and the result is -1 at once. */
VRKT_EXPORT int cups_usb_getDeviceID(char* data, int datalen);

/* Asks CUPS for the jobs of printer (null: every printer) with IPP Get-Jobs; which is the
 * "which-jobs" keyword ("completed", "not-completed", "all"...; null means "all"). users is not
 * used. Each job that names its printer and has a nonzero id goes to callback. Returns 0, or 1
 * when CUPS answered with an error (printed to standard error). */
VRKT_EXPORT int cups_get_job(
    CALLBACK_getJob callback, void* para, const char* printer, const char* which, const char* users);

/* Sends a prepared Get-Jobs request (an ipp_t, consumed) and walks its answer as cups_get_job
 * describes. */
VRKT_EXPORT int cups_get_job_with_request(CALLBACK_getJob callback, void* para, struct _ipp_s* request);

/* ---- Shell and settings helpers ---- */

/* Status-monitor settings file, its lock file and the key prefixes of a printer's status and
 * model (the printer name follows the prefix). The library only publishes the names. */
VRKT_EXPORT extern const char* const filepath; /* "/tmp/.statusmonitor" */
VRKT_EXPORT extern const char* const lockfile; /* "/tmp/.lockstatusmonitor" */
VRKT_EXPORT extern const char* const statusKey; /* "printer/status/" */
VRKT_EXPORT extern const char* const printersKey; /* "printer/mdl/" */

/* The printer model test of discovery. Starts as the library's own test (make-and-model contains
 * "ZPH6100RMX"); a program may replace it before the first discovery. A null hook makes
 * discovery skip every printer. */
VRKT_EXPORT extern func_isDeviceSupported isDeviceSupported;

/* False only when connecting to the local socket server_path is refused or fails; an empty or
 * null path, or a socket that cannot be created, counts as running. */
VRKT_EXPORT bool is_app_running(const char* server_path);

/* ---- Log file: log_init() starts a new file /tmp/loglog_YYYYMMDDhhmmss.log (UTC) with a header
 * and the system description, and points the link log_file at it; hxlog() appends to it. ---- */

VRKT_EXPORT extern const char* const log_file; /* "/tmp/loglog.log", the link to the newest log */
VRKT_EXPORT extern const char* const log_app_name; /* "statusmonitor" */
VRKT_EXPORT extern const char* const app_version; /* "1.0.0.1" */

/* Starts a new log file (a stream opened by an earlier call is closed). When the file cannot be
 * created, hxlog writes nothing. */
VRKT_EXPORT void log_init(void);

/* printf-style append to the log (no time stamp, no newline added); the number of characters
 * written, or -1 when log_init() was never called or failed. */
VRKT_EXPORT int hxlog(const char* format, ...) __attribute__((format(printf, 1, 2)));

/* ---- Local socket channel: see Trans_Server below. ---- */

/* Adds O_NONBLOCK to the descriptor's flags: 0, or -1 when the flags cannot be read or set. */
VRKT_EXPORT int setSockNonBlock(int sock);

/* ---- USB ---- */

/* Results of the USB transport's open beyond the libusb codes (VRKT_USB_ERROR_PRINTING...). */
VRKT_EXPORT extern const int usb_error_printing;
VRKT_EXPORT extern const int usb_error_scanning;
VRKT_EXPORT extern const int usb_error_usb_locked;
VRKT_EXPORT extern const int usb_error_busy;

/* Diagnostic listing of the USB bus on standard output: bus, address, manufacturer and product
 * (or their IDs), serial number and, while verbose is nonzero, the configuration, interface and
 * endpoint descriptors. */
VRKT_EXPORT extern int verbose;
/* Prints one device; handle may be null (then the strings are not read). */
VRKT_EXPORT void print_device(struct libusb_device* dev, struct libusb_device_handle* handle);
/* Lists the whole bus; "-v" among the arguments turns verbose on. Returns 0; 1 when libusb
 * cannot start; the (negative) libusb error when the bus cannot be read. */
VRKT_EXPORT int test(int argc, char* argv[]);

#ifdef __cplusplus
} /* extern "C" */
#endif

#if defined(__cplusplus) && defined(QT_CORE_LIB)
#include <QString>
#include <QThread>
#include <QVariant>
#include <atomic>
#include <string>

/* Runs cmd (as Latin-1 text) through the shell and returns what it prints on standard output:
 * with mode 0 the first line only (at most 511 bytes, newline included), with any other mode
 * every line. An empty string, and "command <cmd> error" on standard error, when the shell cannot
 * be started. Blocks until the command ends. */
VRKT_EXPORT QString get_string_from_shell_cmd(const QString& cmd, int mode);

/* True when CUPS lists a job of queue printer_name in progress: the first line of
 *   LANG=en lpstat -l -o 'NAME' 2>>/dev/null|grep -w 'NAME'
 * is not empty. The name is quoted so that the shell sees one literal word whatever it holds. An
 * empty name is idle. False too when the shell cannot be started. */
VRKT_EXPORT bool printer_is_printing(const QString& printer_name);

/* Reads (set false) or writes (set true) key of the shared settings file
 * /usr/share/vrkt7x/sm.conf. Reading a missing key gives defaultValue. Prints
 * "get key K value:V" / "set key K value:V" on standard error. Always true: an unreadable or
 * unwritable file behaves like an empty one. */
VRKT_EXPORT bool appSettings(const QString& key, QVariant& value, const QVariant& defaultValue, bool set);

/* Turns the host-plus-path text of a usb:// URI into vendor and product IDs; 0 on success. The
 * initial hook sets both to -1 (any) and fails, so a printer is found by its serial number alone.
 * A program may replace it before opening a printer. */
typedef int (*func_getpidvid)(const std::string& model, int* pid, int* vid);
VRKT_EXPORT extern func_getpidvid getpidvid;

/* The server side of the local request/reply channel: a Unix-domain stream socket at a path.
 * Each connection carries one request (up to 1024 bytes, read once) and one reply (the text the
 * callback leaves in the same buffer, up to its first zero byte), then closes. */
class VRKT_EXPORT Trans_Server
{
public:
    /* The size of the request/reply buffer of readThenWrite. */
    static constexpr int kBufferSize = 1024;

    Trans_Server();
    ~Trans_Server();

    Trans_Server(const Trans_Server&) = delete;
    Trans_Server& operator=(const Trans_Server&) = delete;

    /* Creates the listening socket at server_path (at most 107 characters are used): removes any
     * file there first, binds, listens (backlog 1) and makes the socket file mode 0666. Returns
     * the listening descriptor, or -1 (null path, no socket, bind or listen failure; printed). */
    int createServer(const char* server_path);

    /* Blocks until a client connects; its descriptor, or -1 (also at once when there is no
     * listening socket). */
    int any_client_connected();

    /* Serves one connection: reads the request once into a zeroed 1024-byte buffer, and when
     * something was read and callback(para, buffer, 1024) returns 0, writes the buffer up to its
     * first zero byte (never beyond the buffer). Closes com_fd in every case. 0; -1 for a
     * negative descriptor. */
    int readThenWrite(int com_fd, CALLBACK_Server callback, void* para);

    const char* get_server_path();

    int listen_fd;
    char path[VRKT_FIELD_SIZE];
};

/* The client side of the local request/reply channel. */
class VRKT_EXPORT Trans_Client
{
public:
    /* Keeps server_path (at most 255 characters; null gives an empty path). */
    explicit Trans_Client(const char* server_path);

    /* Connects and closes at once. 0 connected; -1 no path ("cannot get server path") or no
     * socket ("cannot creat socket"); -2 the connection failed ("cannot connect server"). */
    int tryConnectToServer();

    /* Sends the zero-terminated text in buffer (without its terminator, at most bufsize bytes),
     * then zeroes buffer and reads the reply once, up to bufsize bytes. 0 when a reply arrived;
     * -1 / -2 as tryConnectToServer; -3 when the write failed ("cannot write to server"); when
     * the server closed without replying, the number of request bytes written. */
    int writeThenRead(char* buffer, int bufsize);

    char path[VRKT_FIELD_SIZE];

private:
    /* A connected socket, or -1 / -2 as tryConnectToServer. */
    int connectToServer();
};

/* Runs the accept loop of a Trans_Server on a thread of its own and announces every accepted
 * connection with client_connect(fd). The receiver (through a queued connection, on its own
 * thread) serves the descriptor once with get_trans_server()->readThenWrite(fd, callback, para).
 *
 *     ServerThread server("/tmp/.myserver", nullptr);
 *     QObject::connect(&server, &ServerThread::client_connect, receiver, [&](int fd) {
 *         server.get_trans_server()->readThenWrite(fd, answer, &state);
 *     });
 *     server.start();
 *
 * Destroying it stops the loop (waking the blocked accept) and removes the socket file. */
class VRKT_EXPORT ServerThread : public QThread
{
    Q_OBJECT

public:
    /* Creates the listening socket at server_path at once (a failure leaves a thread that only
     * waits to be stopped). */
    ServerThread(const char* server_path, QObject* parent = nullptr);
    ~ServerThread() override;

    Trans_Server* get_trans_server();

signals:
    /* A client connected; fd is the connection, to be served once and closed by readThenWrite. */
    void client_connect(int fd);
    /* Declared for programs that pass parsed commands on; the library never emits it. */
    void client_cmd(QString cmd, void* para);

protected:
    void run() override;

public:
    Trans_Server trans_server;
    /* Stop request, set by the destroying thread and read by the accept loop between accepts. */
    std::atomic<bool> abort;
    std::string m_server_path;
};
#endif /* C++ with Qt Core */

#endif
