// The orvex command against the sample service: outputs and exit statuses.
#include "common/child_server.h"
#include "common/test_support.h"
#include "http/http_test_server.h"
#include "soap/asmx_test_service.h"
#include "soap/soap_test_service.h"

#include <orvex.h>

#include <gtest/gtest.h>

#include <cctype>
#include <cstdio>
#include <string>
#include <sys/wait.h>

namespace {

using testing_support::HttpTestServer;
using testing_support::SoapTestService;

struct CommandRun {
    int status = -1;
    std::string out;
    std::string err;
};

// Runs the command through the shell with the given arguments and standard
// input; with orvexFirst false, the arguments are the whole command line.
CommandRun Orvex(const std::string& arguments, const std::string& input = "", bool orvexFirst = true) {
    testing_support::TempDir dir;
    testing_support::WriteFile(dir.Path("in"), input);
    const std::string command = (orvexFirst ? std::string(ORVEX_CLI_PATH) + " " : std::string()) + arguments +
                                " <" + dir.Path("in") + " 2>" + dir.Path("err");
    CommandRun run;
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) return run;
    char chunk[4096];
    size_t n;
    while ((n = std::fread(chunk, 1, sizeof chunk, pipe)) > 0) run.out.append(chunk, n);
    const int status = pclose(pipe);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    run.err = testing_support::ReadFile(dir.Path("err"));
    return run;
}

std::string Call(const std::string& rest) {
    return "soap " + SoapTestService::Get().Url() + " --dialect dotnet --namespace " +
           SoapTestService::kNamespace + " " + rest;
}

TEST(OrvexCommand, UsageAndHelp) {
    for (const char* command :
         {"--help", "soap --help", "get --help", "post --help", "xml --help", "wsdl --help", "call --help"}) {
        const CommandRun run = Orvex(command);
        EXPECT_EQ(run.status, 0) << command;
        EXPECT_NE(run.out.find("usage: orvex"), std::string::npos) << command;
    }
    const std::pair<const char*, const char*> usage[] = {
        {"", "orvex: no command given (see 'orvex --help')\n"},
        {"bogus", "orvex: unknown command bogus (see 'orvex --help')\n"},
        {"soap", "orvex: no URL given (see 'orvex soap --help')\n"},
        {"soap http://x/ --method", "orvex: --method needs a value (see 'orvex soap --help')\n"},
        {"soap --method M http://x/ --dialect x",
         "orvex: --dialect is dotnet or apache (see 'orvex soap --help')\n"},
        {"soap http://x/ --method M --action 'a\"b'",
         "orvex: --action cannot hold a double quote or a line end (see 'orvex soap --help')\n"},
        {"soap http://x/ --method M --connect-timeout abc",
         "orvex: --connect-timeout takes a number of seconds (see 'orvex soap --help')\n"},
        {"soap http://x/ --method M --csv --json",
         "orvex: --csv and --json cannot be combined (see 'orvex soap --help')\n"},
        {"get", "orvex: no URL given (see 'orvex get --help')\n"},
        {"get http://x/ --stall-timeout 1.5",
         "orvex: --stall-timeout takes a number of seconds (see 'orvex get --help')\n"},
        {"xml", "orvex: no FILE given (see 'orvex xml --help')\n"},
        {"wsdl", "orvex: no LOCATION given (see 'orvex wsdl --help')\n"},
        {"call x.wsdl", "orvex: no OPERATION given (see 'orvex call --help')\n"},
    };
    for (const auto& [command, err] : usage) {
        const CommandRun run = Orvex(command);
        EXPECT_EQ(run.status, 2) << command;
        EXPECT_EQ(run.err, err) << command;
    }
    const CommandRun version = Orvex("--version");
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out, std::string("orvex ") + Orvex_Version() + "\n");
}

TEST(OrvexCommand, GlobalOptionsStandAnywhereAnOptionMay) {
    testing_support::TempDir dir;
    const std::string get = "get " + HttpTestServer::Get().Http("/status/200");
    const std::string post = "post " + HttpTestServer::Get().Http("/echo");
    const std::string download = "download " + HttpTestServer::Get().Http("/bytes/10") + " " + dir.Path("d");
    // ORVEX_TRACE set but empty means off: -v still turns the trace on.
    for (const std::string& arguments :
         {"-v " + get, get + " -v", get + " --verbose", post + " -v --data x", download + " -v",
          Call("-v --method Add a:int=1"), Call("--method Add a:int=1 --verbose"), "--verbose " + get}) {
        const CommandRun run =
            Orvex("env ORVEX_TRACE= " + std::string(ORVEX_CLI_PATH) + " " + arguments, "", false);
        EXPECT_EQ(run.status, 0) << arguments << "\n" << run.err;
        EXPECT_NE(run.err.find(" end: "), std::string::npos) << arguments << "\n" << run.err;
    }
    // As an option's value it is that value: the body, here, and no trace.
    const CommandRun run = Orvex(post + " --data -v");
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.out.substr(run.out.size() - 6), "\r\n\r\n-v") << run.out;
}

TEST(OrvexCommand, IncludeShowsTheStatusAndTheHeadersAskedFor) {
    const HttpTestServer& server = HttpTestServer::Get();
    struct Case {
        std::string arguments;
        int status;
        std::string out;
    };
    const Case cases[] = {
        {"get '" + server.Http("/status/200?ct=text/x") +
             "' -i --show-header content-type --show-header X-None",
         0, "status 200\ncontent-type: text/x\n\nstatus 200"},
        {"get " + server.Http("/redirect/302?to=/status/200") + " --include", 0, "status 200\n\nstatus 200"},
        // A response of any status is shown; the command still fails.
        {"get '" + server.Http("/status/404?body=nope") + "' -i", 1, "status 404\n\nnope"},
        {"get '" + server.Http("/status/404?body=nope") + "'", 1, ""},
        {"post '" + server.Http("/status/201?body=made") + "' --data x --show-header Content-Length", 1,
         "status 201\nContent-Length: 4\n\nmade"},
        {"get http://127.0.0.1:1/ -i", 1, ""},  // no response, nothing to show
    };
    for (const Case& c : cases) {
        const CommandRun run = Orvex(c.arguments);
        EXPECT_EQ(run.status, c.status) << c.arguments << "\n" << run.err;
        EXPECT_EQ(run.out, c.out) << c.arguments;
    }
}

TEST(OrvexCommand, CallsPrintRecordSets) {
    CommandRun run = Orvex(Call("--method Add a:int=2 b:int=40"));
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.out.find("42"), std::string::npos) << run.out;

    // Columns by their local names, or as the service wrote them.
    run = Orvex(Call("--method GetOrders customer= --qualified-names --csv"));
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out.substr(0, run.out.find('\n')),
              "tns:Id,tns:Customer,tns:Amount,tns:Paid,tns:Placed,tns:Note");
    run = Orvex(Call("--method GetOrders customer= --json"));
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out.rfind("[\n {\"Id\": \"1\", \"Customer\": \"ACME\"", 0), 0u) << run.out;
    run = Orvex(Call("--method GetOrders customer= --csv"));
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out.substr(0, run.out.find('\n')), "Id,Customer,Amount,Paid,Placed,Note");
    EXPECT_NE(run.out.find("\n1,ACME,12.5,true,2005-03-07T10:20:30+00:00,first & <urgent>\n"),
              std::string::npos)
        << run.out;

    run = Orvex(Call("--method GetCustomer id:int=7"));
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.out.find("Springfield"), std::string::npos) << run.out;

    testing_support::TempDir dir;
    testing_support::WriteFile(dir.Path("orders.csv"),
                               "Id:int,Amount:double,Paid:boolean,Note\n1,2.5,true,\n2,4,false,x\n");
    run = Orvex(Call("--method SumOrders --json --table 'orders[]:Order=" + dir.Path("orders.csv") + "'"));
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.out.find("6.5"), std::string::npos) << run.out;

    // SOAP 1.2, at the service's endpoint that reads nothing else.
    run = Orvex("soap " + SoapTestService::Get().Url() + "soap12 --soap12 --namespace " +
                SoapTestService::kNamespace + " --method Add a:int=20 b:int=22");
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.out.find("42"), std::string::npos) << run.out;

    // The operations of the service's description.
    run = Orvex("wsdl '" + SoapTestService::Get().Url() + "?wsdl' --csv");
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out.substr(0, run.out.find('\n')), "Operation,Input,Output,Action,SoapVersion,Endpoint");
    EXPECT_NE(run.out.find("\nAdd,\"a integer?, b integer?\",AddResult integer?,Add,1.1,"), std::string::npos)
        << run.out;

    // A call made from it: parameters typed by their parts, the result by its fields.
    run = Orvex("call '" + SoapTestService::Get().Url() + "?wsdl' GetOrders customer=ACME --json");
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.out.find("{\"Id\": 1, \"Customer\": \"ACME\", \"Amount\": 12.5, \"Paid\": true, "),
              std::string::npos)
        << run.out;
    run = Orvex("call '" + SoapTestService::Get().Url() + "?wsdl' Add a=x");
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "orvex: Add: part a is integer, which \"x\" is not\n");

    // The URL is the first positional argument, a query's '=' and all.
    run = Orvex("soap '" + SoapTestService::Get().Url() + "?op=Add' --dialect dotnet --namespace " +
                SoapTestService::kNamespace + " --method Add a:int=1 b:int=2");
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.out.find("3"), std::string::npos) << run.out;
}

// gSOAP's rpc/encoded service: its SOAP-encoded arrays read as rows typed by its description.
TEST(OrvexCommand, CallsAnRpcEncodedServiceFromItsDescription) {
#ifndef ORVEX_GSOAP_SERVER_PATH
    GTEST_SKIP() << "no gSOAP peer: install gsoap and libgsoap-dev, then configure and build again";
#else
    testing_support::ChildServer peer;
    const std::string port = peer.StartProgram(ORVEX_GSOAP_SERVER_PATH, {"--lifetime", "120"}).substr(5);
    const std::string wsdl = "'http://127.0.0.1:" + port + "/?wsdl'";
    CommandRun run = Orvex("call " + wsdl + " getOrders customer=ACME --json");
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(
        run.out,
        "[\n {\"id\": 1, \"customer\": \"ACME\", \"amount\": 12.5, \"placed\": \"2005-03-07T10:20:30Z\"},\n"
        " {\"id\": 2, \"customer\": \"ACME & <Sons>\", \"amount\": -99.75, \"placed\": "
        "\"2005-03-08T08:00:00Z\"}\n]\n");
    // An empty array keeps its items' fields as columns.
    run = Orvex("call " + wsdl + " getOrders customer=nobody --csv");
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "id,customer,amount,placed\n");
#endif
}

// A URL of the test server that answers a SOAP envelope whose result element holds `result`.
std::string Answering(const std::string& result) {
    const std::string envelope =
        "<soap:Envelope xmlns:soap=\"http://schemas.xmlsoap.org/soap/envelope/\" "
        "xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\" "
        "xmlns:xsd=\"http://www.w3.org/2001/XMLSchema\">"
        "<soap:Body><MResponse><MResult>" +
        result + "</MResult></MResponse></soap:Body></soap:Envelope>";
    std::string query;
    for (unsigned char c : envelope) {
        char escaped[4];
        std::snprintf(escaped, sizeof escaped, "%%%02X", c);
        query += std::isalnum(c) ? std::string(1, static_cast<char>(c)) : escaped;
    }
    return "'" + HttpTestServer::Get().Http("/status/200?ct=text/xml&body=" + query) + "'";
}

// A DataSet answer of the .NET peer: every table under its name, or the one --table picks.
TEST(OrvexCommand, DataSetAnswersPrintTableByTable) {
    auto& peer = testing_support::AsmxTestService::Get();
    if (!peer.Running()) GTEST_SKIP() << peer.Missing();
    const std::string call = "call " + peer.Url() + "DataSets.asmx?wsdl GetShop ";
    CommandRun run = Orvex(call + "--csv");
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out.rfind("Customers\nId,Name,Since,Credit Limit,Key\n1,ACME,", 0), 0u) << run.out;
    EXPECT_NE(run.out.find("\n\nOrders\nId,CustomerId,Placed,Amount,Paid,Note\n"), std::string::npos)
        << run.out;
    run = Orvex(call + "--table 2 --json");
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out.rfind("[\n {\"Id\": 1, \"CustomerId\": 1,", 0), 0u) << run.out;
    run = Orvex(call + "--table 3");
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "orvex: the answer has 2 tables, not 3\n");
}

TEST(OrvexCommand, NullCellsShowAsNullWhereTheFormatCanSayIt) {
    // B is empty in the first row; C is nil there and missing from the second: null both times.
    const std::string url = Answering(
        "<Row><A xsi:type=\"xsd:int\">1</A><B></B><C xsi:nil=\"true\"/></Row>"
        "<Row><A xsi:type=\"xsd:int\">2</A><B>x</B></Row>");
    const std::pair<std::string, std::string> formats[] = {
        {"--json", "[\n {\"A\": 1, \"B\": \"\", \"C\": null},\n {\"A\": 2, \"B\": \"x\", \"C\": null}\n]\n"},
        {"--csv", "A,B,C\n1,\"\",\n2,x,\n"},
        {"", "A  B  C\n-  -  ------\n1     (null)\n2  x  (null)\n(2 rows)\n"},
    };
    for (const auto& [format, out] : formats) {
        const CommandRun run = Orvex("soap " + url + " --method M " + format);
        ASSERT_EQ(run.status, 0) << format << run.err;
        EXPECT_EQ(run.out, out) << format;
    }
}

TEST(OrvexCommand, ColumnsThatShareANameAreEachRead) {
    // One row whose columns are A, B and A again, each with a type of its own.
    const std::string url = Answering(
        "<A xsi:type=\"xsd:decimal\">1.5</A><B xsi:type=\"xsd:string\">2</B><A "
        "xsi:type=\"xsd:boolean\">1</A>");
    const std::pair<std::string, std::string> formats[] = {
        {"--json", "[\n {\"A\": 1.5, \"B\": \"2\", \"A\": true}\n]\n"},
        {"--csv", "A,B,A\n1.5,2,1\n"},
    };
    for (const auto& [format, out] : formats) {
        const CommandRun run = Orvex("soap " + url + " --method M " + format);
        ASSERT_EQ(run.status, 0) << format << run.err;
        EXPECT_EQ(run.out, out) << format;
    }
}

TEST(OrvexCommand, TextsInAnotherCodePageAreMeasuredAndConvertedAsSuch) {
    // "\xA9" is the copyright sign in CP1252, where the library hands texts out.
    const std::string url = Answering("<A>\xC2\xA9\xC2\xA9</A><C>x</C>");
    const std::pair<std::string, std::string> formats[] = {
        {"", "A   C\n--  -\n\xA9\xA9  x\n(1 row)\n"},                        // two characters wide
        {"--csv", "A,C\n\xA9\xA9,x\n"},                                      // as the library gives it
        {"--json", "[\n {\"A\": \"\xC2\xA9\xC2\xA9\", \"C\": \"x\"}\n]\n"},  // JSON is UTF-8
    };
    for (const auto& [format, out] : formats) {
        const CommandRun run = Orvex("env ORVEX_CODEPAGE=CP1252 " + std::string(ORVEX_CLI_PATH) + " soap " +
                                         url + " --method M " + format,
                                     "", false);
        ASSERT_EQ(run.status, 0) << format << run.err;
        EXPECT_EQ(run.out, out) << format;
    }
}

TEST(OrvexCommand, ACsvFileIsCheckedWholeBeforeAnythingIsSent) {
    testing_support::TempDir dir;
    const std::pair<const char*, std::string> files[] = {
        {"Id:int,Note\n1,a\n2,b,extra\n", ": line 3: 3 fields where the header names 2\n"},
        {"Id:int,Note\n1,\"open\n2,b\n", ": line 2: a quote does not close\n"},
    };
    for (const auto& [text, reason] : files) {
        testing_support::WriteFile(dir.Path("t.csv"), text);
        const CommandRun run =
            Orvex(Call("--method SumOrders --table 'orders[]:Order=" + dir.Path("t.csv") + "'"));
        EXPECT_EQ(run.status, 1);
        EXPECT_EQ(run.err, "orvex: " + dir.Path("t.csv") + reason);
    }
}

TEST(OrvexCommand, AFaultPrintsItsCodeStringAndDetailOneLineEach) {
    // The service answers faultcode soap11env:Server, the reason as faultstring and as detail.
    const std::pair<std::string, std::string> faults[] = {
        {"'reason=Bad input'", "orvex: fault soap11env:Server: Bad input\norvex: detail: Bad input\n"},
        {"", "orvex: fault soap11env:Server: Failure requested\n"},  // an empty detail is left out
        {"\"$(printf 'reason=two\\r\\nlines\\n\\tand a tab\\t')\"",
         "orvex: fault soap11env:Server: two lines and a tab\norvex: detail: two lines and a tab\n"},
    };
    for (const auto& [reason, err] : faults) {
        const CommandRun run = Orvex(Call("--method Fail " + reason));
        EXPECT_EQ(run.status, 1) << reason;
        EXPECT_EQ(run.err, err) << reason;
        EXPECT_EQ(run.out, "") << reason;
    }
}

TEST(OrvexCommand, FailuresExitWithOneAndTheReason) {
    CommandRun run = Orvex("get http://127.0.0.1:1/ --connect-timeout 5");
    EXPECT_EQ(run.status, 1);
    EXPECT_FALSE(run.err.empty());
}

TEST(OrvexCommand, EnvelopeAndTree) {
    CommandRun run =
        Orvex("soap http://unused/ --method Ping --dialect apache --target-uri urn:x n:int=5 --envelope");
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out.rfind("<?xml version='1.0' encoding='UTF-8'?>\r\n<SOAP-ENV:Envelope", 0), 0u)
        << run.out;
    EXPECT_NE(run.out.find("<n xsi:type=\"xsd:int\">5</n>"), std::string::npos) << run.out;

    // Printing the envelope needs no URL: every NAME=VALUE is a parameter. A
    // first argument with a scheme is still taken for the URL, query and all.
    for (const char* url : {"", "http://unused/?op=Ping "}) {
        run = Orvex(std::string("soap ") + url + "--envelope --method Ping customer=ACME n:int=5");
        ASSERT_EQ(run.status, 0) << url << run.err;
        EXPECT_NE(
            run.out.find("<Ping xmlns=\"http://tempuri.org/\">\r\n<customer>ACME</customer>\r\n<n>5</n>\r\n"),
            std::string::npos)
            << url << run.out;
    }

    // A file naming another file is no document: the other is not read.
    testing_support::TempDir dir;
    testing_support::WriteFile(dir.Path("doc.xml"), "<a>1</a>");
    run = Orvex("xml -", dir.Path("doc.xml"));
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "orvex: standard input: not a well-formed XML document\n");
    // A document the library refuses: its reason.
    run = Orvex("xml -", "<a><b></a>");
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "orvex: standard input: Invalid XML: Start-end tags mismatch at offset 8\n");

    run = Orvex("xml -", "<a x='1'><b>t</b><c/></a>");
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "a [x=\"1\"]\n  b = t\n");  // an empty element makes no node
}

}  // namespace
