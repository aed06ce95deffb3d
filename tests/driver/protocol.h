#pragma once
// The driver's line protocol: one request or reply per line, tab-separated fields, each field
// escaped (\\, \t, \n, \r) so that no text can break a line.
#include <stdexcept>
#include <string>
#include <vector>

using Fields = std::vector<std::string>;

// A request that cannot be carried out: its reply is err<TAB>what().
struct Failure : std::runtime_error {
    using std::runtime_error::runtime_error;
};

std::string Escape(const std::string& text);
std::string Unescape(const std::string& field);

// Escapes each field and joins them with tabs; the result can itself be one field of a reply.
std::string JoinFields(const Fields& fields);
Fields SplitFields(const std::string& line);

std::wstring Wide(const std::string& utf8);
std::string Utf8(const std::wstring& text);

// Standard input and output as raw byte pipes: no text-mode translation, no buffering.
bool ReadLine(std::string* line);
void WriteLine(const std::string& line);
