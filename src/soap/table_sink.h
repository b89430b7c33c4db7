// The one builder of the record sets read from SOAP answers: a sink that
// takes a response node by node, from either XML route, and fills a set in
// the shape the answer has (soap_answer.h): a table, a single row or a
// scalar, from the response's return element or one of its children.
#ifndef ORVEX_SOAP_TABLE_SINK_H
#define ORVEX_SOAP_TABLE_SINK_H

#include <orvex/cstring.h>

#include "xml/xml_dom.h"

#include <string>

class SRS;

// What reading a record set came to.
enum class TableRead {
    kRead,       // the set holds what the answer has (an empty set for a nil or empty answer)
    kNoSuchSet,  // the return element has fewer children than the index asked for
    kFailed,     // the text says why
};

// The text of a table that passed the cell bound:
// "Record set too large: ROWS rows x COLS columns pass the limit of CELLS cells".
std::string TableTooLarge(long long rows, long long cols, long long cellLimit);

// Fills the empty `set` with record set number `index` of the response
// `text`: 0 the whole return element, n its n-th child node (below 1 the
// first). A table holds at most `cellLimit` cells (rows x columns). On
// kFailed `error` gets "Invalid SOAP XML!", a "Not a SOAP response: ..."
// text or a "Record set too large: ..." one, and `set` holds a part to be
// thrown away. Memory that runs out raises (CDomError or std::bad_alloc).
TableRead ReadTable(const CString& text, int index, xml::XmlRoute route, long long cellLimit, SRS& set,
                    CString& error);

#endif
