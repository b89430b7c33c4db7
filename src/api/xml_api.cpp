#include <orvex.h>
#include <orvex/xml_tree.h>

#include "api/guard.h"
#include "api/handles.h"
#include "xmltree/xml_tree_parser.h"

namespace {

// The family's return string, one per thread.
thread_local CString t_strReturn;

IXMLTreeNode* Node(XML_NODE node) { return api::FromHandle<IXMLTreeNode>(node); }

XML_NODE ToNode(IXMLTreeNode* node) { return api::ToHandle<XML_NODE>(node); }

// 1-based to 0-based; 0 and below stay out of range without overflowing.
int ZeroBased(int index) { return index > 0 ? index - 1 : -1; }

}  // namespace

extern "C" XML_PARSER NewXMLTreeParser(void) {
    return api::Guard<XML_PARSER>(nullptr, [] { return api::ToHandle<XML_PARSER>(new CXMLTreeParser); });
}

extern "C" XML_NODE XML_new(const char* xml, int bSoapBody) {
    return api::Guard<XML_NODE>(nullptr, [&] { return ToNode(CXMLTreeParser::New(xml, bSoapBody)); });
}

extern "C" const char* XML_GetLastError(void) {
    return api::Guard<const char*>("", [] { return CXMLTreeParser::LastError(); });
}

extern "C" int XML_GetChildren(XML_NODE node) {
    return api::Guard(0, [&] { return node != nullptr ? Node(node)->GetChildren() : 0; });
}

extern "C" XML_NODE XML_GetChild(XML_NODE node, int index) {
    return api::Guard<XML_NODE>(
        nullptr, [&] { return node != nullptr ? ToNode(Node(node)->GetChild(ZeroBased(index))) : nullptr; });
}

extern "C" XML_NODE XML_GetParent(XML_NODE node) {
    return api::Guard<XML_NODE>(nullptr,
                                [&] { return node != nullptr ? ToNode(Node(node)->GetParent()) : nullptr; });
}

extern "C" const char* XML_GetName(XML_NODE node) {
    return api::Guard<const char*>("", [&] { return node != nullptr ? Node(node)->GetName() : ""; });
}

extern "C" const char* XML_GetText(XML_NODE node) {
    return api::Guard<const char*>("", [&] { return node != nullptr ? Node(node)->GetText() : ""; });
}

extern "C" int XML_GetProps(XML_NODE node) {
    return api::Guard(0, [&] { return node != nullptr ? Node(node)->GetProps() : 0; });
}

extern "C" const char* XML_GetPropName(XML_NODE node, int index) {
    return api::Guard<const char*>("", [&] {
        if (node == nullptr) return "";
        Node(node)->GetPropName(ZeroBased(index), t_strReturn);
        return t_strReturn.GetString();
    });
}

extern "C" const char* XML_GetPropValue(XML_NODE node, int index) {
    return api::Guard<const char*>("", [&] {
        if (node == nullptr) return "";
        Node(node)->GetPropValue(ZeroBased(index), t_strReturn);
        return t_strReturn.GetString();
    });
}

extern "C" const char* XML_GetProperty(XML_NODE node, const char* name) {
    return api::Guard<const char*>("", [&] {
        if (node == nullptr) return "";
        Node(node)->GetProperty(name, t_strReturn);
        return t_strReturn.GetString();
    });
}
