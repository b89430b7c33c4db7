#include "soap/soap_message.h"

#include <orvex/text_util.h>
#include <orvex/xml_tree.h>

#include "recordset/srs.h"
#include "dom/dom_access.h"
#include "soap/soap_reader.h"
#include "support/string_builder.h"
#include "xmltree/xml_tree_parser.h"

#include <cstdint>
#include <memory>
#include <utility>

const char* const kDotNetPlaceholderNamespace = "http://tempuri.org/";

namespace {

constexpr const char* kEnvelopeUri = "http://schemas.xmlsoap.org/soap/envelope/";
constexpr const char* kEncodingUri = "http://schemas.xmlsoap.org/soap/encoding/";
constexpr const char* kSchemaUri = "http://www.w3.org/2001/XMLSchema";
constexpr const char* kInstanceUri = "http://www.w3.org/2001/XMLSchema-instance";
constexpr const char* kLiteralXmlUri = "http://xml.apache.org/xml-soap/literalxml";

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

void CSoapMessage::SetSoap(CString response) {
    Empty();
    m_strSoap = std::move(response);
}

void CSoapMessage::GetSoap(CString& out) {
    CStringBuilder builder;
    CString line;
    line.Format("<?xml version='1.0' encoding='%s'?>", m_strEncoding.GetString());
    builder.AppendLine(line, 1024);
    if (m_bDotNet != 0) {
        line.Format("<soap:Envelope xmlns:xsi=\"%s\" xmlns:xsd=\"%s\" xmlns:soap=\"%s\">", kInstanceUri,
                    kSchemaUri, kEnvelopeUri);
        builder.AppendLine(line, 1024);
        builder.AppendLine("<soap:Body>", 1024);
        line.Format("<%s xmlns=\"%s\">", m_strMethod.GetString(), m_strNameSpace.GetString());
        builder.AppendLine(line, 1024);
    } else {
        line.Format("<SOAP-ENV:Envelope xmlns:SOAP-ENV=\"%s\" xmlns:xsi=\"%s\" xmlns:xsd=\"%s\">",
                    kEnvelopeUri, kInstanceUri, kSchemaUri);
        builder.AppendLine(line, 1024);
        builder.AppendLine("<SOAP-ENV:Body>", 1024);
        line.Format("<ns1:%s xmlns:ns1=\"%s\" SOAP-ENV:encodingStyle=\"%s\">", m_strMethod.GetString(),
                    m_strTargetObjectURI.GetString(), kEncodingUri);
        builder.AppendLine(line, 1024);
    }
    for (int i = 0; i < m_arrNames.GetSize(); ++i) AppendParameter(i, builder);
    if (m_bDotNet != 0) {
        line.Format("</%s>", m_strMethod.GetString());
        builder.AppendLine(line, 1024);
        builder.AppendLine("</soap:Body>", 1024);
        builder.AppendLine("</soap:Envelope>", 1024);
    } else {
        line.Format("</ns1:%s>", m_strMethod.GetString());
        builder.AppendLine(line, 1024);
        builder.AppendLine("</SOAP-ENV:Body>", 1024);
        builder.AppendLine("</SOAP-ENV:Envelope>", 1024);
    }
    builder.TakeString(out);
}

void CSoapMessage::AppendParameter(int index, CStringBuilder& builder) {
    const CString& name = m_arrNames[index];
    const CString& type = m_arrTypes[index];
    CString line;
    const std::optional<SRS*>& parameterSet = m_arrRecordSets[static_cast<size_t>(index)];
    if (parameterSet.has_value()) {
        SRS* recordSet = *parameterSet;
        const int asArray = type == kRecordSetArrayType ? 1 : 0;
        const char* dialect = m_bDotNet != 0 ? ".net" : "apache soap";
        if (recordSet != nullptr) {
            recordSet->toXML(line, dialect, name, asArray);
        } else {
            // A record-set parameter added without a set travels as an empty one: a nil element.
            SRS empty;
            empty.toXML(line, dialect, name, asArray);
        }
        builder.AppendLine(line, 1024);
        return;
    }
    CString value = m_arrValues[index];
    CTextUtil::XMLEncode(type.GetString(), value);
    const char* n = name.GetString();
    if (m_bDotNet != 0 || type.IsEmpty()) {
        line.Format("<%s>%s</%s>", n, value.GetString(), n);
    } else if (type.CompareNoCase("xml") == 0) {
        line.Format("<%s SOAP-ENV:encodingStyle=\"%s\">%s</%s>", n, kLiteralXmlUri, value.GetString(), n);
    } else {
        line.Format("<%s xsi:type=\"xsd:%s\">%s</%s>", n, type.GetString(), value.GetString(), n);
    }
    builder.AppendLine(line, 1024);
}

void CSoapMessage::SetFault(const CString& text) {
    // The failed call's answer replaces the last one: what that one held is never read as this call's.
    delete m_pSRS;
    m_pSRS = nullptr;
    delete m_pXMLTree;
    m_pXMLTree = nullptr;
    m_strSoap.Empty();
    CSoapReader reader;
    reader.ReadFault(text);
    m_strError = reader.LastError();
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
        m_pXMLTree = parser.BuildTree(1);
        if (m_pXMLTree == nullptr) {
            m_strError = kXmlOutOfMemory;  // the document has a root: only memory can fail here
            return nullptr;
        }
    }
    m_strError.Empty();
    return m_pXMLTree;
}
