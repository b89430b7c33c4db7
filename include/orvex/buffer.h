// CBuffer: a growable byte buffer that can decode its content into text.
//
// It grows by a fixed step (never below 256 bytes) and always keeps more
// than four zero bytes of room behind what was asked for, so content placed
// into fresh storage reads as a zero-terminated string. Sizes are signed
// 32-bit: asking for more than that throws std::length_error.
#ifndef ORVEX_BUFFER_H
#define ORVEX_BUFFER_H

#include <orvex/cstring.h>
#include <orvex/file.h>

class CWnd;  // an owner window: any non-null pointer asks for a message box

class ORVEX_EXPORT CBuffer {
public:
    explicit CBuffer(int growBy = 1024);
    // Copies are deep: the copy owns a block of its own with equal content
    // and capacity.
    CBuffer(const CBuffer& other);
    CBuffer& operator=(const CBuffer& other);

    virtual ~CBuffer();
    virtual int GetSize();
    virtual int GetAllocSize();
    virtual unsigned char* GetBuf();
    virtual int IsEqual(CBuffer& other);
    // UTF-16 (FF FE) and UTF-8 (EF BB BF) marks, an XML or HTML head naming
    // utf-8 in its first 100 characters, the UTF-16 test, else 8-bit text;
    // 8-bit text the code page cannot decode is read by the encoding its XML
    // declaration names, when iconv knows it.
    virtual void GetText(CString& out);
    virtual void SetBuf(unsigned char* src, int n);
    virtual void AddBuf(unsigned char* src, int n);
    virtual void Copy(CBuffer& other);
    // Deleting past the end cuts at the end; a position at or past the end
    // changes nothing.
    virtual void Delete(int pos, int count);
    // Inserts before an existing byte only; other positions change nothing.
    virtual void Insert(unsigned char* src, int pos, int n);
    virtual int ReadFile(CFile& file, int n);
    // length -1 reads the whole file (and so fails with a nonzero offset).
    virtual int ReadFile(CString& path, int offset, int length, CString& error);
    virtual int WriteFile(const char* path, CWnd* owner);
    virtual void WriteFile(CFile& file);
    virtual int WriteFile_ToDir(const char* dir, const char* name, CWnd* owner);
    virtual int WriteFile_ToTempDir(const char* name, CWnd* owner);
    virtual void Clear();
    virtual void Empty();
    virtual void Increase(int n);
    virtual void AutoAlloc(int n);

protected:
    friend class CBase64;  // encodes and decodes straight into the block

    unsigned char* m_pBuf = nullptr;
    int m_nAllocSize = 0;
    int m_nSize = 0;
    int m_nGrowBy;
};

#endif
