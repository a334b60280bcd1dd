#include "drawing.h"

#include <fstream>

namespace dwg {

namespace detail {
struct Document {
    std::vector<std::uint8_t> file;
    std::string version;
};
}  // namespace detail

Drawing::Drawing() = default;
Drawing::~Drawing() = default;
Drawing::Drawing(Drawing&&) noexcept = default;
Drawing& Drawing::operator=(Drawing&&) noexcept = default;

Error Drawing::open(const std::filesystem::path& path, Drawing& out)
{
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec))
        return Error::FileNotFound;
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return Error::ReadFailed;
    std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    return parse(std::move(bytes), out);
}

Error Drawing::parse(std::vector<std::uint8_t> bytes, Drawing&)
{
    if (bytes.size() < 6 || bytes[0] != 'A' || bytes[1] != 'C')
        return Error::NotDwg;
    return Error::UnsupportedVersion;
}

std::string_view Drawing::version() const { return doc_ ? std::string_view(doc_->version) : std::string_view(); }

Error Drawing::find_block(std::string_view, std::uint64_t&) const { return Error::BlockNotFound; }

Error Drawing::entities(std::uint64_t, std::vector<Entity>& out) const
{
    out.clear();
    return Error::BlockNotFound;
}

}  // namespace dwg
