#include "soap/soap_reader.h"

#include "recordset/srs.h"
#include "soap/soap_answer.h"
#include "soap/table_sink.h"
#include "xml/dom_access.h"

#include <algorithm>
#include <exception>

using xml::CDomNode;

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
    const CDomNode root = m_pDoc->documentElement();
    const CString name = root.nodeName();
    CString uri;
    GetAttributeText(root, RootNamespaceAttribute(name.str()).c_str(), uri);
    const std::string why = NotEnvelope(name.str(), uri.str());
    if (why.empty()) return 1;
    Error(why.c_str());
    return 0;
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

int CSoapReader::ReadRecordSet(const CString& text, SRS*& slot, int index, xml::XmlRoute route) {
    delete slot;
    slot = nullptr;
    slot = new SRS();
    const long long cellLimit = std::max<long long>(kMaxTableCells, text.GetLength());
    int result = 0;
    try {
        CString error;
        switch (ReadTable(text, index, route, cellLimit, *slot, error)) {
            case TableRead::kRead:
                result = 1;
                break;
            case TableRead::kNoSuchSet:
                delete slot;
                slot = nullptr;
                result = 1;
                break;
            case TableRead::kFailed:
                Error(error);
                break;
        }
    } catch (const CDomError& e) {
        Error(e.Code() == xml::kE_OUTOFMEMORY ? kXmlOutOfMemory : e.what());
    } catch (const std::exception&) {
        Error(kXmlOutOfMemory);  // std::bad_alloc, or a string past its largest size
    }
    // A failed read leaves the empty set and gives back what it took.
    if (result == 0 && slot != nullptr) slot->RemoveAll();
    m_pDoc.reset();
    return result;
}
