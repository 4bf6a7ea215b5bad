// What every fuzz target shares: a reader over the fuzzer's bytes and the
// check that stops the run with a message when an invariant breaks.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace fuzzing {

[[noreturn]] inline void Fail(const char* condition, const char* what, const char* file, int line) {
    std::fprintf(stderr, "%s:%d: invariant broken: %s\n    (%s)\n", file, line, what, condition);
    std::abort();
}

// Reads the input front to back; past its end every read gives zeros.
class ByteReader {
  public:
    ByteReader(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

    bool empty() const { return position_ >= size_; }
    std::size_t remaining() const { return empty() ? 0 : size_ - position_; }

    std::uint8_t Byte() { return empty() ? 0 : data_[position_++]; }
    std::uint16_t U16() {
        const std::uint16_t low = Byte();
        return static_cast<std::uint16_t>(low | (Byte() << 8));
    }
    // Up to `count` bytes: fewer when the input ends first.
    std::vector<std::uint8_t> Bytes(std::size_t count) {
        const std::size_t taken = count < remaining() ? count : remaining();
        std::vector<std::uint8_t> bytes(data_ + position_, data_ + position_ + taken);
        position_ += taken;
        return bytes;
    }

  private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t position_ = 0;
};

// A zeroed heap block of exactly `size` bytes, so that any read past it is an
// AddressSanitizer report. A 0-byte allocation stays readable under ASan, so an
// empty block points just past a 1-byte one instead.
class ExactBlock {
  public:
    explicit ExactBlock(std::size_t size)
        : storage_(new char[size == 0 ? 1 : size]()),
          data_(size == 0 ? storage_.get() + 1 : storage_.get()) {}
    char* data() const { return data_; }

  private:
    std::unique_ptr<char[]> storage_;
    char* data_;
};

}  // namespace fuzzing

// Stops the run (libFuzzer keeps the input) when `condition` is false.
#define FUZZ_REQUIRE(condition, what) \
    ((condition) ? static_cast<void>(0) : ::fuzzing::Fail(#condition, what, __FILE__, __LINE__))
