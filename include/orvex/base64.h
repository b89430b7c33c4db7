// CBase64: Base64 with '*' for the value 63 ('/' and '\' are read as 63 too).
#ifndef ORVEX_BASE64_H
#define ORVEX_BASE64_H

#include <orvex/buffer.h>
#include <orvex/cstring.h>

class ORVEX_EXPORT CBase64 {
public:
    // The text of len bytes followed by one zero byte; nothing at all for len 0.
    static void Encode(unsigned char* data, int len, CBuffer& out);
    static void Encode(unsigned char* data, int len, CString& out);
    // 1 with the bytes in out, or 0 on a character outside the alphabet
    // (what earlier groups decoded stays in out). CR and LF are skipped, but
    // count towards the number of groups read: unpadded text with line
    // breaks runs out of characters and fails.
    static int Decode(CString& text, CBuffer& out);
    // Decodes in place and reads the bytes as text; on failure text is emptied.
    static int Decode(CString& text);
    // 1 when each of the len characters is in the alphabet or a line break.
    static int IsStringLikeBase64(char* text, int len);
};

#endif
