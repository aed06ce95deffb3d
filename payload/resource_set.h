#pragma once
#include <windows.h>

#include <cstdint>
#include "payload/resource_directory.h"
#include "ui/text.h"

// Entries of the running module's own resources, found by our lookup rule: the language-0 entry
// wins wherever one exists, whatever order the platform's own lookup would take.
// Returns the entry in place (never copied), or null with the last error set.
const uint8_t* FindOwnResource(HMODULE module, resource_directory::Key type,
                               resource_directory::Key name, uint32_t* size);

// String `id` of the module, converted to the ANSI code page as LoadStringA does and cut to
// `maxChars`; empty when missing.
Text LoadOwnString(HMODULE module, int id, size_t maxChars);

// Makes the embedded payload entry the current payload: 1, or 0 with the last error set.
int FindDownloadableFile();
