/*
 * xml_walk: loads an XML file and prints it as an indented tree: element
 * names, attributes in brackets, and the text of each leaf.
 *
 *   xml_walk FILE
 *   xml_walk examples/orders.xml
 *
 * Exit status: 0 printed, 1 the file is missing or not well-formed, 2 bad
 * usage.
 */
#include <orvex.h>

#include <stdio.h>

static void Walk(XML_NODE node, int depth) {
    int i;
    const int props = XML_GetProps(node);
    const int children = XML_GetChildren(node);

    printf("%*s%s", depth * 2, "", XML_GetName(node));
    for (i = 1; i <= props; ++i) {
        /* Name and value share one return buffer: print each before asking for the next. */
        printf("%s", i == 1 ? " [" : " ");
        printf("%s=", XML_GetPropName(node, i));
        printf("\"%s\"", XML_GetPropValue(node, i));
    }
    printf("%s", props > 0 ? "]" : "");
    /* Only leaves have text; text beside child elements is not kept. */
    if (children == 0) printf(" = %s", XML_GetText(node));
    printf("\n");
    for (i = 1; i <= children; ++i) Walk(XML_GetChild(node, i), depth + 1);
}

int main(int argc, char** argv) {
    XML_NODE root;

    if (argc != 2) {
        fprintf(stderr, "usage: xml_walk FILE\n");
        return 2;
    }
    /* A text that does not start with '<' is taken as a file name and that file is read. */
    root = XML_new(argv[1], 0);
    if (root == NULL) {
        fprintf(stderr, "xml_walk: %s: missing or not well-formed XML\n", argv[1]);
        return 1;
    }
    Walk(root, 0);
    /* Nodes belong to the tree: deleting the root frees them all. */
    XML_delete(root);
    return 0;
}
