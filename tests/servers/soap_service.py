#!/usr/bin/env python3
"""A small SOAP service for tests and the demo: document/literal, with
elementFormDefault qualified, as .NET services answer. SOAP 1.1 everywhere
but under /soap12, where the same service speaks SOAP 1.2 alone.

Usage: soap_service.py [--port N]
Listens on 127.0.0.1 (port 0 picks a free one), prints "PORT <n>" on its
first line of standard output, and serves until it is killed or until
--lifetime seconds have passed (600 by default)."""
import argparse
import logging
import sys
import threading
from datetime import date, datetime, timezone
from socketserver import ThreadingMixIn
from wsgiref.simple_server import WSGIRequestHandler, WSGIServer, make_server

from spyne import (Application, Array, Boolean, ComplexModel, Date, DateTime, Double, Fault,
                   Integer, ServiceBase, Unicode, rpc)
from spyne.protocol.soap import Soap11, Soap12
from spyne.server.wsgi import WsgiApplication

NAMESPACE = "http://orvex.test/sample/"


class Order(ComplexModel):
    __namespace__ = NAMESPACE
    Id = Integer
    Customer = Unicode
    Amount = Double
    Paid = Boolean
    Placed = DateTime
    Note = Unicode(min_occurs=1, nillable=True)  # written as xsi:nil when absent


class Customer(ComplexModel):
    __namespace__ = NAMESPACE
    Id = Integer
    Name = Unicode
    City = Unicode
    Since = Date


ORDERS = [
    Order(Id=1, Customer="ACME", Amount=12.5, Paid=True,
          Placed=datetime(2005, 3, 7, 10, 20, 30, tzinfo=timezone.utc), Note="first & <urgent>"),
    Order(Id=2, Customer="ACME", Amount=99.0, Paid=False,
          Placed=datetime(2005, 3, 8, 8, 0, 0, tzinfo=timezone.utc), Note=None),
    Order(Id=3, Customer="Globex", Amount=7.25, Paid=True,
          Placed=datetime(2006, 1, 2, 3, 4, 5, tzinfo=timezone.utc), Note="third"),
]


class SampleService(ServiceBase):
    @rpc(Integer, Integer, _returns=Integer)
    def Add(ctx, a, b):
        return (a or 0) + (b or 0)

    @rpc(Unicode, _returns=Unicode)
    def Echo(ctx, text):
        return text

    @rpc(Integer, _returns=Customer)
    def GetCustomer(ctx, id):
        if id == 7:
            return Customer(Id=7, Name="ACME", City="Springfield", Since=date(1999, 12, 31))
        return None

    @rpc(Integer, _returns=Customer.customize(min_occurs=1, nillable=True))
    def FindCustomer(ctx, id):
        return None  # a nil result element

    @rpc(Unicode, _returns=Array(Order))
    def GetOrders(ctx, customer):
        return [o for o in ORDERS if customer in (None, "", o.Customer)]

    @rpc(Array(Order), _returns=Double)
    def SumOrders(ctx, orders):
        return sum((o.Amount or 0.0) for o in (orders or []))

    @rpc(Array(Order), _returns=Integer)
    def CountPaid(ctx, orders):
        return sum(1 for o in (orders or []) if o.Paid)

    @rpc(Unicode, _returns=Unicode)
    def Fail(ctx, reason):
        raise Fault(faultcode="Server", faultstring=reason or "Failure requested",
                    detail={"Reason": reason or ""})


class QuietHandler(WSGIRequestHandler):
    def log_message(self, *args):
        pass


class ThreadingServer(ThreadingMixIn, WSGIServer):
    daemon_threads = True


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--port", type=int, default=0)
    parser.add_argument("--lifetime", type=float, default=600.0)
    args = parser.parse_args()
    logging.disable(logging.CRITICAL)
    soap11 = WsgiApplication(Application([SampleService], tns=NAMESPACE,
                                         in_protocol=Soap11(validator="lxml"), out_protocol=Soap11()))
    soap12 = WsgiApplication(Application([SampleService], tns=NAMESPACE,
                                         in_protocol=Soap12(validator="lxml"), out_protocol=Soap12()))

    def by_path(environ, start_response):
        wanted = soap12 if environ.get("PATH_INFO", "").rstrip("/").endswith("/soap12") else soap11
        return wanted(environ, start_response)

    server = make_server("127.0.0.1", args.port, by_path,
                         server_class=ThreadingServer, handler_class=QuietHandler)
    print(f"PORT {server.server_port}", flush=True)
    threading.Timer(args.lifetime, lambda: server.shutdown()).start()
    server.serve_forever()
    return 0


if __name__ == "__main__":
    sys.exit(main())
