#include "ui/text.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

Text& Text::operator=(Text&& other) noexcept {
    if (this != &other) {
        std::free(data_);
        data_ = other.data_;
        size_ = other.size_;
        other.data_ = nullptr;
        other.size_ = 0;
    }
    return *this;
}

Text::~Text() { std::free(data_); }

Text Text::FormatList(const char* format, va_list args) {
    va_list measure;
    va_copy(measure, args);
    int length = std::vsnprintf(nullptr, 0, format, measure);
    va_end(measure);
    Text text;
    if (length <= 0) return text;
    text.data_ = static_cast<char*>(std::malloc(static_cast<size_t>(length) + 1));
    if (text.data_ == nullptr) return text;
    std::vsnprintf(text.data_, static_cast<size_t>(length) + 1, format, args);
    text.size_ = static_cast<size_t>(length);
    return text;
}

Text Text::Format(const char* format, ...) {
    va_list args;
    va_start(args, format);
    Text text = FormatList(format, args);
    va_end(args);
    return text;
}

Text Text::Copy(const char* text) { return Format("%s", text); }
