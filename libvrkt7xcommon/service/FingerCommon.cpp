#include "FingerCommon.h"

#include "protocol/ProtocolLog.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryFile>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sys/stat.h>

namespace
{
constexpr int kFilePiece = 4096; // data files are read and written in pieces of this size

// Length of a user name as the library passes it on: at most 32 bytes.
int nameLength(const char* userName) { return userName ? static_cast<int>(strnlen(userName, kNameSize)) : 0; }

// A name longer than the printer's field would be cut to its first 32 bytes, and the operation
// would then act on the user whose name is that prefix.
bool nameTooLong(const char* userName)
{
    if (!userName || strnlen(userName, kNameSize + 1) <= static_cast<size_t>(kNameSize))
        return false;
    fmLog("####FM: user name longer than %d bytes refused", kNameSize);
    return true;
}
} // namespace

FingerCommon::FingerCommon()
    : abort(false)
{
    printers.clear();
    printerlist.clear();
}

FingerCommon::~FingerCommon() = default;

int FingerCommon::IsDeviceFingerOpen(char* pPrinterName)
{
    fmLog("\r\n####FM: IsDeviceFingerOpen===>Enter");
    cmd.SetFingCmdPrinter(pPrinterName);
    return cmd.GetFingerStatus();
}

int FingerCommon::IsDeviceFingerOpenForPrint(char* pPrinterName)
{
    fmLog("\r\n####FM: IsDeviceFingerOpenForPrint===>Enter");
    cmd.SetFingCmdPrinter(pPrinterName);
    const int state = cmd.GetFingerStatus();
    if (state >= 0 && (state & ~2) == 1) {
        fmLog("\r\n####FM: the finger function is open");
        return 1;
    }
    if (state == 4) {
        fmLog("\r\n####FM: the finger device is busy");
        return 4;
    }
    fmLog("\r\n####FM: the finger function is close");
    return state;
}

bool FingerCommon::OpenFinger(char* pPrinterName)
{
    fmLog("\r\n####FM: OpenFinger===Enter");
    cmd.SetFingCmdPrinter(pPrinterName);
    return cmd.SetFingerStatus(1);
}

bool FingerCommon::CloseFinger(char* pPrinterName)
{
    fmLog("\r\n####FM: CloseFinger===Enter");
    cmd.SetFingCmdPrinter(pPrinterName);
    return cmd.SetFingerStatus(0);
}

int FingerCommon::CheckFinger(char* pPrinterName, char* userName)
{
    fmLog("\r\n####FM: CheckFinger===Enter");
    cmd.SetFingCmdPrinter(pPrinterName);
    if (nameTooLong(userName))
        return FM_NAME_TOO_LONG;
    return cmd.Check(userName, nameLength(userName));
}

bool FingerCommon::CancelFingerPrint(char*)
{
    fmLog("\r\n####FM: CancelFingerPrint===Enter");
    cmd.m_bIsFingerPrintCancel = true;
    return true;
}

bool FingerCommon::DropFingerPrintJob(char* pPrinterName)
{
    fmLog("\r\n####FM: DropFingerPrintJob===Enter");
    cmd.SetFingCmdPrinter(pPrinterName);
    return cmd.CancelPrint();
}

int FingerCommon::DeleteFinger(char* pPrinterName, char* userName)
{
    fmLog("\r\n####FM: DeleteFinger===Enter");
    cmd.SetFingCmdPrinter(pPrinterName);
    if (nameTooLong(userName))
        return FM_NAME_TOO_LONG;
    char empty[] = "";
    return cmd.Delete(0, userName ? userName : empty, nameLength(userName));
}

int FingerCommon::DeleteFingers(char* pPrinterName)
{
    fmLog("\r\n####FM: DeleteFingers===Enter");
    cmd.SetFingCmdPrinter(pPrinterName);
    return cmd.Delete(1, nullptr, 0);
}

int FingerCommon::AddFinger(char* pPrinterName, int mode, char* userName, int* ret_index)
{
    fmLog("\r\n####FM: AddFinger===Enter");
    cmd.SetFingCmdPrinter(pPrinterName);
    if (nameTooLong(userName))
        return FM_NAME_TOO_LONG;
    if (mode == 0)
        return cmd.AddFingerFirst(userName);

    char reported[kNameSize + 1] = {};
    char requested[kNameSize + 1] = {};
    if (userName)
        memcpy(requested, userName, nameLength(userName));
    short index = 0;
    if (cmd.AddFingerSecond(reported, &index) != FM_OK)
        return FM_FAILED;
    fmLog("####FM:AddFinger(): name1=%s", reported);
    fmLog("####FM:AddFinger(): name =%s", requested);
    // A result record without a name (the printer had none yet) enrolled nobody, even when the
    // requested name was empty as well.
    if (reported[0] == '\0' || strcmp(reported, requested) != 0)
        return FM_FAILED;
    if (ret_index)
        *ret_index = index;
    return FM_OK;
}

int FingerCommon::ImportFinger(char* pPrinterName, char* fileName)
{
    fmLog("\r\n####FM: ImportFinger===Enter");
    cmd.SetFingCmdPrinter(pPrinterName);
    if (!fileName)
        return FM_FILE_ERROR;
    QFile file(QFile::decodeName(fileName));
    if (!file.exists() || !file.open(QIODevice::ReadOnly))
        return FM_FILE_ERROR;
    const qint64 size = file.size();
    if (size == 0) {
        file.close();
        fmLog("\r\n####FM: ImportFinger:file size if 0!");
        return FM_FAILED;
    }
    // The import header counts records in 16 bits.
    if (size / kRecordSize > 0xFFFF) {
        fmLog("\r\n####FM: ImportFinger:file size if 0!");
        return FM_FAILED;
    }
    char* buffer = static_cast<char*>(malloc(static_cast<size_t>(size) + 1));
    if (!buffer) {
        fmLog("\r\n####FM: ImportFinger:malloc memory fail");
        return FM_FAILED;
    }
    qint64 done = 0;
    while (done < size) {
        const qint64 n = file.read(buffer + done, std::min<qint64>(kFilePiece, size - done));
        if (n <= 0)
            break;
        done += n;
    }
    if (done < size) {
        // A file that delivers less than its size: importing the part read would replace the
        // printer's records with an incomplete set.
        fmLog("\r\n####FM: ImportFinger:read %lld of %lld bytes", static_cast<long long>(done),
            static_cast<long long>(size));
        free(buffer);
        return FM_FILE_ERROR;
    }
    const int result = cmd.Import(reinterpret_cast<FG_DATAF_T*>(buffer), static_cast<int>(done / kRecordSize));
    free(buffer);
    file.close();
    if (result != FM_OK)
        return result;
    return cmd.GetImportStatus();
}

int FingerCommon::ExportFinger(char* pPrinterName, char* fileName, int* pdwLen)
{
    fmLog("\r\n####FM: ExportFinger===Enter");
    cmd.SetFingCmdPrinter(pPrinterName);
    int result = cmd.Export(pdwLen);
    if (result != FM_OK)
        return result;

    const int count = *pdwLen;
    if (count < 1)
        return FM_OK; // nothing on the printer: an existing file stays as it is
    // Records announced but not written would be a success with no file behind it.
    const size_t total = static_cast<size_t>(count) * kRecordSize;
    char* buffer = static_cast<char*>(malloc(total));
    if (!buffer)
        return FM_FAILED;
    if (cmd.GetFingerData(reinterpret_cast<FG_DATAF_T*>(buffer), count) < count) {
        free(buffer);
        return FM_ADD_FAILED;
    }

    fmLog("Export file name is %s", fileName ? fileName : "");
    if (!fileName) {
        free(buffer);
        return FM_FILE_ERROR;
    }
    // The new file is written beside the old one and renamed over it only once complete. The
    // rename replaces whatever has the name, a symbolic link included, and never writes through
    // one: the usual place is /tmp, where anybody can plant a link.
    const QString target = QFile::decodeName(fileName);
    QTemporaryFile file(target + QStringLiteral(".XXXXXX"));
    if (!file.open()) {
        free(buffer);
        return FM_FILE_ERROR;
    }
    bool written = true;
    for (size_t done = 0; done < total && written;) {
        const qint64 piece = static_cast<qint64>(std::min<size_t>(kFilePiece, total - done));
        const qint64 n = file.write(buffer + done, piece);
        written = n == piece;
        done += static_cast<size_t>(std::max<qint64>(n, 0));
    }
    free(buffer);
    // Fingerprint templates: for the owner only.
    written = written && file.flush() && fchmod(file.handle(), 0600) == 0;
    if (!written || ::rename(QFile::encodeName(file.fileName()).constData(), fileName) != 0)
        return FM_FILE_ERROR; // the temporary file goes away with `file`
    file.setAutoRemove(false);
    return FM_OK;
}

bool FingerCommon::IsFingerPrint(char* pPrinterName, char* userName, short int* pIndex)
{
    fmLog("\r\n####FM: IsFingerPrint===Enter");
    cmd.SetFingCmdPrinter(pPrinterName, true);
    const int result = cmd.IsPrint(userName, pIndex);
    cmd.m_bFingerPrint = false;
    if (cmd.m_bIsFingerPrintCancel)
        cmd.m_bIsFingerPrintCancel = false;
    return result != FM_OK;
}
