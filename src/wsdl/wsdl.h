// CWsdl: a WSDL 1.1 description read from a location with every document it
// imports, and the SOAP operations its ports offer, listed as a record set.
#ifndef ORVEX_WSDL_WSDL_H
#define ORVEX_WSDL_WSDL_H

#include <orvex/handle_object.h>

#include "soap/soap_plan.h"

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

class CSoapMessage;
class SRS;

class CWsdl : public CHandleObject {
public:
    // Reads a location into a text: "" or the reason it could not.
    using Fetcher = std::function<std::string(const std::string& location, std::string& text)>;

    // Reads the description; Error() says why it could not be.
    CWsdl(const char* location, int maxAgeSeconds);
    // The same, each document read by `fetch` (tests and the fuzz target).
    CWsdl(const std::string& location, const Fetcher& fetch);
    ~CWsdl() override;
    CWsdl(const CWsdl&) = delete;
    CWsdl& operator=(const CWsdl&) = delete;

    // "" once read.
    const std::string& Error() const { return m_error; }
    // One row per operation of each SOAP port; null when nothing was read.
    SRS* Operations() const { return m_operations.get(); }
    // The address of the port that offers `operation`: the named port, or
    // (null) the first SOAP 1.1 port that has it, else the first SOAP 1.2
    // one. Null when there is none.
    const char* Endpoint(const char* operation, const char* port) const;

    // The most documents and bytes one description may bring in.
    static constexpr size_t kMaxDocuments = 64;
    static constexpr size_t kMaxBytes = 64u << 20;

    // An operation of a port. Its texts view the kept documents'
    // zero-terminated characters or literals, so each is a C text too.
    struct Operation {
        std::string_view port, version, style, use, name, action, endpoint;
        std::string_view method, nameSpace;  // the request element and its namespace
        // Described when a call or a shape first names the operation: the
        // answer's shape (none, scalar, struct or array) and the parts.
        mutable const char* shape = "none";
        mutable std::shared_ptr<const SoapPlan> plan;
    };
    // The operation a call names, found as Endpoint finds its port, with its
    // parts described; null when none.
    const Operation* Find(const char* operation, const char* port) const;
    // A new message set for the operation (the caller's to delete), carrying
    // its parts; null when no port has it. Document style is the .NET
    // dialect (document/literal), rpc the Apache one (RPC/encoded).
    CSoapMessage* NewCall(const char* operation, const char* port) const;

private:
    // The documents read, kept so that an operation's parts are described
    // when it is first called rather than for every operation listed.
    struct Source;

    void Read(const std::string& location, const Fetcher& fetch);
    const Operation* Locate(const char* operation, const char* port) const;

    std::string m_error;
    std::vector<Operation> m_list;
    std::unique_ptr<SRS> m_operations;
    std::unique_ptr<Source> m_source;
};

#endif
