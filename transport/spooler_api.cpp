#include "transport/spooler_api.h"

#include <winspool.h>

SpoolerApi spooler = {
    EnumPrintersA, OpenPrinterA,   StartDocPrinterA, StartPagePrinter,
    WritePrinter,  EndPagePrinter, EndDocPrinter,    ClosePrinter,
};
