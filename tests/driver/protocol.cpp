#include "protocol.h"

#include <windows.h>

std::string Escape(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        switch (c) {
        case '\\':
            out += "\\\\";
            break;
        case '\t':
            out += "\\t";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        default:
            out += c;
        }
    }
    return out;
}

std::string Unescape(const std::string& field) {
    std::string out;
    out.reserve(field.size());
    for (size_t i = 0; i < field.size(); ++i) {
        char c = field[i];
        if (c != '\\' || i + 1 == field.size()) {
            out += c;
            continue;
        }
        char code = field[++i];
        out += code == 't' ? '\t' : code == 'n' ? '\n' : code == 'r' ? '\r' : code;
    }
    return out;
}

std::string JoinFields(const Fields& fields) {
    std::string line;
    for (size_t i = 0; i < fields.size(); ++i) {
        if (i != 0)
            line += '\t';
        line += Escape(fields[i]);
    }
    return line;
}

Fields SplitFields(const std::string& line) {
    Fields fields;
    size_t start = 0;
    for (;;) {
        size_t tab = line.find('\t', start);
        fields.push_back(Unescape(line.substr(start, tab - start)));
        if (tab == std::string::npos)
            return fields;
        start = tab + 1;
    }
}

std::wstring Wide(const std::string& utf8) {
    if (utf8.empty())
        return std::wstring();
    int length =
        MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring text(static_cast<size_t>(length), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), &text[0], length);
    return text;
}

std::string Utf8(const std::wstring& text) {
    if (text.empty())
        return std::string();
    int length = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                     nullptr, 0, nullptr, nullptr);
    std::string utf8(static_cast<size_t>(length), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &utf8[0], length,
                        nullptr, nullptr);
    return utf8;
}

bool ReadLine(std::string* line) {
    static std::string pending;
    for (;;) {
        size_t newline = pending.find('\n');
        if (newline != std::string::npos) {
            line->assign(pending, 0, newline);
            pending.erase(0, newline + 1);
            if (!line->empty() && line->back() == '\r')
                line->pop_back();
            return true;
        }
        char chunk[4096];
        DWORD got = 0;
        if (!ReadFile(GetStdHandle(STD_INPUT_HANDLE), chunk, sizeof chunk, &got, nullptr) ||
            got == 0)
            return false;
        pending.append(chunk, got);
    }
}

void WriteLine(const std::string& line) {
    std::string bytes = line + '\n';
    HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    size_t written = 0;
    while (written < bytes.size()) {
        DWORD put = 0;
        if (!WriteFile(out, bytes.data() + written, static_cast<DWORD>(bytes.size() - written),
                       &put, nullptr) ||
            put == 0)
            return;
        written += put;
    }
}
