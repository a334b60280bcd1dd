#pragma once
// Just enough JSON for the corpus references: objects, arrays, strings
// (with \u escapes, surrogate pairs), numbers, true/false/null.

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace json_lite {

struct Value {
    enum class Kind { Null, Bool, Number, String, Array, Object } kind = Kind::Null;
    bool boolean = false;
    double number = 0;
    std::string string;
    std::vector<Value> array;
    std::map<std::string, Value> object;

    const Value* get(const std::string& key) const
    {
        const auto it = object.find(key);
        return it == object.end() ? nullptr : &it->second;
    }
};

class Parser {
public:
    explicit Parser(std::string_view text) : s_(text) {}
    bool parse(Value& out)
    {
        if (!value(out))
            return false;
        ws();
        return i_ == s_.size();
    }

private:
    void ws()
    {
        while (i_ < s_.size() && (s_[i_] == ' ' || s_[i_] == '\n' || s_[i_] == '\r' || s_[i_] == '\t'))
            ++i_;
    }
    bool lit(std::string_view w)
    {
        if (s_.substr(i_, w.size()) != w)
            return false;
        i_ += w.size();
        return true;
    }
    static void utf8(std::string& o, std::uint32_t c)
    {
        if (c < 0x80) {
            o += static_cast<char>(c);
        } else if (c < 0x800) {
            o += static_cast<char>(0xC0 | (c >> 6));
            o += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            o += static_cast<char>(0xE0 | (c >> 12));
            o += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            o += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            o += static_cast<char>(0xF0 | (c >> 18));
            o += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            o += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            o += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    bool hex4(std::uint32_t& v)
    {
        if (i_ + 4 > s_.size())
            return false;
        v = 0;
        for (int k = 0; k < 4; ++k) {
            const char c = s_[i_++];
            v <<= 4;
            if (c >= '0' && c <= '9') v |= c - '0';
            else if (c >= 'a' && c <= 'f') v |= c - 'a' + 10;
            else if (c >= 'A' && c <= 'F') v |= c - 'A' + 10;
            else return false;
        }
        return true;
    }
    bool str(std::string& o)
    {
        if (!lit("\""))
            return false;
        while (i_ < s_.size() && s_[i_] != '"') {
            char c = s_[i_++];
            if (c != '\\') {
                o += c;
                continue;
            }
            if (i_ >= s_.size())
                return false;
            c = s_[i_++];
            switch (c) {
            case 'n': o += '\n'; break;
            case 't': o += '\t'; break;
            case 'r': o += '\r'; break;
            case 'b': o += '\b'; break;
            case 'f': o += '\f'; break;
            case 'u': {
                std::uint32_t v;
                if (!hex4(v))
                    return false;
                if (v >= 0xD800 && v <= 0xDBFF && lit("\\u")) {
                    std::uint32_t lo;
                    if (!hex4(lo))
                        return false;
                    v = 0x10000 + ((v - 0xD800) << 10) + (lo - 0xDC00);
                }
                utf8(o, v);
                break;
            }
            default: o += c;
            }
        }
        return lit("\"");
    }
    bool value(Value& v)
    {
        ws();
        if (i_ >= s_.size())
            return false;
        const char c = s_[i_];
        if (c == '"') {
            v.kind = Value::Kind::String;
            return str(v.string);
        }
        if (c == '[') {
            ++i_;
            v.kind = Value::Kind::Array;
            ws();
            if (lit("]"))
                return true;
            do {
                v.array.emplace_back();
                if (!value(v.array.back()))
                    return false;
                ws();
            } while (lit(","));
            return lit("]");
        }
        if (c == '{') {
            ++i_;
            v.kind = Value::Kind::Object;
            ws();
            if (lit("}"))
                return true;
            do {
                ws();
                std::string key;
                if (!str(key))
                    return false;
                ws();
                if (!lit(":") || !value(v.object[key]))
                    return false;
                ws();
            } while (lit(","));
            return lit("}");
        }
        if (lit("true")) {
            v.kind = Value::Kind::Bool;
            v.boolean = true;
            return true;
        }
        if (lit("false")) {
            v.kind = Value::Kind::Bool;
            return true;
        }
        if (lit("null"))
            return true;
        std::size_t n = 0;
        v.kind = Value::Kind::Number;
        try {
            v.number = std::stod(std::string(s_.substr(i_, 40)), &n);
        } catch (...) {
            return false;
        }
        i_ += n;
        return n > 0;
    }

    std::string_view s_;
    std::size_t i_ = 0;
};

}  // namespace json_lite
