#include "templates/codepage.h"

#include <cerrno>
#include <iconv.h>

namespace templates {
namespace {

class Converter {
public:
    Converter(const char* to, const char* from) : cd_(iconv_open(to, from)) {}
    ~Converter()
    {
        if (ok())
            iconv_close(cd_);
    }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;

    bool ok() const { return cd_ != reinterpret_cast<iconv_t>(-1); }
    iconv_t handle() const { return cd_; }

private:
    iconv_t cd_;
};

} // namespace

std::optional<QByteArray> toWindows1252(const QString& text)
{
    const QByteArray utf8 = text.toUtf8();
    if (utf8.isEmpty())
        return QByteArray();
    Converter conv("WINDOWS-1252", "UTF-8");
    if (!conv.ok())
        return std::nullopt;

    // A 1252 character never takes more bytes than its UTF-8 form.
    QByteArray out(utf8.size(), Qt::Uninitialized);
    char* in = const_cast<char*>(utf8.constData());
    size_t inLeft = static_cast<size_t>(utf8.size());
    char* dst = out.data();
    size_t outLeft = static_cast<size_t>(out.size());
    if (iconv(conv.handle(), &in, &inLeft, &dst, &outLeft) == static_cast<size_t>(-1))
        return std::nullopt;
    out.truncate(out.size() - static_cast<qsizetype>(outLeft));
    return out;
}

QString fromWindows1252(QByteArrayView bytes)
{
    if (bytes.isEmpty())
        return QString();
    Converter conv("UTF-8", "WINDOWS-1252");
    if (!conv.ok())
        return QString::fromLatin1(bytes.data(), bytes.size());

    // Every 1252 character is at most three bytes in UTF-8.
    QByteArray out(bytes.size() * 3, Qt::Uninitialized);
    char* in = const_cast<char*>(bytes.data());
    size_t inLeft = static_cast<size_t>(bytes.size());
    char* dst = out.data();
    size_t outLeft = static_cast<size_t>(out.size());
    while (inLeft > 0) {
        if (iconv(conv.handle(), &in, &inLeft, &dst, &outLeft) != static_cast<size_t>(-1))
            break;
        if (errno != EILSEQ && errno != EINVAL)
            break;
        // An undefined byte (0x81, 0x8D, 0x8F, 0x90, 0x9D): U+0080 to U+009F
        // take two bytes in UTF-8, which the buffer always has room for.
        const auto byte = static_cast<unsigned char>(*in);
        *dst++ = static_cast<char>(0xC0 | (byte >> 6));
        *dst++ = static_cast<char>(0x80 | (byte & 0x3F));
        outLeft -= 2;
        ++in;
        --inLeft;
    }
    out.truncate(out.size() - static_cast<qsizetype>(outLeft));
    return QString::fromUtf8(out);
}

} // namespace templates
