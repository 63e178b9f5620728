// player: a text of fixed length, as the main-folder setting is kept.
//
// The recordings' main folder lives in a 255-character field that is
// written to PlayerMisc.cfg byte for byte. Assigning left-aligns the value,
// pads it with blanks and cuts anything beyond the length; readers take it
// through MyTrim. A cut never splits a UTF-8 character: the partial
// character is blanked instead, so the file never holds a broken name.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace player {

template <std::size_t N>
class FixedText {
public:
    FixedText() : text_(N, ' ') {}
    FixedText(std::string_view value) : FixedText() { *this = value; }  // NOLINT: assignment reads naturally
    FixedText& operator=(std::string_view value) {
        std::size_t n = std::min(value.size(), N);
        if (n < value.size())  // cut: step back off a continuation byte
            while (n > 0 && (static_cast<unsigned char>(value[n]) & 0xC0) == 0x80) --n;
        text_.assign(value.substr(0, n));
        text_.resize(N, ' ');
        return *this;
    }
    const std::string& str() const { return text_; }
    static constexpr std::size_t size() { return N; }

private:
    std::string text_;
};

}  // namespace player
