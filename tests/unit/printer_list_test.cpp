#include <gtest/gtest.h>

#include <windows.h>

#include <commctrl.h>

#include <cstring>
#include <string>
#include <vector>

#include "fake_messages.h"
#include "resources/resource_ids.h"
#include "transport/spooler_api.h"
#include "transport/transport.h"

namespace {

// A spooler whose printer list can grow between calls, answering as EnumPrintersA does.
struct FakeEnum {
    static inline std::vector<std::vector<std::string>> listPerCall;
    static inline std::vector<DWORD> sizesOffered;
    static inline DWORD failWith = 0;

    static BOOL WINAPI Enum(DWORD flags, LPSTR server, DWORD level, LPBYTE buffer, DWORD size,
                            LPDWORD needed, LPDWORD returned) {
        EXPECT_EQ(flags, 6u);
        EXPECT_EQ(server, nullptr);
        EXPECT_EQ(level, 1u);
        sizesOffered.push_back(size);
        if (failWith != 0) {
            SetLastError(failWith);
            *needed = 0;
            return FALSE;
        }
        size_t call = sizesOffered.size() - 1;
        const auto& names = listPerCall[call < listPerCall.size() ? call : listPerCall.size() - 1];
        DWORD total = static_cast<DWORD>(names.size() * sizeof(PRINTER_INFO_1A));
        for (const auto& n : names) total += static_cast<DWORD>(n.size() + 1);
        *needed = total;
        if (total > size) {
            *returned = 0;
            SetLastError(ERROR_INSUFFICIENT_BUFFER);
            return FALSE;
        }
        auto records = reinterpret_cast<PRINTER_INFO_1A*>(buffer);
        char* strings = reinterpret_cast<char*>(buffer + names.size() * sizeof(PRINTER_INFO_1A));
        for (size_t i = 0; i < names.size(); ++i) {
            std::memcpy(strings, names[i].c_str(), names[i].size() + 1);
            records[i] = PRINTER_INFO_1A{0, nullptr, strings, nullptr};
            strings += names[i].size() + 1;
        }
        *returned = static_cast<DWORD>(names.size());
        return TRUE;
    }
};

std::vector<std::string> Names(size_t count, size_t length) {
    std::vector<std::string> names;
    for (size_t i = 0; i < count; ++i) {
        std::string n = "queue-" + std::to_string(i) + "-";
        n.resize(length, 'x');
        names.push_back(n);
    }
    return names;
}

class PrinterListTest : public ::testing::Test {
  protected:
    void SetUp() override {
        saved_ = spooler;
        spooler.enumPrinters = FakeEnum::Enum;
        FakeEnum::listPerCall.clear();
        FakeEnum::sizesOffered.clear();
        FakeEnum::failWith = 0;
        parent_ = CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 100, 100, nullptr, nullptr,
                                  nullptr, nullptr);
        CreateWindowExA(0, WC_COMBOBOXA, "", WS_CHILD | CBS_DROPDOWNLIST, 0, 0, 100, 100, parent_,
                        reinterpret_cast<HMENU>(IDC_PRINTER_LIST), nullptr, nullptr);
    }
    void TearDown() override {
        DestroyWindow(parent_);
        spooler = saved_;
    }
    std::vector<std::string> Listed() {
        HWND list = GetDlgItem(parent_, IDC_PRINTER_LIST);
        std::vector<std::string> out;
        LRESULT count = SendMessageA(list, CB_GETCOUNT, 0, 0);
        for (LRESULT i = 0; i < count; ++i) {
            std::string text(static_cast<size_t>(SendMessageA(list, CB_GETLBTEXTLEN, i, 0)), '\0');
            SendMessageA(list, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(&text[0]));
            out.push_back(text);
        }
        return out;
    }

    SpoolerApi saved_;
    HWND parent_ = nullptr;
    RecordedMessages messages_;
};

} // namespace

TEST_F(PrinterListTest, NamesInTheSpoolersOrderNoneSelected) {
    FakeEnum::listPerCall = {{"zeta", "alpha", "Mid queue"}};
    EXPECT_EQ(EnumLocalPrinters(parent_), 1);
    EXPECT_EQ(Listed(), (std::vector<std::string>{"zeta", "alpha", "Mid queue"}));
    EXPECT_EQ(SendDlgItemMessageA(parent_, IDC_PRINTER_LIST, CB_GETCURSEL, 0, 0), CB_ERR);
    EXPECT_TRUE(messages_.boxes().empty());
}

TEST_F(PrinterListTest, EmptySpoolerGivesAnEmptyListWithoutMessage) {
    FakeEnum::listPerCall = {{}};
    EXPECT_EQ(EnumLocalPrinters(parent_), 1);
    EXPECT_TRUE(Listed().empty());
    EXPECT_TRUE(messages_.boxes().empty());
}

TEST_F(PrinterListTest, MoreThanSixteenKilobytesIsListedInFull) {
    FakeEnum::listPerCall = {Names(300, 120)};
    EXPECT_EQ(EnumLocalPrinters(parent_), 1);
    EXPECT_EQ(Listed(), Names(300, 120));
    ASSERT_EQ(FakeEnum::sizesOffered.size(), 2u);
    EXPECT_EQ(FakeEnum::sizesOffered[0], 16384u);
    EXPECT_GT(FakeEnum::sizesOffered[1], 16384u);
}

TEST_F(PrinterListTest, ListThatGrewMeanwhileIsAskedOnceMore) {
    FakeEnum::listPerCall = {Names(300, 120), Names(400, 120), Names(400, 120)};
    EXPECT_EQ(EnumLocalPrinters(parent_), 1);
    EXPECT_EQ(Listed(), Names(400, 120));
    EXPECT_EQ(FakeEnum::sizesOffered.size(), 3u);
}

TEST_F(PrinterListTest, ListThatKeepsGrowingEndsWithTheFailureBox) {
    FakeEnum::listPerCall = {Names(300, 120), Names(400, 120), Names(500, 120), Names(600, 120)};
    EXPECT_EQ(EnumLocalPrinters(parent_), 0);
    EXPECT_EQ(FakeEnum::sizesOffered.size(), 3u);
    EXPECT_TRUE(Listed().empty());
    ASSERT_EQ(messages_.boxes().size(), 1u);
    EXPECT_EQ(messages_.boxes()[0].caption, "Failure!");
}

TEST_F(PrinterListTest, OtherFailuresShowTheFailureBoxOnce) {
    FakeEnum::failWith = ERROR_ACCESS_DENIED;
    EXPECT_EQ(EnumLocalPrinters(parent_), 0);
    EXPECT_EQ(FakeEnum::sizesOffered.size(), 1u);
    ASSERT_EQ(messages_.boxes().size(), 1u);
    const auto& box = messages_.boxes()[0];
    EXPECT_EQ(box.caption, "Failure!");
    EXPECT_EQ(box.flags, static_cast<UINT>(MB_OK | MB_ICONINFORMATION));
    EXPECT_EQ(box.text.rfind("Can't find any printers to update\n\n  EnumPrinters said: \n", 0), 0u);
    EXPECT_NE(box.text.find("\nEnumPrinters needs 0 bytes and we sent 16384"), std::string::npos)
        << box.text;
    EXPECT_TRUE(Listed().empty());
}
