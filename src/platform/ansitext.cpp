#include "platform/ansitext.h"

#include <algorithm>
#include <cerrno>
#include <iconv.h>

namespace platform {
namespace {

class Converter {
public:
    Converter(const char* to, const char* from) : cd_(iconv_open(to, from)) {}
    ~Converter()
    {
        if (valid())
            iconv_close(cd_);
    }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;

    bool valid() const { return cd_ != reinterpret_cast<iconv_t>(-1); }

    // Whole-text conversion; nothing when any character does not convert.
    std::optional<std::string> convert(std::string_view in) const
    {
        if (!valid())
            return std::nullopt;
        std::string out;
        out.resize(in.size() * 4 + 4);
        char* src = const_cast<char*>(in.data());
        std::size_t srcLeft = in.size();
        char* dst = out.data();
        std::size_t dstLeft = out.size();
        iconv(cd_, nullptr, nullptr, nullptr, nullptr);
        while (srcLeft > 0) {
            if (iconv(cd_, &src, &srcLeft, &dst, &dstLeft) == static_cast<std::size_t>(-1)) {
                if (errno != E2BIG)
                    return std::nullopt;
                const std::size_t used = out.size() - dstLeft;
                out.resize(out.size() * 2);
                dst = out.data() + used;
                dstLeft = out.size() - used;
            }
        }
        out.resize(out.size() - dstLeft);
        return out;
    }

private:
    iconv_t cd_;
};

// Byte length of the UTF-8 sequence that starts with `lead`; 1 for a byte
// that cannot start one, so a malformed text still advances.
std::size_t sequenceLength(unsigned char lead)
{
    if (lead < 0xC0)
        return 1;
    if (lead < 0xE0)
        return 2;
    if (lead < 0xF0)
        return 3;
    if (lead < 0xF8)
        return 4;
    return 1;
}

bool undefinedIn1252(unsigned char c)
{
    return c == 0x81 || c == 0x8D || c == 0x8F || c == 0x90 || c == 0x9D;
}

} // namespace

std::optional<std::string> utf8ToAnsi(std::string_view utf8)
{
    thread_local const Converter toAnsi("CP1252", "UTF-8");
    return toAnsi.convert(utf8);
}

std::string ansiToUtf8(std::string_view ansi)
{
    thread_local const Converter fromAnsi("UTF-8", "CP1252");
    std::string out;
    out.reserve(ansi.size() + ansi.size() / 2);
    for (std::size_t i = 0; i < ansi.size();) {
        // Runs of defined bytes go through iconv, which refuses the others.
        std::size_t j = i;
        while (j < ansi.size() && !undefinedIn1252(static_cast<unsigned char>(ansi[j])))
            ++j;
        if (j > i) {
            out += fromAnsi.convert(ansi.substr(i, j - i)).value_or(std::string(j - i, '?'));
            i = j;
        } else {
            const unsigned char c = static_cast<unsigned char>(ansi[i++]);
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

std::string replaceOutsideAnsi(std::string_view utf8, bool& replaced)
{
    replaced = false;
    std::string out;
    out.reserve(utf8.size());
    for (std::size_t i = 0; i < utf8.size();) {
        const unsigned char lead = static_cast<unsigned char>(utf8[i]);
        const std::size_t n = std::min(sequenceLength(lead), utf8.size() - i);
        const std::string_view one = utf8.substr(i, n);
        if (lead < 0x80 || utf8ToAnsi(one)) {
            out += one;
        } else {
            out += '?';
            replaced = true;
        }
        i += n;
    }
    return out;
}

std::optional<QByteArray> toAnsi(const QString& text)
{
    const QByteArray utf8 = text.toUtf8();
    if (auto ansi = utf8ToAnsi(std::string_view(utf8.constData(), std::size_t(utf8.size()))))
        return QByteArray(ansi->data(), qsizetype(ansi->size()));
    return std::nullopt;
}

QString fromAnsi(QByteArrayView bytes)
{
    const std::string utf8 = ansiToUtf8(std::string_view(bytes.data(), std::size_t(bytes.size())));
    return QString::fromUtf8(utf8.data(), qsizetype(utf8.size()));
}

QByteArray encodeTextFile(const QString& text)
{
    if (auto ansi = toAnsi(text))
        return *ansi;
    return QByteArray(utf8ByteOrderMark.data(), qsizetype(utf8ByteOrderMark.size())) + text.toUtf8();
}

QString decodeTextFile(QByteArrayView bytes)
{
    const QByteArrayView bom(utf8ByteOrderMark.data(), qsizetype(utf8ByteOrderMark.size()));
    if (bytes.startsWith(bom))
        return QString::fromUtf8(bytes.sliced(bom.size()));
    return fromAnsi(bytes);
}

QStringView trimSpaces(QStringView line)
{
    qsizetype begin = 0;
    qsizetype end = line.size();
    while (begin < end && line[begin] == u' ')
        ++begin;
    while (end > begin && line[end - 1] == u' ')
        --end;
    return line.sliced(begin, end - begin);
}

} // namespace platform
