/*
 * record_set: builds a record set from rows held in the program and sends
 * it as an array-of-structs parameter, then prints the service's answer.
 *
 *   record_set URL NAMESPACE
 *   record_set http://127.0.0.1:8080/ http://orvex.test/sample/
 *
 * The sample service's SumOrders takes orders (Order[]) and answers the
 * sum of their amounts. Exit status: 0 printed, 1 the call failed, 2 bad
 * usage.
 */
#include <orvex.h>

#include <stdio.h>

struct Order {
    const char* id;
    const char* amount;
    const char* paid;
    const char* note; /* NULL: no value, sent as xsi:nil */
};

static const struct Order kOrders[] = {
    {"1", "12.5", "true", "first"},
    {"2", "99", "false", NULL},
    {"3", "7.25", "true", "third & last"},
};

int main(int argc, char** argv) {
    SRS_HANDLE orders;
    SOAP_HANDLE soap;
    HTTP_HANDLE http;
    size_t i;
    int status = 0;

    if (argc != 3) {
        fprintf(stderr, "usage: record_set URL NAMESPACE\n");
        return 2;
    }

    /* Each row is written as an <Order> element; column types decide how values are encoded. */
    orders = SRS_new("Order", argv[2], "Order");
    SRS_AddCol(orders, "Id", "int");
    SRS_AddCol(orders, "Amount", "double");
    SRS_AddCol(orders, "Paid", "boolean");
    SRS_AddCol(orders, "Note", "string");
    for (i = 0; i < sizeof kOrders / sizeof kOrders[0]; ++i) {
        const int row = SRS_AddRow(orders);
        SRS_SetText(orders, row, "Id", kOrders[i].id);
        SRS_SetText(orders, row, "Amount", kOrders[i].amount);
        SRS_SetText(orders, row, "Paid", kOrders[i].paid);
        SRS_SetText(orders, row, "Note", kOrders[i].note); /* NULL leaves the cell null */
    }

    soap = SOAP_new("dotnet", "SumOrders");
    SOAP_SetNameSpace(soap, argv[2]);
    /* "[]" sends an array of structs, <orders><Order>...</Order>...</orders>. The set stays ours. */
    SOAP_AddNodes(soap, "orders[]", orders);

    http = HTTP_new(1);
    HTTP_AttachSoap(http, soap);
    if (!HTTP_Request(http, argv[1], NULL, NULL)) {
        fprintf(stderr, "record_set: %s\n", HTTP_GetLastError(http));
        status = 1;
    } else {
        /* A scalar answer reads as a set of one column and one row. */
        SRS_HANDLE result = SOAP_GetSRS(soap);
        if (SOAP_GetLastError(soap)[0] != '\0') {
            fprintf(stderr, "record_set: %s\n", SOAP_GetLastError(soap));
            status = 1;
        } else {
            printf("sent %d orders, total %.2f\n", SRS_RowCount(orders),
                   SRS_GetDouble(result, 1, "SumOrdersResult"));
        }
    }

    HTTP_delete(http);
    SOAP_delete(soap);
    SRS_delete(orders); /* after the envelope was written: the message only points at it */
    return status;
}
