#include <orvex/buffer.h>

#include "platform/block_memory.h"
#include "platform/code_page.h"
#include "platform/message_box.h"
#include "platform/utf.h"
#include "support/convert_utf.h"
#include "support/global_info.h"
#include "support/pub.h"

#include <climits>
#include <cstdint>
#include <cstring>
#include <stdexcept>
#include <vector>

namespace {

constexpr int kMinGrowBy = 256;
constexpr int kSpare = 4;  // zero bytes always kept behind the room asked for

bool NeedsGrowth(int n, int allocSize) { return n >= allocSize - kSpare; }

// A source inside the buffer's own block (a host may pass GetBuf() back in)
// is copied aside first wherever growth may move the block or a shift may
// move the bytes under it; other sources cost nothing extra.
const unsigned char* AsideIfInside(const unsigned char* block, int allocSize, const unsigned char* src, int n,
                                   std::vector<unsigned char>& aside) {
    const auto b = reinterpret_cast<uintptr_t>(block);
    const auto p = reinterpret_cast<uintptr_t>(src);
    if (block == nullptr || n <= 0 || p < b || p - b >= static_cast<uintptr_t>(allocSize)) return src;
    aside.assign(src, src + n);
    return aside.data();
}

bool IsBlank(unsigned char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

size_t Utf16Units(const unsigned char* p, size_t bytes) {
    size_t units = bytes / 2;
    for (size_t i = 0; i < units; ++i)
        if (p[2 * i] == 0 && p[2 * i + 1] == 0) return i;
    return units;
}

CString FromUtf16Bytes(const unsigned char* p, size_t bytes) {
    const size_t units = Utf16Units(p, bytes);
    std::u16string wide(units, u'\0');
    if (units > 0) std::memcpy(wide.data(), p, units * 2);
    return CString::FromUTF16(wide);
}

CString FromUtf8Bytes(const unsigned char* p, size_t bytes) {
    const auto* text = reinterpret_cast<const char*>(p);
    // The text ends at its first zero byte, as a zero-terminated string does.
    const size_t length = strnlen(text, bytes);
    if (codepage::IsUtf8()) return CString(utf::SanitizeUtf8(text, length));
    std::u16string wide;
    utf::AppendUtf8AsUtf16(text, length, wide);
    return CString::FromUTF16(wide);
}

}  // namespace

CBuffer::CBuffer(int growBy) : m_nGrowBy(growBy < kMinGrowBy ? kMinGrowBy : growBy) {}

CBuffer::CBuffer(const CBuffer& other) : m_nGrowBy(other.m_nGrowBy) {
    if (other.m_pBuf == nullptr) return;
    m_pBuf = blockmem::Grow(nullptr, 0, 0, static_cast<size_t>(other.m_nAllocSize));
    std::memcpy(m_pBuf, other.m_pBuf, static_cast<size_t>(other.m_nSize));
    m_nAllocSize = other.m_nAllocSize;
    m_nSize = other.m_nSize;
}

CBuffer& CBuffer::operator=(const CBuffer& other) {
    if (this != &other) {
        CBuffer copy(other);
        std::swap(m_pBuf, copy.m_pBuf);
        std::swap(m_nAllocSize, copy.m_nAllocSize);
        std::swap(m_nSize, copy.m_nSize);
        std::swap(m_nGrowBy, copy.m_nGrowBy);
    }
    return *this;
}

CBuffer::~CBuffer() { CBuffer::Clear(); }

int CBuffer::GetSize() { return m_nSize; }
int CBuffer::GetAllocSize() { return m_nAllocSize; }
unsigned char* CBuffer::GetBuf() { return m_pBuf; }

int CBuffer::IsEqual(CBuffer& other) {
    const int size = GetSize();
    if (size != other.GetSize()) return 0;
    if (size == 0) return 1;
    return std::memcmp(GetBuf(), other.GetBuf(), static_cast<size_t>(size)) == 0 ? 1 : 0;
}

void CBuffer::GetText(CString& out) {
    out.Empty();
    const int size = GetSize();
    const unsigned char* p = GetBuf();
    if (size <= 0 || p == nullptr) return;
    const auto n = static_cast<size_t>(size);

    if (n >= 2 && p[0] == 0xFF && p[1] == 0xFE) {
        out = FromUtf16Bytes(p + 2, n - 2);
        return;
    }
    if (n >= 3) {
        if (p[0] == 0xEF && p[1] == 0xBB && p[2] == 0xBF) {
            out = FromUtf8Bytes(p + 3, n - 3);
            return;
        }
        // An XML declaration or HTML head that names utf-8 in its first 100 characters.
        const size_t length = strnlen(reinterpret_cast<const char*>(p), n);
        size_t lead = 0;
        while (lead < length && IsBlank(p[lead])) ++lead;
        if (length - lead > 10 && p[lead] == '<') {
            CString head(reinterpret_cast<const char*>(p + lead),
                         static_cast<int>(std::min<size_t>(100, length - lead)));
            if (head.MakeLower().Find("utf-8") >= 0) {
                out = FromUtf8Bytes(p, n);
                return;
            }
        }
    }
    if (ConvertUTF::isUTF16(p, size)) {
        out = FromUtf16Bytes(p, n);
        return;
    }
    const auto* text = reinterpret_cast<const char*>(p);
    const size_t length = strnlen(text, n);
    // An ISO-8859-1 or windows-1252 document read under UTF-8, say: its declaration decides.
    std::string utf8;
    if (codepage::DecodeDeclared(text, length, utf8)) {
        out = CString(codepage::FromUtf8(utf8.data(), utf8.size()));
        return;
    }
    out = CString(text, static_cast<int>(length));
}

void CBuffer::SetBuf(unsigned char* src, int n) {
    if (n < 0) return;
    std::vector<unsigned char> aside;
    const unsigned char* from =
        NeedsGrowth(n, m_nAllocSize) ? AsideIfInside(m_pBuf, m_nAllocSize, src, n, aside) : src;
    AutoAlloc(n);
    if (n > 0) std::memmove(m_pBuf, from, static_cast<size_t>(n));
    m_nSize = n;
}

void CBuffer::AddBuf(unsigned char* src, int n) {
    if (n < 0) return;
    if (n > INT_MAX - m_nSize) throw std::length_error("byte buffer would pass 2 GiB");
    std::vector<unsigned char> aside;
    const unsigned char* from =
        NeedsGrowth(m_nSize + n, m_nAllocSize) ? AsideIfInside(m_pBuf, m_nAllocSize, src, n, aside) : src;
    AutoAlloc(m_nSize + n);
    // memmove: a source in the block's room may overlap the new end.
    if (n > 0) std::memmove(m_pBuf + m_nSize, from, static_cast<size_t>(n));
    m_nSize += n;
}

void CBuffer::Copy(CBuffer& other) {
    if (&other == this) return;  // clearing first would lose the content
    Clear();
    m_nGrowBy = other.m_nGrowBy;
    SetBuf(other.GetBuf(), other.GetSize());
}

void CBuffer::Delete(int pos, int count) {
    if (pos < 0 || count <= 0 || pos >= m_nSize) return;
    if (count > m_nSize - pos) count = m_nSize - pos;
    std::memmove(m_pBuf + pos, m_pBuf + pos + count, static_cast<size_t>(m_nSize - pos - count));
    m_nSize -= count;
    for (int i = 0; i < kSpare && m_nSize + i < m_nAllocSize; ++i) m_pBuf[m_nSize + i] = 0;
}

void CBuffer::Insert(unsigned char* src, int pos, int n) {
    if (pos < 0 || pos >= m_nSize || n <= 0) return;
    if (n > INT_MAX - m_nSize) throw std::length_error("byte buffer would pass 2 GiB");
    std::vector<unsigned char> aside;
    const unsigned char* from = AsideIfInside(m_pBuf, m_nAllocSize, src, n, aside);
    if (NeedsGrowth(m_nSize + n, m_nAllocSize)) AutoAlloc(m_nSize + n);
    std::memmove(m_pBuf + pos + n, m_pBuf + pos, static_cast<size_t>(m_nSize - pos));
    std::memcpy(m_pBuf + pos, from, static_cast<size_t>(n));
    m_nSize += n;
}

int CBuffer::ReadFile(CFile& file, int n) {
    if (n < 0) return 0;
    AutoAlloc(n);
    m_nSize = n;
    return file.Read(m_pBuf, static_cast<unsigned>(n)) == static_cast<unsigned>(n) ? 1 : 0;
}

int CBuffer::ReadFile(CString& path, int offset, int length, CString& error) {
    Clear();
    error.Empty();
    CFile file;
    CFileException cause;
    if (!file.Open(path, CFile::modeRead | CFile::shareDenyNone, &cause)) {
        char text[256];
        cause.GetErrorMessage(text, sizeof text);
        error = text;
        return 0;
    }
    try {
        const uint64_t fileLength = file.GetLength();
        if (length == -1) {
            if (fileLength > INT_MAX) {
                error.Format("File too large for a byte buffer (over 2 GiB): %s!\t", path.GetString());
                return 0;
            }
            length = static_cast<int>(fileLength);
        }
        if (offset < 0 || length < 0 ||
            static_cast<uint64_t>(offset) + static_cast<uint64_t>(length) > fileLength) {
            error.Format("Out of File length: %s!\t", path.GetString());
            return 0;
        }
        AutoAlloc(length);
        m_nSize = length;
        file.Seek(offset, CFile::begin);
        file.Read(m_pBuf, static_cast<unsigned>(length));
        return 1;
    } catch (const CFileException& e) {
        // A failing seek or read leaves the buffer empty, like every failure here.
        Clear();
        error = e.GetErrorMessage();
        return 0;
    }
}

int CBuffer::WriteFile(const char* path, CWnd* owner) {
    if (CPub::Mem2File(GetBuf(), path, GetSize())) return 1;
    if (owner != nullptr) msgbox::Show(owner, CPub::GetLastError(), nullptr, msgbox::kOk);
    return 0;
}

void CBuffer::WriteFile(CFile& file) {
    if (GetSize() > 0) file.Write(GetBuf(), static_cast<unsigned>(GetSize()));
}

int CBuffer::WriteFile_ToDir(const char* dir, const char* name, CWnd* owner) {
    return WriteFile(CPub::AppendPath(dir, name), owner);
}

int CBuffer::WriteFile_ToTempDir(const char* name, CWnd* owner) {
    return WriteFile_ToDir(CGlobalInfo::GetInstance().GetTempDir(), name, owner);
}

void CBuffer::Clear() {
    blockmem::Free(m_pBuf);
    m_pBuf = nullptr;
    m_nAllocSize = 0;
    m_nSize = 0;
}

void CBuffer::Empty() {
    if (m_pBuf != nullptr && m_nSize > 0) std::memset(m_pBuf, 0, static_cast<size_t>(m_nSize));
    m_nSize = 0;
}

void CBuffer::Increase(int n) {
    if (n < 0) return;
    if (n > INT_MAX - m_nSize) throw std::length_error("byte buffer would pass 2 GiB");
    AutoAlloc(m_nSize + n);
}

void CBuffer::AutoAlloc(int n) {
    if (!NeedsGrowth(n, m_nAllocSize)) return;
    // Linear steps, never doubling: the smallest capacity with n < capacity - 4.
    const long long steps = (static_cast<long long>(n) + kSpare - m_nAllocSize) / m_nGrowBy + 1;
    const long long capacity = m_nAllocSize + steps * m_nGrowBy;
    if (capacity > INT_MAX) throw std::length_error("byte buffer would pass 2 GiB");
    m_pBuf = blockmem::Grow(m_pBuf, static_cast<size_t>(m_nSize), static_cast<size_t>(m_nAllocSize),
                            static_cast<size_t>(capacity));
    m_nAllocSize = static_cast<int>(capacity);
}
