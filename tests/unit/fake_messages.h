#pragma once
#include <windows.h>

#include <string>
#include <vector>

#include "ui/messages.h"

// Records message boxes instead of showing them, for as long as it lives.
class RecordedMessages {
  public:
    struct Box {
        std::string text;
        std::string caption;
        UINT flags;
    };

    RecordedMessages() : previous_(showMessageBox) {
        current_ = this;
        showMessageBox = Record;
    }
    ~RecordedMessages() {
        showMessageBox = previous_;
        current_ = nullptr;
    }
    RecordedMessages(const RecordedMessages&) = delete;
    RecordedMessages& operator=(const RecordedMessages&) = delete;

    const std::vector<Box>& boxes() const { return boxes_; }
    // Something else that wants to see when a box comes, in order with other events.
    void (*onBox)(const char* text) = nullptr;

  private:
    static void Record(const char* text, const char* caption, UINT flags) {
        current_->boxes_.push_back(Box{text, caption, flags});
        if (current_->onBox) current_->onBox(text);
    }
    static inline RecordedMessages* current_ = nullptr;
    void (*previous_)(const char*, const char*, UINT);
    std::vector<Box> boxes_;
};
