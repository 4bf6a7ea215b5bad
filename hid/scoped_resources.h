// Small owners for platform resources whose release must not be forgotten on
// an early return.
#pragma once

#include "platform/platform.h"

// Owns a handle-like value released by `Release`; null and INVALID_HANDLE_VALUE are empty.
template <typename Handle, auto Release>
class ScopedResource {
  public:
    explicit ScopedResource(Handle handle) : handle_(handle) {}
    ~ScopedResource() {
        if (valid())
            Release(handle_);
    }
    ScopedResource(const ScopedResource&) = delete;
    ScopedResource& operator=(const ScopedResource&) = delete;
    bool valid() const { return handle_ != INVALID_HANDLE_VALUE && handle_ != nullptr; }
    Handle get() const { return handle_; }

  private:
    Handle handle_;
};

using ScopedFileHandle = ScopedResource<HANDLE, &CloseHandle>;
using ScopedDeviceInfoList = ScopedResource<HDEVINFO, &SetupDiDestroyDeviceInfoList>;

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
