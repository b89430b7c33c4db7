// The XML form of a record set written into a builder that holds more than
// the element: the SOAP envelope writes its record-set parameters here
// straight into its own text, in the bytes SRS::toXML gives.
#ifndef ORVEX_RECORDSET_SRS_XML_H
#define ORVEX_RECORDSET_SRS_XML_H

#include <cstddef>
#include <string>
#include <utility>
#include <vector>

class CStringBuilder;
class SRS;

namespace srsxml {

// What a description says of the element a set is written as, in the
// Apache dialect: the type of its structure (empty: the set's own), whether
// it is an array even of one item, and the XML Schema type of the fields it
// names, which win over the columns' own.
struct Typing {
    std::string nameSpace;
    std::string type;
    bool array = false;
    std::vector<std::pair<std::string, std::string>> fields;
};

// Appends what set.toXML(dialect, elementName, asArray) writes; under SOAP
// version 12 an Apache array names its item type and size as SOAP 1.2
// encoding does. rowName, when given, names the rows instead of the set's name.
void Append(CStringBuilder& out, SRS& set, const char* dialect, const char* elementName, int asArray,
            int soapVersion = 11, const char* rowName = nullptr, const Typing* typing = nullptr);

// The bytes Append writes when no text needs an entity, give or take a few:
// enough to reserve a block up front.
size_t Estimate(const SRS& set, const char* dialect, const char* elementName);

}  // namespace srsxml

#endif
