#include "soap/soap_header.h"

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

void CSoapHeader::Clear() { m_blocks.clear(); }

void CSoapHeader::Append(CStringBuilder& out, const char* envelopePrefix) const {
    if (m_blocks.empty()) return;
    const std::string prefix = envelopePrefix;
    out.AppendLine(("<" + prefix + ":Header>").c_str());
    for (const std::string& block : m_blocks) out.AppendLine(block.c_str());
    out.AppendLine(("</" + prefix + ":Header>").c_str());
}
