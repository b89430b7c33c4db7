// SRS::toXML: the record set as one SOAP parameter element.
#include "recordset/srs.h"

#include <orvex/text_util.h>

#include "recordset/value_text.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace {

const char kSoapEncoding[] = "http://schemas.xmlsoap.org/soap/encoding/";

// What one column writes around its values, built once per call.
struct ColumnForms {
    int m_nType = 0;
    std::string m_strOpen;   // <name> or <name xsi:type="xsd:type">
    std::string m_strClose;  // </name>
    std::string m_strNil;    // an empty value of a cell never set
    std::string m_strEmpty;  // an empty value of a cell set to ""
};

ColumnForms MakeForms(const SRSColumn& column, bool dotNet) {
    ColumnForms forms;
    forms.m_nType = column.m_nType;
    const std::string& name = column.m_strName.str();
    CString typeName;
    CTextUtil::ConvertType(column.m_nType, typeName);
    const std::string typeAttr = dotNet ? std::string() : " xsi:type=\"xsd:" + typeName.str() + "\"";
    forms.m_strOpen = "<" + name + typeAttr + ">";
    forms.m_strClose = "</" + name + ">";
    forms.m_strNil = "<" + name + typeAttr + " xsi:nil=\"true\"/>";
    forms.m_strEmpty = "<" + name + typeAttr + "/>";
    return forms;
}

// Copies of a few bytes without a call: most tags and values are short.
inline void CopyBytes(char* to, const char* from, size_t n) {
    if (n >= 8 && n <= 16) {
        uint64_t head;
        uint64_t tail;
        std::memcpy(&head, from, 8);
        std::memcpy(&tail, from + n - 8, 8);
        std::memcpy(to, &head, 8);
        std::memcpy(to + n - 8, &tail, 8);
    } else if (n >= 4 && n < 8) {
        uint32_t head;
        uint32_t tail;
        std::memcpy(&head, from, 4);
        std::memcpy(&tail, from + n - 4, 4);
        std::memcpy(to, &head, 4);
        std::memcpy(to + n - 4, &tail, 4);
    } else if (n > 0 && n < 4) {
        to[0] = from[0];
        to[n / 2] = from[n / 2];
        to[n - 1] = from[n - 1];
    } else if (n > 16) {
        std::memcpy(to, from, n);
    }
}

// The element's text, written into a string whose length runs ahead of
// what is written: one size check per piece, no call per append.
class XmlText {
public:
    XmlText(std::string& text, size_t estimate) : m_text(text) {
        m_text.clear();
        Grow(estimate);
    }
    XmlText(const XmlText&) = delete;
    XmlText& operator=(const XmlText&) = delete;

    // Room for n more bytes; Commit says how many were used.
    char* Room(size_t n) {
        if (n > m_text.size() - m_nLength) Grow(m_nLength + n);
        return &m_text[m_nLength];
    }
    void Commit(size_t n) { m_nLength += n; }
    void Put(const char* bytes, size_t n) {
        CopyBytes(Room(n), bytes, n);
        m_nLength += n;
    }
    void Put(const std::string& bytes) { Put(bytes.data(), bytes.size()); }
    void Finish() { m_text.resize(m_nLength); }

private:
    void Grow(size_t atLeast) { m_text.resize(std::max(atLeast, m_text.size() + m_text.size() / 2)); }

    std::string& m_text;
    size_t m_nLength = 0;
};

// The entity of each character that needs one, by byte value.
struct EntityTable {
    char m_szEntity[256][8] = {};  // zero-padded, so that six bytes can always be copied
    unsigned char m_nLength[256] = {};
    EntityTable() {
        Set('&', "&amp;");
        Set('<', "&lt;");
        Set('>', "&gt;");
        Set('"', "&quot;");
        Set('\'', "&apos;");
    }
    void Set(char c, const char* entity) {
        std::memcpy(m_szEntity[static_cast<unsigned char>(c)], entity, std::strlen(entity));
        m_nLength[static_cast<unsigned char>(c)] = static_cast<unsigned char>(std::strlen(entity));
    }
};

const EntityTable kEntities;

// The five entity replacements of string values, straight into the output:
// runs of plain characters are copied whole.
void PutEscaped(XmlText& out, const std::string& text) {
    char* const start = out.Room(text.size() * 6);
    char* p = start;
    const char* s = text.data();
    const char* const end = s + text.size();
    while (s < end) {
        const char* run = s;
        while (s < end && kEntities.m_nLength[static_cast<unsigned char>(*s)] == 0) ++s;
        CopyBytes(p, run, static_cast<size_t>(s - run));
        p += s - run;
        if (s == end) break;
        const unsigned char c = static_cast<unsigned char>(*s++);
        std::memcpy(p, kEntities.m_szEntity[c], 6);
        p += kEntities.m_nLength[c];
    }
    out.Commit(static_cast<size_t>(p - start));
}

bool IsBlank(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

void PutValue(XmlText& out, const ColumnForms& forms, const char* value, size_t length) {
    out.Put(forms.m_strOpen);
    out.Put(value, length);
    out.Put(forms.m_strClose);
}

// Writes one cell. The nil and empty forms are chosen on the encoded value.
void PutCell(XmlText& out, const ColumnForms& forms, const SRSCell& cell, CString& scratch,
             valuetext::CLocalTimeCache& times) {
    const std::string& text = cell.m_strText.str();
    switch (forms.m_nType) {
        case TYPE_STRING:
        case TYPE_UNKNOWN:
            if (text.empty()) {
                out.Put(cell.m_bNull ? forms.m_strNil : forms.m_strEmpty);
            } else if (forms.m_nType == TYPE_STRING) {
                out.Put(forms.m_strOpen);
                PutEscaped(out, text);
                out.Put(forms.m_strClose);
            } else {
                PutValue(out, forms, text.data(), text.size());
            }
            return;
        case TYPE_INT:
        case TYPE_DOUBLE: {
            size_t first = 0;
            size_t last = text.size();
            while (first < last && IsBlank(text[first])) ++first;
            while (last > first && IsBlank(text[last - 1])) --last;
            if (first == last)
                PutValue(out, forms, "0", 1);
            else
                PutValue(out, forms, text.data() + first, last - first);
            return;
        }
        case TYPE_BOOLEAN:
            if (valuetext::IsTrue(text.c_str()))
                PutValue(out, forms, "true", 4);
            else
                PutValue(out, forms, "false", 5);
            return;
        case TYPE_DATETIME: {
            out.Put(forms.m_strOpen);
            out.Commit(valuetext::EncodeDatetime(text, out.Room(valuetext::kDatetimeWire), &times));
            out.Put(forms.m_strClose);
            return;
        }
        default:
            break;
    }
    scratch = cell.m_strText;
    CTextUtil::XMLEncode(forms.m_nType, scratch);
    if (scratch.IsEmpty())
        out.Put(cell.m_bNull ? forms.m_strNil : forms.m_strEmpty);
    else
        PutValue(out, forms, scratch.GetString(), static_cast<size_t>(scratch.GetLength()));
}

}  // namespace

void SRS::toXML(CString& out, const char* dialect, const char* elementName, int asArray) {
    const bool dotNet = IsDotNetDialect(dialect) != 0;
    // A copy: the name may live in out itself, which is rewritten below.
    const std::string elementText = elementName != nullptr ? elementName : "";
    const char* element = elementText.c_str();
    const int rows = RowCount();
    const int cols = ColCount();
    if (rows < 1 || cols < 1) {
        if (dotNet)
            out.Format("<%s xsi:nil=\"true\"/>", element);
        else if (asArray)
            out.Format(
                "<%s xmlns:ns3=\"%s\" xsi:type=\"ns3:Array\" xmlns:ns2=\"%s\" ns3:arrayType=\"ns2:%s[%d]\" "
                "xsi:nil=\"true\"/>",
                element, kSoapEncoding, m_strNameSpace.GetString(), m_strType.GetString(), rows);
        else
            out.Format("<%s xmlns:ns2=\"%s\" xsi:type=\"ns2:%s\" xsi:nil=\"true\"/>", element,
                       m_strNameSpace.GetString(), m_strType.GetString());
        return;
    }

    CString piece;
    if (dotNet)
        piece.Format("<%s>", element);
    else if (rows == 1)
        piece.Format("<%s xmlns:ns2=\"%s\" xsi:type=\"ns2:%s\">", element, m_strNameSpace.GetString(),
                     m_strType.GetString());
    else
        piece.Format(
            "<%s xmlns:ns3=\"%s\" xsi:type=\"ns3:Array\" xmlns:ns2=\"%s\" ns3:arrayType=\"ns2:%s[%d]\">",
            element, kSoapEncoding, m_strNameSpace.GetString(), m_strType.GetString(), rows);

    std::vector<ColumnForms> forms;
    forms.reserve(static_cast<size_t>(cols));
    size_t perRow = 0;
    for (const auto& column : m_arrCols) {
        forms.push_back(MakeForms(*column, dotNet));
        perRow += forms.back().m_strOpen.size() + forms.back().m_strClose.size() + 24;
    }
    if (rows > 1) asArray = 1;
    std::string rowOpen;
    std::string rowClose;
    if (asArray) {
        rowOpen = "<" + m_strName.str() +
                  (dotNet ? std::string() : " xsi:type=\"ns2:" + m_strType.str() + "\"") + ">";
        rowClose = "</" + m_strName.str() + ">";
        perRow += rowOpen.size() + rowClose.size();
    }

    // Written straight into out, whose memory a caller that writes again reuses.
    XmlText xml(out.str(), piece.str().size() + perRow * static_cast<size_t>(rows) + elementText.size() + 3);
    xml.Put(piece.str());
    CString scratch;
    valuetext::CLocalTimeCache times;
    static const SRSCell kNullCell;
    for (const auto& row : m_arrRows) {
        if (asArray) xml.Put(rowOpen);
        // A row holds its written cells in column order; the others are null.
        const std::vector<SRSCell>& cells = row->m_arrCells;
        size_t next = 0;
        for (size_t c = 0; c < forms.size(); ++c) {
            const bool written = next < cells.size() && static_cast<size_t>(cells[next].m_nCol) == c;
            PutCell(xml, forms[c], written ? cells[next++] : kNullCell, scratch, times);
        }
        if (asArray) xml.Put(rowClose);
    }
    xml.Put("</", 2);
    xml.Put(elementText);
    xml.Put(">", 1);
    xml.Finish();
}
