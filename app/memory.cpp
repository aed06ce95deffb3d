// Global allocation on the process heap. The standard library's versions throw on failure,
// which would bring its exception machinery into a program that uses none.
#include <windows.h>

#include <cstddef>
#include <new>

void* operator new(std::size_t size) {
    void* p = HeapAlloc(GetProcessHeap(), 0, size != 0 ? size : 1);
    if (p == nullptr) FatalAppExitA(0, "Out of memory");
    return p;
}

void operator delete(void* p) noexcept {
    if (p != nullptr) HeapFree(GetProcessHeap(), 0, p);
}

void operator delete(void* p, std::size_t) noexcept { operator delete(p); }
