// SoapPlan: what a description says of one operation's parts, so that a
// message made from it types, orders and checks its parameters and types the
// columns of its answer.
#ifndef ORVEX_SOAP_SOAP_PLAN_H
#define ORVEX_SOAP_SOAP_PLAN_H

#include <string>
#include <vector>

struct SoapPart {
    std::string name;
    std::string type;  // an XML Schema type's name, a type the description names, or "xml"
    bool array = false;
    bool optional = false;
    std::string item;  // a structure wrapping an array: its items' element
    // A structure or an array of them in an rpc message: the namespace of its
    // type (`type` names it, or its items' type) and its fields, which type a
    // record set's columns when it is written SOAP-encoded.
    std::string typeNs;
    std::vector<SoapPart> fields;

    // "name type", "[]" after an array's type, "?" after an optional one's.
    std::string Describe() const { return name + " " + type + (array ? "[]" : "") + (optional ? "?" : ""); }
};

struct SoapPlan {
    std::string operation;
    // An rpc/literal operation: its parts carry no xsi:type and no encoding style.
    bool literal = false;
    std::vector<SoapPart> input;  // in the order they are written
    // The fields an answer's columns may hold, by their names: the output's
    // parts and the fields of the structures they are, or hold an array of.
    std::vector<SoapPart> columns;
    // An answer holding an array: the element that holds it, and the fields
    // of its items, the columns of an answer with no item.
    bool arrayAnswer = false;
    std::string result;
    std::vector<SoapPart> rowColumns;
};

#endif
