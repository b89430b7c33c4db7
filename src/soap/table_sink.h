// The usual answer - an envelope whose response holds a table of rows -
// read into a record set as the direct reader walks the text, with no DOM in
// between. Anything else, and anything that goes wrong, is declined and left
// to the reader that works on a loaded document, which gives the same set,
// or the same refusal, for every text.
#ifndef ORVEX_SOAP_TABLE_SINK_H
#define ORVEX_SOAP_TABLE_SINK_H

#include <orvex/cstring.h>

class SRS;

// Fills the empty `set` with the table the response text holds, as
// CSoapReader's table reading would for index 0. 1 when it did; 0 when it
// declined, `set` then holding a partial table to be thrown away. `cellLimit`
// is the reader's bound on rows x columns (passing it declines). Raises
// std::bad_alloc when memory runs out.
int ReadTableStraight(const CString& text, SRS& set, long long cellLimit);

#endif
