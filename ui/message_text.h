#pragma once
#include <cstdint>

#include "ui/text.h"

// The texts of the updater's message boxes, composed without any window so tests can reach them.
namespace msg {

inline constexpr const char kErrorCaption[] = "Error";
inline constexpr const char kInfoCaption[] = "Info";
inline constexpr const char kFailureCaption[] = "Failure!";
inline constexpr const char kUnknownError[] = "Unknown error";

inline constexpr const char kSelectPrinter[] = "Please select printer in drop-down box";
inline constexpr const char kSentConfigPage[] = "Sent Configuration Page";
inline constexpr const char kEnterHostName[] = "Please Enter Host Name";
inline constexpr const char kCouldntFindPrinter[] = "Couldn't find printer: ";
inline constexpr const char kUnableToConnect[] = "Unable to connect to port 9100 on device";
inline constexpr const char kAlternateSelected[] =
    "Selected file will now be downloaded instead of embedded file";
inline constexpr const char kCantOpenSaveFile[] = "Can't open file to save to";
inline constexpr const char kOwnFileAsTarget[] =
    "The running updater can't overwrite its own file. Choose another file to save to.";
inline constexpr const char kEmbedFileAsTarget[] =
    "The file to embed can't also be the file to save to. Choose another file to save to.";
inline constexpr const char kOutOfMemory[] = "Not enough memory to build the new resources";

// The text displayLastError shows for a code; systemText may be null when the platform has none.
Text LastErrorText(uint32_t code, const char* systemText);
Text TwoPartText(const char* first, const char* second);
Text WSAErrorText(const char* operation, int code);
Text EnumFailureText(const char* systemText, uint32_t needed, uint32_t sent);

} // namespace msg
