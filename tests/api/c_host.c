/* A host written in C: it sees only orvex.h and liborvex.so. */
#include <orvex.h>

#include <stdio.h>
#include <string.h>

static int g_calls = 0;

static int CountingHandler(void* owner, const char* text, const char* caption, unsigned style) {
    (void)owner;
    (void)text;
    (void)caption;
    (void)style;
    ++g_calls;
    return 1;
}

int main(void) {
    Orvex_SetMessageBoxHandler(CountingHandler);
    Orvex_SetMessageBoxHandler(NULL);
    /* The one delete function ignores null under each of its names. */
    HTTP_delete(NULL);
    SOAP_delete(NULL);
    SRS_delete(NULL);
    XML_delete(NULL);
    if (g_calls != 0) {
        fprintf(stderr, "handler called unexpectedly\n");
        return 1;
    }
    {
        XML_NODE root = XML_new("<r a='1'><c>text</c></r>", 0);
        XML_PARSER parser = NewXMLTreeParser();
        if (root == NULL || parser == NULL || XML_GetChildren(root) != 1 ||
            strcmp(XML_GetText(XML_GetChild(root, 1)), "text") != 0 || strcmp(XML_GetProperty(root, "A"), "1") != 0) {
            fprintf(stderr, "XML tree calls failed\n");
            return 1;
        }
        XML_delete(root);
        XML_delete(parser);
    }
    puts("c host ok");
    return 0;
}
