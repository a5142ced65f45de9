#ifndef KXCACHELINEVECTOR_H
#define KXCACHELINEVECTOR_H

// Scratch vectors whose data() starts on a cache line. Private to the
// library.

#include <cstddef>
#include <new>
#include <type_traits>
#include <utility>
#include <vector>

// Hands out memory that starts on a cache line (64 bytes): a buffer of
// 64-byte rows whose vectors are loaded and stored whole then never splits
// one across two lines, as the 16 bytes operator new promises would. A
// vector grown by resize() leaves its new elements default-initialised
// (numbers: unset), since its users write every element before reading it.
template <class T>
struct KXCacheLineAllocator {
    using value_type = T;
    static constexpr std::size_t kAlignment = 64; // the cache line
    KXCacheLineAllocator() = default;
    // Allocators of every type are interchangeable.
    template <class U>
    KXCacheLineAllocator(const KXCacheLineAllocator<U>&) noexcept
    {
    }
    T* allocate(std::size_t n) { return static_cast<T*>(::operator new(n * sizeof(T), std::align_val_t(kAlignment))); }
    void deallocate(T* p, std::size_t) noexcept { ::operator delete(p, std::align_val_t(kAlignment)); }
    // Default-initialises (numbers stay unset).
    template <class U>
    void construct(U* p) noexcept(std::is_nothrow_default_constructible<U>::value)
    {
        ::new (static_cast<void*>(p)) U;
    }
    template <class U, class... Args>
    void construct(U* p, Args&&... args)
    {
        ::new (static_cast<void*>(p)) U(std::forward<Args>(args)...);
    }
    // Always equal: any one frees what another allocated.
    template <class U>
    bool operator==(const KXCacheLineAllocator<U>&) const noexcept
    {
        return true;
    }
    template <class U>
    bool operator!=(const KXCacheLineAllocator<U>&) const noexcept
    {
        return false;
    }
};

// A vector whose data() lies on a cache line.
template <class T>
using KXCacheLineVector = std::vector<T, KXCacheLineAllocator<T>>;

#endif // KXCACHELINEVECTOR_H
