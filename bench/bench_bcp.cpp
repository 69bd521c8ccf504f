// Micro-benchmarks of the branch-cut-price solver's building blocks: column pool insertion with
// its hashed duplicate check (against a scan of the pool, as a reference), and LP re-solves after
// new columns (warm primal simplex from the last basis against a fresh solve). Fixed seeds.

#include <benchmark/benchmark.h>

#include <memory>
#include <random>
#include <vector>

#include "bcp/var_pool.h"
#include "host/lp_solver.h"

namespace {

using namespace tubenest;

constexpr int kRows = 50;

class BenchColumn final : public TBCPVariable {
public:
    explicit BenchColumn(std::vector<double> column) : column_(std::move(column)) {}
    std::unique_ptr<TBCPVariable> Clone() const override { return std::make_unique<BenchColumn>(*this); }
    double GetObjCoeff() const override { return 1.0; }
    double GetActualCost() const override { return 1.0; }
    bool IsSameWith(const TBCPVariable& other) const override {
        return static_cast<const BenchColumn&>(other).column_ == column_;
    }
    int Compare(const TBCPVariable&, const TBCPVariable&) const override { return 0; }
    std::vector<double> GetColumn(int size) const override {
        std::vector<double> c(column_);
        c.resize(static_cast<std::size_t>(size), 0.0);
        return c;
    }

private:
    std::vector<double> column_;
};

// Cutting patterns: a few part kinds with small counts, the rest zero.
std::vector<double> RandomPattern(std::mt19937& rng) {
    std::uniform_int_distribution<int> row(0, kRows - 1), count(1, 4), kinds(2, 6);
    std::vector<double> column(kRows, 0.0);
    for (int k = kinds(rng); k > 0; --k) {
        column[static_cast<std::size_t>(row(rng))] = count(rng);
    }
    return column;
}

std::vector<std::unique_ptr<BenchColumn>> RandomColumns(int n, unsigned seed) {
    std::mt19937 rng(seed);
    std::vector<std::unique_ptr<BenchColumn>> columns;
    for (int i = 0; i < n; ++i) {
        columns.push_back(std::make_unique<BenchColumn>(RandomPattern(rng)));
    }
    return columns;
}

// n columns into an empty pool, then each once more (every second insertion is a duplicate).
void BM_PoolInsert(benchmark::State& state) {
    const auto columns = RandomColumns(static_cast<int>(state.range(0)), 1);
    for (auto _ : state) {
        TVarPool<BenchColumn> pool(std::vector<double>(kRows, 10.0), std::vector<std::int32_t>(kRows, 1));
        bool exists = false;
        for (int pass = 0; pass < 2; ++pass) {
            for (const auto& c : columns) {
                benchmark::DoNotOptimize(pool.AddVar(*c, exists));
            }
        }
    }
    state.SetItemsProcessed(state.iterations() * state.range(0) * 2);
}
BENCHMARK(BM_PoolInsert)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);

// The same insertions with the duplicate check as a scan of the pool.
void BM_PoolInsertScanReference(benchmark::State& state) {
    const auto columns = RandomColumns(static_cast<int>(state.range(0)), 1);
    for (auto _ : state) {
        std::vector<std::unique_ptr<BenchColumn>> pool;
        for (int pass = 0; pass < 2; ++pass) {
            for (const auto& c : columns) {
                bool found = false;
                for (const auto& p : pool) {
                    if (p->IsSameWith(*c)) {
                        found = true;
                        break;
                    }
                }
                if (!found) {
                    pool.push_back(std::make_unique<BenchColumn>(*c));
                }
            }
        }
        benchmark::DoNotOptimize(pool.size());
    }
    state.SetItemsProcessed(state.iterations() * state.range(0) * 2);
}
BENCHMARK(BM_PoolInsertScanReference)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);

// A covering LP: every row at least 10 copies, columns are patterns (a unit column per row keeps
// it feasible).
struct LpData {
    TDoubleMatrix rows;
    std::vector<double> costs;
    std::vector<std::vector<double>> extra; // columns added later, one entry per row
};

LpData MakeLp(int columns, int added) {
    std::mt19937 rng(5);
    LpData lp;
    lp.rows.assign(kRows, {});
    for (int j = 0; j < kRows + columns; ++j) {
        const std::vector<double> col = j < kRows ? std::vector<double>() : RandomPattern(rng);
        for (int r = 0; r < kRows; ++r) {
            lp.rows[static_cast<std::size_t>(r)].push_back(j < kRows ? (r == j ? 1.0 : 0.0)
                                                                     : col[static_cast<std::size_t>(r)]);
        }
        lp.costs.push_back(1.0);
    }
    for (int k = 0; k < added; ++k) {
        lp.extra.push_back(RandomPattern(rng));
    }
    return lp;
}

// Solve, add state.range(1) columns, re-solve: only the re-solve is timed.
void BM_LpWarmResolveAfterNewColumns(benchmark::State& state) {
    const LpData lp = MakeLp(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
    const std::vector<double> lower(kRows, 10.0), upper(kRows, MaxDouble);
    double iterations = 0.0;
    for (auto _ : state) {
        state.PauseTiming();
        TCbcLPSolver solver(lp.rows, lp.costs, lower, upper);
        double obj = 0.0;
        solver.Solve(obj);
        for (const auto& col : lp.extra) {
            solver.AddColumn(col, 1.0, 0.0, MaxDouble);
        }
        state.ResumeTiming();
        benchmark::DoNotOptimize(solver.Solve(obj));
        iterations += solver.LastIterations();
    }
    state.counters["simplex_iterations"] = benchmark::Counter(iterations, benchmark::Counter::kAvgIterations);
}
BENCHMARK(BM_LpWarmResolveAfterNewColumns)->Args({200, 10})->Args({1000, 10})->Unit(benchmark::kMicrosecond);

// The same LP with the new columns solved from scratch (construction included).
void BM_LpColdSolveWithNewColumns(benchmark::State& state) {
    LpData lp = MakeLp(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
    for (const auto& col : lp.extra) {
        for (int r = 0; r < kRows; ++r) {
            lp.rows[static_cast<std::size_t>(r)].push_back(col[static_cast<std::size_t>(r)]);
        }
        lp.costs.push_back(1.0);
    }
    const std::vector<double> lower(kRows, 10.0), upper(kRows, MaxDouble);
    double iterations = 0.0;
    for (auto _ : state) {
        TCbcLPSolver solver(lp.rows, lp.costs, lower, upper);
        double obj = 0.0;
        benchmark::DoNotOptimize(solver.Solve(obj));
        iterations += solver.LastIterations();
    }
    state.counters["simplex_iterations"] = benchmark::Counter(iterations, benchmark::Counter::kAvgIterations);
}
BENCHMARK(BM_LpColdSolveWithNewColumns)->Args({200, 10})->Args({1000, 10})->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
