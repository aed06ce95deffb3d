#pragma once
#include <windows.h>

#include <cstdint>

// Each returns 1 on success, or 0 after it has shown the failure to the user.

// Sends through the spooler or straight to the network host, as netMode says at this moment.
int SendDataTo(const char* printerName, const void* data, uint32_t length);

// One raw job of the whole range to the named spooler queue.
int SendDataToSpooler(const char* printerName, const void* data, uint32_t length);

// The whole range over TCP to port 9100 of the host typed in the main dialog's network field.
int SendDataToNetHost(const void* data, uint32_t length);

// Waits until the printer has acknowledged every byte of the last network job: 1 then (at once
// after a spooler job), or 0 after showing the failure, a time-out after deliveryBoundMs among
// them. Meanwhile the window paints and takes the mouse and keyboard, so an enabled Exit works,
// but no posted command. 0 with no message once `userLeft` says the window is going.
int AwaitDelivery(bool (*userLeft)());

// How long a job waits for the printer's acknowledgement. Each executable sets it.
extern const DWORD deliveryBoundMs;

// Whether the printer has already refused the last network job, whose end it had not
// acknowledged: the completion wait stops early then.
bool DeliveryFailed();

// Fills the dialog's printer list with the spooler's printers, in the order it returns them.
int EnumLocalPrinters(HWND dialog);
