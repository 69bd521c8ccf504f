// tubenest: nest parts into stock tubes from the command line.
//
//   tubenest solve FILE [--stock S] [--gap G] [--trim S[,E]] [--min-usable-remnant L] [--method M]
//                       [--time-limit S] [--seed N] [--threads N] [--json OUT] [--svg OUT] [--dump OUT]
//                       [--csv OUT] [--list] [--quiet]
//   tubenest validate FILE [--stock S] [--gap G] [--trim S[,E]] [--min-usable-remnant L]
//   tubenest example [--method M] [--time-limit S] [--seed N] [--threads N] [--json OUT] [--svg OUT] [--dump
//   OUT] [--quiet]
//                    [--save-problem OUT]
//   tubenest methods
//   (solve and validate also take --splitting never|auto|free and --min-piece-length L, and the tail
//   rules --tail-parts MIN,MAX [--tail-length L] [--tail-mode reserve|last] [--tail-strategy economical|strict])
//
// Exit codes: 0 every copy placed, 3 a valid plan with copies not placed, 2 bad input or usage,
// 1 internal error. Errors are single lines on stderr; the progress bar (stderr, terminals only)
// never mixes with machine-readable output.

#include <unistd.h>

#include <CLI/CLI.hpp>
#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "api/example_problem.h"
#include "api/plan_output.h"
#include "api/problem_io.h"
#include "api/solve.h"
#include "cli_support.h"

namespace api = tubenest::api;
using namespace tubenest::cli;

namespace {

struct InputOptions {
    std::string file;
    std::string stock;
    std::optional<double> gap;

    // Stock as users keep it.
    std::string trim;                         ///< "S" or "S,E": trims of every stock entry
    std::optional<double> min_usable_remnant; ///< replaces stock_settings.min_usable_remnant
    // Splitting policy (replace the file's parameters; the only way for a CSV cut list).
    std::string splitting;
    std::optional<double> min_piece_length;
    // Tail rules (replace the file's fields one by one).
    std::string tail_parts; ///< "MIN,MAX": the lengths of the parts that belong at the tube tail
    std::optional<double> tail_length;
    std::string tail_mode;
    std::string tail_strategy;
};

/// The machine's hardware threads (1 when unknown).
std::int32_t DefaultThreads() {
    const unsigned n = std::thread::hardware_concurrency();
    return n == 0 ? 1 : static_cast<std::int32_t>(std::min(n, 256U));
}

struct RunOptions {
    std::string method;
    std::string time_limit; ///< checked by ParseTimeLimit
    std::string seed;       ///< checked by ParseSeed
    std::int32_t threads = DefaultThreads();
    std::string json_out;
    std::string svg_out;
    std::string dump_out;
    bool quiet = false;

    // Cut lists for the shop floor.
    std::string csv_out; ///< the cut list as CSV
    bool list = false;   ///< the cut list after the summary
};

/// --time-limit: a plain decimal number of seconds from 0 (none) to kMaxTimeLimitSeconds.
double ParseTimeLimit(const std::string& text) {
    const std::string range = "a number of seconds from 0 to " +
                              std::to_string(static_cast<long>(api::kMaxTimeLimitSeconds)) + " (0: no limit)";
    if (text.empty()) {
        return 0.0;
    }
    char* end = nullptr;
    errno = 0;
    const double v = std::strtod(text.c_str(), &end);
    const bool plain = text.find_first_not_of("0123456789.eE+-") == std::string::npos;
    if (!plain || end != text.c_str() + text.size() || errno == ERANGE || !(v >= 0.0) ||
        v > api::kMaxTimeLimitSeconds) {
        throw UsageError("--time-limit " + text + ": expected " + range);
    }
    return v;
}

/// --seed: a whole number from 0 to 2^64 - 1, digits only.
std::optional<std::uint64_t> ParseSeed(const std::string& text) {
    if (text.empty()) {
        return std::nullopt;
    }
    char* end = nullptr;
    errno = 0;
    const unsigned long long v = std::strtoull(text.c_str(), &end, 10);
    if (text.find_first_not_of("0123456789") != std::string::npos || end != text.c_str() + text.size() ||
        errno == ERANGE) {
        throw UsageError("--seed " + text + ": expected a whole number from 0 to 18446744073709551615");
    }
    return static_cast<std::uint64_t>(v);
}

/// "N" with its noun, in the singular for one.
std::string Count(std::int64_t n, const char* one, const char* many) {
    return std::to_string(n) + " " + (n == 1 ? one : many);
}

/// Messages may quote user text; keep each on one line.
std::string OneLine(std::string s) {
    for (char& c : s) {
        if (c == '\n' || c == '\r') {
            c = ' ';
        }
    }
    return s;
}

bool EndsWith(const std::string& s, const std::string& suffix) {
    return s.size() >= suffix.size() && s.compare(s.size() - suffix.size(), suffix.size(), suffix) == 0;
}

std::string ReadInput(const std::string& path) {
    try {
        return api::ReadTextFile(path);
    } catch (const std::runtime_error& e) {
        throw UsageError(e.what());
    }
}

/// --trim and --min-usable-remnant: settings for all stock; --trim also replaces the entries' own trims.
void ApplyStockOptions(const InputOptions& in, api::Problem& problem) {
    if (!in.trim.empty()) {
        const std::size_t comma = in.trim.find(',');
        const std::string first = in.trim.substr(0, comma);
        const std::string second = comma == std::string::npos ? "0" : in.trim.substr(comma + 1);
        char* end1 = nullptr;
        char* end2 = nullptr;
        const double start = std::strtod(first.c_str(), &end1);
        const double end = std::strtod(second.c_str(), &end2);
        const std::string digits = "0123456789.";
        if (first.empty() || second.empty() || first.find_first_not_of(digits) != std::string::npos ||
            second.find_first_not_of(digits) != std::string::npos || *end1 != '\0' || *end2 != '\0') {
            throw UsageError("--trim " + in.trim + ": expected START or START,END in mm (e.g. 10,50)");
        }
        problem.stock_settings.trim_start = start;
        problem.stock_settings.trim_end = end;
        for (auto& s : problem.stock) {
            s.trim_start.reset();
            s.trim_end.reset();
        }
    }
    if (in.min_usable_remnant) {
        problem.stock_settings.min_usable_remnant = *in.min_usable_remnant;
    }
}

/// A plain decimal length (digits and one point), as --trim takes them.
bool ParseLength(const std::string& text, double& value) {
    if (text.empty() || text.find_first_not_of("0123456789.") != std::string::npos) {
        return false;
    }
    char* end = nullptr;
    value = std::strtod(text.c_str(), &end);
    return *end == '\0';
}

/// --tail-parts and its companions set or replace the problem's tail rules.
void ApplyTailOptions(const InputOptions& in, api::Problem& problem) {
    if (!in.tail_parts.empty()) {
        const std::size_t comma = in.tail_parts.find(',');
        double low = 0.0;
        double high = 0.0;
        if (comma == std::string::npos || !ParseLength(in.tail_parts.substr(0, comma), low) ||
            !ParseLength(in.tail_parts.substr(comma + 1), high)) {
            throw UsageError("--tail-parts " + in.tail_parts + ": expected MIN,MAX in mm (e.g. 400,800)");
        }
        api::TailRules rules = problem.tail.value_or(api::TailRules{});
        rules.min_length = low;
        rules.max_length = high;
        problem.tail = rules;
    }
    const bool companions = in.tail_length || !in.tail_mode.empty() || !in.tail_strategy.empty();
    if (!companions) {
        return;
    }
    if (!problem.tail) {
        throw UsageError("--tail-length, --tail-mode and --tail-strategy need --tail-parts MIN,MAX (or tail rules "
                         "in the problem file)");
    }
    if (in.tail_length) {
        problem.tail->tail_length = *in.tail_length;
    }
    if (!in.tail_mode.empty()) {
        const auto mode = api::ParseTailMode(in.tail_mode);
        if (!mode) {
            throw UsageError("--tail-mode \"" + in.tail_mode + "\" is not one of reserve, last");
        }
        problem.tail->mode = *mode;
    }
    if (!in.tail_strategy.empty()) {
        const auto strategy = api::ParseTailStrategy(in.tail_strategy);
        if (!strategy) {
            throw UsageError("--tail-strategy \"" + in.tail_strategy + "\" is not one of economical, strict");
        }
        problem.tail->strategy = *strategy;
    }
}

/// How messages name an input file (as the readers do).
std::string SourceName(const std::string& file) {
    return std::filesystem::path(file).filename().string();
}

/// Reads a JSON problem or a CSV parts list and applies --stock and --gap.
api::Problem LoadProblem(const InputOptions& in) {
    const std::string text = ReadInput(in.file);
    const std::string name = SourceName(in.file);
    api::Problem problem;
    const bool csv = EndsWith(in.file, ".csv") || EndsWith(in.file, ".CSV");
    if (csv) {
        problem.parts = api::ParsePartsCsv(text, name);
    } else if (EndsWith(in.file, ".json") || EndsWith(in.file, ".JSON") ||
               text.find('{') != std::string::npos) {
        problem = api::ParseProblemJson(text, name);
    } else {
        throw UsageError(in.file + ": unknown file type (expected .json or .csv)");
    }
    if (!in.stock.empty()) {
        if (std::filesystem::is_regular_file(in.stock)) {
            problem.stock =
                api::ParseStockCsv(ReadInput(in.stock), std::filesystem::path(in.stock).filename().string());
        } else {
            problem.stock = api::ParseStockList(in.stock);
        }
    } else if (csv) {
        throw UsageError("a CSV parts list needs --stock (e.g. --stock 6000x10,7500x5 or --stock stock.csv)");
    }
    if (in.gap) {
        problem.gaps.kerf = *in.gap;
    }
    ApplyStockOptions(in, problem);
    // Splitting policy.
    if (!in.splitting.empty()) {
        const auto splitting = api::ParseSplitting(in.splitting);
        if (!splitting) {
            throw UsageError("--splitting \"" + in.splitting + "\" is not one of never, auto, free");
        }
        problem.parameters.splitting = *splitting;
    }
    if (in.min_piece_length) {
        problem.parameters.min_piece_length = *in.min_piece_length;
    }
    ApplyTailOptions(in, problem);
    return problem;
}

void Emit(const std::string& path, const std::string& content) {
    if (path == "-") {
        std::cout << content << std::flush;
    } else {
        api::WriteFileAtomically(path, content);
    }
}

/// Semantic faults of a problem read from a file name the file, as syntax faults do.
void ValidateNamed(const api::Problem& problem, const std::string& source) {
    try {
        api::ValidateProblem(problem);
    } catch (const api::ProblemError& e) {
        if (source.empty()) {
            throw;
        }
        std::vector<std::string> faults = e.faults();
        for (auto& f : faults) {
            f = source + ": " + f;
        }
        throw api::ProblemError(std::move(faults));
    }
}

int RunSolve(const api::Problem& problem, const RunOptions& run, const std::string& source) {
    const std::string method = run.method.empty() ? api::DefaultMethodName() : run.method;
    try {
        api::CheckMethodName(method);
    } catch (const std::invalid_argument& e) {
        throw UsageError(e.what());
    }
    const double timeLimit = ParseTimeLimit(run.time_limit);
    const std::optional<std::uint64_t> seed = ParseSeed(run.seed);
    int toStdout = 0;
    for (const std::string* out : {&run.json_out, &run.svg_out, &run.dump_out, &run.csv_out}) {
        toStdout += *out == "-" ? 1 : 0;
    }
    if (toStdout > 1) {
        throw UsageError("only one of --json, --svg, --csv, --dump may write to standard output (\"-\")");
    }
    if (run.dump_out == "-") {
        throw UsageError("--dump needs a file name");
    }
    ValidateNamed(problem, source);

    api::SolveOptions options;
    options.method = method;
    options.time_limit_seconds = timeLimit;
    options.seed = seed;
    options.threads = run.threads;
    api::StopToken stop;
    options.stop = stop;
    const double budget =
        method == api::kAutoMethodName && timeLimit <= 0.0 ? api::kAutoDefaultTimeLimitSeconds : timeLimit;
    ProgressBar bar(!run.quiet && ::isatty(STDERR_FILENO) != 0, budget);
    options.progress = [&bar](double fraction, const std::string& message) { bar.Update(fraction, message); };

    api::Plan plan;
    {
        InterruptGuard guard(stop);
        plan = api::Solve(problem, options);
    }
    bar.Finish();

    if (!run.quiet && toStdout == 0) {
        std::cout << api::FormatPlanSummary(plan) << (run.list ? api::FormatCutList(plan) : "") << std::flush;
    }
    if (!run.csv_out.empty()) {
        Emit(run.csv_out, api::PlanToCsv(plan));
    }
    if (!run.json_out.empty()) {
        Emit(run.json_out, api::PlanToJson(plan));
    }
    if (!run.svg_out.empty()) {
        Emit(run.svg_out, api::PlanToSvg(plan));
    }
    if (!run.dump_out.empty()) {
        api::WriteEngineDump(plan, run.dump_out);
    }
    return plan.AllPlaced() ? kExitAllPlaced : kExitNotPlaced;
}

int RunValidate(const InputOptions& in) {
    const api::Problem problem = LoadProblem(in);
    ValidateNamed(problem, SourceName(in.file));
    std::int64_t copies = 0;
    for (const auto& p : problem.parts) {
        copies += p.amount;
    }
    std::cout << in.file << ": valid ("
              << Count(static_cast<std::int64_t>(problem.parts.size()), "part kind", "part kinds") << ", "
              << Count(copies, "copy", "copies") << ", "
              << Count(static_cast<std::int64_t>(problem.stock.size()), "stock entry", "stock entries")
              << ")\n";
    return kExitAllPlaced;
}

void AddRunOptions(CLI::App& cmd, RunOptions& run) {
    std::string methods;
    for (const auto& m : api::SolveMethodNames()) {
        methods += (methods.empty() ? "" : ", ") + m;
    }
    cmd.add_option("--method,-m", run.method,
                   "Nesting method (" + methods + "; default " + api::DefaultMethodName() +
                       ": the best plan of the methods that suit the problem)");
    cmd.add_option(
        "--time-limit,-t", run.time_limit,
        "Stop after this many seconds (at most 1000000) and keep the best plan found so far (method "
        "auto: its budget, default " +
            api::FormatLength(api::kAutoDefaultTimeLimitSeconds) + " s)");
    cmd.add_option("--seed", run.seed, "Random seed (0 to 2^64-1), to repeat a run exactly");
    cmd.add_option(
           "--threads,-j", run.threads,
           "Worker threads: methods run side by side in method auto, particles in the swarm (default: "
           "the hardware threads, " +
               std::to_string(DefaultThreads()) +
               "); where no time limit bites the plan does not depend on it")
        ->check(CLI::Range(1, 256));
    cmd.add_option("--json", run.json_out, "Write the plan as JSON to this file ('-': standard output)");
    cmd.add_option("--svg", run.svg_out,
                   "Write the cutting diagram as SVG to this file ('-': standard output)");
    cmd.add_option("--dump", run.dump_out, "Write the engine's own text dump of the results to this file");
    cmd.add_flag("--quiet,-q", run.quiet, "No progress bar and no summary");
    cmd.add_option(
        "--csv", run.csv_out,
        "Write the cut list (every part's position on its bar) as CSV to this file ('-': standard output)");
    cmd.add_flag("--list,-l", run.list, "Print the cut list of every pattern after the summary");
}

void AddInputOptions(CLI::App& cmd, InputOptions& in) {
    cmd.add_option("FILE", in.file,
                   "Problem file: .json, or a .csv parts list (name,length,amount[,cutoffA,cutoffB])")
        ->required();
    cmd.add_option("--stock,-s", in.stock,
                   "Stock tubes: a list like 6000x10,7500x5,1300x1r (r: a remnant, used first) or a CSV file "
                   "(length,amount[,id[,remnant[,trim_start[,trim_end]]]]); replaces the file's stock");
    cmd.add_option("--gap,-g", in.gap, "Uniform gap (kerf) between parts, mm; replaces the file's kerf");
    cmd.add_option(
        "--trim", in.trim,
        "Trim of every stock bar, mm: START or START,END (START cut away at the bar's start, END left "
        "unused at its end); replaces the file's trims");
    cmd.add_option("--min-usable-remnant", in.min_usable_remnant,
                   "Remnants at least this long (mm) are marked usable in the plan, shorter ones scrap");
    // Splitting policy.
    cmd.add_option("--splitting", in.splitting,
                   "Where parts may be split and welded: never, auto (only where it saves stock tubes; the "
                   "default) or free; replaces the file's setting");
    cmd.add_option("--min-piece-length", in.min_piece_length,
                   "Shortest split piece, mm (default " + api::FormatLength(api::kDefaultMinPieceLength) +
                       "); replaces the file's setting")
        ->check(CLI::NonNegativeNumber);
    // Tail rules.
    cmd.add_option("--tail-parts", in.tail_parts,
                   "Parts of these lengths belong together at the end of a tube: MIN,MAX in mm (e.g. 400,800); "
                   "replaces the file's window");
    cmd.add_option("--tail-length", in.tail_length,
                   "The tail each tube keeps for them, mm (mode reserve; default 0)")
        ->check(CLI::NonNegativeNumber);
    cmd.add_option("--tail-mode", in.tail_mode,
                   "reserve (default): tail parts and the free rest behind them reach the tail length; last: tail "
                   "parts stand last, a tube without any leaves room for one");
    cmd.add_option("--tail-strategy", in.tail_strategy,
                   "economical: reorder and exchange parts between tubes of the same stock; strict (default): "
                   "also try a plan with a tail reserved in every tube");
}

int Main(int argc, char** argv) {
    CLI::App app{"tubenest: nest parts into stock tubes (cutting lists for tube and profile cutting)",
                 "tubenest"};
    app.require_subcommand(1);
    app.fallthrough(false);

    InputOptions solveIn;
    RunOptions solveRun;
    CLI::App* solve = app.add_subcommand("solve", "Nest a problem and print the plan");
    AddInputOptions(*solve, solveIn);
    AddRunOptions(*solve, solveRun);

    InputOptions validateIn;
    CLI::App* validate = app.add_subcommand("validate", "Check a problem file and report every fault");
    AddInputOptions(*validate, validateIn);

    RunOptions exampleRun;
    exampleRun.svg_out = "example.svg";
    std::string exampleProblemOut;
    CLI::App* example = app.add_subcommand(
        "example", "Solve a built-in realistic problem and write its diagram to example.svg (or --svg)");
    AddRunOptions(*example, exampleRun);
    example->add_option("--save-problem", exampleProblemOut,
                        "Also write the example problem as JSON to this file");

    CLI::App* methods = app.add_subcommand("methods", "List the nesting methods");

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        if (e.get_exit_code() == 0) {
            return app.exit(e); // --help
        }
        std::cerr << "tubenest: error: " << e.what() << " (see tubenest --help)\n";
        return kExitBadInput;
    }

    if (*solve) {
        return RunSolve(LoadProblem(solveIn), solveRun, SourceName(solveIn.file));
    }
    if (*validate) {
        return RunValidate(validateIn);
    }
    if (*example) {
        const api::Problem problem = api::MakeExampleProblem();
        if (!exampleProblemOut.empty()) {
            api::WriteFileAtomically(exampleProblemOut, api::ProblemToJson(problem));
        }
        return RunSolve(problem, exampleRun, "");
    }
    if (*methods) {
        const std::string def = api::DefaultMethodName();
        for (const auto& m : api::SolveMethodNames()) {
            std::cout << m << (m == def ? " (default)" : "") << "\n";
        }
        return kExitAllPlaced;
    }
    return kExitBadInput;
}

} // namespace

int main(int argc, char** argv) {
    try {
        return Main(argc, argv);
    } catch (const api::ProblemError& e) {
        for (const auto& fault : e.faults()) {
            std::cerr << "tubenest: error: " << OneLine(fault) << "\n";
        }
        return kExitBadInput;
    } catch (const UsageError& e) {
        std::cerr << "tubenest: error: " << OneLine(e.what()) << "\n";
        return kExitBadInput;
    } catch (const std::runtime_error& e) {
        std::cerr << "tubenest: error: " << OneLine(e.what()) << "\n";
        return kExitInternal;
    } catch (const std::exception& e) {
        std::cerr << "tubenest: internal error: " << OneLine(e.what()) << "\n";
        return kExitInternal;
    } catch (...) {
        std::cerr << "tubenest: internal error: unknown exception\n";
        return kExitInternal;
    }
}
