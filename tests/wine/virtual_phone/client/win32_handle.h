// Owning wrappers for the Win32 handles the virtual phone tools hold.
#pragma once

#include <windows.h>

#include <setupapi.h>

#include <utility>

namespace vphone {

template <typename Traits>
class UniqueHandle {
  public:
    using Value = typename Traits::Value;
    UniqueHandle() = default;
    explicit UniqueHandle(Value value) : value_(value) {}
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;
    UniqueHandle(UniqueHandle&& other) noexcept
        : value_(std::exchange(other.value_, Traits::invalid())) {}
    UniqueHandle& operator=(UniqueHandle&& other) noexcept {
        if (this != &other) {
            reset();
            value_ = std::exchange(other.value_, Traits::invalid());
        }
        return *this;
    }
    ~UniqueHandle() { reset(); }

    [[nodiscard]] Value get() const { return value_; }
    [[nodiscard]] bool valid() const { return value_ != Traits::invalid(); }
    void reset() {
        if (valid())
            Traits::close(std::exchange(value_, Traits::invalid()));
    }

  private:
    Value value_ = Traits::invalid();
};

struct FileHandleTraits {
    using Value = HANDLE;
    static Value invalid() { return INVALID_HANDLE_VALUE; }
    static void close(Value value) { CloseHandle(value); }
};

struct KernelHandleTraits {
    using Value = HANDLE;
    static Value invalid() { return nullptr; }
    static void close(Value value) { CloseHandle(value); }
};

struct DeviceInfoSetTraits {
    using Value = HDEVINFO;
    static Value invalid() { return INVALID_HANDLE_VALUE; }
    static void close(Value value) { SetupDiDestroyDeviceInfoList(value); }
};

struct ServiceHandleTraits {
    using Value = SC_HANDLE;
    static Value invalid() { return nullptr; }
    static void close(Value value) { CloseServiceHandle(value); }
};

using FileHandle = UniqueHandle<FileHandleTraits>;
using KernelHandle = UniqueHandle<KernelHandleTraits>;
using DeviceInfoSet = UniqueHandle<DeviceInfoSetTraits>;
using ServiceHandle = UniqueHandle<ServiceHandleTraits>;

}  // namespace vphone
