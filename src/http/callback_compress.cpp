#include "http/callback_compress.h"

#include <orvex/buffer.h>
#include <orvex/cstring.h>

#include <climits>
#include <string>

namespace {

// Runs a transform with a first guess at the room it needs and, when the
// callback asks for more, once again with exactly that. False leaves `out` unusable.
bool Transform(HttpTransformFn fn, void* user, const unsigned char* data, int length, int guess,
               std::string& out) {
    out.assign(static_cast<size_t>(guess), '\0');
    auto* room = reinterpret_cast<unsigned char*>(out.data());
    int needed = fn(user, data, length, room, guess);
    if (needed < 0) return false;
    if (needed > guess) {
        const int capacity = needed;
        out.assign(static_cast<size_t>(capacity), '\0');
        room = reinterpret_cast<unsigned char*>(out.data());
        needed = fn(user, data, length, room, capacity);
        if (needed < 0 || needed > capacity) return false;
    }
    out.resize(static_cast<size_t>(needed));
    return true;
}

int Guess(long long estimate) { return static_cast<int>(estimate > INT_MAX ? INT_MAX : estimate); }

}  // namespace

int CCallbackCompress::IsCompress() {
    if (m_Callbacks.isCompress != nullptr) return m_Callbacks.isCompress(m_Callbacks.user) != 0 ? 1 : 0;
    return m_Callbacks.compress != nullptr ? 1 : 0;
}

int CCallbackCompress::Compress(CString* content) {
    if (m_Callbacks.compress == nullptr || content == nullptr) return 0;
    const int length = content->GetLength();
    std::string out;
    if (!Transform(m_Callbacks.compress, m_Callbacks.user,
                   reinterpret_cast<const unsigned char*>(content->GetString()), length,
                   Guess(length + length / 8LL + 1024), out))
        return 0;
    *content = CString(std::move(out));
    return 1;
}

int CCallbackCompress::Decompress(CBuffer* response) {
    if (m_Callbacks.decompress == nullptr || response == nullptr) return 0;
    const int length = response->GetSize();
    std::string out;
    if (!Transform(m_Callbacks.decompress, m_Callbacks.user, response->GetBuf(), length,
                   Guess(length * 4LL + 4096), out))
        return 0;
    response->SetBuf(reinterpret_cast<unsigned char*>(out.data()), static_cast<int>(out.size()));
    return 1;
}
