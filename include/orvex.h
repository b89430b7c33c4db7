/*
 * orvex.h - the C interface of liborvex: HTTP requests, SOAP calls, record
 * sets, XML trees, file transfer.
 *
 * Conventions that hold for every function below:
 *  - Texts are 8-bit, in the process's code page: UTF-8 unless the
 *    environment variable ORVEX_CODEPAGE names another (for example CP1252).
 *  - A handle is an opaque pointer to a library object; 0 (NULL) stands for
 *    none. Each family has its own handle type, so that a C compiler catches
 *    a record set passed where a request belongs.
 *  - Row, column, child and attribute numbers are 1-based.
 *  - No function lets an error escape as anything but its failure answer
 *    (0, NULL, the empty text) and, where the family has one, an error text.
 *  - Returned texts are owned by the library. How long each stays valid is
 *    said at the function.
 */
#ifndef ORVEX_H
#define ORVEX_H

#ifdef __cplusplus
extern "C" {
#endif

#if defined(__GNUC__)
#define ORVEX_EXPORT __attribute__((visibility("default")))
#else
#define ORVEX_EXPORT
#endif

/* ---------------------------------------------------------------------------
 * Process-wide settings
 * ------------------------------------------------------------------------ */

/*
 * The library shows a message box in two places only: CBuffer::WriteFile
 * with an owner window, and the interactive file-copy functions. A handler
 * receives the owner pointer the caller gave (may be NULL), the text, the
 * caption (may be NULL) and the Windows-style flags (0 OK, 2 Abort/Retry/
 * Ignore, 0x30 exclamation icon), and returns the button pressed: 1 OK,
 * 2 Cancel, 3 Abort, 4 Retry, 5 Ignore.
 */
typedef int (*OrvexMessageBoxHandler)(void* owner, const char* text, const char* caption,
                                      unsigned style);

/*
 * Replaces the message-box handler for the whole process. NULL restores the
 * default, which writes the text to stderr and answers OK, or Abort where
 * the box offers Abort, Retry and Ignore.
 */
ORVEX_EXPORT void Orvex_SetMessageBoxHandler(OrvexMessageBoxHandler handler);

/* ---------------------------------------------------------------------------
 * Handles and their one delete function
 * ------------------------------------------------------------------------ */

typedef struct OrvexHttpRequest* HTTP_HANDLE;  /* a request, plain or SOAP */
typedef struct OrvexSoapMessage* SOAP_HANDLE;  /* a SOAP message */
typedef struct OrvexRecordSet* SRS_HANDLE;     /* a record set */
typedef struct OrvexXmlNode* XML_NODE;         /* a node of an XML tree */
typedef struct OrvexXmlParser* XML_PARSER;     /* a tree parser */

/*
 * HTTP_delete, SOAP_delete, SRS_delete and XML_delete are one function under
 * four names: each destroys any object of this library through its virtual
 * destructor. NULL is ignored. Pass only objects you own: handles from the
 * _new functions and NewXMLTreeParser, and tree roots from XML_new; never a
 * record set or tree that a SOAP message returned, nor a child node.
 */
ORVEX_EXPORT void HTTP_delete(HTTP_HANDLE handle);
ORVEX_EXPORT void SOAP_delete(SOAP_HANDLE handle);
ORVEX_EXPORT void SRS_delete(SRS_HANDLE handle);
/* Takes an XML_NODE tree root or an XML_PARSER, or any other handle. */
ORVEX_EXPORT void XML_delete(void* handle);

/* ---------------------------------------------------------------------------
 * HTTP requests
 * ------------------------------------------------------------------------ */

/* ---------------------------------------------------------------------------
 * Record sets
 * ------------------------------------------------------------------------ */

/* ---------------------------------------------------------------------------
 * XML trees
 * ------------------------------------------------------------------------ */

/* ---------------------------------------------------------------------------
 * SOAP messages
 * ------------------------------------------------------------------------ */

/* ---------------------------------------------------------------------------
 * File transfer
 * ------------------------------------------------------------------------ */

#ifdef __cplusplus
}
#endif

#endif /* ORVEX_H */
