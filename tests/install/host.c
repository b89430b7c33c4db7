/*
 * A host built against an installed copy of the library: it sees the
 * installed orvex.h and links the installed liborvex.so, nothing else.
 * Prints the library's version and checks a few calls that need no network.
 */
#include <orvex.h>

#include <stdio.h>
#include <string.h>

int main(int argc, char** argv) {
    SRS_HANDLE set;
    XML_NODE root;
    int ok;

    if (argc != 2) {
        fprintf(stderr, "usage: host EXPECTED_VERSION\n");
        return 2;
    }
    if (strcmp(Orvex_Version(), argv[1]) != 0) {
        fprintf(stderr, "the library says %s, not %s\n", Orvex_Version(), argv[1]);
        return 1;
    }

    set = SRS_new("Order", "urn:shop", "Order");
    SRS_AddCol(set, "Id", "int");
    SRS_SetText(set, SRS_AddRow(set), "Id", "7");
    ok = strcmp(SRS_toXML(set, "dotnet", "Orders", 0), "<Orders><Id>7</Id></Orders>") == 0;
    SRS_delete(set);

    root = XML_new("<r a='1'><c>text</c></r>", 0);
    ok = ok && root != NULL && XML_GetChildren(root) == 1 &&
         strcmp(XML_GetText(XML_GetChild(root, 1)), "text") == 0;
    XML_delete(root);

    if (!ok) {
        fprintf(stderr, "a call of the installed library failed\n");
        return 1;
    }
    printf("host ok: liborvex %s\n", Orvex_Version());
    return 0;
}
