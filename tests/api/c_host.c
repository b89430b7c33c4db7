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

/* A record set built and written through the flat functions. */
static int RecordSetWorks(void) {
    char date[SRS_DATETIME_BUFFER];
    char time[SRS_DATETIME_BUFFER];
    SRS_HANDLE set = SRS_new("Order", "urn:shop", "OrderType");
    int ok = set != NULL && SRS_AddCol(set, "Id", "int") == 1 && SRS_AddCol(set, "When", "dateTime") == 1 &&
             SRS_AddRow(set) == 1;
    if (ok) {
        SRS_SetText(set, 1, "id", "7");
        SRS_SetText(set, 1, "When", "2005-03-07T10:20:30.5+01:00");
        ok = SRS_GetInt(set, 1, "Id") == 7 && SRS_GetDouble(set, 1, "Id") == 7.0 &&
             strcmp(SRS_GetDatetime(set, 1, "When", date, time), "2005-03-07 10:20:30.5") == 0 &&
             strcmp(date, "2005-03-07") == 0 && strcmp(time, "10:20:30.5") == 0 &&
             strcmp(SRS_toXML(set, "dotnet", "Orders", 0),
                    "<Orders><Id>7</Id><When>2005-03-07T09:20:30.0Z</When></Orders>") == 0;
    }
    SRS_delete(set);
    return ok;
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
    if (!RecordSetWorks()) {
        fprintf(stderr, "record set calls failed\n");
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
