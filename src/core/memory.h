// Allocation of large buffers (sample planes, tables) with a budget that tests can lower.
#pragma once

#include <cstddef>
#include <memory>
#include <new>

namespace quillon::memory {

// Reserves `bytes` against the budget; throws std::bad_alloc when the budget would be
// exceeded. Pair every successful reserve with release().
void reserve(std::size_t bytes);
void release(std::size_t bytes) noexcept;

// Bytes currently reserved through this module.
std::size_t inUse() noexcept;

// Sets the budget in bytes (0 = unlimited). Meant for tests that exercise out-of-memory
// paths; also usable to cap a batch run. Returns the previous budget.
std::size_t setLimit(std::size_t bytes) noexcept;

// Sets the budget to three quarters of the physical memory, so that an image too large for
// the machine is refused with a message instead of being paged to death or killed by the
// kernel's out-of-memory handling. The programs call this at start.
void limitToPhysicalMemory() noexcept;

// A buffer of T allocated under the budget. Value-initialised (zero) when asked.
template <class T>
class Buffer {
public:
    Buffer() = default;
    explicit Buffer(std::size_t count, bool zero = true) { allocate(count, zero); }
    Buffer(Buffer&& o) noexcept : data_(o.data_), count_(o.count_) {
        o.data_ = nullptr;
        o.count_ = 0;
    }
    Buffer& operator=(Buffer&& o) noexcept {
        if (this != &o) {
            reset();
            data_ = o.data_;
            count_ = o.count_;
            o.data_ = nullptr;
            o.count_ = 0;
        }
        return *this;
    }
    Buffer(const Buffer&) = delete;
    Buffer& operator=(const Buffer&) = delete;
    ~Buffer() { reset(); }

    // Throws std::bad_alloc on failure; the buffer is then empty.
    void allocate(std::size_t count, bool zero = true) {
        reset();
        if (count == 0) return;
        if (count > static_cast<std::size_t>(-1) / sizeof(T)) throw std::bad_alloc();
        std::size_t bytes = count * sizeof(T);
        reserve(bytes);
        T* p = zero ? new (std::nothrow) T[count]() : new (std::nothrow) T[count];
        if (!p) {
            release(bytes);
            throw std::bad_alloc();
        }
        data_ = p;
        count_ = count;
    }
    void reset() noexcept {
        if (data_) {
            delete[] data_;
            release(count_ * sizeof(T));
        }
        data_ = nullptr;
        count_ = 0;
    }

    T* data() noexcept { return data_; }
    const T* data() const noexcept { return data_; }
    std::size_t size() const noexcept { return count_; }
    bool empty() const noexcept { return count_ == 0; }
    T& operator[](std::size_t i) noexcept { return data_[i]; }
    const T& operator[](std::size_t i) const noexcept { return data_[i]; }
    T* begin() noexcept { return data_; }
    T* end() noexcept { return data_ + count_; }
    const T* begin() const noexcept { return data_; }
    const T* end() const noexcept { return data_ + count_; }

private:
    T* data_ = nullptr;
    std::size_t count_ = 0;
};

// Lowers the budget for the lifetime of the object (tests).
class ScopedLimit {
public:
    explicit ScopedLimit(std::size_t bytes) : previous_(setLimit(bytes)) {}
    ~ScopedLimit() { setLimit(previous_); }
    ScopedLimit(const ScopedLimit&) = delete;
    ScopedLimit& operator=(const ScopedLimit&) = delete;

private:
    std::size_t previous_;
};

} // namespace quillon::memory
