// libFuzzer target for the problem readers. The first byte picks the reader (its value modulo 4:
// JSON problem, parts CSV, stock CSV, stock list); the rest is the text. A reader may only answer
// with a problem or a ProblemError; a valid JSON problem must survive writing and reading back.
// Built and run by .ci/fuzz.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "api/problem.h"
#include "api/problem_io.h"

using namespace tubenest::api;

namespace {

void CheckRoundTrip(const Problem& problem) {
    const std::string text = ProblemToJson(problem);
    const Problem back = ParseProblemJson(text, "round trip");
    if (ProblemToJson(back) != text) {
        std::abort(); // writing and reading a problem must not change it
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) {
        return 0;
    }
    const std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);
    try {
        Problem problem;
        switch (data[0] % 4) {
        case 0:
            problem = ParseProblemJson(text, "fuzz.json");
            break;
        case 1:
            problem.parts = ParsePartsCsv(text, "fuzz.csv");
            break;
        case 2:
            problem.stock = ParseStockCsv(text, "fuzz.csv");
            break;
        default:
            problem.stock = ParseStockList(text);
            break;
        }
        static_cast<void>(FindProblemFaults(problem));
        if (data[0] % 4 == 0) {
            CheckRoundTrip(problem);
        }
    } catch (const ProblemError& e) {
        if (e.faults().empty()) {
            std::abort(); // an error must say what is wrong
        }
    }
    return 0;
}
