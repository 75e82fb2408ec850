#include "remote/json_text.h"

#include <charconv>
#include <cmath>
#include <cstdio>

namespace remote {

namespace {

// The length of the well-formed UTF-8 sequence at the start of s, or 0 when it is not one
// (a stray continuation byte, a sequence cut short, an overlong form, a surrogate, a code
// point above U+10FFFF): the ranges of the Unicode standard's table of well-formed bytes.
std::size_t utf8Length(std::string_view s) {
    const auto b = [&](std::size_t i) { return static_cast<unsigned char>(s[i]); };
    const unsigned char lead = b(0);
    std::size_t n = 0;
    unsigned char low = 0x80, high = 0xBF;  // the second byte's range
    if (lead >= 0xC2 && lead <= 0xDF) {
        n = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        n = 3;
        if (lead == 0xE0) low = 0xA0;
        if (lead == 0xED) high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        n = 4;
        if (lead == 0xF0) low = 0x90;
        if (lead == 0xF4) high = 0x8F;
    } else {
        return 0;
    }
    if (s.size() < n || b(1) < low || b(1) > high) return 0;
    for (std::size_t i = 2; i < n; ++i)
        if (b(i) < 0x80 || b(i) > 0xBF) return 0;
    return n;
}

}  // namespace

std::string ValidUtf8(std::string_view value) {
    std::string out;
    out.reserve(value.size());
    for (std::size_t i = 0; i < value.size();) {
        if (static_cast<unsigned char>(value[i]) < 0x80) {
            out += value[i++];
        } else if (const std::size_t n = utf8Length(value.substr(i)); n > 0) {
            out.append(value.substr(i, n));
            i += n;
        } else {
            out += "\xEF\xBF\xBD";
            ++i;
        }
    }
    return out;
}

std::string JsonString(std::string_view value) {
    // A byte that is not UTF-8 (Latin-1 text, erased memory) would make the whole message
    // unreadable to a strict reader: it is replaced first.
    const std::string text = ValidUtf8(value);
    std::string out;
    out.reserve(text.size() + 2);
    out += '"';
    for (char c : text) {
        switch (c) {
            case '"':
                out += "\\\"";
                break;
            case '\\':
                out += "\\\\";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\t':
                out += "\\t";
                break;
            default:
                if (static_cast<unsigned char>(c) < 0x20) {
                    char escaped[8];
                    std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned>(c));
                    out += escaped;
                } else {
                    out += c;  // UTF-8 passes as it is
                }
        }
    }
    out += '"';
    return out;
}

std::string JsonArray(const std::vector<std::string>& elements) {
    std::string out = "[";
    for (std::size_t i = 0; i < elements.size(); ++i) {
        if (i > 0) out += ',';
        out += elements[i];
    }
    return out + "]";
}

void JsonObject::key(std::string_view name) {
    if (body_.size() > 1) body_ += ',';
    body_ += JsonString(name);
    body_ += ':';
}

JsonObject& JsonObject::text(std::string_view name, std::string_view value) {
    key(name);
    body_ += JsonString(value);
    return *this;
}

JsonObject& JsonObject::number(std::string_view name, double value, int decimals) {
    key(name);
    if (!std::isfinite(value)) {
        body_ += "null";
        return *this;
    }
    char digits[64];
    auto [end, ec] =
        std::to_chars(digits, digits + sizeof digits, value, std::chars_format::fixed, decimals);
    if (ec != std::errc{}) {
        body_ += "null";
        return *this;
    }
    std::string_view written(digits, static_cast<std::size_t>(end - digits));
    // "-0.0" reads as a minus sign on a gauge: a value that rounds to zero is 0.
    if (written.find_first_not_of("-0.") == std::string_view::npos)
        written = written.substr(written[0] == '-' ? 1 : 0);
    body_ += written;
    return *this;
}

JsonObject& JsonObject::integer(std::string_view name, std::int64_t value) {
    key(name);
    body_ += std::to_string(value);
    return *this;
}

JsonObject& JsonObject::boolean(std::string_view name, bool value) {
    key(name);
    body_ += value ? "true" : "false";
    return *this;
}

JsonObject& JsonObject::null(std::string_view name) {
    key(name);
    body_ += "null";
    return *this;
}

JsonObject& JsonObject::texts(std::string_view name, const std::vector<std::string>& values) {
    std::vector<std::string> quoted;
    quoted.reserve(values.size());
    for (const std::string& v : values) quoted.push_back(JsonString(v));
    return raw(name, JsonArray(quoted));
}

JsonObject& JsonObject::raw(std::string_view name, std::string_view json) {
    key(name);
    body_ += json;
    return *this;
}

}  // namespace remote
