#pragma once
#include <cstdarg>
#include <cstddef>

// A message text of any length: heap storage sized to fit, freed once. Keeps the product free
// of the standard library's string, whose error paths pull its exception machinery in.
class Text {
  public:
    Text() = default;
    Text(const Text&) = delete;
    Text& operator=(const Text&) = delete;
    Text(Text&& other) noexcept : data_(other.data_), size_(other.size_) {
        other.data_ = nullptr;
        other.size_ = 0;
    }
    Text& operator=(Text&& other) noexcept;
    ~Text();

    // printf-style formatting into a buffer of exactly the needed size.
    static Text Format(const char* format, ...);
    static Text Copy(const char* text);

    const char* c_str() const { return data_ != nullptr ? data_ : ""; }
    size_t size() const { return size_; }
    bool empty() const { return size_ == 0; }

  private:
    static Text FormatList(const char* format, va_list args);
    char* data_ = nullptr;
    size_t size_ = 0;
};
