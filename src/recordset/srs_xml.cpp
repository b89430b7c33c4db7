// SRS::toXML: the record set as one SOAP parameter element.
#include "recordset/srs_xml.h"

#include <orvex/text_util.h>

#include "recordset/srs.h"
#include "recordset/value_text.h"
#include "support/string_builder.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

namespace {

const char kSoapEncoding[] = "http://schemas.xmlsoap.org/soap/encoding/";
const char kSoap12Encoding[] = "http://www.w3.org/2003/05/soap-encoding";

// Longer strings are escaped piece by piece, so that the room asked for
// (six bytes a character at worst) stays near what is written.
constexpr size_t kEscapePiece = 16384;

constexpr size_t kSampledRows = 256;

// What one column writes around its values, built once per call.
struct ColumnForms {
    int m_nType = 0;
    std::string m_strOpen;   // <name> or <name xsi:type="xsd:type">
    std::string m_strClose;  // </name>
    std::string m_strNil;    // an empty value of a cell never set
    std::string m_strEmpty;  // an empty value of a cell set to ""
    size_t m_nTags = 0;      // the bytes of the widest of the three forms, without the value
};

ColumnForms MakeForms(const SRSColumn& column, bool dotNet, const srsxml::Typing* typing) {
    ColumnForms forms;
    forms.m_nType = column.m_nType;
    const std::string& name = column.m_strName.str();
    CString typeName;
    CTextUtil::ConvertType(column.m_nType, typeName);
    if (typing != nullptr)
        for (const auto& [field, type] : typing->fields)
            if (field == name) typeName = type.c_str();
    const std::string typeAttr = dotNet ? std::string() : " xsi:type=\"xsd:" + typeName.str() + "\"";
    forms.m_strOpen = "<" + name + typeAttr + ">";
    forms.m_strClose = "</" + name + ">";
    forms.m_strNil = "<" + name + typeAttr + " xsi:nil=\"true\"/>";
    forms.m_strEmpty = "<" + name + typeAttr + "/>";
    forms.m_nTags = std::max(
        {forms.m_strOpen.size() + forms.m_strClose.size(), forms.m_strNil.size(), forms.m_strEmpty.size()});
    return forms;
}

// The fewest bytes a value of the type is written in (the wire form of a
// date-time, "false", "0", a date's "0001-01-01").
size_t ValueFloor(int type) {
    switch (type) {
        case TYPE_DATETIME:
            return 22;
        case TYPE_DATE:
            return 10;
        case TYPE_BOOLEAN:
            return 5;
        default:
            return 1;
    }
}

inline char* Copy(char* to, const char* from, size_t n) {
    if (n <= 16)
        CStringBuilder::CopyShort(to, from, n);
    else
        std::memcpy(to, from, n);
    return to + n;
}

inline char* Copy(char* to, const std::string& from) { return Copy(to, from.data(), from.size()); }

// The element's text in a CString's own string, whose length runs ahead of
// what is written: a string only grows by filling what it adds, so the text
// written over the last one costs no fill.
class XmlText {
public:
    explicit XmlText(std::string& text) : m_text(text) {}
    XmlText(const XmlText&) = delete;
    XmlText& operator=(const XmlText&) = delete;

    void Reserve(size_t bytes) {
        if (bytes > m_text.capacity()) m_text.clear();  // nothing of the old text to carry over
        if (bytes > m_text.size()) m_text.resize(bytes);
    }
    char* Room(size_t n) {
        if (n > m_text.size() - m_nLength) m_text.resize(std::max(m_nLength + n, m_text.size() * 3 / 2));
        return &m_text[m_nLength];
    }
    void Commit(size_t n) { m_nLength += n; }
    void Put(const char* bytes, size_t n) {
        m_nLength = static_cast<size_t>(Copy(Room(n), bytes, n) - &m_text[0]);
    }
    void Finish() { m_text.resize(m_nLength); }

private:
    std::string& m_text;
    size_t m_nLength = 0;
};

bool IsBlank(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

template <class Sink>
void PutForm(Sink& out, const std::string& form) {
    out.Put(form.data(), form.size());
}

template <class Sink>
void PutValue(Sink& out, const ColumnForms& forms, const char* value, size_t length) {
    char* const start = out.Room(forms.m_nTags + length);
    char* p = Copy(start, forms.m_strOpen);
    p = Copy(p, value, length);
    p = Copy(p, forms.m_strClose);
    out.Commit(static_cast<size_t>(p - start));
}

template <class Sink>
void PutEscaped(Sink& out, const ColumnForms& forms, std::string_view text) {
    const size_t length = text.size();
    if (length <= kEscapePiece) {
        char* const start = out.Room(forms.m_nTags + 6 * length);
        char* p = Copy(start, forms.m_strOpen);
        p += valuetext::EscapeXml(text.data(), length, p);
        p = Copy(p, forms.m_strClose);
        out.Commit(static_cast<size_t>(p - start));
        return;
    }
    PutForm(out, forms.m_strOpen);
    for (size_t at = 0; at < length; at += kEscapePiece) {
        const size_t piece = std::min(kEscapePiece, length - at);
        out.Commit(valuetext::EscapeXml(text.data() + at, piece, out.Room(6 * piece)));
    }
    PutForm(out, forms.m_strClose);
}

// Writes one cell. The nil and empty forms are chosen on the encoded value.
template <class Sink>
void PutCell(Sink& out, const ColumnForms& forms, const SRSCell& cell, CString& scratch,
             valuetext::CLocalTimeCache& times) {
    const std::string_view text = cell.Text();
    switch (forms.m_nType) {
        case TYPE_STRING:
        case TYPE_UNKNOWN:
            if (text.empty())
                PutForm(out, cell.m_bNull ? forms.m_strNil : forms.m_strEmpty);
            else if (forms.m_nType == TYPE_STRING)
                PutEscaped(out, forms, text);
            else
                PutValue(out, forms, text.data(), text.size());
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
            if (valuetext::IsTrue(cell.CStr()))
                PutValue(out, forms, "true", 4);
            else
                PutValue(out, forms, "false", 5);
            return;
        case TYPE_DATETIME: {
            char* const start = out.Room(forms.m_nTags + valuetext::kDatetimeWire);
            char* p = Copy(start, forms.m_strOpen);
            scratch.str().assign(text);
            p += valuetext::EncodeDatetime(scratch.str(), p, &times);
            p = Copy(p, forms.m_strClose);
            out.Commit(static_cast<size_t>(p - start));
            return;
        }
        default:
            break;
    }
    scratch.str().assign(text);
    CTextUtil::XMLEncode(forms.m_nType, scratch);
    if (scratch.IsEmpty())
        PutForm(out, cell.m_bNull ? forms.m_strNil : forms.m_strEmpty);
    else
        PutValue(out, forms, scratch.GetString(), static_cast<size_t>(scratch.GetLength()));
}

template <class Sink>
void WriteElement(Sink& out, SRS& set, bool dotNet, const char* element, int asArray, bool soap12 = false,
                  const char* rowName = nullptr, const srsxml::Typing* typing = nullptr) {
    const int rows = set.RowCount();
    const int cols = set.ColCount();
    const bool typed = typing != nullptr && !typing->type.empty();
    const char* nameSpace = typed ? typing->nameSpace.c_str() : set.m_strNameSpace.GetString();
    const char* type = typed ? typing->type.c_str() : set.m_strType.GetString();
    const bool array = typing != nullptr && typing->array;
    CString piece;
    if (rows < 1 || cols < 1) {
        if (dotNet)
            piece.Format("<%s xsi:nil=\"true\"/>", element);
        else if ((asArray || array) && soap12)
            piece.Format(
                "<%s xmlns:ns3=\"%s\" xmlns:ns2=\"%s\" ns3:itemType=\"ns2:%s\" ns3:arraySize=\"0\" "
                "xsi:nil=\"true\"/>",
                element, kSoap12Encoding, nameSpace, type);
        else if (asArray || array)
            piece.Format(
                "<%s xmlns:ns3=\"%s\" xsi:type=\"ns3:Array\" xmlns:ns2=\"%s\" ns3:arrayType=\"ns2:%s[%d]\" "
                "xsi:nil=\"true\"/>",
                element, kSoapEncoding, nameSpace, type, rows);
        else
            piece.Format("<%s xmlns:ns2=\"%s\" xsi:type=\"ns2:%s\" xsi:nil=\"true\"/>", element, nameSpace,
                         type);
        out.Put(piece.GetString(), static_cast<size_t>(piece.GetLength()));
        return;
    }

    if (dotNet)
        piece.Format("<%s>", element);
    else if (rows == 1 && !array)
        piece.Format("<%s xmlns:ns2=\"%s\" xsi:type=\"ns2:%s\">", element, nameSpace, type);
    else if (soap12)  // SOAP 1.2 encoding names the item type and the size apart
        piece.Format("<%s xmlns:ns3=\"%s\" xmlns:ns2=\"%s\" ns3:itemType=\"ns2:%s\" ns3:arraySize=\"%d\">",
                     element, kSoap12Encoding, nameSpace, type, rows);
    else
        piece.Format(
            "<%s xmlns:ns3=\"%s\" xsi:type=\"ns3:Array\" xmlns:ns2=\"%s\" ns3:arrayType=\"ns2:%s[%d]\">",
            element, kSoapEncoding, nameSpace, type, rows);
    out.Put(piece.GetString(), static_cast<size_t>(piece.GetLength()));

    std::vector<ColumnForms> forms;
    forms.reserve(static_cast<size_t>(cols));
    for (const auto& column : set.m_arrCols) forms.push_back(MakeForms(*column, dotNet, typing));
    if (rows > 1 || array) asArray = 1;
    std::string rowOpen;
    std::string rowClose;
    if (asArray) {
        const std::string row = rowName != nullptr ? std::string(rowName) : set.m_strName.str();
        rowOpen = "<" + row + (dotNet ? std::string() : " xsi:type=\"ns2:" + std::string(type) + "\"") + ">";
        rowClose = "</" + row + ">";
    }

    CString scratch;
    valuetext::CLocalTimeCache times;
    static const SRSCell kNullCell;
    for (const auto& row : set.m_arrRows) {
        if (asArray) PutForm(out, rowOpen);
        // A row holds its written cells in column order; the others are null.
        const auto& cells = row->m_arrCells;
        size_t next = 0;
        for (size_t c = 0; c < forms.size(); ++c) {
            const bool written = next < cells.size() && static_cast<size_t>(cells[next].m_nCol) == c;
            PutCell(out, forms[c], written ? cells[next++] : kNullCell, scratch, times);
        }
        if (asArray) PutForm(out, rowClose);
    }
    const size_t elementLength = std::strlen(element);
    char* const start = out.Room(elementLength + 3);
    char* p = Copy(start, "</", 2);
    p = Copy(p, element, elementLength);
    *p++ = '>';
    out.Commit(static_cast<size_t>(p - start));
}

}  // namespace

namespace srsxml {

size_t Estimate(const SRS& set, const char* dialect, const char* elementName) {
    const bool dotNet = SRS::IsDotNetDialect(dialect) != 0;
    const size_t element = elementName != nullptr ? std::strlen(elementName) : 0;
    // The head with its namespace and type, the close tag.
    size_t bytes = 2 * element + set.m_strNameSpace.str().size() + set.m_strType.str().size() + 160;
    size_t perRow = 0;
    for (const auto& column : set.m_arrCols) {
        // The wider of <name></name> and <name xsi:nil="true"/>, and in the
        // Apache dialect xsi:type="xsd:dateTime" at most.
        const size_t name = column->m_strName.str().size();
        perRow += std::max(2 * name + 5, name + 19) + (dotNet ? 0 : 24) + ValueFloor(column->m_nType);
    }
    perRow += 2 * set.m_strName.str().size() + 5 + (dotNet ? 0 : 16 + set.m_strType.str().size());
    const size_t rows = set.m_arrRows.size();
    bytes += perRow * rows;
    // The texts of a few hundred rows spread over the set stand for all of
    // them: a pass over every cell would cost a fifth of writing them.
    const size_t step = rows > kSampledRows ? rows / kSampledRows : 1;
    size_t sampled = 0;
    size_t textBytes = 0;
    for (size_t r = 0; r < rows; r += step, ++sampled)
        for (const SRSCell& cell : set.m_arrRows[r]->m_arrCells) textBytes += cell.m_nLength;
    if (sampled > 0) bytes += textBytes * rows / sampled;
    // Entities, and rows longer than those sampled, grow the block when they come.
    return bytes + bytes / 16;
}

void Append(CStringBuilder& out, SRS& set, const char* dialect, const char* elementName, int asArray,
            int soapVersion, const char* rowName, const Typing* typing) {
    // A copy: the name may live in a text the caller writes into.
    const std::string element = elementName != nullptr ? elementName : "";
    WriteElement(out, set, SRS::IsDotNetDialect(dialect) != 0, element.c_str(), asArray, soapVersion == 12,
                 rowName, typing);
}

}  // namespace srsxml

void SRS::toXML(CString& out, const char* dialect, const char* elementName, int asArray) {
    // A copy: the name may live in out itself, which is rewritten below.
    const std::string element = elementName != nullptr ? elementName : "";
    XmlText xml(out.str());
    xml.Reserve(srsxml::Estimate(*this, dialect, element.c_str()));
    WriteElement(xml, *this, IsDotNetDialect(dialect) != 0, element.c_str(), asArray);
    xml.Finish();
}
