#include "ui/message_text.h"

#include <cstdio>

namespace msg {
namespace {

constexpr uint32_t kInvalidPrinterName = 1801;

// snprintf into a string sized by a first measuring call, so no text is ever cut.
template <typename... Args> std::string Format(const char* format, Args... args) {
    int length = std::snprintf(nullptr, 0, format, args...);
    if (length <= 0) return std::string();
    std::string text(static_cast<size_t>(length), '\0');
    std::snprintf(&text[0], text.size() + 1, format, args...);
    return text;
}

const char* OrUnknown(const char* systemText) {
    return systemText != nullptr ? systemText : kUnknownError;
}

} // namespace

std::string LastErrorText(uint32_t code, const char* systemText) {
    if (code == kInvalidPrinterName) return kSelectPrinter;
    return Format("failure with error %d: %s", static_cast<int>(code), OrUnknown(systemText));
}

std::string TwoPartText(const char* first, const char* second) {
    return Format("%s %s", first, second);
}

std::string WSAErrorText(const char* operation, int code) {
    return Format("WSAError: %s: %d", operation, code);
}

std::string EnumFailureText(const char* systemText, uint32_t needed, uint32_t sent) {
    return Format("Can't find any printers to update\n\n  EnumPrinters said: \n%s\n"
                  "EnumPrinters needs %d bytes and we sent %d",
                  OrUnknown(systemText), static_cast<int>(needed), static_cast<int>(sent));
}

} // namespace msg
