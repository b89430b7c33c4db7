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
    puts("c host ok");
    return 0;
}
