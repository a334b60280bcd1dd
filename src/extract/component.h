#pragma once
// The drawing component: five objects over the DWG reader, used in one fixed
// order (Initialize, OpenDrawing, FindBlock, BlockReader::Attach,
// EntityListKey, OpenIterator, CountEntities, Rewind, then count times
// StepNext / CurrentKind / CurrentEntity, AttributeReader on kind 16,
// CloseDrawing). Every object is created for one reading and works on the
// engine it was created with; nothing is shared between engines.
//
// LastError values are dwg::Error numbers: 0 none, 3 file not found, the
// others as listed in dwg/error.h.

#include <cstdint>
#include <deque>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "dwg/drawing.h"

namespace extract {

// Entity kinds reported by EntityIterator::CurrentKind.
inline constexpr std::uint16_t kKindBlockReference = 7;
inline constexpr std::uint16_t kKindAttribute = 16;

class DrawingEngine {
public:
    void Initialize();
    // `mode` and `flags` are accepted for the calling convention and ignored.
    // Returns a drawing handle (> 0), or 0 with LastError set.
    std::int32_t OpenDrawing(const std::filesystem::path& path, std::uint8_t mode, std::int32_t flags);
    // "*Model_Space" / "*Paper_Space" or any block name; "" with LastError set
    // when there is no such block.
    std::string FindBlock(std::int32_t handle, const std::string& blockName);
    // Harmless on a handle that was never opened or is already closed; leaves
    // LastError as the previous call set it.
    void CloseDrawing(std::int32_t handle);
    std::uint16_t LastError() const { return last_error_; }
    // What the reader passed over in an open drawing; none for other handles.
    dwg::Warnings Warnings(std::int32_t handle) const;

private:
    friend class BlockReader;
    friend class EntityIterator;
    friend class AttributeReader;

    struct Open {
        dwg::Drawing drawing;
        // entity lists already read, by block record handle
        std::map<std::uint64_t, std::size_t> lists;
    };
    struct List {
        std::vector<dwg::Entity> entities;
        dwg::Error error = dwg::Error::Ok;
        std::size_t first_id = 0;  // ids of one list are consecutive
    };

    Open* drawing(std::int32_t handle);
    // Reads (once) the entity list of a block; the index into lists_.
    std::size_t list_of(Open& d, std::uint64_t block);
    const dwg::Entity* entity(std::int32_t id) const;

    bool initialized_ = false;
    std::uint16_t last_error_ = 0;
    std::map<std::int32_t, std::unique_ptr<Open>> open_;
    std::int32_t next_handle_ = 1;
    // Lists outlive CloseDrawing so that ids stay valid for the engine's life.
    std::deque<List> lists_;
    // entity id - 1 -> (list, index)
    std::vector<std::pair<std::size_t, std::size_t>> entity_ids_;
};

// Created with the engine and released at the end; nothing is called on it.
class CompanionObject {
public:
    explicit CompanionObject(DrawingEngine&) {}
};

class BlockReader {
public:
    explicit BlockReader(DrawingEngine& engine) : engine_(engine) {}
    void Attach(std::int32_t handle, const std::string& blockId);
    // Names the attached block's entity list for EntityIterator.
    std::string EntityListKey() const { return key_; }
    std::uint16_t LastError() const { return last_error_; }

private:
    DrawingEngine& engine_;
    std::string key_;
    std::uint16_t last_error_ = 0;
};

class EntityIterator {
public:
    explicit EntityIterator(DrawingEngine& engine) : engine_(engine) {}
    // Returns an iterator id (> 0), or 0 with LastError set. When the block
    // could be read only up to damage in the drawing, the iterator walks the
    // entities before it, and LastError here and on the engine says so.
    std::int32_t OpenIterator(std::int32_t handle, const std::string& key);
    std::int32_t CountEntities(std::int32_t handle, const std::string& key);
    void Rewind(std::int32_t iterator);
    void StepNext(std::int32_t iterator);
    std::uint16_t CurrentKind() const { return current_kind_; }
    std::int32_t CurrentEntity() const { return current_entity_; }
    std::uint16_t LastError() const { return last_error_; }

private:
    struct Position {
        std::size_t list = 0;
        std::size_t next = 0;  // index of the entity StepNext moves to
    };
    bool resolve(std::int32_t handle, const std::string& key, std::size_t& list);

    DrawingEngine& engine_;
    std::vector<Position> iterators_;
    std::uint16_t current_kind_ = 0;
    std::int32_t current_entity_ = 0;
    std::uint16_t last_error_ = 0;
};

class AttributeReader {
public:
    explicit AttributeReader(DrawingEngine& engine) : engine_(engine) {}
    // An id that names no attribute leaves Tag and TextValue empty.
    void Attach(std::int32_t entity);
    std::string Tag() const { return tag_; }
    std::string TextValue() const { return value_; }

private:
    DrawingEngine& engine_;
    std::string tag_;
    std::string value_;
};

}  // namespace extract
