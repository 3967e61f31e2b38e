#include "CupsQueries.h"

#include <cstdio>
#include <cstring>
#include <ctime>
#include <cups/cups.h>
#include <cups/language.h>
#include <cups/sidechannel.h>
#include <cups/transcode.h>
#include <sys/stat.h>

// libcups exports its URI resolver (it turns dnssd:// URIs into usable ones) but declares it in no
// installed header.
extern "C" const char* _httpResolveURI(
    const char* uri, char* resolved_uri, size_t resolved_size, int options, int (*cb)(void* context), void* context);

namespace
{

// The descriptor on which cupsd gives a backend its side channel.
constexpr int kSideChannelFd = 4;

const char* const kJobAttributes[] = {
    "copies",
    "job-id",
    "job-k-octets",
    "job-name",
    "job-originating-user-name",
    "job-printer-state-message",
    "job-printer-uri",
    "job-state",
    "job-state-reasons",
    "time-at-creation",
    "time-at-completed",
    "job-media-sheets-completed",
    "job-media-sheets",
    "document-name",
};

// Copies one option of the destination into a 256-byte field; absent gives "".
void copyOption(char* field, const char* option, const cups_dest_t* dest)
{
    copyField(field, cupsGetOption(option, dest->num_options, dest->options));
}

// Reads one option of the named destination into out; unknown names leave out untouched.
int copyNamedDestOption(const char* printer, const char* option, char* out)
{
    if (!printer || !out)
        return 0;
    cups_dest_t* dest = cupsGetNamedDest(CUPS_HTTP_DEFAULT, printer, nullptr);
    if (!dest)
        return 0;
    copyOption(out, option, dest);
    cupsFreeDests(1, dest);
    return 0;
}

// "time-at-creation" as the locale's date and time, in UTF-8.
void formatJobTime(char* field, time_t when)
{
    struct tm local {
    };
    localtime_r(&when, &local);
    cups_lang_t* lang = cupsLangDefault();
    if (!lang || lang->encoding == CUPS_UTF8) {
        if (strftime(field, kFieldSize, "%c", &local) == 0)
            field[0] = '\0';
        return;
    }
    char text[kFieldSize];
    if (strftime(text, sizeof text, "%c", &local) == 0)
        text[0] = '\0';
    if (cupsCharsetToUTF8(reinterpret_cast<cups_utf8_t*>(field), text, kFieldSize, lang->encoding) < 0)
        copyField(field, text);
}

} // namespace

int cups_get_printers(CALLBACK_getPrinters callback, void* para)
{
    if (!callback)
        return -2;
    cups_dest_t* dests = nullptr;
    int count = cupsGetDests(&dests);
    Printer_struct printer;
    for (int i = 0; i < count; ++i) {
        const cups_dest_t* dest = &dests[i];
        memset(&printer, 0, sizeof printer);
        copyField(printer.name, dest->name);
        copyOption(printer.makeAndModel, "printer-make-and-model", dest);
        copyOption(printer.deviceUri, "device-uri", dest);
        printer.isDefault = dest->is_default != 0;
        if (callback(para, &printer) == 0)
            break;
    }
    cupsFreeDests(count, dests);
    return 0;
}

const char* cups_get_default_printer() { return cupsGetDefault(); }

int cups_get_device_uri(const char* printer, char* device_uri)
{
    return copyNamedDestOption(printer, "device-uri", device_uri);
}

int get_device_model(const char* printer, char* model)
{
    return copyNamedDestOption(printer, "printer-make-and-model", model);
}

int cups_resolve_uri(const char* device_uri, char* buffer, int bufsize)
{
    if (!buffer || bufsize <= 0)
        return -1;
    buffer[0] = '\0';
    if (!device_uri)
        return -1;
    const char* resolved = _httpResolveURI(device_uri, buffer, static_cast<size_t>(bufsize), 0, nullptr, nullptr);
    if (!resolved) {
        buffer[0] = '\0';
        return -1;
    }
    return 0;
}

int cups_usb_getDeviceID(char* data, int datalen)
{
    if (!data || datalen <= 0)
        return -1;
    data[0] = '\0';
    // Outside a backend, descriptor 4 is whatever the program happens to have open there; the
    // side-channel request would be written into it. Only a socket can be cupsd's side channel.
    struct stat st {
    };
    if (fstat(kSideChannelFd, &st) != 0 || !S_ISSOCK(st.st_mode))
        return -1;
    // One byte is kept for the terminator.
    int len = datalen - 1;
    if (len <= 0)
        return -1;
    cups_sc_status_t status = cupsSideChannelDoRequest(CUPS_SC_CMD_GET_DEVICE_ID, data, &len, 1.0);
    if (status == CUPS_SC_STATUS_NONE && len > 0 && len < datalen) {
        data[len] = '\0';
        return 0;
    }
    data[0] = '\0';
    return -1;
}

ipp_t* cups_new_get_jobs_request(const char* printer, const char* which)
{
    ipp_t* request = ippNewRequest(IPP_OP_GET_JOBS);
    if (printer) {
        char uri[kFieldSize];
        httpAssembleURIf(
            HTTP_URI_CODING_ALL, uri, sizeof uri, "ipp", nullptr, "localhost", ippPort(), "/printers/%s", printer);
        ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr, uri);
    } else {
        ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr, "ipp://localhost/");
    }
    ippAddStrings(request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes",
        static_cast<int>(sizeof kJobAttributes / sizeof kJobAttributes[0]), nullptr, kJobAttributes);
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "which-jobs", nullptr, which ? which : "all");
    return request;
}

int cups_get_job(CALLBACK_getJob callback, void* para, const char* printer, const char* which, const char* users)
{
    (void)users;
    return cups_get_job_with_request(callback, para, cups_new_get_jobs_request(printer, which));
}

int cups_get_job_with_request(CALLBACK_getJob callback, void* para, ipp_t* request)
{
    ipp_t* response = cupsDoRequest(CUPS_HTTP_DEFAULT, request, "/");
    ipp_status_t error = cupsLastError();
    if (error == IPP_STATUS_ERROR_BAD_REQUEST || error == IPP_STATUS_ERROR_VERSION_NOT_SUPPORTED) {
        fprintf(stderr, "cups Error - add '/version=1.1' to server name.\n");
        ippDelete(response);
        return 1;
    }
    if (error > IPP_STATUS_OK_CONFLICTING) {
        fprintf(stderr, "cups: %s\n", cupsLastErrorString());
        ippDelete(response);
        return 1;
    }
    if (!response)
        return 0;

    Job_struct job;
    for (ipp_attribute_t* attr = ippFirstAttribute(response); attr; attr = ippNextAttribute(response)) {
        while (attr && ippGetGroupTag(attr) != IPP_TAG_JOB)
            attr = ippNextAttribute(response);
        if (!attr)
            break;

        const char* jobName = "unknown";
        const char* userName = "unknown";
        const char* printerUri = nullptr;
        int id = 0, size = 0, pagesCompleted = 0, copies = 0, state = 0;
        time_t created = 0;
        bool haveCreated = false;

        for (; attr && ippGetGroupTag(attr) == IPP_TAG_JOB; attr = ippNextAttribute(response)) {
            const char* name = ippGetName(attr);
            if (!name)
                continue;
            ipp_tag_t tag = ippGetValueTag(attr);
            if (!strcmp(name, "job-id") && tag == IPP_TAG_INTEGER) {
                id = ippGetInteger(attr, 0);
            } else if (!strcmp(name, "job-k-octets") && tag == IPP_TAG_INTEGER) {
                size = ippGetInteger(attr, 0);
            } else if (!strcmp(name, "job-media-sheets-completed") && tag == IPP_TAG_INTEGER) {
                pagesCompleted = ippGetInteger(attr, 0);
            } else if (!strcmp(name, "copies") && tag == IPP_TAG_INTEGER) {
                copies = ippGetInteger(attr, 0);
            } else if (!strcmp(name, "job-state") && tag == IPP_TAG_ENUM) {
                state = ippGetInteger(attr, 0);
            } else if (!strcmp(name, "time-at-creation") && tag == IPP_TAG_INTEGER) {
                created = static_cast<time_t>(ippGetInteger(attr, 0));
                haveCreated = true;
            } else if (!strcmp(name, "job-printer-uri") && tag == IPP_TAG_URI) {
                printerUri = ippGetString(attr, 0, nullptr);
            } else if (!strcmp(name, "job-name") && tag == IPP_TAG_TEXT) {
                jobName = ippGetString(attr, 0, nullptr);
                fprintf(stderr, "job name:%s\n", jobName ? jobName : "");
            } else if (!strcmp(name, "job-originating-user-name") && tag == IPP_TAG_NAME) {
                userName = ippGetString(attr, 0, nullptr);
            } else if (!strcmp(name, "document-name") && tag == IPP_TAG_TEXT) {
                fprintf(stderr, "document-name:%s\n", ippGetString(attr, 0, nullptr));
            } else if (!strcmp(name, "job-sheets-actual") && tag == IPP_TAG_INTEGER) {
                fprintf(stderr, "job-sheets-actual:%d\n", ippGetInteger(attr, 0));
            } else if (!strcmp(name, "job-media-sheets") && tag == IPP_TAG_INTEGER) {
                fprintf(stderr, "job-media-sheets:%d\n", ippGetInteger(attr, 0));
            }
        }

        const char* printerName = nullptr;
        if (printerUri) {
            const char* slash = strrchr(printerUri, '/');
            printerName = slash ? slash + 1 : printerUri;
        }
        if (printerName && id != 0 && callback) {
            memset(&job, 0, sizeof job);
            copyField(job.name, jobName);
            copyField(job.user_name, userName);
            copyField(job.printer, printerName);
            if (haveCreated)
                formatJobTime(job.time, created);
            job.id = id;
            job.document_size = size;
            job.pages_completed = pagesCompleted;
            job.copies = copies;
            job.state = state;
            job.timet = static_cast<int64_t>(created);
            callback(para, &job);
        }
        if (!attr)
            break;
    }
    ippDelete(response);
    return 0;
}
