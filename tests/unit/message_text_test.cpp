#include <gtest/gtest.h>

#include <string>

#include "ui/message_text.h"

namespace {
std::string S(const Text& text) { return std::string(text.c_str(), text.size()); }
} // namespace

TEST(MessageText, InvalidPrinterNameShowsOnlyTheSelectionHint) {
    EXPECT_EQ(S(msg::LastErrorText(1801, "The printer name is invalid.\r\n")),
              "Please select printer in drop-down box");
}

TEST(MessageText, SystemErrorKeepsTheSystemTextAsGiven) {
    EXPECT_EQ(S(msg::LastErrorText(5, "Access denied.\r\n")), "failure with error 5: Access denied.\r\n");
}

TEST(MessageText, CodesFromTwoToTheThirtyFirstPrintNegative) {
    EXPECT_EQ(S(msg::LastErrorText(0x80070005u, "x")), "failure with error -2147024891: x");
}

TEST(MessageText, MissingSystemTextBecomesUnknownError) {
    EXPECT_EQ(S(msg::LastErrorText(12345, nullptr)), "failure with error 12345: Unknown error");
    EXPECT_EQ(S(msg::EnumFailureText(nullptr, 1, 2)).find("\nUnknown error\n") != std::string::npos,
              true);
}

TEST(MessageText, LongTextsAreNeverCut) {
    std::string system(5000, 's');
    EXPECT_EQ(S(msg::LastErrorText(2, system.c_str())), "failure with error 2: " + system);
    std::string host(254, 'h');
    EXPECT_EQ(S(msg::TwoPartText(msg::kCouldntFindPrinter, host.c_str())),
              "Couldn't find printer:  " + host);
}

TEST(MessageText, CouldntFindPrinterPutsTwoSpacesBeforeTheName) {
    EXPECT_EQ(S(msg::TwoPartText(msg::kCouldntFindPrinter, "printer.invalid")),
              "Couldn't find printer:  printer.invalid");
}

TEST(MessageText, SocketErrorsNameTheOperationAndNumber) {
    EXPECT_EQ(S(msg::WSAErrorText("socket", 10047)), "WSAError: socket: 10047");
    EXPECT_EQ(S(msg::WSAErrorText("send", 10054)), "WSAError: send: 10054");
    EXPECT_EQ(S(msg::WSAErrorText("WSAStartup", 10092)), "WSAError: WSAStartup: 10092");
}

TEST(MessageText, EnumerationFailureLayout) {
    EXPECT_EQ(S(msg::EnumFailureText("The RPC server is unavailable.\r\n", 20480, 16384)),
              "Can't find any printers to update\n\n  EnumPrinters said: \n"
              "The RPC server is unavailable.\r\n\nEnumPrinters needs 20480 bytes and we sent 16384");
}

TEST(MessageText, InsertSequencesAreShownAsWritten) {
    EXPECT_EQ(S(msg::TwoPartText("%s %d", "%1")), "%s %d %1");
    EXPECT_EQ(S(msg::LastErrorText(87, "bad %1 here")), "failure with error 87: bad %1 here");
}
