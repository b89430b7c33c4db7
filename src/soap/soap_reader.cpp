#include "soap/soap_reader.h"

#include "recordset/srs.h"
#include "soap/table_columns.h"
#include "soap/table_sink.h"
#include "xml/dom_access.h"

#include <algorithm>
#include <exception>
#include <string>
#include <string_view>

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

int CSoapReader::LoadResponse(const CString& text) {
    if (Load(text) == 0) return 0;
    CString message;
    if (CheckSoapEnvelope(m_pDoc, message) == 0) {
        Error(message);
        return 0;
    }
    return 1;
}

void CSoapReader::ReadFault(const CString& text) {
    EmptyError();
    if (text.IsEmpty()) return;
    if (Load(text) == 0) return;
    // A SOAP 1.2 fault says Code/Value and Reason/Text where 1.1 says
    // faultcode and faultstring; the lines read the same either way.
    static const struct {
        const char* name;
        const char* name12;
        const char* format;
    } kPieces[] = {{"faultcode", "Value", "\r\nfaultcode = %s"},
                   {"faultstring", "Text", "\r\nfaultstring = %s"},
                   {"detail", nullptr, "\r\ndetail = %s"}};
    CString message;
    const CDomNode root = m_pDoc->documentElement();
    const CDomNode fault = FindDescendant(root, "Fault");
    for (const auto& piece : kPieces) {
        CDomNode found = FindDescendant(root, piece.name);
        if (!found && fault && piece.name12 != nullptr) {
            const CDomNode parent = FindDescendant(fault, piece.name12[0] == 'V' ? "Code" : "Reason");
            if (parent) found = FindDescendant(parent, piece.name12);
        }
        if (!found) continue;
        const CString value = found.text();
        if (!value.IsEmpty()) message.AppendFormat(piece.format, value.GetString());
    }
    Error(message);
}

int CSoapReader::ReadRecordSet(const CString& text, SRS*& slot, int index, Route route) {
    delete slot;
    slot = nullptr;
    slot = new SRS();
    m_pRecordSet = slot;
    m_nCellLimit = std::max<long long>(kMaxTableCells, text.GetLength());
    int result = 0;
    try {
        // The usual answer goes straight from the text into the set; anything
        // else is read from a loaded document, into a fresh set.
        if (route == Route::kStraightFirst && index == 0 &&
            ReadTableStraight(text, *slot, m_nCellLimit) != 0) {
            result = 1;
        } else {
            delete slot;
            slot = nullptr;
            slot = new SRS();
            m_pRecordSet = slot;
            result = Read(text, index, slot);
        }
    } catch (const CDomError& e) {
        Error(e.Code() == xmldom::kE_OUTOFMEMORY ? kXmlOutOfMemory : e.what());
    } catch (const std::exception&) {
        Error(kXmlOutOfMemory);  // std::bad_alloc, or a string past its largest size
    }
    // A failed read leaves the empty set and gives back what it took.
    if (result == 0 && slot != nullptr) slot->RemoveAll();
    m_pDoc.reset();
    return result;
}

int CSoapReader::Read(const CString& text, int index, SRS*& slot) {
    if (LoadResponse(text) == 0) return 0;

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
            return 1;
        case Shape::kSingleRow:
            FillSingleRow(element);
            return 1;
        case Shape::kTable:
            return FillTable(element);
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

int CSoapReader::TooLarge() {
    const long long rows = m_pRecordSet->RowCount();
    const long long cols = m_pRecordSet->ColCount();
    if (rows * cols <= m_nCellLimit) return 0;
    CString message;
    message.Format("Record set too large: %lld rows x %lld columns pass the limit of %lld cells", rows, cols,
                   m_nCellLimit);
    Error(message);
    return 1;
}

int CSoapReader::FillTable(const CDomNode& element) {
    CTableColumns columns(*m_pRecordSet);
    std::string nameScratch, textScratch;
    for (CDomNode row = element.firstChild(); row; row = row.nextSibling()) {
        const int r = m_pRecordSet->AddRow();
        if (TooLarge() != 0) return 0;
        size_t position = 0;
        for (CDomNode field = row.firstChild(); field; field = field.nextSibling(), ++position) {
            const int before = m_pRecordSet->ColCount();
            const int column =
                columns.Find(position, field.NameView(nameScratch), [&] { return TypeOf(field); });
            if (m_pRecordSet->ColCount() != before && TooLarge() != 0) return 0;
            if (IsNilNode(field) == 0) {
                const std::string_view text = field.TextView(textScratch);
                m_pRecordSet->SetCellText(r, column, text.data(), text.size());
            }
        }
    }
    return 1;
}
