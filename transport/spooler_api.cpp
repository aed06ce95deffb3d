#include "transport/spooler_api.h"

#include "base/system_library.h"

SpoolerApi spooler = {};

namespace {

HMODULE spoolerModule;

template <typename Function> bool Fill(Function& entry, const char* name) {
    if (entry == nullptr) entry = ExportOf<Function>(spoolerModule, name);
    return entry != nullptr;
}

} // namespace

HMODULE SpoolerModule() { return spoolerModule; }

int LoadSpooler() {
    // Not imported: a library of that name beside the executable would be loaded in its place.
    if (spoolerModule == nullptr) spoolerModule = LoadSystemLibrary("winspool.drv");
    if (spoolerModule == nullptr) return 0;
    bool complete = Fill(spooler.enumPrinters, "EnumPrintersA") &
                    Fill(spooler.openPrinter, "OpenPrinterA") &
                    Fill(spooler.startDocPrinter, "StartDocPrinterA") &
                    Fill(spooler.startPagePrinter, "StartPagePrinter") &
                    Fill(spooler.writePrinter, "WritePrinter") &
                    Fill(spooler.endPagePrinter, "EndPagePrinter") &
                    Fill(spooler.endDocPrinter, "EndDocPrinter") &
                    Fill(spooler.abortPrinter, "AbortPrinter") &
                    Fill(spooler.closePrinter, "ClosePrinter");
    if (!complete) SetLastError(ERROR_PROC_NOT_FOUND);
    return complete ? 1 : 0;
}
