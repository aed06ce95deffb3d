#include "transport/net_send.h"

#include <windows.h>

#include "base/updater_state.h"
#include "resources/resource_ids.h"
#include "transport/drain_wait.h"
#include "transport/net_drain.h"
#include "transport/socket_handle.h"
#include "transport/transport.h"
#include "ui/message_text.h"
#include "ui/messages.h"

namespace {

constexpr u_short kRawPort = 9100;
constexpr int kHostBufferSize = 255; // at most 254 characters
// Each send costs two round trips to Wine's server, however much it takes: 1 MB pieces cost a
// 256 MB job a tenth more than one blocking send on two cores. Pieces of half the largest send
// buffer Linux grows by default still leave room while the printer reads, where larger ones fill
// it and, on one core, cost a third more.
constexpr uint32_t kLargestPiece = 2u << 20;
constexpr int kShutdownSend = 1; // SD_SEND

constexpr int kDrainBuffer = 512;
// Once the printer has closed its side, how often the wait for room looks for a reset.
constexpr long kEndedTurnMicroseconds = 100 * 1000;
// How often the wait for room gives the send a chance to see that the printer has taken nothing
// for too long.
constexpr long kRoomTurnSeconds = 1;

// Why the peer made the socket readable: the connection's pending error, else what a read
// says. Bytes the printer sends back (a status report) are read and dropped; its end of
// sending ends nothing, since it may go on reading the job (0 for both).
int ReadPeer(SOCKET socket, const WaitCalls& calls, bool& printerEnded) {
    int pending = PendingError(socket, calls.getsockopt);
    if (pending != 0) return pending;
    char dropped[kDrainBuffer];
    int read = calls.recv(socket, dropped, sizeof dropped, 0);
    if (read == SOCKET_ERROR) return WSAGetLastError();
    if (read == 0) printerEnded = true;
    return 0;
}

// Shows the send's failure once the connection is reset, so the printer never takes the part of
// the job it has for all of it.
int FailSend(UniqueSocket& socket) {
    int error = WSAGetLastError();
    ResetOnClose(socket.get());
    socket.reset();
    displayWSAErrorCode("send", error);
    return 0;
}

} // namespace

int WaitForRoom(SOCKET socket, const WaitCalls& calls, bool& printerEnded) {
    fd_set readable;
    fd_set writable;
    fd_set failed;
    FD_ZERO(&readable);
    FD_ZERO(&writable);
    FD_ZERO(&failed);
    // A reset or close shows in the read set only; the socket need never become writable. After
    // the printer's close the socket reads as readable for good, so the connection's error is
    // looked at every turn instead.
    if (!printerEnded) FD_SET(socket, &readable);
    FD_SET(socket, &writable);
    FD_SET(socket, &failed);
    timeval turn = printerEnded ? timeval{0, kEndedTurnMicroseconds} : timeval{kRoomTurnSeconds, 0};
    if (calls.select(0, &readable, &writable, &failed, &turn) == SOCKET_ERROR)
        return SOCKET_ERROR;
    int error = 0;
    if (printerEnded)
        error = PendingError(socket, calls.getsockopt);
    else if (FD_ISSET(socket, &readable))
        error = ReadPeer(socket, calls, printerEnded);
    if (error == 0 || error == WSAEWOULDBLOCK) return 0; // no failure: try the send again
    WSASetLastError(error);
    return SOCKET_ERROR;
}

int WaitWritable(SOCKET socket, bool& printerEnded) {
    static const WaitCalls kSocketLibrary = {::select, ::getsockopt, ::recv};
    return WaitForRoom(socket, kSocketLibrary, printerEnded);
}

int SendAll(SOCKET socket, const uint8_t* data, uint32_t length, SendFunction sendFn,
            WaitFunction waitFn) {
    bool printerEnded = false;
    DWORD lastTaken = GetTickCount();
    while (length > 0) {
        uint32_t piece = length < kLargestPiece ? length : kLargestPiece;
        int sent = sendFn(socket, reinterpret_cast<const char*>(data), static_cast<int>(piece), 0);
        if (sent == SOCKET_ERROR && WSAGetLastError() == WSAEWOULDBLOCK) {
            // A printer that hangs while its network stack still answers keeps the connection,
            // and the buffer full, for ever: the job is then as good as refused.
            if (GetTickCount() - lastTaken >= deliveryBoundMs) {
                WSASetLastError(WSAETIMEDOUT);
                return 0;
            }
            if (waitFn(socket, printerEnded) != 0) return 0;
            continue;
        }
        if (sent == SOCKET_ERROR) return 0;
        if (sent <= 0) {
            // Nothing taken and no error of its own: the last error is stale, so name the reset.
            WSASetLastError(WSAECONNRESET);
            return 0;
        }
        data += sent;
        length -= static_cast<uint32_t>(sent);
        lastTaken = GetTickCount();
    }
    return 1;
}

int SendDataToNetHost(const void* data, uint32_t length) {
    char host[kHostBufferSize] = {};
    GetDlgItemTextA(mainDialog, IDC_NET_HOST, host, sizeof host);
    if (host[0] == '\0') {
        displayMsg1(msg::kEnterHostName);
        return 0;
    }
    hostent* entry = gethostbyname(host);
    if (entry == nullptr || entry->h_addr_list == nullptr || entry->h_addr_list[0] == nullptr) {
        displayMsg2(msg::kCouldntFindPrinter, host);
        return 0;
    }
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_port = htons(kRawPort);
    memcpy(&address.sin_addr, entry->h_addr_list[0], sizeof address.sin_addr);
    EndDrainingTo(address.sin_addr);

    UniqueSocket socket(::socket(AF_INET, SOCK_STREAM, 0));
    if (!socket) {
        displayWSAError("socket");
        return 0;
    }
    if (connect(socket.get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        displayMsg1(msg::kUnableToConnect);
        return 0;
    }
    // Sending without blocking, and waiting for room in between, lets a reset by the printer
    // surface as an error: a blocking send can wait for ever for room on a reset connection.
    u_long nonBlocking = 1;
    if (ioctlsocket(socket.get(), FIONBIO, &nonBlocking) != 0 ||
        !SendAll(socket.get(), static_cast<const uint8_t*>(data), length, ::send)) {
        return FailSend(socket);
    }
    // Our own end names the connection in the system's table; without it nothing could ever
    // tell whether the printer has the job.
    Endpoints ends = {{}, address};
    int size = sizeof ends.local;
    if (getsockname(socket.get(), reinterpret_cast<sockaddr*>(&ends.local), &size) != 0) {
        return FailSend(socket);
    }
    // Whether the printer closed its side before ours. A read that shows the end may also be a
    // reset whose error the socket library has taken: the table tells the two apart.
    DrainResult early = DrainReadable(socket.get(), ::recv);
    if (early == DrainResult::Reset) {
        return FailSend(socket);
    }
    bool printerClosedFirst = early == DrainResult::Closed &&
                              ReadTcpEnd(ends) == TableRow::PrinterClosedFirst;
    // End the job cleanly: the printer sees end of stream after the last byte, and the
    // connection stays open, its replies read and dropped, until the printer has every byte
    // and closes it. The table's first look after our close also tells whether this system's
    // table shows closing states at all.
    if (shutdown(socket.get(), kShutdownSend) != 0) {
        return FailSend(socket);
    }
    KeepDraining(socket.release(), ends, printerClosedFirst, ReadTcpEnd(ends));
    StartSweeping();
    return 1;
}
