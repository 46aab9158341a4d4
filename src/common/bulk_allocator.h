#pragma once

#include <sys/mman.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <new>
#include <utility>

// An allocator for the large buffers of a comparison (points, trees, per-point results). New
// elements are left uninitialised, since each is written before it is read, and a buffer of
// megabytes is backed by transparent huge pages where the kernel offers them on request: a
// 10^6-point pair otherwise spends a third of its time in page faults and zero-filling.
template <typename T> struct BulkAllocator {
  using value_type = T;

  BulkAllocator() = default;
  template <typename U> BulkAllocator(const BulkAllocator<U>&) noexcept {}

  T* allocate(std::size_t count) {
    if (count > static_cast<std::size_t>(-1) / sizeof(T))
      throw std::bad_alloc();
    const std::size_t bytes = count * sizeof(T);
    if (bytes < kOwnMappingBytes) {
      void* memory = std::malloc(bytes == 0 ? 1 : bytes);
      if (memory == nullptr)
        throw std::bad_alloc();
      return static_cast<T*>(memory);
    }
    // Mapped on its own, so that freeing it returns the memory at once, and aligned to a huge
    // page, with the unaligned ends given back.
    const std::size_t rounded = roundedBytes(bytes);
    void* mapped = mmap(nullptr, rounded + kHugePageBytes, PROT_READ | PROT_WRITE,
                        MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (mapped == MAP_FAILED)
      throw std::bad_alloc();
    const auto start = reinterpret_cast<std::uintptr_t>(mapped);
    const std::uintptr_t aligned = (start + kHugePageBytes - 1) / kHugePageBytes * kHugePageBytes;
    const std::size_t head = aligned - start;
    if (head > 0)
      munmap(mapped, head);
    munmap(reinterpret_cast<void*>(aligned + rounded), kHugePageBytes - head);
    // Only advice: without huge pages the buffer works the same.
    madvise(reinterpret_cast<void*>(aligned), rounded, MADV_HUGEPAGE);
    return reinterpret_cast<T*>(aligned);
  }
  void deallocate(T* memory, std::size_t count) noexcept {
    const std::size_t bytes = count * sizeof(T);
    if (bytes < kOwnMappingBytes)
      std::free(memory);
    else
      munmap(memory, roundedBytes(bytes));
  }

  template <typename U> void construct(U* place) noexcept { ::new (static_cast<void*>(place)) U; }
  template <typename U, typename... Args> void construct(U* place, Args&&... args) {
    ::new (static_cast<void*>(place)) U(std::forward<Args>(args)...);
  }

  static constexpr std::size_t kHugePageBytes = std::size_t{1} << 21;
  // A buffer from this size up takes whole huge pages of its own: one fault for each 2 MB,
  // where malloc's memory takes one for each 4 KB, each as slow here as zeroing a huge page.
  static constexpr std::size_t kOwnMappingBytes = std::size_t{1} << 19;

private:
  static std::size_t roundedBytes(std::size_t bytes) {
    return (bytes + kHugePageBytes - 1) / kHugePageBytes * kHugePageBytes;
  }
};

template <typename T, typename U>
bool operator==(const BulkAllocator<T>&, const BulkAllocator<U>&) noexcept {
  return true;
}
template <typename T, typename U>
bool operator!=(const BulkAllocator<T>&, const BulkAllocator<U>&) noexcept {
  return false;
}
