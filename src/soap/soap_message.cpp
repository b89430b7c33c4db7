#include "soap/soap_message.h"

#include <orvex/text_util.h>
#include <orvex/xml_tree.h>

#include "recordset/srs.h"
#include "recordset/srs_xml.h"
#include "recordset/value_text.h"
#include "xml/dom_access.h"
#include "soap/soap_answer.h"
#include "soap/soap_reader.h"
#include "support/string_builder.h"
#include "xmltree/xml_tree_parser.h"

#include <cstdint>
#include <cstring>
#include <memory>
#include <utility>

const char* const kDotNetPlaceholderNamespace = "http://tempuri.org/";

namespace {

constexpr const char* kRecordSetType = "_SRS_";
constexpr const char* kRecordSetArrayType = "_SRS_ARRAY";

bool IsDotNetKind(const char* serverKind) {
    CString kind(serverKind);
    kind.MakeLower();
    return kind.Find(".net") >= 0 || kind.Find("dotnet") >= 0 || kind.Find("dot net") >= 0;
}

}  // namespace

CSoapMessage::CSoapMessage(const char* serverKind, const char* method)
    : m_bDotNet(IsDotNetKind(serverKind) ? 1 : 0), m_strMethod(method) {
    if (m_bDotNet != 0) m_strNameSpace = kDotNetPlaceholderNamespace;
}

CSoapMessage::~CSoapMessage() { Empty(); }

void CSoapMessage::SetNameSpace(const char* nameSpace) {
    m_strNameSpace = nameSpace;
    if (m_bDotNet != 0 && m_strNameSpace.IsEmpty()) m_strNameSpace = kDotNetPlaceholderNamespace;
}

void CSoapMessage::AddElement(const char* name, const char* type, const char* value) {
    CString storedType(type);
    const int code = CTextUtil::ConvertType(storedType);
    if (code != 0) CTextUtil::ConvertType(code, storedType);
    m_arrNames.Add(CString(name));
    m_arrTypes.Add(storedType);
    m_arrValues.Add(CString(value));
    m_arrRecordSets.emplace_back(std::nullopt);
}

void CSoapMessage::AddNodes(const char* name, int asArray, SRS* recordSet) {
    CString handleText;
    // The value text only names the set for readers of the parameter list;
    // the writer takes the pointer kept beside it.
    handleText.Format("%llu", static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(recordSet)));
    m_arrNames.Add(CString(name));
    m_arrTypes.Add(CString(asArray != 0 ? kRecordSetArrayType : kRecordSetType));
    m_arrValues.Add(handleText);
    m_arrRecordSets.emplace_back(recordSet);
}

void CSoapMessage::Empty() {
    delete m_pSRS;
    m_pSRS = nullptr;
    delete m_pXMLTree;
    m_pXMLTree = nullptr;
    m_strSoap.Empty();
    m_arrNames.RemoveAll();
    m_arrTypes.RemoveAll();
    m_arrValues.RemoveAll();
    m_arrRecordSets.clear();
    m_strError.Empty();
}

bool CSoapMessage::SetSoapVersion(int version) {
    if (version != 11 && version != 12) return false;
    m_nSoapVersion = version;
    return true;
}

bool CSoapMessage::SetAction(const char* action) {
    if (action == nullptr) {
        m_strAction.reset();
        return true;
    }
    if (std::strpbrk(action, "\"\r\n") != nullptr) return false;
    m_strAction = CString(action);
    return true;
}

CString CSoapMessage::Action() const {
    if (m_strAction.has_value()) return *m_strAction;
    if (m_bDotNet == 0) return CString();
    CString nameSpace = m_strNameSpace;
    if (nameSpace.Right(1) != "/") nameSpace += "/";  // the empty namespace included
    return nameSpace + m_strMethod;
}

void CSoapMessage::SetSoap(CString response) {
    Empty();
    m_strSoap = std::move(response);
}

void CSoapMessage::GetSoap(CString& out) {
    CStringBuilder text;
    GetSoap(text);
    text.GetString(out);
}

void CSoapMessage::GetSoap(CStringBuilder& out) {
    out.Clear();
    out.Reserve(EstimateSoap());
    CString line;
    line.Format("<?xml version='1.0' encoding='%s'?>", m_strEncoding.GetString());
    out.AppendLine(line);
    const bool soap12 = m_nSoapVersion == 12;
    const char* envelope = soap12 ? kSoap12EnvelopeUri : kSoapEnvelopeUri;
    if (m_bDotNet != 0) {
        line.Format("<soap:Envelope xmlns:xsi=\"%s\" xmlns:xsd=\"%s\" xmlns:soap=\"%s\">", kSchemaInstanceUri,
                    kSchemaUri, envelope);
        out.AppendLine(line);
        out.AppendLine("<soap:Body>");
        line.Format("<%s xmlns=\"%s\">", m_strMethod.GetString(), m_strNameSpace.GetString());
        out.AppendLine(line);
    } else {
        line.Format("<SOAP-ENV:Envelope xmlns:SOAP-ENV=\"%s\" xmlns:xsi=\"%s\" xmlns:xsd=\"%s\">", envelope,
                    kSchemaInstanceUri, kSchemaUri);
        out.AppendLine(line);
        out.AppendLine("<SOAP-ENV:Body>");
        line.Format("<ns1:%s xmlns:ns1=\"%s\" SOAP-ENV:encodingStyle=\"%s\">", m_strMethod.GetString(),
                    m_strTargetObjectURI.GetString(), soap12 ? kSoap12EncodingUri : kSoapEncodingUri);
        out.AppendLine(line);
    }
    for (int i = 0; i < m_arrNames.GetSize(); ++i) AppendParameter(i, out);
    if (m_bDotNet != 0) {
        line.Format("</%s>", m_strMethod.GetString());
        out.AppendLine(line);
        out.AppendLine("</soap:Body>");
        out.AppendLine("</soap:Envelope>");
    } else {
        line.Format("</ns1:%s>", m_strMethod.GetString());
        out.AppendLine(line);
        out.AppendLine("</SOAP-ENV:Body>");
        out.AppendLine("</SOAP-ENV:Envelope>");
    }
}

size_t CSoapMessage::EstimateSoap() const {
    // The fixed lines of either dialect, with room to spare.
    size_t bytes = 512 + m_strEncoding.str().size() + 2 * m_strMethod.str().size() +
                   m_strNameSpace.str().size() + m_strTargetObjectURI.str().size();
    for (int i = 0; i < m_arrNames.GetSize(); ++i) {
        bytes += 2 * m_arrNames[i].str().size() + m_arrTypes[i].str().size() + 96;
        const std::optional<SRS*>& parameterSet = m_arrRecordSets[static_cast<size_t>(i)];
        if (!parameterSet.has_value())
            bytes += m_arrValues[i].str().size();
        else if (*parameterSet != nullptr)
            bytes += srsxml::Estimate(**parameterSet, m_bDotNet != 0 ? ".net" : "apache soap", m_arrNames[i]);
        else
            bytes += 256;  // the nil element of an empty set
    }
    return bytes;
}

// A scalar's name, type and value end at their first zero byte: hosts hand them over as C texts.
void CSoapMessage::AppendParameter(int index, CStringBuilder& out) {
    const CString& name = m_arrNames[index];
    const CString& type = m_arrTypes[index];
    const std::optional<SRS*>& parameterSet = m_arrRecordSets[static_cast<size_t>(index)];
    if (parameterSet.has_value()) {
        SRS* recordSet = *parameterSet;
        const int asArray = type == kRecordSetArrayType ? 1 : 0;
        const char* dialect = m_bDotNet != 0 ? ".net" : "apache soap";
        if (recordSet != nullptr) {
            srsxml::Append(out, *recordSet, dialect, name, asArray, m_nSoapVersion);
        } else {
            // A record-set parameter added without a set travels as an empty one: a nil element.
            SRS empty;
            srsxml::Append(out, empty, dialect, name, asArray, m_nSoapVersion);
        }
        out.Put("\r\n", 2);
        return;
    }
    const char* n = name.GetString();
    const size_t nameLength = std::strlen(n);
    out.Put("<", 1);
    out.Put(n, nameLength);
    if (m_bDotNet == 0 && !type.IsEmpty()) {
        if (type.CompareNoCase("xml") == 0) {
            out.Append(" SOAP-ENV:encodingStyle=\"");
            out.Append(kLiteralXmlUri);
        } else {
            out.Append(" xsi:type=\"xsd:");
            out.Append(type.GetString());
        }
        out.Put("\"", 1);
    }
    out.Put(">", 1);
    const int code = CTextUtil::ConvertType(type.GetString());
    const char* value = m_arrValues[index].GetString();
    if (code == TYPE_STRING) {
        valuetext::AppendEscapedXml(out, value, std::strlen(value));
    } else if (code == TYPE_UNKNOWN) {
        out.Append(value);
    } else {
        CString encoded = m_arrValues[index];
        CTextUtil::XMLEncode(code, encoded);
        out.Append(encoded.GetString());
    }
    out.Put("</", 2);
    out.Put(n, nameLength);
    out.Put(">\r\n", 3);
}

void CSoapMessage::DropResponse() {
    delete m_pSRS;
    m_pSRS = nullptr;
    delete m_pXMLTree;
    m_pXMLTree = nullptr;
    m_strSoap.Empty();
}

void CSoapMessage::SetFault(const CString& text) {
    // The failed call's answer replaces the last one: what that one held is never read as this call's.
    DropResponse();
    CSoapReader reader;
    reader.ReadFault(text);
    m_strError = reader.LastError();
}

void CSoapMessage::SetFailure(const CString& reason) {
    DropResponse();
    m_strError = reason;
}

int CSoapMessage::LoadSRS(const CString& text, int index) {
    CSoapReader reader;
    const int result = reader.ReadRecordSet(text, m_pSRS, index);
    m_strError = reader.LastError();  // empty after a successful read
    return result;
}

SRS* CSoapMessage::GetSRS(int index) {
    if (m_strSoap.IsEmpty() && !m_strError.IsEmpty()) {
        // A failed call left no response: an empty set, and its fault stays the reason.
        delete m_pSRS;
        m_pSRS = nullptr;
        m_pSRS = new SRS();
        return m_pSRS;
    }
    LoadSRS(m_strSoap, index);
    return m_pSRS;
}

IXMLTreeNode* CSoapMessage::GetXMLTree() {
    if (m_pXMLTree == nullptr) {
        if (m_strSoap.IsEmpty()) return nullptr;
        CSoapReader reader;
        if (reader.LoadResponse(m_strSoap) == 0) {
            m_strError = reader.LastError();
            return nullptr;
        }
        CXMLTreeParser parser;
        parser.SetDocument(reader.Document());
        std::string reason;
        m_pXMLTree = parser.Tree(1, reason);
        if (m_pXMLTree == nullptr) {
            m_strError = kXmlOutOfMemory;  // the document has a root: only memory can fail here
            return nullptr;
        }
    }
    m_strError.Empty();
    return m_pXMLTree;
}
