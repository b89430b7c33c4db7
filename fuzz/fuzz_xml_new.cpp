// XML_new of arbitrary bytes, in both modes, then a walk of the whole tree
// through the flat functions: no undefined behaviour, no leak, and a tree
// whose links agree (each child's parent is the node it came from).
#include <orvex.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

void Walk(XML_NODE node, XML_NODE parent, int depth) {
    if (XML_GetParent(node) != parent || depth > 1000) std::abort();
    const size_t nameLength = std::strlen(XML_GetName(node));
    const int children = XML_GetChildren(node);
    // Only elements with content become nodes, so every node has a name,
    // and nodes with children keep no text.
    if (nameLength == 0 && parent != nullptr) std::abort();
    if (children > 0 && *XML_GetText(node) != '\0') std::abort();
    for (int i = 1; i <= XML_GetProps(node); ++i) {
        const std::string name = XML_GetPropName(node, i);
        (void)XML_GetPropValue(node, i);
        (void)XML_GetProperty(node, name.c_str());
    }
    if (XML_GetChild(node, 0) != nullptr || XML_GetChild(node, children + 1) != nullptr) std::abort();
    for (int i = 1; i <= children; ++i) Walk(XML_GetChild(node, i), node, depth + 1);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0 || size > (1u << 20)) return 0;
    // The first byte chooses the mode; the rest is the text. A text that does
    // not start with '<' could name a file: keep the fuzzer on texts.
    const int soapBody = data[0] & 1;
    std::string text(reinterpret_cast<const char*>(data + 1), size - 1);
    if (text.empty() || text[0] != '<') text.insert(text.begin(), '<');
    XML_NODE root = XML_new(text.c_str(), soapBody);
    if (root != nullptr) {
        Walk(root, nullptr, 1);
        XML_delete(root);
    }
    return 0;
}
