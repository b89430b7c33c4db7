// The orvex command against the sample service: outputs and exit statuses.
#include "common/test_support.h"
#include "soap/soap_test_service.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <sys/wait.h>

namespace {

using testing_support::SoapTestService;

struct CommandRun {
    int status = -1;
    std::string out;
    std::string err;
};

// Runs the command through the shell with the given arguments and standard input.
CommandRun Orvex(const std::string& arguments, const std::string& input = "") {
    testing_support::TempDir dir;
    testing_support::WriteFile(dir.Path("in"), input);
    const std::string command =
        std::string(ORVEX_CLI_PATH) + " " + arguments + " <" + dir.Path("in") + " 2>" + dir.Path("err");
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
    for (const char* command : {"--help", "soap --help", "get --help", "post --help", "xml --help"}) {
        const CommandRun run = Orvex(command);
        EXPECT_EQ(run.status, 0) << command;
        EXPECT_NE(run.out.find("usage: orvex"), std::string::npos) << command;
    }
    for (const char* command : {"", "bogus", "soap", "soap http://x/ --method",
                                "soap --method M http://x/ --dialect x", "get", "xml"}) {
        const CommandRun run = Orvex(command);
        EXPECT_EQ(run.status, 2) << command;
        EXPECT_NE(run.err.find("usage: orvex"), std::string::npos) << command;
    }
}

TEST(OrvexCommand, CallsPrintRecordSets) {
    CommandRun run = Orvex(Call("--method Add a:int=2 b:int=40"));
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.out.find("42"), std::string::npos) << run.out;

    run = Orvex(Call("--method GetOrders customer= --csv"));
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out.substr(0, run.out.find('\n')), "tns:Id,tns:Customer,tns:Amount,tns:Paid,tns:Placed,tns:Note");
    EXPECT_NE(run.out.find("\n1,ACME,12.5,true,2005-03-07T10:20:30+00:00,first & <urgent>\n"), std::string::npos)
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
}

TEST(OrvexCommand, FailuresExitWithOneAndTheReason) {
    CommandRun run = Orvex(Call("--method Fail 'reason=Bad input'"));
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("Return Error Code=500"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("faultstring = Bad input"), std::string::npos) << run.err;

    run = Orvex("get http://127.0.0.1:1/ --connect-timeout 5");
    EXPECT_EQ(run.status, 1);
    EXPECT_FALSE(run.err.empty());
}

TEST(OrvexCommand, EnvelopeAndTree) {
    CommandRun run = Orvex("soap --method Ping --dialect apache --target-uri urn:x n:int=5 --envelope");
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out.rfind("<?xml version='1.0' encoding='UTF-8'?>\r\n<SOAP-ENV:Envelope", 0), 0u)
        << run.out;
    EXPECT_NE(run.out.find("<n xsi:type=\"xsd:int\">5</n>"), std::string::npos) << run.out;

    // A file naming another file is no document: the other is not read.
    testing_support::TempDir dir;
    testing_support::WriteFile(dir.Path("doc.xml"), "<a>1</a>");
    run = Orvex("xml -", dir.Path("doc.xml"));
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "orvex: standard input: not a well-formed XML document\n");

    run = Orvex("xml -", "<a x='1'><b>t</b><c/></a>");
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "a [x=\"1\"]\n  b = t\n");  // an empty element makes no node
}

}  // namespace
