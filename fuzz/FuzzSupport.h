#pragma once

#include <QString>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>

// A broken property stops the fuzzer as a crash would, and says which one it was.
#define FUZZ_CHECK(condition)                                                                      \
    do {                                                                                           \
        if (!(condition)) {                                                                        \
            std::fprintf(stderr, "property broken: %s (%s:%d)\n", #condition, __FILE__, __LINE__); \
            std::abort();                                                                          \
        }                                                                                          \
    } while (0)

// Text from fuzz bytes. One character per byte keeps the characters that matter (CR, LF,
// NUL, Ctrl-Z, < > & ", brackets) one mutation away; the byte 0xFF takes the next two
// bytes as any UTF-16 code unit, so lone surrogates and characters outside Latin-1 occur.
inline QString FuzzText(std::string_view bytes)
{
    QString text;
    text.reserve(qsizetype(bytes.size()));
    for (size_t i = 0; i < bytes.size(); ++i) {
        const auto b = static_cast<unsigned char>(bytes[i]);
        if (b == 0xFF && i + 2 < bytes.size()) {
            const auto hi = static_cast<unsigned char>(bytes[i + 1]);
            const auto lo = static_cast<unsigned char>(bytes[i + 2]);
            text.append(QChar(char16_t(hi << 8 | lo)));
            i += 2;
        } else {
            text.append(QChar(char16_t(b)));
        }
    }
    return text;
}

inline QString FuzzText(const uint8_t *data, size_t size)
{
    return FuzzText(std::string_view(reinterpret_cast<const char *>(data), size));
}

inline bool HasLoneSurrogate(const QString &text)
{
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i].isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate())
            ++i;
        else if (text[i].isSurrogate())
            return true;
    }
    return false;
}
