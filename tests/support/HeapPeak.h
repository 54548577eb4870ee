#pragma once

#include <QtGlobal>

#include <algorithm>
#include <atomic>
#include <cstddef>

#if defined(__SANITIZE_ADDRESS__)
extern "C" int __sanitizer_install_malloc_and_free_hooks(void (*malloc)(const volatile void*, size_t),
                                                         void (*free)(const volatile void*));
extern "C" size_t __sanitizer_get_allocated_size(const volatile void* p);
#endif

namespace tarnwick::test {

// The most heap a stretch of code held at once above what was live when it began, counted from
// the sizes asked of the allocator (all threads). Only where the sanitizer's allocator reports
// every allocation; available() is false elsewhere and the caller skips.
class HeapPeak {
public:
    static bool available() {
#if defined(__SANITIZE_ADDRESS__)
        static const bool installed = __sanitizer_install_malloc_and_free_hooks(onMalloc, onFree) != 0;
        return installed;
#else
        return false;
#endif
    }

    HeapPeak() {
        live() = 0;
        peak() = 0;
        counting() = available();
    }
    ~HeapPeak() {
        counting() = false;
    }
    qint64 bytes() const {
        return peak().load();
    }

private:
    static std::atomic<qint64>& live() {
        static std::atomic<qint64> value{0};
        return value;
    }
    static std::atomic<qint64>& peak() {
        static std::atomic<qint64> value{0};
        return value;
    }
    static std::atomic<bool>& counting() {
        static std::atomic<bool> value{false};
        return value;
    }
#if defined(__SANITIZE_ADDRESS__)
    static void onMalloc(const volatile void*, size_t size) {
        if (!counting())
            return;
        const qint64 now = live() += qint64(size);
        qint64 seen = peak();
        while (now > seen && !peak().compare_exchange_weak(seen, now)) {
        }
    }
    static void onFree(const volatile void* p) {
        if (counting())
            live() -= qint64(__sanitizer_get_allocated_size(p));
    }
#endif
};

} // namespace tarnwick::test
