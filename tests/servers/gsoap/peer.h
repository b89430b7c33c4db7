// The rpc/encoded sample service served by peer_server.cpp. soapcpp2 reads
// this header and writes the WSDL, the schema and the server skeleton from it.

//gsoap ns service name: Peer
//gsoap ns service style: rpc
//gsoap ns service encoding: encoded
//gsoap ns service namespace: http://orvex.test/gsoap/peer.wsdl
//gsoap ns service location: http://127.0.0.1/
//gsoap ns schema namespace: urn:orvex-peer

// An order: a number, a text, an amount and the time it was placed.
struct ns__Order {
    int id;
    char* customer;
    double amount;
    time_t placed;
};

// A SOAP-encoded array (soapenc:Array) of orders. Without a namespace prefix on
// purpose: soapcpp2 writes a prefixed one as a plain sequence of items.
struct ArrayOfOrder {
    struct ns__Order* __ptr;
    int __size;
};

// A SOAP-encoded array of references to orders: two items may share one.
struct ArrayOfOrderRef {
    struct ns__Order** __ptr;
    int __size;
};

// Two fields pointing at one order.
struct ns__Pair {
    struct ns__Order* first;
    struct ns__Order* second;
};

// The response elements of the calls that answer a structure: soapcpp2 takes a
// structure as the last parameter for the response element itself.
struct ns__getOrderResponse {
    struct ns__Order order;
};

struct ns__findOrderResponse {
    struct ns__Order* order;
};

struct ns__getPairResponse {
    struct ns__Pair pair;
};

// a + b.
int ns__add(int a, int b, int* sum);
// The text back as it came.
int ns__echo(char* text, char** echoed);
// Order 7, placed 2005-03-07T10:20:30Z.
int ns__getOrder(int id, struct ns__getOrderResponse* response);
// Two orders for ACME, none for anyone else.
int ns__getOrders(char* customer, struct ArrayOfOrder* orders);
// The sum of the amounts of the orders sent, so that a request's array is read by the server.
int ns__totalAmount(struct ArrayOfOrder* orders, double* total);
// No order: a nil answer.
int ns__findOrder(int id, struct ns__findOrderResponse* response);
// An array of two items that point at one order.
int ns__getShared(int key, struct ArrayOfOrderRef* orders);
// A structure whose two fields point at one order.
int ns__getPair(int id, struct ns__getPairResponse* response);
// A SOAP fault with the reason as its string.
int ns__fail(char* reason, struct ns__failResponse { } * response);
