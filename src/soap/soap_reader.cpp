#include "soap/soap_reader.h"

#include "recordset/srs.h"
#include "soap/dom_access.h"

using xmldom::CDomNode;

namespace {

// A field's type comes only from an attribute written exactly "xsi:type".
CString TypeOf(const CDomNode& node) {
    CString type;
    GetAttributeText(node, "xsi:type", type);
    return type;
}

enum class Shape { kScalar, kSingleRow, kTable };

// Decided on the first two child nodes, whatever their kind; names compare
// as written, case-sensitively.
Shape ShapeOf(const CDomNode& element) {
    const CDomNode first = element.firstChild();
    if (first) {
        const CDomNode second = first.nextSibling();
        if (second) return first.nodeName() == second.nodeName() ? Shape::kTable : Shape::kSingleRow;
        const xmldom::CDomNodeList grandChildren = first.childNodes();
        if (grandChildren && grandChildren.length() > 0 && grandChildren.item(0)) return Shape::kTable;
    }
    return Shape::kScalar;
}

}  // namespace

CSoapReader::CSoapReader() { EnableShowError(0); }

CSoapReader::~CSoapReader() = default;

int CSoapReader::Load(const CString& text) {
    CString message;
    if (LoadDomDocument(text, m_pDoc, message) == 0) {
        Error(message);
        return 0;
    }
    return 1;
}

void CSoapReader::ReadFault(const CString& text) {
    EmptyError();
    if (text.IsEmpty()) return;
    if (Load(text) == 0) return;
    static const struct {
        const char* name;
        const char* format;
    } kPieces[] = {{"faultcode", "\r\nfaultcode = %s"},
                   {"faultstring", "\r\nfaultstring = %s"},
                   {"detail", "\r\ndetail = %s"}};
    CString message;
    const CDomNode root = m_pDoc->documentElement();
    for (const auto& piece : kPieces) {
        const CDomNode found = FindDescendant(root, piece.name);
        if (!found) continue;
        const CString value = found.text();
        if (!value.IsEmpty()) message.AppendFormat(piece.format, value.GetString());
    }
    Error(message);
}

int CSoapReader::ReadRecordSet(const CString& text, SRS*& slot, int index) {
    delete slot;
    slot = nullptr;
    slot = new SRS();
    m_pRecordSet = slot;
    if (Load(text) == 0) return 0;

    const CDomNode response = GetSoapResponseNode(m_pDoc);
    if (!response) return 1;
    const CDomNode returned = response.firstChild();
    if (!returned) return 1;
    if (IsNilNode(returned) != 0) return 1;
    if (!returned.childNodes()) {
        Error("Invalid SOAP XML!");
        return 0;
    }

    CDomNode element = returned;
    if (index != 0) {
        element = returned.firstChild();
        for (int i = 1; i < index && element; ++i) element = element.nextSibling();
        if (!element) {
            delete slot;
            slot = nullptr;
            m_pRecordSet = nullptr;
            return 1;
        }
    }
    switch (ShapeOf(element)) {
        case Shape::kScalar:
            FillScalar(element);
            break;
        case Shape::kSingleRow:
            FillSingleRow(element);
            break;
        case Shape::kTable:
            FillTable(element);
            break;
    }
    return 1;
}

void CSoapReader::FillScalar(const CDomNode& element) {
    m_pRecordSet->AddCol(element.nodeName(), TypeOf(element));
    m_pRecordSet->AddRow();
    if (IsNilNode(element) == 0) m_pRecordSet->SetText(0, 0, element.text());
}

void CSoapReader::FillSingleRow(const CDomNode& element) {
    m_pRecordSet->AddRow();
    int column = 0;
    for (CDomNode field = element.firstChild(); field; field = field.nextSibling(), ++column) {
        m_pRecordSet->AddCol(field.nodeName(), TypeOf(field));
        if (IsNilNode(field) == 0) m_pRecordSet->SetText(0, column, field.text());
    }
}

void CSoapReader::FillTable(const CDomNode& element) {
    for (CDomNode row = element.firstChild(); row; row = row.nextSibling()) {
        const int r = m_pRecordSet->AddRow();
        for (CDomNode field = row.firstChild(); field; field = field.nextSibling()) {
            const CString name = field.nodeName();
            int column = m_pRecordSet->FindCol(name);
            if (column < 0) {
                m_pRecordSet->AddCol(name, TypeOf(field));
                column = m_pRecordSet->ColCount() - 1;
            }
            if (IsNilNode(field) == 0) m_pRecordSet->SetText(r, column, field.text());
        }
    }
}
