#pragma once
// Reading block attributes from a DWG drawing or a DXF file (ASCII or
// binary); which one a file is, its content says, not its name.
//
//   dwg::Drawing d;
//   if (dwg::Drawing::open(path, d) != dwg::Error::Ok) ...
//   std::uint64_t block; d.find_block("*Model_Space", block);
//   std::vector<dwg::Entity> list; d.entities(block, list);
//
// One Drawing per file; a Drawing is not shared between threads while it is
// read, different Drawings may be read on different threads at once.

#include <cstdint>
#include <filesystem>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "error.h"

namespace dwg {

namespace detail {
struct Document;
}

// The numbers are the drawing component's entity kinds.
enum class EntityKind : std::uint16_t { Other = 0, BlockReference = 7, Attribute = 16 };

struct Entity {
    EntityKind kind = EntityKind::Other;
    std::uint64_t handle = 0;
    std::string tag;    // attributes only, UTF-8
    std::string value;  // attributes only, UTF-8
};

// What the reader passed over in a drawing it could otherwise read: objects
// that are missing from the object map or do not decode, and pages whose
// checksum does not match although their contents are sane.
struct Warnings {
    std::uint32_t skipped_objects = 0;
    std::uint32_t checksum_mismatches = 0;
    bool any() const { return skipped_objects != 0 || checksum_mismatches != 0; }
};

class Drawing {
public:
    Drawing();
    ~Drawing();
    Drawing(Drawing&&) noexcept;
    Drawing& operator=(Drawing&&) noexcept;

    // Reads the file and its structure (sections, object map, classes).
    // FileNotFound when the path names no file. A DXF file is read once, as
    // a stream, keeping only its block references and attributes.
    static Error open(const std::filesystem::path& path, Drawing& out);
    // The drawing keeps a copy of `bytes`.
    static Error parse(std::span<const std::uint8_t> bytes, Drawing& out);

    // The six-character version string at the start of the file ("AC1015");
    // for a DXF file its $ACADVER, empty when the header does not give it.
    std::string_view version() const;

    // "*Model_Space" and "*Paper_Space" (any letter case) name the model space
    // and the active layout's paper space; any other name is looked up among
    // the block records. `block` is the block record's handle.
    Error find_block(std::string_view name, std::uint64_t& block) const;

    // Every entity of the block once, in the block's stored order; each block
    // reference is followed by its attributes in their own order. On an error
    // `out` keeps the entities read before it. A DXF file lists only its
    // block references and their attributes.
    Error entities(std::uint64_t block, std::vector<Entity>& out) const;

    // What was passed over so far: while opening, and in the blocks read.
    Warnings warnings() const;

private:
    std::unique_ptr<detail::Document> doc_;
};

}  // namespace dwg
