// Small owners for platform resources whose release must not be forgotten on
// an early return.
#pragma once

#include "platform/platform.h"

class ScopedFileHandle {
  public:
    explicit ScopedFileHandle(HANDLE handle) : handle_(handle) {}
    ~ScopedFileHandle() {
        if (valid())
            CloseHandle(handle_);
    }
    ScopedFileHandle(const ScopedFileHandle&) = delete;
    ScopedFileHandle& operator=(const ScopedFileHandle&) = delete;
    bool valid() const { return handle_ != INVALID_HANDLE_VALUE && handle_ != nullptr; }
    HANDLE get() const { return handle_; }

  private:
    HANDLE handle_;
};

class ScopedPreparsedData {
  public:
    ScopedPreparsedData() = default;
    ~ScopedPreparsedData() {
        if (data_ != nullptr)
            HidD_FreePreparsedData(data_);
    }
    ScopedPreparsedData(const ScopedPreparsedData&) = delete;
    ScopedPreparsedData& operator=(const ScopedPreparsedData&) = delete;
    PHIDP_PREPARSED_DATA* out() { return &data_; }
    PHIDP_PREPARSED_DATA get() const { return data_; }

  private:
    PHIDP_PREPARSED_DATA data_ = nullptr;
};
