// SRS::toXML: the record set as one SOAP parameter element.
#include "recordset/srs.h"

#include <orvex/text_util.h>

#include "recordset/value_text.h"

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

// The five entity replacements of string values, straight into the output.
void AppendEscaped(std::string& out, const std::string& text) {
    size_t start = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        const char* entity;
        switch (text[i]) {
            case '&':
                entity = "&amp;";
                break;
            case '<':
                entity = "&lt;";
                break;
            case '>':
                entity = "&gt;";
                break;
            case '"':
                entity = "&quot;";
                break;
            case '\'':
                entity = "&apos;";
                break;
            default:
                continue;
        }
        out.append(text, start, i - start);
        out.append(entity);
        start = i + 1;
    }
    out.append(text, start, std::string::npos);
}

bool IsBlank(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

// Writes one cell. The nil and empty forms are chosen on the encoded value.
void AppendCell(std::string& out, const ColumnForms& forms, const SRSCell& cell, CString& scratch,
                valuetext::CLocalTimeCache& times) {
    const std::string& text = cell.m_strText.str();
    switch (forms.m_nType) {
        case TYPE_STRING:
        case TYPE_UNKNOWN:
            if (text.empty()) {
                out += cell.m_bNull ? forms.m_strNil : forms.m_strEmpty;
                return;
            }
            out += forms.m_strOpen;
            if (forms.m_nType == TYPE_STRING)
                AppendEscaped(out, text);
            else
                out += text;
            out += forms.m_strClose;
            return;
        case TYPE_INT:
        case TYPE_DOUBLE: {
            // Trimmed, the empty text as 0.
            size_t first = 0;
            size_t last = text.size();
            while (first < last && IsBlank(text[first])) ++first;
            while (last > first && IsBlank(text[last - 1])) --last;
            out += forms.m_strOpen;
            if (first == last)
                out += '0';
            else
                out.append(text, first, last - first);
            out += forms.m_strClose;
            return;
        }
        case TYPE_DATETIME:
            scratch = cell.m_strText;
            valuetext::EncodeDatetime(scratch, &times);
            break;
        default:
            scratch = cell.m_strText;
            CTextUtil::XMLEncode(forms.m_nType, scratch);
            break;
    }
    if (scratch.IsEmpty()) {
        out += cell.m_bNull ? forms.m_strNil : forms.m_strEmpty;
        return;
    }
    out += forms.m_strOpen;
    out += scratch.str();
    out += forms.m_strClose;
}

}  // namespace

void SRS::toXML(CString& out, const char* dialect, const char* elementName, int asArray) {
    const bool dotNet = IsDotNetDialect(dialect) != 0;
    const char* element = elementName != nullptr ? elementName : "";
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
        perRow += forms.back().m_strOpen.size() + forms.back().m_strClose.size() + 16;
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

    std::string xml;
    xml.reserve(piece.str().size() + perRow * static_cast<size_t>(rows) + 64);
    xml += piece.str();
    CString scratch;
    valuetext::CLocalTimeCache times;
    for (const auto& row : m_arrRows) {
        if (asArray) xml += rowOpen;
        for (size_t c = 0; c < forms.size(); ++c) {
            // Rows hold a cell per column; a missing one reads as a null cell.
            static const SRSCell kNullCell;
            const SRSCell& cell = c < row->m_arrCells.size() ? row->m_arrCells[c] : kNullCell;
            AppendCell(xml, forms[c], cell, scratch, times);
        }
        if (asArray) xml += rowClose;
    }
    xml += "</";
    xml += element;
    xml += ">";
    out.str().swap(xml);
}
