#include "soap/wsse_token.h"

#include <orvex.h>

#include "platform/ascii.h"
#include "platform/clock.h"
#include "platform/code_page.h"
#include "platform/crypto.h"
#include "recordset/value_text.h"
#include "support/string_builder.h"

#include <chrono>
#include <cstdio>
#include <ctime>

namespace wsse {

namespace {

void Text(CStringBuilder& out, const std::string& text) {
    valuetext::AppendEscapedXml(out, text.data(), text.size());
}

// `<NAME wsu:Id="ID"ATTRIBUTES>TEXT</NAME>`, the text escaped.
void Leaf(CStringBuilder& out, const char* name, const std::string& id, const std::string& attributes,
          const std::string& text) {
    out.Append("<");
    out.Append(name);
    out.Append(" wsu:Id=\"");
    out.Append(id.c_str());
    out.Append("\"");
    out.Append(attributes.c_str());
    out.Append(">");
    Text(out, text);
    out.Append("</");
    out.Append(name);
    out.Append(">");
}

std::string Hex(const std::string& bytes) {
    std::string text;
    for (const unsigned char c : bytes) ascii::AppendHexByte(text, c);
    return text;
}

}  // namespace

Moment Now() {
    Moment moment;
    moment.unixMilliseconds = std::chrono::duration_cast<std::chrono::milliseconds>(
                                  std::chrono::system_clock::now().time_since_epoch())
                                  .count();
    unsigned char bytes[24];
    crypto::RandomBytes(bytes, sizeof bytes);
    moment.nonce.assign(reinterpret_cast<const char*>(bytes), 16);
    moment.id.assign(reinterpret_cast<const char*>(bytes) + 16, 8);
    return moment;
}

std::string TimeText(long long unixMilliseconds, bool milliseconds) {
    long long seconds = unixMilliseconds / 1000;
    long long rest = unixMilliseconds % 1000;
    if (rest < 0) {
        rest += 1000;
        --seconds;
    }
    struct tm utc {};
    clocks::UtcTime(static_cast<time_t>(seconds), utc);
    char text[40];
    const int length = std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d", utc.tm_year + 1900,
                                     utc.tm_mon + 1, utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec);
    std::string out(text, static_cast<size_t>(length));
    if (milliseconds) {
        std::snprintf(text, sizeof text, ".%03lld", rest);
        out += text;
    }
    return out + "Z";
}

std::string PasswordDigest(const std::string& nonce, const std::string& created,
                           const std::string& passwordUtf8) {
    return crypto::Base64(crypto::Sha1(nonce + created + passwordUtf8));
}

void Append(CStringBuilder& out, const Token& token, const Moment& moment, const char* envelopePrefix,
            int soapVersion) {
    const bool digest = (token.flags & ORVEX_WSSE_DIGEST) != 0;
    const bool nonce = digest || (token.flags & ORVEX_WSSE_NONCE) != 0;
    const bool milliseconds = (token.flags & ORVEX_WSSE_MILLISECONDS) != 0;
    const std::string created = TimeText(moment.unixMilliseconds, milliseconds);
    const std::string id = Hex(moment.id);

    out.Append("<wsse:Security xmlns:wsse=\"");
    out.Append(kSecextUri);
    out.Append("\" xmlns:wsu=\"");
    out.Append(kUtilityUri);
    out.Append("\"");
    if ((token.flags & ORVEX_WSSE_MUST_UNDERSTAND) != 0) {
        out.Append(" ");
        out.Append(envelopePrefix);
        out.Append(soapVersion == 12 ? ":mustUnderstand=\"true\"" : ":mustUnderstand=\"1\"");
    }
    out.AppendLine(">");
    if (token.ttlSeconds > 0) {
        const std::string ts = "TS-" + id;
        out.Append(("<wsu:Timestamp wsu:Id=\"" + ts + "\">").c_str());
        Leaf(out, "wsu:Created", ts + "-Created", "", created);
        Leaf(out, "wsu:Expires", ts + "-Expires", "",
             TimeText(moment.unixMilliseconds + 1000LL * token.ttlSeconds, milliseconds));
        out.AppendLine("</wsu:Timestamp>");
    }
    const std::string ut = "UT-" + id;
    out.Append(("<wsse:UsernameToken wsu:Id=\"" + ut + "\">").c_str());
    Leaf(out, "wsse:Username", ut + "-Username", "", token.user);
    if (digest) {
        const std::string password = codepage::ToUtf8(token.password.data(), token.password.size());
        Leaf(out, "wsse:Password", ut + "-Password", std::string(" Type=\"") + kPasswordDigestUri + "\"",
             PasswordDigest(moment.nonce, created, password));
    } else {
        Leaf(out, "wsse:Password", ut + "-Password", std::string(" Type=\"") + kPasswordTextUri + "\"",
             token.password);
    }
    if (nonce) {
        Leaf(out, "wsse:Nonce", ut + "-Nonce", std::string(" EncodingType=\"") + kBase64BinaryUri + "\"",
             crypto::Base64(moment.nonce));
        Leaf(out, "wsu:Created", ut + "-Created", "", created);
    }
    out.AppendLine("</wsse:UsernameToken>");
    out.AppendLine("</wsse:Security>");
}

}  // namespace wsse
