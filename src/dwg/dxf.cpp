#include "dxf.h"

#include <algorithm>
#include <charconv>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "document.h"
#include "text.h"
#include "version.h"

namespace dwg::detail {

namespace {

// 22 bytes: the text, CR LF, SUB, NUL.
constexpr std::string_view kBinarySentinel{"AutoCAD Binary DXF\r\n\x1a\0", 22};
// A stream is read in pieces of this size; no line or string may be longer.
constexpr std::size_t kChunk = std::size_t{1} << 20;
// The highest group code the format defines (extended data, 32-bit integer).
constexpr int kMaxCode = 1071;

// The file's bytes, from memory or pulled from a stream a piece at a time.
// [pos, end) is what is at hand; refill() keeps it and appends more.
class Input {
public:
    explicit Input(std::span<const std::uint8_t> bytes) : pos(bytes.data()), end(bytes.data() + bytes.size()) {}
    explicit Input(std::istream& in) : stream_(&in), buffer_(kChunk) { pos = end = buffer_.data(); }

    // False when nothing more comes: the end of the input, a read error or
    // a piece that would not fit (too_long).
    bool refill()
    {
        if (!stream_ || stream_->bad() || stream_->eof())
            return false;
        const std::size_t kept = static_cast<std::size_t>(end - pos);
        if (kept == buffer_.size()) {
            too_long = true;
            return false;
        }
        std::memmove(buffer_.data(), pos, kept);
        pos = buffer_.data();
        end = pos + kept;
        stream_->read(reinterpret_cast<char*>(buffer_.data() + kept),
                      static_cast<std::streamsize>(buffer_.size() - kept));
        const auto got = static_cast<std::size_t>(stream_->gcount());
        end += got;
        if (stream_->bad())
            read_failed = true;
        return got > 0;
    }

    // At least n bytes at pos, unless the input ends first.
    bool ensure(std::size_t n)
    {
        while (static_cast<std::size_t>(end - pos) < n)
            if (!refill())
                return false;
        return true;
    }

    // The first `c` at or after pos, or nullptr when the input ends first
    // or `c` is further than a piece away (too_long, in memory as well).
    const std::uint8_t* find(std::uint8_t c)
    {
        std::size_t scanned = 0;
        for (;;) {
            const std::size_t left = static_cast<std::size_t>(end - pos) - scanned;
            if (const void* p = left ? std::memchr(pos + scanned, c, left) : nullptr) {
                const auto* found = static_cast<const std::uint8_t*>(p);
                too_long = static_cast<std::size_t>(found - pos) >= kChunk;
                return too_long ? nullptr : found;
            }
            scanned = static_cast<std::size_t>(end - pos);
            if (!refill())
                return nullptr;
        }
    }

    Error failure() const { return read_failed ? Error::ReadFailed : too_long ? Error::Corrupt : Error::Truncated; }

    const std::uint8_t* pos = nullptr;
    const std::uint8_t* end = nullptr;
    bool too_long = false;
    bool read_failed = false;

private:
    std::istream* stream_ = nullptr;
    std::vector<std::uint8_t> buffer_;
};

struct Tag {
    int code = 0;
    // A string value; in ASCII files every value as written.
    std::string_view text;
    // A binary file's numeric value.
    std::int64_t number = 0;
    bool is_number = false;
};

std::string_view view(const std::uint8_t* from, const std::uint8_t* to)
{
    return {reinterpret_cast<const char*>(from), static_cast<std::size_t>(to - from)};
}

// An integer with blanks around it; false for anything else.
bool parse_int(std::string_view s, std::int64_t& out)
{
    std::size_t i = 0;
    while (i < s.size() && (s[i] == ' ' || s[i] == '\t')) ++i;
    const bool negative = i < s.size() && s[i] == '-';
    if (negative || (i < s.size() && s[i] == '+'))
        ++i;
    const std::size_t first = i;
    std::int64_t v = 0;
    while (i < s.size() && s[i] >= '0' && s[i] <= '9' && i - first < 18) v = v * 10 + (s[i++] - '0');
    if (i == first)
        return false;
    while (i < s.size() && (s[i] == ' ' || s[i] == '\t')) ++i;
    out = negative ? -v : v;
    return i == s.size();
}

// Tags of an ASCII file: a group-code line, then a value line.
class AsciiTags {
public:
    explicit AsciiTags(Input& in) : in_(in) {}

    bool next(Tag& t)
    {
        std::string_view line;
        if (!read_line(line))
            return false;
        std::int64_t code = 0;
        if (!parse_int(line, code) || code < -5 || code > kMaxCode) {
            error_ = Error::Corrupt;
            return false;
        }
        t.code = static_cast<int>(code);
        if (!read_line(t.text)) {
            error_ = error_ == Error::Ok ? Error::Truncated : error_;
            return false;
        }
        return true;
    }

    // Ok at a clean end of the input.
    Error error() const { return error_; }

private:
    bool read_line(std::string_view& line)
    {
        const std::uint8_t* nl = in_.find('\n');
        if (!nl) {
            if (in_.too_long || in_.read_failed) {
                error_ = in_.failure();
                return false;
            }
            if (in_.pos == in_.end)
                return false;
            if (static_cast<std::size_t>(in_.end - in_.pos) >= kChunk) {
                error_ = Error::Corrupt;
                return false;
            }
            nl = in_.end;  // a last line without its line end
        }
        const std::uint8_t* stop = nl;
        if (stop > in_.pos && stop[-1] == '\r')
            --stop;
        line = view(in_.pos, stop);
        in_.pos = nl == in_.end ? nl : nl + 1;
        return true;
    }

    Input& in_;
    Error error_ = Error::Ok;
};

// Tags of a binary file: the group code in 2 bytes, or before R13 in one
// byte where 255 escapes a 2-byte code; then the value as the code's type
// says, little-endian.
class BinaryTags {
public:
    BinaryTags(Input& in, bool two_byte_codes) : in_(in), two_byte_(two_byte_codes) {}

    bool next(Tag& t)
    {
        if (!in_.ensure(1)) {
            if (in_.pos != in_.end || in_.read_failed)
                error_ = in_.failure();
            return false;
        }
        int code = in_.pos[0];
        std::size_t size = 1;
        if (two_byte_ || code == 255) {
            size = two_byte_ ? 2 : 3;
            if (!in_.ensure(size))
                return fail();
            code = in_.pos[size - 2] | (in_.pos[size - 1] << 8);
        }
        in_.pos += size;
        if (code > kMaxCode) {
            error_ = Error::Corrupt;
            return false;
        }
        t.code = code;
        t.is_number = true;
        switch (value_type(code)) {
        case Type::String: {
            const std::uint8_t* nul = in_.find(0);
            if (!nul)
                return fail();
            t.text = view(in_.pos, nul);
            t.is_number = false;
            in_.pos = nul + 1;
            return true;
        }
        case Type::Bool: return number(t, 1);
        case Type::Int16: return number(t, 2);
        case Type::Int32: return number(t, 4);
        case Type::Int64: return number(t, 8);
        case Type::Double: return number(t, 8);
        case Type::Chunk:
            if (!in_.ensure(1) || !in_.ensure(1 + std::size_t{in_.pos[0]}))
                return fail();
            in_.pos += 1 + std::size_t{in_.pos[0]};
            t.number = 0;
            return true;
        }
        return fail();
    }

    Error error() const { return error_; }

private:
    enum class Type : std::uint8_t { String, Bool, Int16, Int32, Int64, Double, Chunk };

    // The published ranges of value types; whatever is not listed is text.
    static Type value_type(int code)
    {
        struct Range {
            int first, last;
            Type type;
        };
        static constexpr Range kRanges[] = {
            {10, 59, Type::Double},     {60, 79, Type::Int16},     {90, 99, Type::Int32},     {110, 149, Type::Double},
            {160, 169, Type::Int64},    {170, 179, Type::Int16},   {210, 239, Type::Double},  {270, 289, Type::Int16},
            {290, 299, Type::Bool},     {310, 319, Type::Chunk},   {370, 389, Type::Int16},   {400, 409, Type::Int16},
            {420, 429, Type::Int32},    {440, 459, Type::Int32},   {460, 469, Type::Double},  {1004, 1004, Type::Chunk},
            {1010, 1059, Type::Double}, {1060, 1070, Type::Int16}, {1071, 1071, Type::Int32},
        };
        for (const Range& r : kRanges)
            if (code >= r.first && code <= r.last)
                return r.type;
        return Type::String;
    }

    // Integers keep their value (sign-extended); a double's bits are not needed.
    bool number(Tag& t, std::size_t size)
    {
        if (!in_.ensure(size))
            return fail();
        std::uint64_t v = 0;
        for (std::size_t i = size; i-- > 0;) v = (v << 8) | in_.pos[i];
        if (size < 8 && (v >> (size * 8 - 1)) & 1)
            v |= ~std::uint64_t{0} << (size * 8);
        t.number = static_cast<std::int64_t>(v);
        in_.pos += size;
        return true;
    }

    bool fail()
    {
        error_ = in_.failure();
        return false;
    }

    Input& in_;
    bool two_byte_;
    Error error_ = Error::Ok;
};

bool integer_value(const Tag& t, std::int64_t& out)
{
    if (t.is_number) {
        out = t.number;
        return true;
    }
    return parse_int(t.text, out);
}

std::uint64_t hex_handle(std::string_view s)
{
    std::uint64_t v = 0;
    const auto r = std::from_chars(s.data(), s.data() + s.size(), v, 16);
    return r.ec == std::errc{} ? v : 0;
}

// ^ and a letter stand for a control character, "^ " for ^ itself; any
// other ^ stays (files from other writers hold bare carets).
void decode_carets(std::string& s)
{
    if (s.find('^') == std::string::npos)
        return;
    std::string out;
    out.reserve(s.size());
    for (std::size_t i = 0; i < s.size(); ++i) {
        const char next = i + 1 < s.size() ? s[i + 1] : '\0';
        if (s[i] == '^' && next == ' ') {
            out += '^';
            ++i;
        } else if (s[i] == '^' && next >= '@' && next <= '_') {
            out += static_cast<char>(next - '@');
            ++i;
        } else {
            out += s[i];
        }
    }
    s = std::move(out);
}

// From AC1021 (2007) on, DXF text is UTF-8 whatever $DWGCODEPAGE says.
bool utf8_release(std::string_view version)
{
    if (version.size() != 6 || version.substr(0, 2) != "AC")
        return false;
    for (const char c : version.substr(2))
        if (c < '0' || c > '9')
            return false;
    return version.substr(2) >= "1021";
}

enum class Section : std::uint8_t { None, Header, Blocks, Entities, Other };
enum class Record : std::uint8_t { None, Block, Insert, Attrib, Seqend, Other };

constexpr std::size_t kNoBlock = static_cast<std::size_t>(-1);

// The section and record structure over a tag stream.
template <class Tags>
class Reader {
public:
    Reader(Tags& tags, Document& doc) : tags_(tags), doc_(doc)
    {
        doc_.dxf = true;
        doc_.dxf_blocks.assign(2, {});
        doc_.dxf_blocks[0].name = "*Model_Space";
        doc_.dxf_blocks[1].name = "*Paper_Space";
    }

    Error run()
    {
        Tag t;
        Section section = Section::None;
        bool section_name_next = false;
        while (tags_.next(t)) {
            if (section_name_next) {
                section_name_next = false;
                if (t.code != 2)
                    return Error::Corrupt;
                section = t.text == "HEADER"     ? Section::Header
                          : t.text == "BLOCKS"   ? Section::Blocks
                          : t.text == "ENTITIES" ? Section::Entities
                                                 : Section::Other;
                continue;
            }
            if (t.code != 0) {
                if (section == Section::Header)
                    header_tag(t);
                else if (record_ != Record::None && record_ != Record::Other)
                    record_tag(t);
                continue;
            }
            finish_record();
            const std::string_view name = t.text;
            if (name == "EOF")
                return Error::Ok;
            if (section == Section::None) {
                // Nothing but sections at the top level.
                if (name != "SECTION")
                    return Error::Corrupt;
                section_name_next = true;
            } else if (name == "ENDSEC") {
                section = Section::None;
                block_ = insert_block_ = kNoBlock;
            } else if (section == Section::Blocks && name == "BLOCK") {
                start(Record::Block);
            } else if (section == Section::Blocks && name == "ENDBLK") {
                block_ = insert_block_ = kNoBlock;
            } else if (section == Section::Blocks || section == Section::Entities) {
                start(name == "INSERT"   ? Record::Insert
                      : name == "ATTRIB" ? Record::Attrib
                      : name == "SEQEND" ? Record::Seqend
                                         : Record::Other);
                in_entities_ = section == Section::Entities;
            }
        }
        if (tags_.error() != Error::Ok)
            return tags_.error();
        finish_record();
        // A file may end without EOF after its last section, not inside one.
        return section == Section::None && !section_name_next ? Error::Ok : Error::Truncated;
    }

private:
    void header_tag(const Tag& t)
    {
        if (t.code == 9) {
            variable_ = t.text == "$ACADVER"       ? Variable::Version
                        : t.text == "$DWGCODEPAGE" ? Variable::Codepage
                                                   : Variable::None;
        } else if (t.code == 1 && variable_ == Variable::Version) {
            doc_.version.assign(t.text);
        } else if (t.code == 3 && variable_ == Variable::Codepage) {
            codepage_ = codepage_number(t.text);
        }
    }

    void start(Record r)
    {
        record_ = r;
        handle_ = 0;
        paper_ = false;
        embedded_ = false;
        attribute_subclass_ = false;
        single_line_ = false;
        tag_.clear();
        value_.clear();
        multiline_.clear();
    }

    void record_tag(const Tag& t)
    {
        std::int64_t n = 0;
        switch (t.code) {
        case 1: (embedded_ ? multiline_.append(t.text) : value_.assign(t.text)); break;
        case 2: tag_.assign(t.text); break;
        case 3:
            if (embedded_)
                multiline_.append(t.text);
            break;
        case 5: handle_ = hex_handle(t.text); break;
        case 67: paper_ = integer_value(t, n) && n != 0; break;
        // The attribute's own subclass gives its type in 71 (1 single line,
        // 2 multi-line); the text subclass before it and the embedded text
        // after it use 71 for other things.
        case 71:
            if (attribute_subclass_ && !embedded_ && integer_value(t, n))
                single_line_ = n == 1;
            break;
        case 100: attribute_subclass_ = t.text == "AcDbAttribute"; break;
        case 101: embedded_ = true; break;
        default: break;
        }
    }

    // The block a BLOCK record opens; the spaces' own blocks (R12 names
    // them $MODEL_SPACE and $PAPER_SPACE) are the first two.
    std::size_t block_index(std::string_view name)
    {
        if (equal_caseless(name, "*Model_Space") || equal_caseless(name, "$MODEL_SPACE"))
            return 0;
        if (equal_caseless(name, "*Paper_Space") || equal_caseless(name, "$PAPER_SPACE"))
            return 1;
        doc_.dxf_blocks.push_back({std::string(name), {}});
        return doc_.dxf_blocks.size() - 1;
    }

    std::string decode(std::string& raw)
    {
        if (!text_)
            text_ = std::make_unique<TextDecoder>(codepage_);
        std::string s = utf8_release(doc_.version) ? text_->from_utf8(raw) : text_->from_codepage(raw);
        decode_carets(s);
        return s;
    }

    // A record ends where the next one starts. The attributes that follow
    // a block reference join its list up to its SEQEND or any other entity.
    void finish_record()
    {
        const Record r = record_;
        record_ = Record::None;
        switch (r) {
        case Record::Block: block_ = block_index(tag_); break;
        case Record::Insert: {
            insert_block_ = in_entities_ ? (paper_ ? 1 : 0) : block_;
            if (insert_block_ == kNoBlock)
                break;
            Entity e;
            e.kind = EntityKind::BlockReference;
            e.handle = handle_;
            doc_.dxf_blocks[insert_block_].entities.push_back(std::move(e));
            return;
        }
        case Record::Attrib:
            if (insert_block_ != kNoBlock) {
                Entity e;
                e.kind = EntityKind::Attribute;
                e.handle = handle_;
                e.tag = decode(tag_);
                e.value = decode(embedded_ && !single_line_ ? multiline_ : value_);
                doc_.dxf_blocks[insert_block_].entities.push_back(std::move(e));
                return;
            }
            break;
        case Record::None: return;
        default: break;
        }
        insert_block_ = kNoBlock;
    }

    enum class Variable : std::uint8_t { None, Version, Codepage };

    Tags& tags_;
    Document& doc_;
    Variable variable_ = Variable::None;
    std::uint16_t codepage_ = 0;
    std::unique_ptr<TextDecoder> text_;
    std::size_t block_ = kNoBlock;         // the BLOCK being read
    std::size_t insert_block_ = kNoBlock;  // where the open block reference went
    bool in_entities_ = false;
    // The record being read; its strings keep their capacity from record to record.
    Record record_ = Record::None;
    std::uint64_t handle_ = 0;
    bool paper_ = false;
    bool embedded_ = false;
    bool attribute_subclass_ = false;
    bool single_line_ = false;
    std::string tag_, value_, multiline_;
};

Error read(Input& in, Document& doc)
{
    const FileKind kind = in.ensure(kFormatProbe) || in.pos != in.end
                              ? file_format({in.pos, static_cast<std::size_t>(in.end - in.pos)}).kind
                              : FileKind::Unknown;
    if (kind == FileKind::DxfKeyword)
        return Error::DxfKeywordFormat;
    if (kind == FileKind::DxfBinary) {
        if (!in.ensure(kBinarySentinel.size() + 2))
            return in.failure();
        // The first tag, 0 SECTION, shows the width of the group codes.
        const bool two_byte = in.pos[kBinarySentinel.size() + 1] == 0;
        in.pos += kBinarySentinel.size();
        BinaryTags tags(in, two_byte);
        return Reader<BinaryTags>(tags, doc).run();
    }
    if (kind != FileKind::DxfAscii)
        return Error::NotDwg;
    if (in.end - in.pos >= 3 && std::memcmp(in.pos, "\xEF\xBB\xBF", 3) == 0)
        in.pos += 3;
    AsciiTags tags(in);
    return Reader<AsciiTags>(tags, doc).run();
}

}  // namespace

DxfKind dxf_kind(std::span<const std::uint8_t> head)
{
    const std::string_view s(reinterpret_cast<const char*>(head.data()), head.size());
    if (s.starts_with(kBinarySentinel.substr(0, std::min(s.size(), kBinarySentinel.size()))) && s.size() >= 18)
        return DxfKind::Binary;
    std::size_t i = s.starts_with("\xEF\xBB\xBF") ? 3 : 0;
    while (i < s.size() && (s[i] == ' ' || s[i] == '\t')) ++i;
    // The keyword format starts with a word, a comma and a count ("EXTENTS,1").
    std::size_t word = i;
    while (word < s.size() && s[word] >= 'A' && s[word] <= 'Z') ++word;
    if (word > i && word + 1 < s.size() && s[word] == ',' && s[word + 1] >= '0' && s[word + 1] <= '9')
        return DxfKind::Keyword;
    // Group codes: the first line is 0 (a section or an entity) or 999 (a comment).
    const std::size_t line_end = s.find('\n', i);
    if (line_end == std::string_view::npos)
        return DxfKind::None;
    std::string_view first = s.substr(i, line_end - i);
    if (!first.empty() && first.back() == '\r')
        first.remove_suffix(1);
    std::int64_t code = -1;
    return parse_int(first, code) && (code == 0 || code == 999) ? DxfKind::Ascii : DxfKind::None;
}

Error read_dxf(std::span<const std::uint8_t> bytes, Document& doc)
{
    Input in(bytes);
    return read(in, doc);
}

Error read_dxf(std::istream& stream, Document& doc)
{
    Input in(stream);
    return read(in, doc);
}

}  // namespace dwg::detail
