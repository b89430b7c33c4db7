// CSoapMessage: one SOAP 1.1 or 1.2 call. It holds the method, its namespace or
// target object and the ordered parameters, writes the request envelope in
// the .NET (document/literal) or Apache (RPC/encoded) dialect, and owns what
// is read from the stored response: a record set, an XML tree, a fault text.
#ifndef ORVEX_SOAP_SOAP_MESSAGE_H
#define ORVEX_SOAP_SOAP_MESSAGE_H

#include <orvex/arrays.h>
#include <orvex/cstring.h>
#include <orvex/handle_object.h>

#include "soap/soap_header.h"

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class CStringBuilder;
class CSoapReader;
class SRS;
struct SoapPlan;
class IXMLTreeNode;

// The namespace .NET services use when none is configured.
extern const char* const kDotNetPlaceholderNamespace;

class CSoapMessage : public CHandleObject {
public:
    // The dialect is .NET when the lower-cased server kind contains ".net",
    // "dotnet" or "dot net"; Apache otherwise.
    CSoapMessage(const char* serverKind, const char* method);
    ~CSoapMessage() override;
    CSoapMessage(const CSoapMessage&) = delete;
    CSoapMessage& operator=(const CSoapMessage&) = delete;

    // The request envelope; lines end in CR LF.
    void GetSoap(CString& out);
    // The same written into out, emptied first; its block serves again.
    void GetSoap(CStringBuilder& out);
    // A scalar parameter; a type known to the value codec is stored under its canonical name.
    void AddElement(const char* name, const char* type, const char* value);
    // A record-set parameter, one struct or (asArray) an array of structs. The
    // set stays the caller's and must live until the envelope is written.
    void AddNodes(const char* name, int asArray, SRS* recordSet);
    // Discards the parameters, the header blocks, the stored response, what
    // was read from it and the error text.
    void Empty();
    // Discards the parameters, the stored response, what was read from it and
    // the error text, then keeps the response text for the readers. Header
    // blocks stay: they go with every call until Empty.
    void SetSoap(CString response);
    // A header block of literal XML for every call until Empty; false, with
    // the reason in m_strError, for a text that is no block (CSoapHeader::Add).
    bool AddHeader(const char* xml);
    // A UsernameToken in a wsse:Security header written anew for every call
    // until Empty (CSoapHeader::SetUsernameToken); false with the reason in m_strError.
    bool SetUsernameToken(const char* user, const char* password, int flags, int ttlSeconds);

    // A failed call: discards the stored response and what was read from it,
    // and reads the call's answer as a fault into m_strError (empty when none).
    void SetFault(const CString& text);
    // A call that got no whole answer (cut off, timed out, refused): discards
    // the stored response and what was read from it, and keeps the reason as
    // m_strError. Nothing that arrived is read.
    void SetFailure(const CString& reason);
    // Record set number index of the stored response (0: the whole return
    // element). Owned by the message, replaced by the next call; null past the last.
    // Every read sets m_strError: the reason it failed, or empty. With no
    // response stored after a failed call, an empty set and the fault kept.
    SRS* GetSRS(int index);
    int LoadSRS(const CString& text, int index);
    // The tree of the stored response in SOAP body mode, built once; null
    // without a response, or with the reason in m_strError (empty on success).
    IXMLTreeNode* GetXMLTree();
    // The stored response's Header as a tree, prefixes dropped as in
    // GetXMLTree's, built once; null without a response or a Header (m_strError
    // then empty), or when the response cannot be read (the reason in m_strError).
    IXMLTreeNode* GetHeaderTree();

    // 11 or 12; false, changing nothing, for any other version.
    bool SetSoapVersion(int version);
    // The action a call names: null restores the one the dialect derives
    // (.NET: the namespace, a '/', the method; Apache: none). False, changing
    // nothing, for a text that cannot stand in a header (a quote, CR or LF).
    bool SetAction(const char* action);
    CString Action() const;

    // The parts a description gives the operation: a scalar added without a
    // type takes its part's, parameters are written in the parts' order, and
    // the columns of an answer take the types of the fields they hold.
    void SetPlan(std::shared_ptr<const SoapPlan> plan) { m_plan = std::move(plan); }
    // Whether the parameters fit the plan (every name a part, every required
    // part given, every scalar a value its type holds); false with the
    // reason naming the part. True without a plan.
    bool CheckPlan(std::string& why) const;

    void SetEncoding(const char* encoding) { m_strEncoding = encoding; }
    void SetTargetObjectURI(const char* uri) { m_strTargetObjectURI = uri; }
    // In the .NET dialect the empty text restores the placeholder namespace.
    void SetNameSpace(const char* nameSpace);

    int m_bDotNet = 0;
    int m_nSoapVersion = 11;
    std::optional<CString> m_strAction;  // set by the host; else derived
    std::shared_ptr<const SoapPlan> m_plan;
    CString m_strEncoding = "UTF-8";
    CString m_strMethod;
    CString m_strTargetObjectURI;
    CString m_strNameSpace;
    CStringArray m_arrNames;
    CStringArray m_arrTypes;
    CStringArray m_arrValues;
    // Beside the value texts: for a record-set parameter its set (null for
    // an empty one), nothing for a scalar, so a set is never read back from a
    // caller's text.
    std::vector<std::optional<SRS*>> m_arrRecordSets;
    SRS* m_pSRS = nullptr;
    IXMLTreeNode* m_pXMLTree = nullptr;
    IXMLTreeNode* m_pHeaderTree = nullptr;
    CSoapHeader m_Header;
    CString m_strSoap;
    CString m_strError;

private:
    // Loads the stored response into `reader` for a tree; false with none
    // stored, or with the reason in m_strError for one that is no answer.
    bool LoadStored(CSoapReader& reader);
    // Drops the response of the last call and what was read from it.
    void DropResponse();
    // What a new response replaces: the parameters, the response, the error text.
    void ClearCall();
    const char* EnvelopePrefix() const { return m_bDotNet != 0 ? "soap" : "SOAP-ENV"; }
    // What the envelope takes when no text needs an entity, give or take a few bytes.
    size_t EstimateSoap() const;
    void AppendParameter(int index, CStringBuilder& out);
};

#endif
