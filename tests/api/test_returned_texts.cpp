// A returned text lives in one of three per-thread buffers and stays valid
// through every call that writes another: the return buffer (SRS_* texts,
// the transfers), SOAP_GetSoap's envelope buffer and the XML family's
// return string.
#include <orvex.h>

#include <gtest/gtest.h>

#include <string>

TEST(ReturnedTexts, ATextSurvivesTheCallsOfTheOtherBuffers) {
    SRS_HANDLE set = SRS_new("Row", "", "");
    SRS_AddCol(set, "A", "string");
    SRS_SetText(set, SRS_AddRow(set), "A", "cell");
    SOAP_HANDLE message = SOAP_new("dotnet", "Get");
    XML_NODE tree = XML_new("<a k='v'/>", 0);

    const char* envelope = SOAP_GetSoap(message);
    const std::string envelopeCopy = envelope;
    const char* property = XML_GetProperty(tree, "k");

    // A transfer writes the return buffer only: the envelope and the property stay.
    const char* transfer = DownloadFile("gopher://h/x", "/nonexistent/x", 0);
    EXPECT_STREQ(envelope, envelopeCopy.c_str());
    EXPECT_STREQ(property, "v");
    EXPECT_STREQ(transfer, "gopher://h/x load failure!\t");

    // A new envelope and attribute leave the record set's text as it was.
    const char* cell = SRS_GetText(set, 1, "A");
    SOAP_AddElement(message, "P", "int", "1");
    SOAP_GetSoap(message);
    XML_GetPropName(tree, 1);
    EXPECT_STREQ(cell, "cell");

    XML_delete(tree);
    SOAP_delete(message);
    SRS_delete(set);
}
