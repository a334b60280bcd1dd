#include "text/codepage.h"

#include <iconv.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <vector>

#include "text/utf8.h"

namespace text {

namespace {

const iconv_t kNoConverter = reinterpret_cast<iconv_t>(-1);

struct Converter {
    std::string from, to;
    iconv_t cd;
    Converter(const char* f, const char* t) : from(f), to(t), cd(iconv_open(t, f)) {}
    ~Converter()
    {
        if (cd != kNoConverter)
            iconv_close(cd);
    }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;
};

// A drawing meets one or two code pages, a run a handful: a short list.
iconv_t converter(const char* from, const char* to)
{
    thread_local std::vector<std::unique_ptr<Converter>> open;
    for (const auto& c : open)
        if (c->from == from && c->to == to) {
            if (c->cd != kNoConverter)
                iconv(c->cd, nullptr, nullptr, nullptr, nullptr);
            return c->cd;
        }
    return open.emplace_back(std::make_unique<Converter>(from, to))->cd;
}

// Converts `in` through `cd`; on a byte that does not convert, `on_error`
// either appends a replacement and returns true (the byte is then skipped),
// or returns false to give up.
template <class OnError>
bool run(iconv_t cd, std::string_view in, std::string& out, OnError on_error)
{
    char* src = const_cast<char*>(in.data());
    std::size_t left = in.size();
    char buf[512];
    while (left > 0) {
        char* dst = buf;
        std::size_t room = sizeof buf;
        const std::size_t r = iconv(cd, &src, &left, &dst, &room);
        out.append(buf, static_cast<std::size_t>(dst - buf));
        if (r != static_cast<std::size_t>(-1) || errno == E2BIG)
            continue;
        if (!on_error(out))
            return false;
        ++src;
        --left;
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
    }
    return true;
}

bool undefined_in_1252(unsigned char c) { return c == 0x81 || c == 0x8D || c == 0x8F || c == 0x90 || c == 0x9D; }

}  // namespace

std::optional<std::string> convert(std::string_view in, const char* from, const char* to)
{
    const iconv_t cd = converter(from, to);
    std::string out;
    if (cd == kNoConverter || !run(cd, in, out, [](std::string&) { return false; }))
        return std::nullopt;
    return out;
}

std::string decode_lossy(std::string_view in, const char* from)
{
    std::string out;
    const iconv_t cd = converter(from, "UTF-8");
    if (cd != kNoConverter) {
        run(cd, in, out, [](std::string& o) { return o += kReplacement, true; });
        return out;
    }
    for (const char c : in) static_cast<unsigned char>(c) < 0x80 ? void(out += c) : void(out += kReplacement);
    return out;
}

bool utf8_to_cp1252(std::string_view in, std::string& out, bool substitute, bool* lossy)
{
    out.clear();
    if (lossy)
        *lossy = false;
    if (!valid_utf8(in))
        return false;
    // Plain ASCII is the same in both, and the common case.
    if (is_ascii(in)) {
        out.assign(in);
        return true;
    }
    if (auto whole = convert(in, "UTF-8", "CP1252")) {
        out = std::move(*whole);
        return true;
    }
    if (!substitute)
        return false;
    for (std::size_t i = 0; i < in.size();) {
        const std::size_t n = next_utf8(in, i).length;
        if (auto one = convert(in.substr(i, n), "UTF-8", "CP1252")) {
            out += *one;
        } else {
            out += '?';
            if (lossy)
                *lossy = true;
        }
        i += n;
    }
    return true;
}

bool cp1252_to_utf8(std::string_view in, std::string& out)
{
    out.clear();
    if (is_ascii(in)) {
        out.assign(in);
        return true;
    }
    // On failure `out` keeps what converted before the undefined byte.
    const iconv_t cd = converter("CP1252", "UTF-8");
    return cd != kNoConverter && run(cd, in, out, [](std::string&) { return false; });
}

std::string cp1252_to_utf8_lenient(std::string_view in)
{
    std::string out;
    out.reserve(in.size() + in.size() / 2);
    for (std::size_t i = 0; i < in.size();) {
        // Runs of defined bytes go through iconv, which refuses the others.
        std::size_t j = i;
        while (j < in.size() && !undefined_in_1252(static_cast<unsigned char>(in[j]))) ++j;
        if (j > i) {
            out += convert(in.substr(i, j - i), "CP1252", "UTF-8").value_or(std::string(j - i, '?'));
            i = j;
        } else {
            append_utf8(out, static_cast<unsigned char>(in[i++]));
        }
    }
    return out;
}

std::string keep_cp1252(std::string_view utf8, bool& replaced)
{
    replaced = false;
    std::string out;
    out.reserve(utf8.size());
    for (std::size_t i = 0; i < utf8.size();) {
        const Utf8Char c = next_utf8(utf8, i);
        const std::string_view one = utf8.substr(i, c.length);
        if (c.valid && (c.code < 0x80 || convert(one, "UTF-8", "CP1252"))) {
            out += one;
        } else {
            out += '?';
            replaced = true;
        }
        i += c.length;
    }
    return out;
}

}  // namespace text
