// CFile: a POSIX file with the open modes, reads, writes and seeks that the
// library's byte buffer and file utilities take. Failures of Read, Write,
// Seek and GetLength throw CFileException, whose message names the file and
// the system's reason.
#ifndef ORVEX_FILE_H
#define ORVEX_FILE_H

#include <orvex/cstring.h>

#include <cstdint>

class ORVEX_EXPORT CFileException {
public:
    enum {
        none = 0,
        genericException,
        fileNotFound,
        badPath,
        tooManyOpenFiles,
        accessDenied,
        invalidFile,
        removeCurrentDir,
        directoryFull,
        badSeek,
        hardIO,
        sharingViolation,
        lockViolation,
        diskFull,
        endOfFile
    };

    CFileException() = default;
    CFileException(int cause, int osError, const char* fileName);
    virtual ~CFileException();

    // The message: "<file name>: <strerror text>", cut to maxLength - 1 bytes.
    int GetErrorMessage(char* text, unsigned maxLength) const;
    CString GetErrorMessage() const;

    int m_cause = none;
    int m_lOsError = 0;
    CString m_strFileName;
};

class ORVEX_EXPORT CFile {
public:
    enum OpenFlags : unsigned {
        modeRead = 0x0000,
        modeWrite = 0x0001,
        modeReadWrite = 0x0002,
        shareCompat = 0x0000,
        shareExclusive = 0x0010,
        shareDenyWrite = 0x0020,
        shareDenyRead = 0x0030,
        shareDenyNone = 0x0040,
        modeNoTruncate = 0x2000,
        modeCreate = 0x1000,
        typeText = 0x4000,
        typeBinary = 0x8000
    };
    enum SeekPosition { begin = 0, current = 1, end = 2 };

    CFile() = default;
    virtual ~CFile();
    CFile(const CFile&) = delete;
    CFile& operator=(const CFile&) = delete;

    // Sharing flags are accepted and have no effect: POSIX files are not locked.
    // On failure, error (when given) receives the cause.
    virtual bool Open(const char* fileName, unsigned openFlags, CFileException* error = nullptr);
    virtual unsigned Read(void* buffer, unsigned count);
    virtual void Write(const void* buffer, unsigned count);
    virtual int64_t Seek(int64_t offset, unsigned from);
    virtual uint64_t GetLength() const;
    virtual void Close();
    bool IsOpen() const { return m_hFile >= 0; }
    const CString& GetFilePath() const { return m_strFileName; }

protected:
    [[noreturn]] void Throw(int osError) const;

    int m_hFile = -1;
    CString m_strFileName;
};

#endif
