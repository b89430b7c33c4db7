// WS-Security UsernameTokens: the header as written, against zeep's, and
// calls to a service that checks tokens by the OASIS formulas on its own.
#include <orvex.h>

#include "api/handles.h"
#include "common/child_server.h"
#include "common/test_support.h"
#include "http/http_test_util.h"
#include "http/trace_test_util.h"
#include "soap/soap_message.h"
#include "soap/wsse_token.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <string>

using testing_support::ChildServer;
using testing_support::ScopedTrace;
using testing_support::SourceDir;
using testing_support::TempDir;
using testing_support::WriteFile;

namespace {

const char* const kAlicePassword = "s3cret&<pw>";  // the service's users, tests/servers/wsse_service.py
const char* const kBobPassword = "p\xC3\xA4ssw\xC3\xB6rd";

class WsseService {
public:
    static WsseService& Get() {
        static WsseService* service = [] {
            testing_support::BypassProxies();
            auto* s = new WsseService();
            std::atexit([] { delete &WsseService::Get(); });
            return s;
        }();
        return *service;
    }
    std::string Url() const { return "http://127.0.0.1:" + std::to_string(m_nPort) + "/"; }

private:
    WsseService() {
        const std::string line =
            m_Child.StartPython({SourceDir() + "/tests/servers/wsse_service.py", "--lifetime", "900"});
        if (std::sscanf(line.c_str(), "PORT %d", &m_nPort) != 1 || m_nPort == 0)
            throw std::runtime_error("the WS-Security service did not start: " + line);
    }
    ChildServer m_Child;
    int m_nPort = 0;
};

// A message to WhoAmI with a request attached.
class Call {
public:
    explicit Call(const char* kind = "dotnet") : m_message(SOAP_new(kind, "WhoAmI")), m_request(HTTP_new(1)) {
        SOAP_SetNameSpace(m_message, "urn:orvex:wsse-test");
        SOAP_SetTargetObjectURI(m_message, "urn:orvex:wsse-test");
        HTTP_AttachSoap(m_request, m_message);
    }
    ~Call() {
        HTTP_delete(m_request);
        SOAP_delete(m_message);
    }
    Call(const Call&) = delete;
    Call& operator=(const Call&) = delete;
    int Send() { return HTTP_Request(m_request, WsseService::Get().Url().c_str(), nullptr, nullptr); }
    // The answer's field, or "" when the call failed.
    std::string Field(const char* name) { return SRS_GetText(SOAP_GetSRS(m_message), 1, name); }
    // The token's time and random bytes from now on, from `moment`.
    void FixMoment(const wsse::Moment& moment) {
        api::FromHandle<CSoapMessage>(m_message)->m_Header.SetMomentSource([moment] { return moment; });
    }

    SOAP_HANDLE m_message;
    HTTP_HANDLE m_request;
};

long long NowMilliseconds() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

std::string Output(const std::string& command) {
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) return "";
    std::string out;
    char block[4096];
    for (size_t n; (n = fread(block, 1, sizeof block, pipe)) > 0;) out.append(block, n);
    pclose(pipe);
    return out;
}

}  // namespace

TEST(Wsse, TheHeaderAsWrittenForAFixedMoment) {
    SOAP_HANDLE message = SOAP_new("apache", "M");
    ASSERT_EQ(SOAP_SetSoapVersion(message, 12), 1);
    ASSERT_EQ(
        SOAP_SetUsernameToken(message, "al<i>ce", "p&w",
                              ORVEX_WSSE_NONCE | ORVEX_WSSE_MILLISECONDS | ORVEX_WSSE_MUST_UNDERSTAND, 90),
        1);
    ASSERT_EQ(SOAP_AddHeader(message, "<b:Later xmlns:b=\"urn:b\">1</b:Later>"), 1);
    api::FromHandle<CSoapMessage>(message)->m_Header.SetMomentSource([] {
        return wsse::Moment{1700000000123LL, "0123456789abcdef", "\x01\x23\x45\x67\x89\xab\xcd\xef"};
    });
    const std::string envelope = SOAP_GetSoap(message);
    const size_t start = envelope.find("<SOAP-ENV:Header>");
    ASSERT_NE(start, std::string::npos) << envelope;
    const std::string header = envelope.substr(start, envelope.find("<SOAP-ENV:Body>") - start);
    EXPECT_EQ(
        header,
        "<SOAP-ENV:Header>\r\n"
        "<wsse:Security "
        "xmlns:wsse=\"http://docs.oasis-open.org/wss/2004/01/oasis-200401-wss-wssecurity-secext-1.0.xsd\" "
        "xmlns:wsu=\"http://docs.oasis-open.org/wss/2004/01/oasis-200401-wss-wssecurity-utility-1.0.xsd\" "
        "SOAP-ENV:mustUnderstand=\"true\">\r\n"
        "<wsu:Timestamp wsu:Id=\"TS-0123456789abcdef\">"
        "<wsu:Created wsu:Id=\"TS-0123456789abcdef-Created\">2023-11-14T22:13:20.123Z</wsu:Created>"
        "<wsu:Expires wsu:Id=\"TS-0123456789abcdef-Expires\">2023-11-14T22:14:50.123Z</wsu:Expires>"
        "</wsu:Timestamp>\r\n"
        "<wsse:UsernameToken wsu:Id=\"UT-0123456789abcdef\">"
        "<wsse:Username wsu:Id=\"UT-0123456789abcdef-Username\">al&lt;i&gt;ce</wsse:Username>"
        "<wsse:Password wsu:Id=\"UT-0123456789abcdef-Password\" "
        "Type=\"http://docs.oasis-open.org/wss/2004/01/"
        "oasis-200401-wss-username-token-profile-1.0#PasswordText\">p&amp;w</wsse:Password>"
        "<wsse:Nonce wsu:Id=\"UT-0123456789abcdef-Nonce\" "
        "EncodingType=\"http://docs.oasis-open.org/wss/2004/01/"
        "oasis-200401-wss-soap-message-security-1.0#Base64Binary\">MDEyMzQ1Njc4OWFiY2RlZg==</wsse:Nonce>"
        "<wsu:Created wsu:Id=\"UT-0123456789abcdef-Created\">2023-11-14T22:13:20.123Z</wsu:Created>"
        "</wsse:UsernameToken>\r\n"
        "</wsse:Security>\r\n"
        "<b:Later xmlns:b=\"urn:b\">1</b:Later>\r\n"
        "</SOAP-ENV:Header>\r\n");
    // Flags 0: the password as text alone; a NULL user drops the token.
    ASSERT_EQ(SOAP_SetUsernameToken(message, "u", "p", 0, 0), 1);
    const std::string bare = SOAP_GetSoap(message);
    EXPECT_EQ(bare.find("Nonce"), std::string::npos);
    EXPECT_EQ(bare.find("Timestamp"), std::string::npos);
    EXPECT_EQ(bare.find("mustUnderstand"), std::string::npos);
    EXPECT_NE(bare.find("#PasswordText\">p</wsse:Password>"), std::string::npos);
    ASSERT_EQ(SOAP_SetUsernameToken(message, nullptr, nullptr, 0, 0), 1);
    EXPECT_EQ(std::string(SOAP_GetSoap(message)).find("Security"), std::string::npos);
    SOAP_delete(message);
}

TEST(Wsse, ZeepWritesTheSameTokenForTheSameNonceAndCreated) {
    TempDir dir;
    for (const int flags : {0, ORVEX_WSSE_DIGEST, ORVEX_WSSE_DIGEST | ORVEX_WSSE_MUST_UNDERSTAND}) {
        SOAP_HANDLE message = SOAP_new("dotnet", "M");
        ASSERT_EQ(SOAP_SetUsernameToken(message, "alice", "s3cret", flags, 0), 1);
        // zeep takes its nonce as a text: a nonce of ASCII bytes lets it take ours.
        api::FromHandle<CSoapMessage>(message)->m_Header.SetMomentSource([] {
            return wsse::Moment{1700000000000LL + 123, "0123456789abcdef", "12345678"};
        });
        WriteFile(dir.Path("envelope.xml"), SOAP_GetSoap(message));
        SOAP_delete(message);
        const std::string out = Output("/usr/bin/python3 " + SourceDir() +
                                       "/tests/soap/wsse_zeep.py alice s3cret < " + dir.Path("envelope.xml"));
        const size_t split = out.find("\n\n");
        ASSERT_NE(split, std::string::npos) << out;
        EXPECT_EQ(out.substr(0, split + 1), out.substr(split + 2)) << "flags " << flags;
        EXPECT_NE(out.find(flags != 0 ? "#PasswordDigest" : "#PasswordText"), std::string::npos) << out;
    }
}

TEST(Wsse, EveryFlagCombinationIsAcceptedByTheService) {
    for (int flags = 0; flags < 16; ++flags) {
        const bool apache = (flags & 1) == 0;
        const int version = flags < 8 ? 11 : 12;
        const int ttl = (flags % 3) == 0 ? 300 : 0;
        const bool bob = flags % 5 == 0;
        Call call(apache ? "apache" : "dotnet");
        SOAP_SetSoapVersion(call.m_message, version);
        ASSERT_EQ(SOAP_SetUsernameToken(call.m_message, bob ? "bob" : "alice",
                                        bob ? kBobPassword : kAlicePassword, flags, ttl),
                  1);
        const std::string label = "flags " + std::to_string(flags);
        ASSERT_EQ(call.Send(), 1) << label << ": " << HTTP_GetLastError(call.m_request);
        EXPECT_EQ(call.Field("User"), bob ? "bob" : "alice") << label;
        EXPECT_EQ(call.Field("PasswordType"),
                  (flags & ORVEX_WSSE_DIGEST) != 0 ? "PasswordDigest" : "PasswordText")
            << label;
        EXPECT_EQ(call.Field("Nonce"),
                  (flags & (ORVEX_WSSE_DIGEST | ORVEX_WSSE_NONCE)) != 0 ? "true" : "false")
            << label;
        const std::string created = call.Field("Created");
        if ((flags & (ORVEX_WSSE_DIGEST | ORVEX_WSSE_NONCE)) != 0) {
            EXPECT_EQ(created.size(), (flags & ORVEX_WSSE_MILLISECONDS) != 0 ? 24U : 20U) << label << created;
        }
        EXPECT_EQ(call.Field("Timestamp"), ttl > 0 ? "true" : "false") << label;
        EXPECT_EQ(call.Field("MustUnderstand"), (flags & ORVEX_WSSE_MUST_UNDERSTAND) == 0 ? ""
                                                : version == 12                           ? "true"
                                                                                          : "1")
            << label;
        // The service's own header comes back as a tree.
        XML_NODE header = SOAP_GetHeaderTree(call.m_message);
        ASSERT_NE(header, nullptr) << label;
        EXPECT_STREQ(XML_GetName(XML_GetChild(header, 1)), "Session") << label;
        EXPECT_STREQ(XML_GetProperty(XML_GetChild(header, 1), "granted"), "1") << label;
    }
}

TEST(Wsse, TheTokenGoesWithEveryCallUntilEmpty) {
    Call call;
    ASSERT_EQ(SOAP_SetUsernameToken(call.m_message, "alice", kAlicePassword, ORVEX_WSSE_DIGEST, 60), 1);
    // A new nonce each time: the service refuses any it has seen.
    for (int i = 0; i < 3; ++i) ASSERT_EQ(call.Send(), 1) << i << ": " << HTTP_GetLastError(call.m_request);
    SOAP_Empty(call.m_message);
    EXPECT_EQ(call.Send(), 0);
    EXPECT_NE(std::string(SOAP_GetLastError(call.m_message)).find("no Security header"), std::string::npos);
}

TEST(Wsse, TheServiceRefusesWrongPasswordsReplaysAndOldTokens) {
    const long long now = NowMilliseconds();
    const struct {
        const char* what;
        const char* password;
        int flags;
        int ttl;
        long long at;  // the token's time; 0 for now
        const char* reason;
    } cases[] = {
        {"wrong text", "S3cret&<pw>", 0, 0, 0, "wrong password"},
        {"wrong digest", "s3cret&<pw> ", ORVEX_WSSE_DIGEST, 0, 0, "wrong password digest"},
        {"expired", kAlicePassword, ORVEX_WSSE_DIGEST, 60, now - 120000, "the timestamp has expired"},
        {"old created", kAlicePassword, ORVEX_WSSE_DIGEST, 0, now - 600000, "created out of the window"},
    };
    for (const auto& c : cases) {
        Call call;
        ASSERT_EQ(SOAP_SetUsernameToken(call.m_message, "alice", c.password, c.flags, c.ttl), 1);
        if (c.at != 0) {
            wsse::Moment moment = wsse::Now();
            moment.unixMilliseconds = c.at;
            call.FixMoment(moment);
        }
        EXPECT_EQ(call.Send(), 0) << c.what;
        const std::string fault = SOAP_GetLastError(call.m_message);
        EXPECT_NE(fault.find("faultcode = wsse:FailedAuthentication"), std::string::npos) << c.what << fault;
        EXPECT_NE(fault.find(c.reason), std::string::npos) << c.what << fault;
    }

    // The same envelope twice: the second brings a nonce the service has seen.
    SOAP_HANDLE message = SOAP_new("dotnet", "WhoAmI");
    SOAP_SetUsernameToken(message, "alice", kAlicePassword, ORVEX_WSSE_DIGEST, 0);
    const std::string envelope = SOAP_GetSoap(message);
    SOAP_delete(message);
    int results[2];
    for (int& result : results) {
        testing_support::HttpHandle post;
        HTTP_SetVerb(post, 0);
        HTTP_SetContentType(post, "text/xml");
        HTTP_SetContent(post, envelope.c_str());
        result = HTTP_Request(post, WsseService::Get().Url().c_str(), nullptr, nullptr);
        if (result == 0) {
            EXPECT_NE(testing_support::Response(post).find("the nonce was used before"), std::string::npos);
        }
    }
    EXPECT_EQ(results[0], 1);
    EXPECT_EQ(results[1], 0);
}

TEST(Wsse, ThePasswordNeverReachesTheTraceNorAnErrorText) {
    ScopedTrace trace;
    Call call;
    ASSERT_EQ(SOAP_SetUsernameToken(call.m_message, "alice", kAlicePassword, 0, 0), 1);
    ASSERT_EQ(call.Send(), 1) << HTTP_GetLastError(call.m_request);
    SOAP_SetUsernameToken(call.m_message, "alice", "wrong&<pw>", 0, 0);
    EXPECT_EQ(call.Send(), 0);
    const std::string text = trace.Text();
    EXPECT_NE(text.find("<wsse:Password"), std::string::npos) << text;  // the body was traced
    for (const char* secret : {"s3cret", "wrong&", "wrong&amp;"}) {
        EXPECT_EQ(text.find(secret), std::string::npos) << secret;
        EXPECT_EQ(std::string(HTTP_GetLastError(call.m_request)).find(secret), std::string::npos) << secret;
        EXPECT_EQ(std::string(SOAP_GetLastError(call.m_message)).find(secret), std::string::npos) << secret;
    }
}

TEST(Wsse, SettingsThatCannotBeWrittenAreRefused) {
    SOAP_HANDLE message = SOAP_new("dotnet", "M");
    ASSERT_EQ(SOAP_SetUsernameToken(message, "u", "p", ORVEX_WSSE_DIGEST, 0), 1);
    const std::string before = SOAP_GetSoap(message);
    EXPECT_EQ(SOAP_SetUsernameToken(message, "u", "secret", 16, 0), 0);
    EXPECT_STREQ(SOAP_GetLastError(message), "Unknown WS-Security flags: 16");
    EXPECT_EQ(SOAP_SetUsernameToken(message, "u", "secret", 0, -1), 0);
    EXPECT_STREQ(SOAP_GetLastError(message), "A negative time to live for the WS-Security timestamp: -1");
    // Still the first token (a new nonce and time, the same shape).
    const std::string after = SOAP_GetSoap(message);
    EXPECT_NE(after.find("#PasswordDigest"), std::string::npos);
    EXPECT_EQ(after.size(), before.size());
    EXPECT_EQ(SOAP_SetUsernameToken(nullptr, "u", "p", 0, 0), 0);
    SOAP_delete(message);
}

TEST(Wsse, TheCommandSendsHeaderFilesAndATokenFromAPasswordFile) {
    TempDir dir;
    WriteFile(dir.Path("password"), std::string(kAlicePassword) + "\n");
    WriteFile(dir.Path("trace.xml"), "<t:Trace xmlns:t=\"urn:t\">1</t:Trace>\n");
    WriteFile(dir.Path("bad.xml"), "<a><b></a>");
    const std::string common = std::string(ORVEX_CLI_PATH) + " soap " + WsseService::Get().Url() +
                               " --method WhoAmI --namespace urn:orvex:wsse-test --wsse-user alice" +
                               " --wsse-password-file " + dir.Path("password") + " --header " +
                               dir.Path("trace.xml");
    const std::string called = Output(common + " --csv --wsse-digest --wsse-ttl 60 2>&1");
    EXPECT_NE(called.find("alice,PasswordDigest,true,"), std::string::npos) << called;
    EXPECT_NE(Output(common + " --csv 2>&1").find("alice,PasswordText,false,"), std::string::npos);
    const std::string envelope = Output(common + " --envelope 2>&1");
    EXPECT_NE(envelope.find("<t:Trace xmlns:t=\"urn:t\">1</t:Trace>"), std::string::npos) << envelope;
    EXPECT_EQ(Output(common + " --header " + dir.Path("bad.xml") + " 2>&1"),
              "orvex: " + dir.Path("bad.xml") +
                  ": Header block is not well-formed XML: Start-end tags mismatch at offset 8\n");
    EXPECT_EQ(Output(std::string(ORVEX_CLI_PATH) + " soap http://x/ --method M --wsse-user alice 2>&1"),
              "orvex: --wsse-user and --wsse-password-file go together (see 'orvex soap --help')\n");
}
