#include "soap/soap_header.h"

#include <orvex.h>

#include "platform/code_page.h"
#include "recordset/value_text.h"
#include "soap/soap_answer.h"
#include "support/string_builder.h"
#include "xml/xml_dom.h"

#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

namespace {

// Hears a block read inside its wrapper: what stands beside its elements.
class CBlockCheck : public xml::CXmlSink {
public:
    void Begin() override {
        m_depth = 0;
        m_elements = 0;
        m_text = false;
    }
    void StartElement(const char*, const char* const*, size_t) override {
        if (++m_depth == 2) ++m_elements;
    }
    void EndElement() override { --m_depth; }
    void Text(const char* text, size_t length) override {
        if (m_depth == 1 && std::strspn(text, " \t\r\n") < length) m_text = true;
    }
    void CData(const char*, size_t) override {
        if (m_depth == 1) m_text = true;
    }
    void Comment(const char*, size_t) override {}
    void Instruction(const char*, const char*) override {}

    size_t m_elements = 0;
    bool m_text = false;

private:
    size_t m_depth = 0;
};

// The reader's offsets count from the wrapper's start; a host counts from its block's.
std::string BlockOffsets(std::string reason, size_t shift) {
    const std::string mark = " at offset ";
    const size_t at = reason.rfind(mark);
    if (at == std::string::npos) return reason;
    const size_t digits = at + mark.size();
    char* end = nullptr;
    const unsigned long long offset = std::strtoull(reason.c_str() + digits, &end, 10);
    if (end == reason.c_str() + digits || offset < shift) return reason;
    return reason.substr(0, digits) + std::to_string(offset - shift) +
           reason.substr(static_cast<size_t>(end - reason.c_str()));
}

}  // namespace

bool CSoapHeader::Add(const char* xml, const char* envelopePrefix, std::string& why) {
    const std::string block = xml != nullptr ? xml : "";
    // The envelope's own prefixes are in scope where the block is written
    // (a block may carry P:mustUnderstand); which URI they name does not
    // matter to the check.
    std::string text = "<w xmlns:";
    text += envelopePrefix;
    text += "=\"";
    text += kSoapEnvelopeUri;
    text += "\" xmlns:xsi=\"";
    text += kSchemaInstanceUri;
    text += "\" xmlns:xsd=\"";
    text += kSchemaUri;
    text += "\">";
    const size_t start = text.size();
    text += block;
    text += "</w>";
    CBlockCheck check;
    std::shared_ptr<const void> owner;
    std::string reason;
    if (!xml::ReadXml(text.data(), text.size(), check, xml::XmlRoute::kDirect, owner, reason)) {
        why = "Header block is not well-formed XML: " + BlockOffsets(reason, start);
        return false;
    }
    if (check.m_text) {
        why = "Header block holds text outside its elements";
        return false;
    }
    if (check.m_elements == 0) {
        why = "Header block holds no element";
        return false;
    }
    m_blocks.push_back(block);
    return true;
}

bool CSoapHeader::SetUsernameToken(const char* user, const char* password, int flags, int ttlSeconds,
                                   std::string& why) {
    constexpr int kKnownFlags =
        ORVEX_WSSE_DIGEST | ORVEX_WSSE_NONCE | ORVEX_WSSE_MILLISECONDS | ORVEX_WSSE_MUST_UNDERSTAND;
    if (user == nullptr) {
        m_token.reset();
        return true;
    }
    if ((flags & ~kKnownFlags) != 0) {
        why = "Unknown WS-Security flags: " + std::to_string(flags);
        return false;
    }
    if (ttlSeconds < 0) {
        why = "A negative time to live for the WS-Security timestamp: " + std::to_string(ttlSeconds);
        return false;
    }
    m_token = wsse::Token{user, password != nullptr ? password : "", flags, ttlSeconds};
    return true;
}

void CSoapHeader::Clear() {
    m_blocks.clear();
    m_token.reset();
}

std::vector<std::string> CSoapHeader::Secrets() const {
    if (!m_token || (m_token->flags & ORVEX_WSSE_DIGEST) != 0 || m_token->password.empty()) return {};
    const std::string& password = m_token->password;
    CStringBuilder escaped;
    valuetext::AppendEscapedXml(escaped, password.data(), password.size());
    CString escapedText;
    escaped.GetString(escapedText);
    const std::string escapedPassword = escapedText.str();
    // The body goes out in UTF-8 (or as the charset says), the password was given in the code page.
    return {password, escapedPassword, codepage::ToUtf8(password.data(), password.size()),
            codepage::ToUtf8(escapedPassword.data(), escapedPassword.size())};
}

void CSoapHeader::Append(CStringBuilder& out, const char* envelopePrefix, int soapVersion) const {
    if (m_blocks.empty() && !m_token) return;
    const std::string prefix = envelopePrefix;
    out.AppendLine(("<" + prefix + ":Header>").c_str());
    if (m_token) wsse::Append(out, *m_token, m_moments(), envelopePrefix, soapVersion);
    for (const std::string& block : m_blocks) out.AppendLine(block.c_str());
    out.AppendLine(("</" + prefix + ":Header>").c_str());
}
