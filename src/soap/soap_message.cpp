#include "soap/soap_message.h"

#include <orvex/text_util.h>
#include <orvex/xml_tree.h>

#include "recordset/srs.h"
#include "recordset/srs_xml.h"
#include "recordset/value_text.h"
#include "xml/dom_access.h"
#include "soap/soap_answer.h"
#include "soap/soap_plan.h"
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

namespace {

// The XML Schema types a value's text is checked against, by the form they take.
enum class Form { kSigned, kUnsigned, kDecimal, kFloat, kBoolean, kDate, kText };

struct SchemaType {
    const char* name;
    Form form;
};

constexpr SchemaType kSchemaTypes[] = {
    {"int", Form::kSigned},
    {"integer", Form::kSigned},
    {"long", Form::kSigned},
    {"short", Form::kSigned},
    {"byte", Form::kSigned},
    {"negativeInteger", Form::kSigned},
    {"nonPositiveInteger", Form::kSigned},
    {"unsignedInt", Form::kUnsigned},
    {"unsignedLong", Form::kUnsigned},
    {"unsignedShort", Form::kUnsigned},
    {"unsignedByte", Form::kUnsigned},
    {"nonNegativeInteger", Form::kUnsigned},
    {"positiveInteger", Form::kUnsigned},
    {"decimal", Form::kDecimal},
    {"float", Form::kFloat},
    {"double", Form::kFloat},
    {"boolean", Form::kBoolean},
    {"dateTime", Form::kDate},
    {"date", Form::kDate},
    {"string", Form::kText},
    {"normalizedString", Form::kText},
    {"token", Form::kText},
    {"anyURI", Form::kText},
    {"QName", Form::kText},
    {"NCName", Form::kText},
    {"Name", Form::kText},
    {"NMTOKEN", Form::kText},
    {"language", Form::kText},
    {"ID", Form::kText},
    {"IDREF", Form::kText},
    {"ENTITY", Form::kText},
    {"duration", Form::kText},
    {"time", Form::kText},
    {"gYear", Form::kText},
    {"gYearMonth", Form::kText},
    {"gMonth", Form::kText},
    {"gMonthDay", Form::kText},
    {"gDay", Form::kText},
    {"hexBinary", Form::kText},
    {"base64Binary", Form::kText},
    {"anySimpleType", Form::kText},
};

const SchemaType* FindSchemaType(const std::string& name) {
    for (const SchemaType& type : kSchemaTypes)
        if (name == type.name) return &type;
    return nullptr;
}

// The type a plan's part is written and checked as: the XML Schema name for
// numbers, truth values, dates and date-times (the value codec trims or
// converts them), "string" for every kind of text (escaped), "xml" for a
// structure or anything else (the caller's literal XML).
std::string PlanType(const SoapPart& part) {
    const SchemaType* type = FindSchemaType(part.type);
    if (type == nullptr) return "xml";
    return type->form == Form::kText ? "string" : part.type;
}

bool AllDigits(const std::string& text, size_t from) {
    if (from >= text.size()) return false;
    for (size_t i = from; i < text.size(); ++i)
        if (text[i] < '0' || text[i] > '9') return false;
    return true;
}

// Whether a value is one of its type's lexical forms (white space around it allowed).
bool Holds(const std::string& type, std::string value) {
    const size_t first = value.find_first_not_of(" \t\r\n");
    if (first == std::string::npos) return type == "string" || type == "xml";
    value = value.substr(first, value.find_last_not_of(" \t\r\n") - first + 1);
    const SchemaType* schemaType = FindSchemaType(type);
    const Form form = schemaType != nullptr ? schemaType->form : Form::kText;
    if (form == Form::kSigned || form == Form::kUnsigned)
        return AllDigits(value, (value[0] == '+' || (value[0] == '-' && form == Form::kSigned)) ? 1 : 0);
    if (form == Form::kDecimal || form == Form::kFloat) {
        if (form == Form::kFloat && (value == "INF" || value == "-INF" || value == "NaN")) return true;
        size_t at = value[0] == '+' || value[0] == '-' ? 1 : 0;
        const size_t exponent = form == Form::kDecimal ? std::string::npos : value.find_first_of("eE");
        const std::string mantissa =
            value.substr(at, exponent == std::string::npos ? std::string::npos : exponent - at);
        const size_t dot = mantissa.find('.');
        const std::string whole = mantissa.substr(0, dot);
        const std::string part = dot == std::string::npos ? std::string() : mantissa.substr(dot + 1);
        if ((whole.empty() && part.empty()) || (!whole.empty() && !AllDigits(whole, 0)) ||
            (!part.empty() && !AllDigits(part, 0)))
            return false;
        if (exponent == std::string::npos) return true;
        at = exponent + 1 < value.size() && (value[exponent + 1] == '+' || value[exponent + 1] == '-')
                 ? exponent + 2
                 : exponent + 1;
        return AllDigits(value, at);
    }
    if (form == Form::kBoolean) return value == "true" || value == "false" || value == "1" || value == "0";
    return true;  // texts, literal XML, and dates the codec reads its own way
}

}  // namespace

bool CSoapMessage::CheckPlan(std::string& why) const {
    if (!m_plan) return true;
    const std::string& operation = m_plan->operation;
    for (int i = 0; i < m_arrNames.GetSize(); ++i) {
        const std::string name = m_arrNames[i].str();
        const SoapPart* part = nullptr;
        for (const SoapPart& candidate : m_plan->input)
            if (candidate.name == name) part = &candidate;
        if (part == nullptr) {
            why = operation + " has no part " + name;
            return false;
        }
        if (m_arrRecordSets[static_cast<size_t>(i)].has_value() || part->array) continue;
        const std::string type = PlanType(*part);
        if (!Holds(type, m_arrValues[i].str())) {
            why = operation + ": part " + name + " is " + part->type + ", which \"" + m_arrValues[i].str() +
                  "\" is not";
            return false;
        }
    }
    for (const SoapPart& part : m_plan->input) {
        if (part.optional) continue;
        bool given = false;
        for (int i = 0; i < m_arrNames.GetSize() && !given; ++i) given = m_arrNames[i].str() == part.name;
        if (!given) {
            why = operation + " needs its part " + part.name;
            return false;
        }
    }
    return true;
}

void CSoapMessage::AddElement(const char* name, const char* type, const char* value) {
    std::string planned;
    if (m_plan && (type == nullptr || *type == '\0') && name != nullptr) {
        for (const SoapPart& part : m_plan->input)
            if (part.name == name) planned = PlanType(part);
        if (!planned.empty()) type = planned.c_str();
    }
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
    ClearCall();
    m_Header.Clear();
}

void CSoapMessage::ClearCall() {
    DropResponse();
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

bool CSoapMessage::AddHeader(const char* xml) {
    std::string why;
    if (m_Header.Add(xml, EnvelopePrefix(), why)) return true;
    m_strError = why.c_str();
    return false;
}

bool CSoapMessage::SetUsernameToken(const char* user, const char* password, int flags, int ttlSeconds) {
    std::string why;
    if (m_Header.SetUsernameToken(user, password, flags, ttlSeconds, why)) return true;
    m_strError = why.c_str();
    return false;
}

void CSoapMessage::SetSoap(CString response) {
    ClearCall();
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
        m_Header.Append(out, EnvelopePrefix(), m_nSoapVersion);
        out.AppendLine("<soap:Body>");
        line.Format("<%s xmlns=\"%s\">", m_strMethod.GetString(), m_strNameSpace.GetString());
        out.AppendLine(line);
    } else {
        line.Format("<SOAP-ENV:Envelope xmlns:SOAP-ENV=\"%s\" xmlns:xsi=\"%s\" xmlns:xsd=\"%s\">", envelope,
                    kSchemaInstanceUri, kSchemaUri);
        out.AppendLine(line);
        m_Header.Append(out, EnvelopePrefix(), m_nSoapVersion);
        out.AppendLine("<SOAP-ENV:Body>");
        if (m_plan && m_plan->literal)
            line.Format("<ns1:%s xmlns:ns1=\"%s\">", m_strMethod.GetString(),
                        m_strTargetObjectURI.GetString());
        else
            line.Format("<ns1:%s xmlns:ns1=\"%s\" SOAP-ENV:encodingStyle=\"%s\">", m_strMethod.GetString(),
                        m_strTargetObjectURI.GetString(), soap12 ? kSoap12EncodingUri : kSoapEncodingUri);
        out.AppendLine(line);
    }
    if (m_plan) {
        // The parts' order, whatever order they were added in; names no part has go last.
        std::vector<bool> written(static_cast<size_t>(m_arrNames.GetSize()), false);
        for (const SoapPart& part : m_plan->input)
            for (int i = 0; i < m_arrNames.GetSize(); ++i)
                if (!written[static_cast<size_t>(i)] && m_arrNames[i].str() == part.name) {
                    AppendParameter(i, out);
                    written[static_cast<size_t>(i)] = true;
                }
        for (int i = 0; i < m_arrNames.GetSize(); ++i)
            if (!written[static_cast<size_t>(i)]) AppendParameter(i, out);
    } else {
        for (int i = 0; i < m_arrNames.GetSize(); ++i) AppendParameter(i, out);
    }
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
    const SoapPart* part = nullptr;
    if (m_plan)
        for (const SoapPart& candidate : m_plan->input)
            if (candidate.name == name.str()) {
                part = &candidate;
                break;
            }
    const bool encoded = m_bDotNet == 0 && !(m_plan && m_plan->literal);
    if (parameterSet.has_value()) {
        SRS* recordSet = *parameterSet;
        // An rpc part whose type is an array is one, even of a single row.
        int asArray =
            type == kRecordSetArrayType || (m_bDotNet == 0 && part != nullptr && part->array) ? 1 : 0;
        const char* dialect = encoded ? "apache soap" : ".net";
        // A part the description wraps an array in takes its rows as that array's items.
        const char* rowName = nullptr;
        if (part != nullptr && !part->item.empty()) {
            rowName = part->item.c_str();
            asArray = 1;
        }
        // SOAP-encoded, the description's types name the structure and its fields.
        srsxml::Typing typing;
        const bool typed = encoded && part != nullptr && !part->typeNs.empty();
        if (typed) {
            typing.nameSpace = part->typeNs;
            typing.type = part->type;
            typing.array = part->array;
            for (const SoapPart& field : part->fields)
                if (FindSchemaType(field.type) != nullptr) typing.fields.emplace_back(field.name, field.type);
        }
        SRS empty;  // a record-set parameter added without a set travels as an empty one: a nil element
        srsxml::Append(out, recordSet != nullptr ? *recordSet : empty, dialect, name, asArray, m_nSoapVersion,
                       rowName, typed ? &typing : nullptr);
        out.Put("\r\n", 2);
        return;
    }
    const char* n = name.GetString();
    const size_t nameLength = std::strlen(n);
    out.Put("<", 1);
    out.Put(n, nameLength);
    if (encoded && !type.IsEmpty()) {
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
    delete m_pHeaderTree;
    m_pHeaderTree = nullptr;
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
    if (m_plan && m_pSRS != nullptr && m_plan->arrayAnswer && m_strError.IsEmpty() &&
        m_pSRS->RowCount() == 1 && m_pSRS->ColCount() == 1 &&
        static_cast<const SRS*>(m_pSRS)->CellView(0, 0).empty()) {
        // An array with no item reads as its empty element's one cell; the
        // description says it is a table: its columns, and no row.
        const std::string name = m_pSRS->m_arrCols[0]->m_strName.str();
        if (name.substr(name.rfind(':') == std::string::npos ? 0 : name.rfind(':') + 1) == m_plan->result) {
            m_pSRS->RemoveAll();
            for (const SoapPart& field : m_plan->rowColumns)
                m_pSRS->AddCol(field.name.c_str(), PlanType(field) == "xml" ? "" : field.type.c_str());
        }
    }
    if (m_plan && m_pSRS != nullptr) {
        // Columns the answer left untyped take the type of the field they hold, found by local name.
        for (auto& column : m_pSRS->m_arrCols) {
            if (!column->m_strTypeName.IsEmpty()) continue;
            const std::string name = column->m_strName.str();
            const std::string local =
                name.substr(name.rfind(':') == std::string::npos ? 0 : name.rfind(':') + 1);
            for (const SoapPart& field : m_plan->columns) {
                if (field.name != local || field.array || PlanType(field) == "xml") continue;
                column->m_strTypeName = field.type.c_str();
                column->m_nType = CTextUtil::ConvertType(field.type.c_str());
                break;
            }
        }
    }
    return m_pSRS;
}

bool CSoapMessage::LoadStored(CSoapReader& reader) {
    if (m_strSoap.IsEmpty()) return false;
    if (reader.LoadResponse(m_strSoap) != 0) return true;
    m_strError = reader.LastError();
    return false;
}

IXMLTreeNode* CSoapMessage::GetXMLTree() {
    if (m_pXMLTree == nullptr) {
        CSoapReader reader;
        if (!LoadStored(reader)) return nullptr;
        CXMLTreeParser parser;
        parser.SetDocument(reader.Document());
        std::string reason;
        m_pXMLTree = parser.Tree(1, reason);
        if (m_pXMLTree == nullptr) {
            m_strError = reason.c_str();  // memory, or a reference that cannot be resolved
            return nullptr;
        }
    }
    m_strError.Empty();
    return m_pXMLTree;
}

IXMLTreeNode* CSoapMessage::GetHeaderTree() {
    if (m_pHeaderTree == nullptr) {
        CSoapReader reader;
        if (!LoadStored(reader)) return nullptr;
        const CDomNode header = GetSoapHeaderNode(reader.Document());
        if (!header.IsNull()) m_pHeaderTree = CXMLTreeParser::BuildTreeFrom(header, 1);
    }
    m_strError.Empty();
    return m_pHeaderTree;
}
