#include "base/updater_state.h"
#include "transport/transport.h"

int SendDataTo(const char* printerName, const void* data, uint32_t length) {
    if (netMode) return SendDataToNetHost(data, length);
    return SendDataToSpooler(printerName, data, length);
}
