// Imports the socket library as wsock32.dll, the way a program exposed to a planted DLL does:
// the control case of the planted-DLL test.
#include <winsock.h>

int main() {
    WSAGetLastError();
    return 0;
}
