// The XML form of a record set written into a builder that holds more than
// the element: the SOAP envelope writes its record-set parameters here
// straight into its own text, in the bytes SRS::toXML gives.
#ifndef ORVEX_RECORDSET_SRS_XML_H
#define ORVEX_RECORDSET_SRS_XML_H

#include <cstddef>

class CStringBuilder;
class SRS;

namespace srsxml {

// Appends what set.toXML(dialect, elementName, asArray) writes; under SOAP
// version 12 an Apache array names its item type and size as SOAP 1.2
// encoding does. rowName, when given, names the rows instead of the set's name.
void Append(CStringBuilder& out, SRS& set, const char* dialect, const char* elementName, int asArray,
            int soapVersion = 11, const char* rowName = nullptr);

// The bytes Append writes when no text needs an entity, give or take a few:
// enough to reserve a block up front.
size_t Estimate(const SRS& set, const char* dialect, const char* elementName);

}  // namespace srsxml

#endif
