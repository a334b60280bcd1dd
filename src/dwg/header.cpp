// Header variables and classes sections (R13 to 2004 layout: begin sentinel,
// RL data size, bit-coded data, RS CRC, end sentinel; 2007 puts an RL bit
// size first in the data and moves handles and text into streams of their
// own, as objects do).
//
// The header variables are read in file order only as far as the handles
// the block lookup needs; the field lists below follow the published order
// per version (unit ratios ... dimension colours, table control objects,
// ..., the paper- and model-space block records).

#include <algorithm>
#include <array>

#include "document.h"

namespace dwg::detail {

namespace {

constexpr std::array<std::uint8_t, 16> kHeaderBegin = {0xCF, 0x7B, 0x1F, 0x23, 0xFD, 0xDE, 0x38, 0xA9,
                                                       0x5F, 0x7C, 0x68, 0xB8, 0x4E, 0x6D, 0x33, 0x5F};
constexpr std::array<std::uint8_t, 16> kClassesBegin = {0x8D, 0xA1, 0xC4, 0xB8, 0xC4, 0xA9, 0xF8, 0xC5,
                                                        0xC0, 0xDC, 0xF4, 0x5F, 0xE7, 0xCF, 0xB6, 0x8A};

enum class F : std::uint8_t {
    B,
    BS,
    BL,
    BLL,
    BD,
    RC,
    TV,
    H,
    CMC,
    TIMEBLL,
    P2RD,
    P3BD,
    Seed,          // H: HANDSEED, in the data stream also from 2007 on
    BlockControl,  // H: the block control object
    Cepsntype,     // BS; 3 adds a plot-style handle
    PaperSpace,    // H
    ModelSpace,    // H
};
struct Run {
    F type;
    std::uint8_t count;
};

// R13 and R14.
constexpr Run kR13[] = {
    {F::BD, 4},
    {F::TV, 4},
    {F::BL, 2},
    {F::BS, 1},
    {F::H, 1},
    {F::B, 26},
    {F::BS, 7},
    {F::BL, 1},  // OSMODE
    {F::BS, 23},
    {F::BD, 21},
    {F::TV, 1},
    {F::TIMEBLL, 4},
    {F::CMC, 1},
    {F::H, 6},
    {F::P3BD, 3},
    {F::P2RD, 2},
    {F::BD, 1},
    {F::P3BD, 3},
    {F::H, 1},
    {F::P3BD, 3},
    {F::P2RD, 2},
    {F::BD, 1},
    {F::P3BD, 3},
    {F::H, 1},
    {F::B, 11},
    // Dimension settings: several are single bytes here, BS from 2000 on.
    {F::RC, 2},
    {F::B, 2},
    {F::RC, 3},
    {F::B, 1},
    {F::RC, 4},
    {F::BS, 6},
    {F::H, 1},
    {F::BD, 17},
    {F::TV, 5},
    {F::CMC, 3},
    {F::BlockControl, 1},
    {F::H, 12},
    {F::PaperSpace, 1},
    {F::ModelSpace, 1},
};

// 2000 on: the line-weight and style settings after FLAGS are bits of FLAGS,
// not fields of their own.
// The part shared by 2000 and 2004 from PSVPSCALE to the table controls.
#define QV_HEADER_MIDDLE                                                                                               \
    {F::BD, 1}, {F::P3BD, 3}, {F::P2RD, 2}, {F::BD, 1}, {F::P3BD, 3}, {F::H, 2}, {F::BS, 1}, {F::H, 1}, {F::P3BD, 9},  \
        {F::P2RD, 2}, {F::BD, 1}, {F::P3BD, 3}, {F::H, 2}, {F::BS, 1}, {F::H, 1}, {F::P3BD, 6}, {F::TV, 2},            \
        {F::BD, 9}, {F::B, 6}, {F::BS, 3}, {F::BD, 9}, {F::B, 1}, {F::BS, 1}, {F::B, 4}, {F::CMC, 3}, {F::BS, 11},     \
        {F::B, 2}, {F::BS, 4}, {F::B, 1}, {F::BS, 1}, {F::H, 5}, {F::BS, 2},                                           \
    {                                                                                                                  \
        F::BlockControl, 1                                                                                             \
    }

constexpr Run kR2000[] = {
    {F::BD, 4},        {F::TV, 4}, {F::BL, 2},         {F::H, 1},          {F::B, 20}, {F::BS, 27},
    {F::BD, 21},       {F::TV, 1}, {F::TIMEBLL, 4},    {F::CMC, 1},        {F::H, 6},  QV_HEADER_MIDDLE,
    {F::H, 12},        {F::BS, 2}, {F::TV, 2},         {F::H, 3},          {F::BL, 1}, {F::BS, 1},
    {F::Cepsntype, 1}, {F::TV, 2}, {F::PaperSpace, 1}, {F::ModelSpace, 1},
};

constexpr Run kR2004[] = {
    {F::BD, 4},  {F::TV, 4},  {F::BL, 2},       {F::B, 21},         {F::BS, 8},         {F::BL, 3},
    {F::BS, 19}, {F::BD, 21}, {F::TV, 1},       {F::TIMEBLL, 2},    {F::BL, 3},         {F::TIMEBLL, 2},
    {F::CMC, 1}, {F::H, 6},   QV_HEADER_MIDDLE, {F::H, 11},         {F::BS, 2},         {F::TV, 2},
    {F::H, 5},   {F::BL, 1},  {F::BS, 1},       {F::Cepsntype, 1},  {F::TV, 2},         {F::RC, 6},
    {F::BS, 2},  {F::RC, 2},  {F::TV, 1},       {F::PaperSpace, 1}, {F::ModelSpace, 1},
};
#undef QV_HEADER_MIDDLE

// 2007 on: text lives in the string stream and every handle but HANDSEED in
// the handle stream, so neither takes data bits here; handles are listed
// where they fall in the handle stream's order. 2010 adds three dimension
// settings after DIMFXLON, 2013 REQUIREDVERSIONS first and one more
// dictionary handle.
#define QV_HEADER_2007_HEAD                                                                                            \
    {F::BD, 4}, {F::BL, 2}, {F::B, 21}, {F::BS, 8}, {F::BL, 3}, {F::BS, 19}, {F::BD, 21}, {F::TIMEBLL, 2}, {F::BL, 3}, \
        {F::TIMEBLL, 2}, {F::CMC, 1}, {F::Seed, 1}, {F::H, 6}, {F::BD, 1}, {F::P3BD, 3}, {F::P2RD, 2}, {F::BD, 1},     \
        {F::P3BD, 3}, {F::H, 2}, {F::BS, 1}, {F::H, 1}, {F::P3BD, 9}, {F::P2RD, 2}, {F::BD, 1}, {F::P3BD, 3},          \
        {F::H, 2}, {F::BS, 1}, {F::H, 1}, {F::P3BD, 6}, {F::BD, 11}, {F::BS, 1}, {F::CMC, 1}, {F::B, 6}, {F::BS, 4},   \
        {F::BD, 9}, {F::B, 1}, {F::BS, 1}, {F::B, 4}, {F::CMC, 3}, {F::BS, 11}, {F::B, 2}, {F::BS, 4}, {F::B, 1},      \
    {                                                                                                                  \
        F::BS, 1                                                                                                       \
    }
#define QV_HEADER_2007_TAIL                                                                                            \
    {F::BL, 1}, {F::BS, 1}, {F::Cepsntype, 1}, {F::RC, 6}, {F::BS, 2}, {F::RC, 2}, {F::PaperSpace, 1},                 \
    {                                                                                                                  \
        F::ModelSpace, 1                                                                                               \
    }

constexpr Run kR2007[] = {
    QV_HEADER_2007_HEAD, {F::B, 1},  {F::H, 8}, {F::BS, 2},          {F::BlockControl, 1},
    {F::H, 11},          {F::BS, 2}, {F::H, 6}, QV_HEADER_2007_TAIL,
};
constexpr Run kR2010[] = {
    QV_HEADER_2007_HEAD,  {F::B, 2},  {F::BD, 2}, {F::H, 8}, {F::BS, 2},
    {F::BlockControl, 1}, {F::H, 11}, {F::BS, 2}, {F::H, 6}, QV_HEADER_2007_TAIL,
};
constexpr Run kR2013[] = {
    {F::BLL, 1},          QV_HEADER_2007_HEAD, {F::B, 2},  {F::BD, 2}, {F::H, 8},           {F::BS, 2},
    {F::BlockControl, 1}, {F::H, 11},          {F::BS, 2}, {F::H, 7},  QV_HEADER_2007_TAIL,
};
#undef QV_HEADER_2007_HEAD
#undef QV_HEADER_2007_TAIL

// Checks the sentinel and returns a reader over the section's data.
bool open_section(std::span<const std::uint8_t> s, const std::array<std::uint8_t, 16>& sentinel, BitReader& out)
{
    if (s.size() < 20 || !std::equal(sentinel.begin(), sentinel.end(), s.begin()))
        return false;
    const std::uint32_t size = le32_at(s, 16);
    if (size > s.size() - 20)
        return false;
    out = BitReader(s.subspan(20, size));
    return true;
}

}  // namespace

Error read_header_handles(Document& doc)
{
    std::span<const Run> runs;
    switch (doc.sections.version) {
    case Version::R13:
    case Version::R14: runs = kR13; break;
    case Version::R2000: runs = kR2000; break;
    case Version::R2004: runs = kR2004; break;
    case Version::R2007: runs = kR2007; break;
    case Version::R2010: runs = kR2010; break;
    case Version::R2013:
    case Version::R2018: runs = kR2013; break;
    default: return Error::UnsupportedVersion;
    }
    BitReader r;
    if (!open_section(doc.sections.header, kHeaderBegin, r))
        return Error::Corrupt;
    const bool r2004 = doc.at_least(Version::R2004);
    // 2007 on: RL bit size (counted from its own first bit) of the data and
    // string streams; the handle stream follows them. A high word of the
    // section size comes first in 2018 and in later releases of 2010 and 2013.
    const bool split = doc.at_least(Version::R2007);
    BitReader handles;
    if (split) {
        if (doc.at_least(Version::R2018) || (doc.at_least(Version::R2010) && doc.sections.maintenance > 3))
            r.RL();
        const std::size_t base = r.pos();
        const std::size_t bitsize = r.RL();
        handles = r;
        handles.seek(base + bitsize);
        r.set_end(base + bitsize);
        if (!r.ok() || !handles.ok())
            return Error::Corrupt;
    }
    BitReader& h = split ? handles : r;
    for (const Run& run : runs) {
        for (unsigned i = 0; i < run.count; ++i) {
            switch (run.type) {
            case F::B: r.B(); break;
            case F::BS: r.BS(); break;
            case F::BL: r.BL(); break;
            case F::BLL: r.BLL(); break;
            case F::BD: r.BD(); break;
            case F::RC: r.RC(); break;
            case F::TV: r.skip_bytes(r.BS()); break;
            case F::H: h.H(); break;
            case F::Seed: r.H(); break;
            case F::CMC:
                r.BS();
                if (r2004) {
                    r.BL();
                    const std::uint8_t flags = r.RC();
                    // Colour and book names: inline text in 2004, strings later.
                    if (!split) {
                        if (flags & 1)
                            r.skip_bytes(r.BS());
                        if (flags & 2)
                            r.skip_bytes(r.BS());
                    }
                }
                break;
            case F::TIMEBLL: r.BL(), r.BL(); break;
            case F::P2RD: r.skip_2RD(); break;
            case F::P3BD: r.skip_3BD(); break;
            case F::BlockControl: doc.block_control = h.H().value; break;
            case F::Cepsntype:
                if (r.BS() == 3)
                    h.H();
                break;
            case F::PaperSpace: doc.paper_space = h.H().value; break;
            case F::ModelSpace: doc.model_space = h.H().value; break;
            }
        }
        if (!r.ok() || !h.ok())
            break;
    }
    if (!r.ok() || !h.ok()) {
        doc.paper_space = doc.model_space = 0;
        return Error::Corrupt;
    }
    return Error::Ok;
}

// Per class: BS number, BS proxy flags, TV application, TV C++ name, TV DXF
// name, B zombie, BS item class id (0x1F2 entity, 0x1F3 object).
Error read_classes(Document& doc)
{
    doc.classes.clear();
    if (doc.at_least(Version::R2004))
        return Error::UnsupportedVersion;
    BitReader r;
    if (!open_section(doc.sections.classes, kClassesBegin, r))
        return Error::Corrupt;
    // The data ends on a byte boundary; a class takes well over a byte.
    while (r.left() >= 8 * 8) {
        ClassInfo c;
        c.number = r.BS();
        r.BS();
        r.skip_bytes(r.BS());
        r.skip_bytes(r.BS());
        r.skip_bytes(r.BS());  // DXF name
        r.B();
        c.is_entity = r.BS() == 0x1F2;
        if (!r.ok())
            return Error::Corrupt;
        doc.classes.push_back(std::move(c));
    }
    return Error::Ok;
}

}  // namespace dwg::detail
