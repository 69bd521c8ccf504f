#pragma once
// Broken invariants of the engine stop with an exception that names the module where the check
// failed. These checks stay active in release builds: they guard memory safety and lost parts.

#include <stdexcept>
#include <string>

namespace tubenest {

class TEngineAssertion : public std::logic_error {
public:
    TEngineAssertion(const std::string& module, const std::string& message)
        : std::logic_error(module + ": " + message), module_(module) {}
    const std::string& Module() const { return module_; }

private:
    std::string module_;
};

[[noreturn]] inline void EngineAssertFail(const char* module, const std::string& message) {
    throw TEngineAssertion(module, message);
}

} // namespace tubenest

/// Checks an invariant in every build type; on failure throws TEngineAssertion("module: message").
#define TUBENEST_ASSERT(condition, module, message)                                                          \
    do {                                                                                                     \
        if (!(condition)) {                                                                                  \
            ::tubenest::EngineAssertFail(module, message);                                                   \
        }                                                                                                    \
    } while (false)
