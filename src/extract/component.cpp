#include "component.h"

#include <charconv>

namespace extract {

namespace {

constexpr auto code(dwg::Error e) { return static_cast<std::uint16_t>(e); }

// "<drawing handle>:<block handle in hex>"
std::string make_key(std::int32_t handle, std::uint64_t block)
{
    std::string key = std::to_string(handle);
    char buf[20];
    const auto r = std::to_chars(buf, buf + sizeof buf, block, 16);
    key += ':';
    key.append(buf, r.ptr);
    return key;
}

bool parse_key(const std::string& key, std::int32_t& handle, std::uint64_t& block)
{
    const char* first = key.data();
    const char* last = first + key.size();
    auto r = std::from_chars(first, last, handle);
    if (r.ec != std::errc{} || r.ptr == last || *r.ptr != ':')
        return false;
    r = std::from_chars(r.ptr + 1, last, block, 16);
    return r.ec == std::errc{} && r.ptr == last;
}

bool parse_block_id(const std::string& id, std::uint64_t& block)
{
    auto r = std::from_chars(id.data(), id.data() + id.size(), block, 16);
    return !id.empty() && r.ec == std::errc{} && r.ptr == id.data() + id.size();
}

}  // namespace

void DrawingEngine::Initialize()
{
    initialized_ = true;
    last_error_ = 0;
}

std::int32_t DrawingEngine::OpenDrawing(const std::filesystem::path& path, std::uint8_t, std::int32_t)
{
    if (!initialized_) {
        last_error_ = code(dwg::Error::BadArgument);
        return 0;
    }
    auto d = std::make_unique<Open>();
    const dwg::Error e = dwg::Drawing::open(path, d->drawing);
    last_error_ = code(e);
    if (e != dwg::Error::Ok)
        return 0;
    const std::int32_t handle = next_handle_++;
    open_.emplace(handle, std::move(d));
    return handle;
}

DrawingEngine::Open* DrawingEngine::drawing(std::int32_t handle)
{
    const auto it = open_.find(handle);
    return it == open_.end() ? nullptr : it->second.get();
}

std::string DrawingEngine::FindBlock(std::int32_t handle, const std::string& blockName)
{
    Open* d = drawing(handle);
    if (!d) {
        last_error_ = code(dwg::Error::BadArgument);
        return {};
    }
    std::uint64_t block = 0;
    const dwg::Error e = d->drawing.find_block(blockName, block);
    last_error_ = code(e);
    if (e != dwg::Error::Ok)
        return {};
    char buf[20];
    const auto r = std::to_chars(buf, buf + sizeof buf, block, 16);
    return std::string(buf, r.ptr);
}

dwg::Warnings DrawingEngine::Warnings(std::int32_t handle) const
{
    const auto it = open_.find(handle);
    return it == open_.end() ? dwg::Warnings{} : it->second->drawing.warnings();
}

void DrawingEngine::CloseDrawing(std::int32_t handle) { open_.erase(handle); }

std::size_t DrawingEngine::list_of(Open& d, std::uint64_t block)
{
    if (const auto it = d.lists.find(block); it != d.lists.end())
        return it->second;
    List list;
    list.error = d.drawing.entities(block, list.entities);
    const std::size_t index = lists_.size();
    list.first_id = entity_ids_.size();
    entity_ids_.reserve(list.first_id + list.entities.size());
    for (std::size_t i = 0; i < list.entities.size(); ++i) entity_ids_.emplace_back(index, i);
    lists_.push_back(std::move(list));
    d.lists.emplace(block, index);
    return index;
}

const dwg::Entity* DrawingEngine::entity(std::int32_t id) const
{
    if (id <= 0 || static_cast<std::size_t>(id) > entity_ids_.size())
        return nullptr;
    const auto [list, index] = entity_ids_[static_cast<std::size_t>(id) - 1];
    return &lists_[list].entities[index];
}

void BlockReader::Attach(std::int32_t handle, const std::string& blockId)
{
    key_.clear();
    std::uint64_t block = 0;
    if (!engine_.drawing(handle) || !parse_block_id(blockId, block)) {
        last_error_ = code(dwg::Error::BadArgument);
        return;
    }
    key_ = make_key(handle, block);
    last_error_ = 0;
}

bool EntityIterator::resolve(std::int32_t handle, const std::string& key, std::size_t& list)
{
    std::int32_t key_handle = 0;
    std::uint64_t block = 0;
    DrawingEngine::Open* d = engine_.drawing(handle);
    if (!d || !parse_key(key, key_handle, block) || key_handle != handle) {
        last_error_ = code(dwg::Error::BadArgument);
        return false;
    }
    list = engine_.list_of(*d, block);
    // A block read only in part is a damaged drawing: the engine says so
    // too, so that a caller that reads only the engine's code learns it.
    last_error_ = code(engine_.lists_[list].error);
    if (last_error_ != 0)
        engine_.last_error_ = last_error_;
    return true;
}

std::int32_t EntityIterator::OpenIterator(std::int32_t handle, const std::string& key)
{
    std::size_t list = 0;
    if (!resolve(handle, key, list))
        return 0;
    iterators_.push_back({list, 0});
    return static_cast<std::int32_t>(iterators_.size());
}

std::int32_t EntityIterator::CountEntities(std::int32_t handle, const std::string& key)
{
    std::size_t list = 0;
    if (!resolve(handle, key, list))
        return 0;
    return static_cast<std::int32_t>(engine_.lists_[list].entities.size());
}

void EntityIterator::Rewind(std::int32_t iterator)
{
    if (iterator <= 0 || static_cast<std::size_t>(iterator) > iterators_.size()) {
        last_error_ = code(dwg::Error::BadArgument);
        return;
    }
    iterators_[static_cast<std::size_t>(iterator) - 1].next = 0;
    current_kind_ = 0;
    current_entity_ = 0;
    last_error_ = 0;
}

void EntityIterator::StepNext(std::int32_t iterator)
{
    current_kind_ = 0;
    current_entity_ = 0;
    if (iterator <= 0 || static_cast<std::size_t>(iterator) > iterators_.size()) {
        last_error_ = code(dwg::Error::BadArgument);
        return;
    }
    Position& p = iterators_[static_cast<std::size_t>(iterator) - 1];
    const auto& entities = engine_.lists_[p.list].entities;
    if (p.next >= entities.size()) {
        last_error_ = code(dwg::Error::BadArgument);
        return;
    }
    current_kind_ = static_cast<std::uint16_t>(entities[p.next].kind);
    current_entity_ = static_cast<std::int32_t>(engine_.lists_[p.list].first_id + p.next + 1);
    ++p.next;
    last_error_ = 0;
}

void AttributeReader::Attach(std::int32_t entity)
{
    tag_.clear();
    value_.clear();
    const dwg::Entity* e = engine_.entity(entity);
    if (!e || e->kind != dwg::EntityKind::Attribute)
        return;
    tag_ = e->tag;
    value_ = e->value;
}

}  // namespace extract
