// CSoapHeader: the header blocks a message sends with every call until it
// is emptied, written as one Header element before the Body.
#ifndef ORVEX_SOAP_SOAP_HEADER_H
#define ORVEX_SOAP_SOAP_HEADER_H

#include "soap/wsse_token.h"

#include <functional>
#include <optional>
#include <string>
#include <vector>

class CStringBuilder;

class CSoapHeader {
public:
    // Keeps a block of literal XML, in the code page, to be written as it is:
    // one or more elements, with blanks, comments and instructions between
    // them. The envelope's prefixes (`envelopePrefix`, xsi, xsd) count as
    // declared, as they are where the block is written. False, keeping
    // nothing, with the reason in `why`, for any other text.
    bool Add(const char* xml, const char* envelopePrefix, std::string& why);
    // A UsernameToken written into a wsse:Security header, first in the
    // Header, anew at every Append; a null user drops it. False, changing
    // nothing, with the reason in `why` (never the password), for flags
    // beyond the ORVEX_WSSE_* ones or a negative time to live.
    bool SetUsernameToken(const char* user, const char* password, int flags, int ttlSeconds,
                          std::string& why);
    // Drops the blocks and the token.
    void Clear();

    // "<P:Header>", the Security header, the blocks, "</P:Header>", each on
    // its own line; nothing when there is neither token nor block.
    void Append(CStringBuilder& out, const char* envelopePrefix, int soapVersion) const;
    // What the trace must never show of a written header: the password of a
    // token that carries it as text, in every form the body may hold it.
    std::vector<std::string> Secrets() const;

    // Where the token's time and random bytes come from (wsse::Now unless a test sets its own).
    void SetMomentSource(std::function<wsse::Moment()> source) { m_moments = std::move(source); }

private:
    std::vector<std::string> m_blocks;
    std::optional<wsse::Token> m_token;
    std::function<wsse::Moment()> m_moments = wsse::Now;
};

#endif
