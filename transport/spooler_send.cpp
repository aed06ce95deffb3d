#include <windows.h>

#include "base/unique_handle.h"
#include "transport/spooler_api.h"
#include "transport/transport.h"
#include "ui/messages.h"

namespace {

char kDocumentName[] = "Firmware Update";
char kDatatype[] = "RAW";

struct PrinterTraits {
    using Handle = HANDLE;
    static Handle invalid() { return nullptr; }
    static void close(Handle h) { spooler.closePrinter(h); }
};

// Shows the error of the step that failed. The clean-up calls made since may have changed the
// thread's last error, so the failing step's code is put back first.
int ReportFailure(DWORD error) {
    SetLastError(error);
    displayLastError();
    return 0;
}

// Hands the whole range to the spooler: a call may take only part of it (its count says how
// much), and the next call goes on from there. False with the last error set when a call fails,
// or takes nothing of what is left, which would never end.
bool WriteAll(HANDLE printer, const void* data, uint32_t length) {
    auto next = static_cast<const uint8_t*>(data);
    uint32_t left = length;
    do {
        DWORD written = 0;
        if (!spooler.writePrinter(printer, const_cast<uint8_t*>(next), left, &written))
            return false;
        if (written > left || (written == 0 && left != 0)) {
            SetLastError(ERROR_WRITE_FAULT);
            return false;
        }
        next += written;
        left -= written;
    } while (left != 0);
    return true;
}

} // namespace

int SendDataToSpooler(const char* printerName, const void* data, uint32_t length) {
    // An empty name never reaches the spooler: not every spooler rejects it the same way.
    if (printerName == nullptr || printerName[0] == '\0')
        return ReportFailure(ERROR_INVALID_PRINTER_NAME);
    if (!LoadSpooler()) return ReportFailure(GetLastError());

    HANDLE opened = nullptr;
    if (!spooler.openPrinter(const_cast<char*>(printerName), &opened, nullptr))
        return ReportFailure(GetLastError());
    UniqueHandle<PrinterTraits> printer(opened);

    DOC_INFO_1A job = {kDocumentName, nullptr, kDatatype};
    if (spooler.startDocPrinter(printer.get(), 1, reinterpret_cast<LPBYTE>(&job)) == 0) {
        DWORD error = GetLastError();
        printer.reset();
        return ReportFailure(error);
    }
    if (!spooler.startPagePrinter(printer.get())) {
        DWORD error = GetLastError();
        spooler.endDocPrinter(printer.get());
        printer.reset();
        return ReportFailure(error);
    }
    if (!WriteAll(printer.get(), data, length)) {
        DWORD error = GetLastError();
        // Withdrawn rather than ended: where the queue spools, the spooler deletes what it
        // spooled instead of printing an incomplete job; a queue that prints while spooling, or
        // does not spool, may already have passed part of it to the printer.
        spooler.abortPrinter(printer.get());
        printer.reset();
        return ReportFailure(error);
    }
    if (!spooler.endPagePrinter(printer.get())) {
        DWORD error = GetLastError();
        spooler.endDocPrinter(printer.get());
        printer.reset();
        return ReportFailure(error);
    }
    if (!spooler.endDocPrinter(printer.get())) {
        DWORD error = GetLastError();
        printer.reset();
        return ReportFailure(error);
    }
    printer.reset();
    return 1;
}
