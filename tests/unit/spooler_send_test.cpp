#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "fake_messages.h"
#include "transport/spooler_api.h"
#include "transport/transport.h"

namespace {

// A spooler that fails at one chosen step and logs every call, with the message box in line.
struct FakeSpooler {
    static inline std::vector<std::string> calls;
    static inline std::string failAt;
    static inline std::string docName, datatype;
    static inline std::vector<DWORD> offered; // the length of each write call
    static inline std::string received;       // the bytes the write calls accepted
    static inline DWORD acceptAtMost = MAXDWORD;
    static inline size_t failingWrite = 0;    // the write call, counted from 1, that fails
    static constexpr DWORD kStepError = 1117; // ERROR_IO_DEVICE
    static constexpr DWORD kWriteError = ERROR_DISK_FULL;

    static BOOL Step(const char* name) {
        calls.push_back(name);
        if (failAt == name) {
            SetLastError(kStepError);
            return FALSE;
        }
        SetLastError(0); // a succeeding clean-up call must not hide the failure's code
        return TRUE;
    }
    static BOOL WINAPI Open(LPSTR, LPHANDLE handle, LPPRINTER_DEFAULTSA) {
        *handle = reinterpret_cast<HANDLE>(0x1234);
        return Step("open");
    }
    static DWORD WINAPI StartDoc(HANDLE, DWORD level, LPBYTE info) {
        auto doc = reinterpret_cast<DOC_INFO_1A*>(info);
        docName = doc->pDocName;
        datatype = doc->pDatatype;
        EXPECT_EQ(level, 1u);
        EXPECT_EQ(doc->pOutputFile, nullptr);
        return Step("startdoc") ? 7 : 0;
    }
    static BOOL WINAPI StartPage(HANDLE) { return Step("startpage"); }
    static BOOL WINAPI Write(HANDLE, LPVOID data, DWORD length, LPDWORD written) {
        offered.push_back(length);
        *written = 0;
        if (offered.size() == failingWrite) {
            calls.push_back("write");
            SetLastError(kWriteError);
            return FALSE;
        }
        if (!Step("write")) return FALSE;
        *written = std::min(length, acceptAtMost);
        if (*written != 0) received.append(static_cast<const char*>(data), *written);
        return TRUE;
    }
    static BOOL WINAPI EndPage(HANDLE) { return Step("endpage"); }
    static BOOL WINAPI EndDoc(HANDLE) { return Step("enddoc"); }
    static BOOL WINAPI Abort(HANDLE) { return Step("abort"); }
    static BOOL WINAPI Close(HANDLE) { return Step("close"); }
};

class SpoolerSendTest : public ::testing::Test {
  protected:
    void SetUp() override {
        saved_ = spooler;
        spooler.openPrinter = FakeSpooler::Open;
        spooler.startDocPrinter = FakeSpooler::StartDoc;
        spooler.startPagePrinter = FakeSpooler::StartPage;
        spooler.writePrinter = FakeSpooler::Write;
        spooler.endPagePrinter = FakeSpooler::EndPage;
        spooler.endDocPrinter = FakeSpooler::EndDoc;
        spooler.abortPrinter = FakeSpooler::Abort;
        spooler.closePrinter = FakeSpooler::Close;
        Reset();
        messages_.onBox = [](const char*) { FakeSpooler::calls.push_back("message"); };
    }
    void TearDown() override { spooler = saved_; }

    static void Reset() {
        FakeSpooler::calls.clear();
        FakeSpooler::failAt.clear();
        FakeSpooler::offered.clear();
        FakeSpooler::received.clear();
        FakeSpooler::acceptAtMost = MAXDWORD;
        FakeSpooler::failingWrite = 0;
    }

    int Send(const char* printer = "queue") {
        static const char data[] = "0123456789";
        return SendDataToSpooler(printer, data, 10);
    }

    SpoolerApi saved_;
    RecordedMessages messages_;
};

using Calls = std::vector<std::string>;

} // namespace

TEST_F(SpoolerSendTest, SuccessMakesOneRawJobAndShowsNothing) {
    EXPECT_EQ(Send(), 1);
    EXPECT_EQ(FakeSpooler::calls,
              (Calls{"open", "startdoc", "startpage", "write", "endpage", "enddoc", "close"}));
    EXPECT_EQ(FakeSpooler::docName, "Firmware Update");
    EXPECT_EQ(FakeSpooler::datatype, "RAW");
    EXPECT_EQ(FakeSpooler::offered, std::vector<DWORD>{10});
    EXPECT_EQ(FakeSpooler::received, "0123456789");
    EXPECT_TRUE(messages_.boxes().empty());
}

TEST_F(SpoolerSendTest, EachFailingStepCleansUpInOrderBeforeOneMessage) {
    const std::vector<std::pair<std::string, Calls>> table = {
        {"open", {"open", "message"}},
        {"startdoc", {"open", "startdoc", "close", "message"}},
        {"startpage", {"open", "startdoc", "startpage", "enddoc", "close", "message"}},
        {"write", {"open", "startdoc", "startpage", "write", "abort", "close", "message"}},
        {"endpage", {"open", "startdoc", "startpage", "write", "endpage", "enddoc", "close", "message"}},
        {"enddoc", {"open", "startdoc", "startpage", "write", "endpage", "enddoc", "close", "message"}},
    };
    for (const auto& [step, expected] : table) {
        FakeSpooler::calls.clear();
        FakeSpooler::failAt = step;
        size_t before = messages_.boxes().size();
        EXPECT_EQ(Send(), 0) << step;
        EXPECT_EQ(FakeSpooler::calls, expected) << step;
        ASSERT_EQ(messages_.boxes().size(), before + 1) << step;
        const auto& box = messages_.boxes().back();
        EXPECT_EQ(box.caption, "Error");
        // The failing step's own code, not the success a later clean-up call left behind.
        EXPECT_EQ(box.text.rfind("failure with error 1117: ", 0), 0u) << step << ": " << box.text;
    }
}

TEST_F(SpoolerSendTest, ShortCountsContinueFromWhereTheyStopped) {
    FakeSpooler::acceptAtMost = 4;
    EXPECT_EQ(Send(), 1);
    EXPECT_EQ(FakeSpooler::calls, (Calls{"open", "startdoc", "startpage", "write", "write", "write",
                                         "endpage", "enddoc", "close"}));
    EXPECT_EQ(FakeSpooler::offered, (std::vector<DWORD>{10, 6, 2}));
    EXPECT_EQ(FakeSpooler::received, "0123456789");
    EXPECT_TRUE(messages_.boxes().empty());
}

// An incomplete job is withdrawn, never ended: ending it would hand it to the printer.
TEST_F(SpoolerSendTest, AFailedOrStuckWriteWithdrawsTheJobAndShowsItsError) {
    struct Case {
        DWORD acceptAtMost;
        size_t failingWrite;
        const char* shown;
    };
    // A write failing after a short one (a full spool disk), and a write that takes nothing.
    for (const Case& c :
         {Case{4, 2, "failure with error 112: "}, Case{0, 0, "failure with error 29: "}}) {
        Reset();
        size_t before = messages_.boxes().size();
        FakeSpooler::acceptAtMost = c.acceptAtMost;
        FakeSpooler::failingWrite = c.failingWrite;
        EXPECT_EQ(Send(), 0) << c.shown;
        Calls writes(c.failingWrite == 0 ? 1 : c.failingWrite, "write");
        Calls expected = {"open", "startdoc", "startpage"};
        expected.insert(expected.end(), writes.begin(), writes.end());
        expected.insert(expected.end(), {"abort", "close", "message"});
        EXPECT_EQ(FakeSpooler::calls, expected) << c.shown;
        ASSERT_EQ(messages_.boxes().size(), before + 1) << c.shown;
        const auto& box = messages_.boxes().back();
        EXPECT_EQ(box.text.rfind(c.shown, 0), 0u) << box.text;
    }
}

TEST_F(SpoolerSendTest, EmptyPrinterNameNeverReachesTheSpooler) {
    EXPECT_EQ(Send(""), 0);
    EXPECT_TRUE(FakeSpooler::calls == Calls{"message"});
    ASSERT_EQ(messages_.boxes().size(), 1u);
    EXPECT_EQ(messages_.boxes()[0].text, "Please select printer in drop-down box");
    EXPECT_EQ(messages_.boxes()[0].caption, "Error");
}

TEST_F(SpoolerSendTest, EmptyPayloadIsAnEmptyJob) {
    EXPECT_EQ(SendDataToSpooler("queue", nullptr, 0), 1);
    EXPECT_EQ(FakeSpooler::offered, std::vector<DWORD>{0});
    EXPECT_TRUE(messages_.boxes().empty());
}
