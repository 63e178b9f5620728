// calldeck serve: the little JSON the API writes, built as text. Every
// value the index or a person wrote goes through Quoted, so a quote, a
// backslash or a control character in a note cannot end the string early.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>

namespace calldeck::web {

inline std::string Quoted(std::string_view text) {
    std::string out = "\"";
    for (const char c : text) {
        switch (c) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        default:
            if (static_cast<unsigned char>(c) < 0x20 || c == '<' || c == '>' || c == '&') {
                char escaped[8];
                std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned char>(c));
                out += escaped;
            } else {
                out += c;
            }
        }
    }
    return out + "\"";
}

}  // namespace calldeck::web
