// ConvertUTF: UTF-8 / UTF-16 conversion into caller buffers, and a test
// for bytes that look like UTF-16 text.
#ifndef ORVEX_SUPPORT_CONVERT_UTF_H
#define ORVEX_SUPPORT_CONVERT_UTF_H

class ConvertUTF {
public:
    enum Result { conversionOK = 0, sourceExhausted = 1, targetExhausted = 2, sourceIllegal = 3 };

    // True when the bytes read as little-endian UTF-16 text: up to the first
    // zero unit there is at least one unit, every surrogate is paired, no
    // control character but tab, CR and LF occurs, and at least half of the
    // units have a zero high byte (the shape of Latin text in UTF-16).
    static bool isUTF16(const unsigned char* bytes, int length);

    // UTF-8 to UTF-16. capacity is the destination's size in bytes; outLen
    // receives the number of 16-bit units written. Ill-formed input becomes
    // U+FFFD and gives sourceIllegal; what does not fit gives targetExhausted.
    static int ConvertUTF8toUTF16(const unsigned char* src, int length, char16_t* dst, int capacity,
                                  int* outLen, int flags);
    // UTF-16 to UTF-8. srcBytes is the source's size in bytes; capacity the
    // destination's; outLen receives the number of bytes written.
    static int ConvertUTF16toUTF8(const char16_t* src, int srcBytes, unsigned char* dst, int capacity,
                                  int* outLen);
};

#endif
