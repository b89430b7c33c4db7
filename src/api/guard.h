// The one guard at the C boundary: runs a call and turns any exception into
// the function's failure answer. Every exported function goes through it;
// those of a family with an error text also leave the exception's text there.
#ifndef ORVEX_API_GUARD_H
#define ORVEX_API_GUARD_H

#include <orvex/cstring.h>

#include <exception>
#include <new>
#include <utility>

namespace api {

// Where a caught exception's text goes: the family's error text of the
// object the call works on, or nowhere (null).
struct ErrorText {
    CString* text;
};

namespace detail {

// Called inside a handler: names what is being handled, so the error a host
// reads is about the call it made and never an older one.
inline void TellFailure(ErrorText where) noexcept {
    if (where.text == nullptr) return;
    try {
        try {
            throw;
        } catch (const std::bad_alloc&) {
            *where.text = "Out of memory";
        } catch (const std::exception& e) {
            *where.text = e.what();
        } catch (...) {
            *where.text = "Unknown exception";
        }
    } catch (...) {
        // No room for the text itself; this one fits the string's own buffer.
        *where.text = "Out of memory";
    }
}

}  // namespace detail

template <typename Result, typename Call>
Result Guard(Result failure, Call&& call) noexcept {
    try {
        return std::forward<Call>(call)();
    } catch (...) {
        return failure;
    }
}

template <typename Call>
void Guard(Call&& call) noexcept {
    try {
        std::forward<Call>(call)();
    } catch (...) {
    }
}

template <typename Result, typename Call>
Result Guard(Result failure, ErrorText where, Call&& call) noexcept {
    try {
        return std::forward<Call>(call)();
    } catch (...) {
        detail::TellFailure(where);
        return failure;
    }
}

template <typename Call>
void Guard(ErrorText where, Call&& call) noexcept {
    try {
        std::forward<Call>(call)();
    } catch (...) {
        detail::TellFailure(where);
    }
}

}  // namespace api

#endif
