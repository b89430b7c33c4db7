#include "xml/xml_direct_reader.h"
#include "xml/xml_dom.h"

#include "common/test_support.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

using testing_support::ScopedCodePage;
using xml::CDomDocument;
using xml::CDomNode;

namespace {

// A walk written out as one line: "<name a=v>", "[text]", "{cdata}",
// "#comment(content)", "?target content", "</>".
class CRecordingSink final : public xml::CXmlSink {
public:
    void Begin() override { m_record.clear(); }
    void StartElement(const char* name, const char* const* attributes, size_t count) override {
        m_record += "<" + std::string(name);
        for (size_t i = 0; i < count; ++i)
            m_record += " " + std::string(attributes[2 * i]) + "=" + attributes[2 * i + 1];
        m_record += ">";
    }
    void Text(const char* text, size_t length) override { m_record += "[" + std::string(text, length) + "]"; }
    void CData(const char* text, size_t length) override {
        m_record += "{" + std::string(text, length) + "}";
    }
    void Comment(const char* text, size_t length) override {
        m_record += "#comment(" + std::string(text, length) + ")";
    }
    void Instruction(const char* target, const char* content) override {
        m_record += "?" + std::string(target) + " " + content;
    }
    void EndElement() override { m_record += "</>"; }
    const std::string& Record() const { return m_record; }

private:
    std::string m_record;
};

// The same line for a loaded document.
void Record(const CDomNode& node, std::string& out) {
    const std::string name = node.nodeName().str();
    if (const xml::CDomNamedNodeMap map = node.attributes()) {
        out += "<" + name;
        for (long i = 0; i < map.length(); ++i)
            out += " " + map.item(i).nodeName().str() + "=" + map.item(i).text().str();
        out += ">";
        for (CDomNode c = node.firstChild(); c; c = c.nextSibling()) Record(c, out);
        out += "</>";
    } else if (name == "#text") {
        out += "[" + node.text().str() + "]";
    } else if (name == "#cdata-section") {
        out += "{" + node.text().str() + "}";
    } else if (name == "#comment") {
        out += name + "(" + node.text().str() + ")";
    } else {
        out += "?" + name + " " + node.text().str();
    }
}

struct Form {
    const char* what;
    std::string text;
};

// True when the direct route alone read the text into the sink.
bool ReadDirectOnly(const char* text, size_t length, xml::CXmlSink& sink,
                    std::shared_ptr<const void>& owner) {
    std::string reason;
    xml::XmlRoute taken = xml::XmlRoute::kPugixml;
    return xml::ReadXml(text, length, sink, xml::XmlRoute::kDirect, owner, reason, &taken) &&
           taken == xml::XmlRoute::kDirect;
}

}  // namespace

TEST(DirectReader, ReadsEveryFormThatNeedsNoDtdAsThePugixmlRouteDoes) {
    ScopedCodePage cp("UTF-8");
    const Form forms[] = {
        {"instructions before, inside and after the root",
         "<?xml version='1.0'?>\n<?xml-stylesheet type='text/xsl' href='s.xsl'?>\n"
         "<a>x<?p  data ?>y<?q?><?r\r\n a\r\n?></a><?after?>"},
        {"a DOCTYPE naming an external DTD",
         "<!DOCTYPE a PUBLIC \"-//X//DTD A 1.0//EN\" 'http://x/a>.dtd'>\n<!-- c --><a/>"},
        {"a DOCTYPE whose internal subset declares no entity and no default",
         "<!DOCTYPE a [\n <!ELEMENT a (#PCDATA|b)*>\n <!-- ]> -->\n <?p ]>?>\n"
         " <!NOTATION n SYSTEM \"n]>\">\n <!ATTLIST a\n\tv\tCDATA\t#REQUIRED\n\tw CDATA #IMPLIED>\n]>\n"
         "<a v=' 1  2 '>t</a>"},
        {"CR LF and CR line ends",
         "<?xml version='1.0'?>\r\n<a>\r\n "
         "<b>1\r\n2\r3\r</b><![CDATA[c\r\nd\re]]><!--f\r\ng\rh-->\r\n</a>\r\n"},
        {"white space in attribute values", "<a v='x\r\ny\tz\nw\r&#10;&#9;' w=\"\r\r\n\"/>"},
        {"names outside ASCII",
         "<\xC3\xA9 xmlns:\xC3\xBC='u'><\xC3\xBC:\xC3\x9F \xC3\xBC:\xC3\xB6='1' "
         "\xE4\xB8\xAD='2'>t</\xC3\xBC:\xC3\x9F></\xC3\xA9>"},
        {"a byte-order mark", "\xEF\xBB\xBF<?xml version='1.0' encoding='UTF-8'?><a>t</a>"},
        {"'--' inside comments and a '-' before their end", "<!-- a -- b --><a><!-- c -- d ---></a>"},
    };
    for (const Form& form : forms) {
        CDomDocument document;
        ASSERT_TRUE(document.loadXML(form.text.data(), form.text.size(), xml::XmlRoute::kPugixml))
            << form.what << ": " << document.ParseError();
        std::string expected;
        Record(document.documentElement(), expected);

        CRecordingSink sink;
        std::shared_ptr<const void> owner;
        EXPECT_TRUE(ReadDirectOnly(form.text.data(), form.text.size(), sink, owner)) << form.what;
        EXPECT_EQ(sink.Record(), expected) << form.what;
    }
}

TEST(DirectReader, DeclinesADoctypeThatCouldChangeTheDocument) {
    ScopedCodePage cp("UTF-8");
    const Form forms[] = {
        {"an entity", "<!DOCTYPE a [<!ENTITY e 'x'>]><a/>"},
        {"a default attribute", "<!DOCTYPE a [<!ATTLIST a v CDATA 'd'>]><a/>"},
        {"a fixed attribute", "<!DOCTYPE a [<!ATTLIST a v CDATA #FIXED 'd'>]><a/>"},
        {"an attribute whose white space collapses",
         "<!DOCTYPE a [<!ATTLIST a v NMTOKENS #IMPLIED>]><a v=' x  y '/>"},
        {"a parameter entity reference", "<!DOCTYPE a [<!ENTITY % p SYSTEM 'p.dtd'> %p;]><a/>"},
        {"a conditional section", "<!DOCTYPE a [<![INCLUDE[<!ENTITY e 'x'>]]>]><a/>"},
    };
    for (const Form& form : forms) {
        // Told from the prolog, before the text is copied.
        EXPECT_TRUE(xml::NeedsDtd(form.text.data(), form.text.size())) << form.what;
        CRecordingSink sink;
        std::shared_ptr<const void> owner;
        EXPECT_FALSE(ReadDirectOnly(form.text.data(), form.text.size(), sink, owner)) << form.what;
        // The pugixml route reads it, never acting on the declarations.
        CDomDocument document;
        EXPECT_TRUE(document.loadXML(form.text.data(), form.text.size())) << form.what;
    }
}

TEST(DirectReader, JudgesTheDtdOnlyOnTheBytesItSaw) {
    ScopedCodePage cp("UTF-8");
    // An attribute list the reader takes, cut by the end of the bytes the
    // prolog is judged on: no verdict there, and the whole text is read.
    std::string text = "<!DOCTYPE a [";
    text.resize(4090, ' ');
    text += "<!ATTLIST a v CDATA #IMPLIED>]><a v='1'/>";
    EXPECT_FALSE(xml::NeedsDtd(text.data(), text.size()));
    CRecordingSink sink;
    std::shared_ptr<const void> owner;
    EXPECT_TRUE(ReadDirectOnly(text.data(), text.size(), sink, owner));
}
