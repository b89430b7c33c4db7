// The rpc/encoded sample service on gSOAP's runtime, for tests that need a
// SOAP-encoded peer nobody here wrote.
//
// Usage: peer_server [--lifetime S] [--mode encoded|tree|graph]
// Listens on 127.0.0.1 (a free port), prints "PORT <n>" on its first line of
// standard output, serves each connection on a thread of its own (keep-alive
// kept) and ends after --lifetime seconds (600 by default). GET ?wsdl answers
// the WSDL soapcpp2 wrote beside this program, its address made this one's.
// --mode picks how shared objects are written: encoded (gSOAP's default for
// SOAP encoding: id/href), tree (each copy in full) or graph (SOAP_XML_GRAPH).

#include "Peer.nsmap"
#include "soapH.h"

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

namespace {

std::string g_wsdl;

time_t Utc(int year, int month, int day, int hour, int minute, int second) {
    std::tm t{};
    t.tm_year = year - 1900;
    t.tm_mon = month - 1;
    t.tm_mday = day;
    t.tm_hour = hour;
    t.tm_min = minute;
    t.tm_sec = second;
    return timegm(&t);
}

void FillOrder(ns__Order& order, int id, const char* customer, double amount, time_t placed) {
    order.id = id;
    order.customer = const_cast<char*>(customer);
    order.amount = amount;
    order.placed = placed;
}

std::string ReadWsdl(const char* program) {
    std::string path = program;
    char self[4096];
    const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    if (n > 0) path.assign(self, static_cast<size_t>(n));
    path = path.substr(0, path.rfind('/') + 1) + "Peer.wsdl";
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

int ServeGet(struct soap* soap) {
    const char* query = std::strchr(soap->path, '?');
    if (query == nullptr || std::strcmp(query, "?wsdl") != 0) return 404;
    soap->http_content = "text/xml; charset=utf-8";
    soap->length = g_wsdl.size();
    if (soap_response(soap, SOAP_FILE) || soap_send_raw(soap, g_wsdl.data(), g_wsdl.size()) ||
        soap_end_send(soap))
        return soap_closesock(soap);
    return SOAP_OK;
}

void Serve(struct soap* soap) {
    soap_serve(soap);
    soap_destroy(soap);
    soap_end(soap);
    soap_free(soap);
}

}  // namespace

int main(int argc, char** argv) {
    int lifetime = 600;
    soap_mode mode = 0;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--lifetime") == 0) {
            lifetime = std::atoi(argv[i + 1]);
        } else if (std::strcmp(argv[i], "--mode") == 0) {
            const std::string name = argv[i + 1];
            if (name == "tree")
                mode = SOAP_XML_TREE;
            else if (name == "graph")
                mode = SOAP_XML_GRAPH;
            else if (name != "encoded")
                return 2;
        } else {
            std::fprintf(stderr, "usage: peer_server [--lifetime S] [--mode encoded|tree|graph]\n");
            return 2;
        }
    }
    g_wsdl = ReadWsdl(argv[0]);
    if (g_wsdl.empty()) {
        std::fprintf(stderr, "peer_server: no Peer.wsdl beside the program\n");
        return 1;
    }

    struct soap* soap = soap_new1(SOAP_IO_KEEPALIVE | SOAP_XML_NIL | mode);
    soap->bind_flags = SO_REUSEADDR;
    soap->fget = ServeGet;
    if (!soap_valid_socket(soap_bind(soap, "127.0.0.1", 0, 64))) {
        soap_print_fault(soap, stderr);
        return 1;
    }
    sockaddr_in address{};
    socklen_t length = sizeof address;
    getsockname(soap->master, reinterpret_cast<sockaddr*>(&address), &length);
    const int port = ntohs(address.sin_port);
    const std::string location = "http://127.0.0.1:" + std::to_string(port) + "/";
    const std::string placeholder = "location=\"http://127.0.0.1/\"";
    const size_t at = g_wsdl.find(placeholder);
    if (at != std::string::npos) g_wsdl.replace(at, placeholder.size(), "location=\"" + location + "\"");

    // The process ends on SIGALRM's default action, whatever its threads are doing.
    alarm(static_cast<unsigned>(lifetime));
    std::printf("PORT %d\n", port);
    std::fflush(stdout);
    for (;;) {
        if (!soap_valid_socket(soap_accept(soap))) continue;
        struct soap* copy = soap_copy(soap);
        if (copy == nullptr) {
            soap_force_closesock(soap);
            continue;
        }
        std::thread(Serve, copy).detach();
    }
}

int ns__add(struct soap*, int a, int b, int* sum) {
    *sum = a + b;
    return SOAP_OK;
}

int ns__echo(struct soap*, char* text, char** echoed) {
    *echoed = text;
    return SOAP_OK;
}

int ns__getOrder(struct soap* soap, int id, ns__getOrderResponse* response) {
    if (id != 7) return soap_sender_fault(soap, "No such order", nullptr);
    FillOrder(response->order, 7, "ACME", 12.5, Utc(2005, 3, 7, 10, 20, 30));
    return SOAP_OK;
}

int ns__getOrders(struct soap* soap, char* customer, ArrayOfOrder* orders) {
    orders->__size = 0;
    // A pointer even for no item, so that the array says its type and size ("ns:Order[0]").
    orders->__ptr = soap_new_ns__Order(soap, 1);
    if (customer == nullptr || std::strcmp(customer, "ACME") != 0) return SOAP_OK;
    orders->__size = 2;
    orders->__ptr = soap_new_ns__Order(soap, 2);
    FillOrder(orders->__ptr[0], 1, "ACME", 12.5, Utc(2005, 3, 7, 10, 20, 30));
    FillOrder(orders->__ptr[1], 2, "ACME & <Sons>", -99.75, Utc(2005, 3, 8, 8, 0, 0));
    return SOAP_OK;
}

int ns__totalAmount(struct soap*, ArrayOfOrder* orders, double* total) {
    *total = 0;
    for (int i = 0; orders != nullptr && i < orders->__size; ++i) *total += orders->__ptr[i].amount;
    return SOAP_OK;
}

int ns__findOrder(struct soap*, int, ns__findOrderResponse* response) {
    response->order = nullptr;
    return SOAP_OK;
}

int ns__getShared(struct soap* soap, int id, ArrayOfOrderRef* orders) {
    ns__Order* shared = soap_new_ns__Order(soap);
    FillOrder(*shared, id, "ACME", 12.5, Utc(2005, 3, 7, 10, 20, 30));
    orders->__size = 2;
    orders->__ptr = static_cast<ns__Order**>(soap_malloc(soap, 2 * sizeof(ns__Order*)));
    orders->__ptr[0] = shared;
    orders->__ptr[1] = shared;
    return SOAP_OK;
}

int ns__getPair(struct soap* soap, int id, ns__getPairResponse* response) {
    ns__Order* shared = soap_new_ns__Order(soap);
    FillOrder(*shared, id, "ACME", 12.5, Utc(2005, 3, 7, 10, 20, 30));
    response->pair.first = shared;
    response->pair.second = shared;
    return SOAP_OK;
}

int ns__fail(struct soap* soap, char* reason, ns__failResponse*) {
    return soap_sender_fault(soap, reason != nullptr ? reason : "", nullptr);
}
