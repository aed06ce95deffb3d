#pragma once
#include <windows.h>

// The print spooler calls the updater makes, behind one table so tests can put a fake spooler
// in its place.
struct SpoolerApi {
    BOOL(WINAPI* enumPrinters)(DWORD, LPSTR, DWORD, LPBYTE, DWORD, LPDWORD, LPDWORD);
    BOOL(WINAPI* openPrinter)(LPSTR, LPHANDLE, LPPRINTER_DEFAULTSA);
    DWORD(WINAPI* startDocPrinter)(HANDLE, DWORD, LPBYTE);
    BOOL(WINAPI* startPagePrinter)(HANDLE);
    BOOL(WINAPI* writePrinter)(HANDLE, LPVOID, DWORD, LPDWORD);
    BOOL(WINAPI* endPagePrinter)(HANDLE);
    BOOL(WINAPI* endDocPrinter)(HANDLE);
    BOOL(WINAPI* abortPrinter)(HANDLE);
    BOOL(WINAPI* closePrinter)(HANDLE);
};

extern SpoolerApi spooler;

// Fills every empty entry of the table from the spooler's library, loaded from the system
// folder the first time. 1 when the table is complete, 0 with the last error set.
int LoadSpooler();

// The spooler library loaded by LoadSpooler, or null before.
HMODULE SpoolerModule();
