#include "xml/xml_dom.h"

#include "platform/code_page.h"
#include "xml/xml_checked_copy.h"
#include "xml/xml_direct_reader.h"
#include "xml/xml_text_scan.h"

#include <pugixml.hpp>

#include <algorithm>
#include <cstring>
#include <new>
#include <string_view>

namespace xml {

namespace {

constexpr const char kDocumentInterface[] = "IXMLDOMDocument";

// Entities stay references in pugixml's tree; the copy decodes them, so that
// a reference to an entity nobody declared can be refused.
constexpr unsigned kParseOptions = pugi::parse_cdata | pugi::parse_wconv_attribute | pugi::parse_eol |
                                   pugi::parse_comments | pugi::parse_pi | pugi::parse_declaration |
                                   pugi::parse_doctype | pugi::parse_fragment;

std::string Offset(const char* what, size_t offset) {
    return std::string(what) + " at offset " + std::to_string(offset);
}

}  // namespace

CDomDocument::CDomDocument() : m_state(new DomDocumentState) {}

CDomDocument::~CDomDocument() = default;

bool CDomDocument::Refuse(const std::string& reason) {
    m_parseError = reason;
    m_state->nodes.release();
    m_state->attributes.release();
    m_state->texts.reset();
    return false;
}

bool CDomDocument::loadXML(const char* text, size_t length, XmlRoute route, CXmlSink* sink) {
    try {
        return Load(text, length, route, sink);
    } catch (const std::bad_alloc&) {
        // Memory running out is no fault of the text: callers hear it as such.
        Refuse("out of memory");
        throw CDomError(kE_OUTOFMEMORY, kDocumentInterface);
    }
}

bool CDomDocument::Load(const char* text, size_t length, XmlRoute route, CXmlSink* sink) {
    DomDocumentState& st = *m_state;
    st.nodes.release();
    st.attributes.release();
    st.texts.reset();
    m_parseError.clear();
    m_route = XmlRoute::kPugixml;
    st.utf8 = codepage::IsUtf8();
    if (text == nullptr || length == 0) return Refuse("empty text");
    // One copy, valid UTF-8 and zero-terminated: the parser then needs no
    // conversion and every string it returns lies in the buffer.
    st.texts = std::make_shared<DomTexts>();
    DomTexts& texts = *st.texts;
    const char* source = text;  // the UTF-8 text the buffer is a copy of
    std::string converted;
    bool copied = false;
    if (st.utf8) {
        texts.buffer = DomTexts::NewBuffer(length + 1);
        const ScanResult scan = ScanCopy(text, length, texts.buffer.get());
        if (scan.nul != ScanResult::kNone) return Refuse(Offset("NUL character", scan.nul));
        if (scan.utf8) {
            texts.size = length + 1;
            copied = true;
        }
    }
    if (!copied) {
        if (const void* zero = std::memchr(text, '\0', length))
            return Refuse(
                Offset("NUL character", static_cast<size_t>(static_cast<const char*>(zero) - text)));
        if (!codepage::DecodeDeclared(text, length, converted)) converted = codepage::ToUtf8(text, length);
        texts.size = converted.size() + 1;
        texts.buffer = DomTexts::NewBuffer(texts.size);
        std::memcpy(texts.buffer.get(), converted.data(), converted.size());
        source = converted.data();
    }
    char* const buffer = texts.buffer.get();
    buffer[texts.size - 1] = '\0';
    if (texts.size >= DomDocumentState::kSide) return Refuse("text longer than 2 GiB");

    if (route == XmlRoute::kDirect) {
        if (sink != nullptr) sink->Begin();
        size_t changed = 0;
        if (ReadDirect(st, sink, changed)) {
            m_route = XmlRoute::kDirect;
            return true;
        }
        // Declined: the pugixml route starts again from the text, and words
        // any refusal. Only what the reader wrote over is copied back.
        std::memcpy(buffer, source, std::min(changed, texts.size - 1));
        st.nodes.clear();
        st.attributes.clear();
        texts.side.clear();
    }

    pugi::xml_document doc;
    const pugi::xml_parse_result r =
        doc.load_buffer_inplace(buffer, texts.size, kParseOptions, pugi::encoding_utf8);
    if (r.status == pugi::status_out_of_memory) throw std::bad_alloc();
    if (r.status != pugi::status_ok) return Refuse(Offset(r.description(), static_cast<size_t>(r.offset)));

    // What lies beside the root element.
    const std::string_view all(buffer, texts.size - 1);
    const size_t bom = all.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;
    pugi::xml_node root;
    bool seenDoctype = false;
    for (pugi::xml_node n = doc.first_child(); n; n = n.next_sibling()) {
        switch (n.type()) {
            case pugi::node_element:
                if (root) return Refuse("more than one root element");
                root = n;
                break;
            case pugi::node_declaration:
                if (n != doc.first_child() || all.compare(bom, 5, "<?xml") != 0)
                    return Refuse("XML declaration not at the start of the text");
                break;
            case pugi::node_doctype:
                if (root || seenDoctype) return Refuse("document type declaration after the root element");
                seenDoctype = true;
                break;
            case pugi::node_pcdata:
            case pugi::node_cdata:
                return Refuse("text outside the root element");
            default:
                break;
        }
    }
    if (!root) return Refuse("no root element");

    std::string error;
    if (!CopyCheckedTree(root, st, error)) return Refuse(error);
    if (sink != nullptr) {
        documentElement().Replay(*sink);
        // The sink keeps what it needs; the document keeps its text alone.
        st.nodes.release();
        st.attributes.release();
    }
    return true;
}

bool ReadXml(const char* text, size_t length, CXmlSink& sink, XmlRoute route,
             std::shared_ptr<const void>& owner, std::string& reason, XmlRoute* taken) {
    CDomDocument document;
    const bool read = document.loadXML(text, length, route, &sink);
    if (taken != nullptr) *taken = document.Route();
    if (!read) {
        reason = document.ParseError();
        return false;
    }
    owner = document.m_state->texts;
    return true;
}

CDomNode CDomDocument::documentElement() const {
    if (m_state->nodes.empty()) return CDomNode();
    return CDomNode(m_state.get(), 0, false);
}

}  // namespace xml
