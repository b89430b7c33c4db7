/*
 * soap_call: calls a method of a SOAP service (.NET dialect) and prints the
 * record set it answers as a table, or the fault when the call fails.
 *
 *   soap_call URL NAMESPACE METHOD [NAME=VALUE ...]
 *   soap_call http://127.0.0.1:8080/ http://orvex.test/sample/ GetOrders customer=ACME
 *
 * Exit status: 0 printed, 1 the call failed (the reason on standard error),
 * 2 bad usage.
 */
#include <orvex.h>

#include <stdio.h>
#include <string.h>

/* One line per row, cells separated by tabs, column names first. Returns 0 when printed. */
static int PrintTable(SRS_HANDLE table) {
    int row, col;
    const int rows = SRS_RowCount(table);
    const int cols = SRS_ColCount(table);
    char names[32][128]; /* copied: the next text call reuses the buffer a name is returned in */
    if (cols > 32) {
        fprintf(stderr, "soap_call: more columns than this example prints\n");
        return 1;
    }
    for (col = 1; col <= cols; ++col) {
        const char* local;
        snprintf(names[col - 1], sizeof names[col - 1], "%s", SRS_GetColName(table, col));
        /* Names read from a response keep their prefix ("tns:Id"); show the local part. */
        local = strrchr(names[col - 1], ':');
        printf("%s%s", col > 1 ? "\t" : "", local != NULL ? local + 1 : names[col - 1]);
    }
    printf("\n");
    for (row = 1; row <= rows; ++row) {
        for (col = 1; col <= cols; ++col)
            printf("%s%s", col > 1 ? "\t" : "", SRS_GetText(table, row, names[col - 1]));
        printf("\n");
    }
    printf("(%d row%s)\n", rows, rows == 1 ? "" : "s");
    return 0;
}

int main(int argc, char** argv) {
    SOAP_HANDLE soap;
    HTTP_HANDLE http;
    int i, status = 0;

    if (argc < 4) {
        fprintf(stderr, "usage: soap_call URL NAMESPACE METHOD [NAME=VALUE ...]\n");
        return 2;
    }

    /* The message: the dialect and method, the service's namespace, the parameters. */
    soap = SOAP_new("dotnet", argv[3]);
    SOAP_SetNameSpace(soap, argv[2]);
    for (i = 4; i < argc; ++i) {
        char name[128];
        const char* equals = strchr(argv[i], '=');
        if (equals == NULL || (size_t)(equals - argv[i]) >= sizeof name) {
            fprintf(stderr, "soap_call: %s is not NAME=VALUE\n", argv[i]);
            SOAP_delete(soap);
            return 2;
        }
        memcpy(name, argv[i], (size_t)(equals - argv[i]));
        name[equals - argv[i]] = '\0';
        /* Sent as a string; a type such as "int" or "dateTime" is written and escaped as that type. */
        SOAP_AddElement(soap, name, "string", equals + 1);
    }

    /* A SOAP request posts the attached message and hands the response back to it. */
    http = HTTP_new(1);
    HTTP_AttachSoap(http, soap);
    if (!HTTP_Request(http, argv[1], NULL, NULL)) {
        /* A fault is a failed call: the text holds the status, faultcode and faultstring. */
        fprintf(stderr, "soap_call: %s\n", HTTP_GetLastError(http));
        status = 1;
    } else {
        /* The set belongs to the message: read it, never delete it. */
        SRS_HANDLE table = SOAP_GetSRS(soap);
        if (SOAP_GetLastError(soap)[0] != '\0') {
            fprintf(stderr, "soap_call: %s\n", SOAP_GetLastError(soap));
            status = 1;
        } else {
            status = PrintTable(table);
        }
    }

    /* The request goes first: the message must outlive the requests it is attached to. */
    HTTP_delete(http);
    SOAP_delete(soap);
    return status;
}
