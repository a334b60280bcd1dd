#pragma once
// What a file-structure reader hands to the object decoder: the four sections
// attribute extraction needs, each as the bytes that start with the section's
// begin sentinel (header, classes) or its first page (object map).
// One file-structure reader exists per version family:
//   R13 .. 2000 (AC1012-AC1015)   plain sections located by the file header
//   2004, 2010+ (AC1018, AC1024+) encrypted header, page and section maps, LZ77
//   2007        (AC1021)          Reed-Solomon coded header and pages, own LZ77

#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>
#include <span>
#include <utility>
#include <vector>

#include "error.h"

namespace dwg::detail {

enum class Version : std::uint8_t { R13, R14, R2000, R2004, R2007, R2010, R2013, R2018 };

// A few big blocks kept per thread after use, for the next drawing's file
// bytes and objects section: a run reads drawing after drawing on each
// thread, and memory fresh from the system costs a page fault for every
// 4 KiB first written, more than expanding the pages that write it.
namespace recycled {
// Blocks below this come from the allocator's own free lists anyway.
constexpr std::size_t kSmallest = std::size_t{1} << 20;
// At least n bytes (n >= kSmallest), a kept block when one fits.
std::uint8_t* allocate(std::size_t n);
// Keeps a block from allocate() for the next one, or frees it.
void release(std::uint8_t* p);
}  // namespace recycled

// Leaves the bytes a resize adds uninitialised (the file is read into them,
// the objects section's pages write them: zeroing first would cost as much
// as the walk reading them) and reuses big blocks.
template <class T>
struct UninitAllocator : std::allocator<T> {
    using std::allocator<T>::allocator;
    template <class U>
    struct rebind {
        using other = UninitAllocator<U>;
    };
    template <class U, class... Args>
    void construct(U* p, Args&&... args)
    {
        if constexpr (sizeof...(Args) == 0)
            ::new (static_cast<void*>(p)) U;
        else
            ::new (static_cast<void*>(p)) U(std::forward<Args>(args)...);
    }
    T* allocate(std::size_t n)
    {
        if constexpr (sizeof(T) == 1)
            if (n >= recycled::kSmallest)
                return reinterpret_cast<T*>(recycled::allocate(n));
        return std::allocator<T>::allocate(n);
    }
    void deallocate(T* p, std::size_t n)
    {
        if constexpr (sizeof(T) == 1)
            if (n >= recycled::kSmallest)
                return recycled::release(reinterpret_cast<std::uint8_t*>(p));
        std::allocator<T>::deallocate(p, n);
    }
};
using Bytes = std::vector<std::uint8_t, UninitAllocator<std::uint8_t>>;

// A compressed page of the objects section whose integrity (checksum,
// Reed-Solomon code) was checked when the section was read, expanded only
// when an object on it is read: attributes need the spaces' entities, rarely
// the other blocks, tables and dictionaries that make up much of a drawing.
struct DeferredPage {
    std::size_t start = 0;                 // in the section
    std::size_t room = 0;                  // bytes the page may write from start
    std::size_t need = 0;                  // 2004: bytes it must produce; 2007: its compressed size
    std::span<const std::uint8_t> stored;  // in the file
    bool expanded = false;
    Error result = Error::Ok;  // of the expansion, once expanded
};

// Expands `stored` into `target` (room bytes).
using ExpandPage = Error (*)(std::span<const std::uint8_t> stored, std::span<std::uint8_t> target, std::size_t need);

struct DeferredPages {
    std::vector<DeferredPage> pages;  // by start, each within its own room
    std::uint8_t* section = nullptr;  // objects_storage's bytes
    ExpandPage expand = nullptr;
    std::size_t last = 0;  // the page used last
};

struct Sections {
    Version version = Version::R13;
    std::uint8_t maintenance = 0;       // maintenance release byte of the file header
    std::vector<std::uint8_t> header;   // header variables section
    std::vector<std::uint8_t> classes;  // classes section
    std::vector<std::uint8_t> handles;  // object map
    // The bytes the object map's offsets point into: the whole file for
    // R13-2000, the decompressed objects section from 2004 on (then held in
    // objects_storage).
    std::span<const std::uint8_t> objects;
    Bytes objects_storage;  // only the bytes no page writes are zeroed
    // Checksums that did not match on structures whose contents were sane.
    std::uint32_t checksum_mismatches = 0;

    // Set before reading to leave objects pages compressed until they are
    // used (2004 on); load_objects then expands them. A Sections with
    // deferred pages is not copied.
    bool defer_objects = false;
    mutable DeferredPages deferred;
    // Makes bytes [offset, offset + size) of `objects` hold the section's
    // bytes, or says why the page holding them cannot be expanded.
    Error load_objects(std::size_t offset, std::size_t size) const
    {
        return deferred.pages.empty() ? Error::Ok : load_deferred(offset, size);
    }

private:
    Error load_deferred(std::size_t offset, std::size_t size) const;
};

// Each reader fills `out` from the whole file's bytes or returns why not.
// `file` outlives `out` (R13-2000 point into it).
Error read_sections_r13(std::span<const std::uint8_t> file, Sections& out);
Error read_sections_r2004(std::span<const std::uint8_t> file, Sections& out);
Error read_sections_r2007(std::span<const std::uint8_t> file, Sections& out);

}  // namespace dwg::detail
