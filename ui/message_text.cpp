#include "ui/message_text.h"

namespace msg {
namespace {

constexpr uint32_t kInvalidPrinterName = 1801;

const char* OrUnknown(const char* systemText) {
    return systemText != nullptr ? systemText : kUnknownError;
}

} // namespace

Text LastErrorText(uint32_t code, const char* systemText) {
    if (code == kInvalidPrinterName) return Text::Copy(kSelectPrinter);
    return Text::Format("failure with error %d: %s", static_cast<int>(code), OrUnknown(systemText));
}

Text TwoPartText(const char* first, const char* second) {
    return Text::Format("%s %s", first, second);
}

Text WSAErrorText(const char* operation, int code) {
    return Text::Format("WSAError: %s: %d", operation, code);
}

Text EnumFailureText(const char* systemText, uint32_t needed, uint32_t sent) {
    return Text::Format("Can't find any printers to update\n\n  EnumPrinters said: \n%s\n"
                  "EnumPrinters needs %d bytes and we sent %d",
                  OrUnknown(systemText), static_cast<int>(needed), static_cast<int>(sent));
}

} // namespace msg
