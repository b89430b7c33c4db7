// CSoapHeader: the header blocks a message sends with every call until it
// is emptied, written as one Header element before the Body.
#ifndef ORVEX_SOAP_SOAP_HEADER_H
#define ORVEX_SOAP_SOAP_HEADER_H

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
    void Clear();

    // "<P:Header>", the blocks, "</P:Header>", each on its own line; nothing
    // when there is no block.
    void Append(CStringBuilder& out, const char* envelopePrefix) const;

private:
    std::vector<std::string> m_blocks;
};

#endif
