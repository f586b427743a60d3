#pragma once
// An ID3v2.3 tag of exactly `bytes` bytes (header included), as taggers put in front of
// an MP3 file: a text frame, then a body that repeats `inside` (an embedded preview, say:
// real MP3 frames that are no audio of the file).

#include <cstddef>
#include <string>

inline std::string Id3v2Tag(size_t bytes, const std::string& inside) {
    const size_t body = bytes - 10;
    std::string tag = "ID3";
    tag += std::string("\x03\x00\x00", 3);
    for (int shift = 21; shift >= 0; shift -= 7) tag += static_cast<char>((body >> shift) & 0x7F);
    tag += std::string("TIT2\0\0\0\x08\0\0\0Chapter", 18);
    for (size_t i = 0; tag.size() < bytes; ++i) tag += inside.empty() ? '\0' : inside[i % inside.size()];
    return tag;
}
