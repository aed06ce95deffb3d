#include <windows.h>

#include "app/unique_handle.h"
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
    DWORD written = 0;
    if (!spooler.writePrinter(printer.get(), const_cast<void*>(data), length, &written)) {
        DWORD error = GetLastError();
        spooler.endPagePrinter(printer.get());
        spooler.endDocPrinter(printer.get());
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
    // A short count leaves no error of the spooler's own: name the incomplete write instead.
    if (written != length) return ReportFailure(ERROR_WRITE_FAULT);
    return 1;
}
