// The one guard at the C boundary: runs a call and turns any exception into
// the function's failure answer. Every exported function goes through it.
#ifndef ORVEX_API_GUARD_H
#define ORVEX_API_GUARD_H

#include <utility>

namespace api {

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

}  // namespace api

#endif
