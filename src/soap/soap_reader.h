// CSoapReader: reads one SOAP response text, for one operation of a message:
// the fault of a failed call, or a record set of the answer. It keeps
// nothing after the call; failures leave only the error text.
#ifndef ORVEX_SOAP_SOAP_READER_H
#define ORVEX_SOAP_SOAP_READER_H

#include <orvex/cstring.h>

#include "xml/xml_dom.h"
#include "support/obj.h"

class SRS;

class CSoapReader : public CObj {
public:
    CSoapReader();
    ~CSoapReader() override;
    CSoapReader(const CSoapReader&) = delete;
    CSoapReader& operator=(const CSoapReader&) = delete;

    // 1 when the text was parsed; 0 with the load failure as the error text.
    int Load(const CString& text);
    // Load, and 1 only when the root is a SOAP 1.1 or 1.2 Envelope: anything
    // else (an HTML page, an echo) is no answer, whatever its Body-like parts.
    int LoadResponse(const CString& text);
    // The document of the last load; null before one.
    const xml::DomDocumentPtr& Document() const { return m_pDoc; }
    // The faultcode, faultstring and detail lines found anywhere in the text,
    // each preceded by CR LF, as the error text (empty when none).
    void ReadFault(const CString& text);

    // Replaces *slot with a new set filled from the response's return element
    // (index 0) or its index-th child; *slot becomes null when there are fewer
    // children. 1 when reading succeeded; 0 with the error text set and *slot
    // an empty set, whatever failed (memory included), nothing kept. The
    // route is the XML room's: both give the same sets and texts.
    int ReadRecordSet(const CString& text, SRS*& slot, int index,
                      xml::XmlRoute route = xml::XmlRoute::kDirect);

    // A table may hold this many cells (rows x columns, null ones included),
    // or as many as the response has bytes when that is more: a table whose
    // cells are all written never comes near it, one whose rows each bring
    // new fields does long before its null cells cost anything to walk.
    static constexpr long long kMaxTableCells = 1LL << 24;

private:
    xml::DomDocumentPtr m_pDoc;
};

#endif
