#pragma once
// Runs `f` and returns the text of the error of type E it raised, or "<no error>". Errors of
// other types pass on and fail the test.

#include <string>

namespace corvana::test {

template <typename E, typename F> std::string errorText(F&& f) {
    try {
        f();
    } catch (const E& e) {
        return e.what();
    }
    return "<no error>";
}

} // namespace corvana::test
