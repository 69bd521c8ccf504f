#include "support/plan_check.h"

#include <cmath>
#include <map>

#include "api/gap_model.h"

namespace tubenest::testing {
namespace {
bool Near(double a, double b, double eps = 1e-6) {
    return std::fabs(a - b) <= eps;
}
} // namespace

std::vector<std::string> CheckPlanInvariants(const api::Problem& problem, const api::Plan& plan) {
    std::vector<std::string> faults;
    auto fault = [&](const std::string& s) { faults.push_back(s); };
    std::vector<long long> tubesUsed(problem.stock.size(), 0);
    std::vector<long long> whole(problem.parts.size(), 0);
    struct Pair {
        long long front = 0;
        long long back = 0;
        std::size_t part = 0;
    };
    std::map<int, Pair> splits;
    double material = 0.0;
    double partLength = 0.0;
    const auto parts = static_cast<int>(problem.parts.size());

    for (std::size_t k = 0; k < plan.patterns.size(); ++k) {
        const api::Pattern& p = plan.patterns[k];
        const std::string at = "pattern " + std::to_string(k) + ": ";
        if (p.stock_index >= problem.stock.size()) {
            fault(at + "stock index " + std::to_string(p.stock_index) + " out of range");
            continue;
        }
        const double stockLength = problem.stock[p.stock_index].length;
        if (p.count < 1) {
            fault(at + "count " + std::to_string(p.count));
        }
        if (!Near(p.stock_length, stockLength)) {
            fault(at + "stock length " + std::to_string(p.stock_length));
        }
        tubesUsed[p.stock_index] += p.count;
        material += stockLength * p.count;
        const api::StockSpec& stock = problem.stock[p.stock_index];
        const double trimStart = stock.trim_start.value_or(problem.stock_settings.trim_start);
        const double room = stockLength - stock.trim_end.value_or(problem.stock_settings.trim_end);
        int cuts = 0; // by the documented rule
        double end = 0.0;
        for (std::size_t i = 0; i < p.parts.size(); ++i) {
            const api::PlacedPart& pp = p.parts[i];
            if (pp.part_index >= problem.parts.size()) {
                fault(at + "part index out of range");
                continue;
            }
            const double expectedStart = i == 0 ? trimStart : end + pp.gap_before;
            if (i == 0) {
                cuts += trimStart > 1e-6 ? 1 : 0;
            } else {
                const bool bothWhole =
                    pp.piece == api::PieceKind::Whole && p.parts[i - 1].piece == api::PieceKind::Whole;
                const bool common =
                    bothWhole && api::GapRecordFor(problem, p.parts[i - 1].reference, pp.reference).IsCommon;
                cuts += pp.gap_before <= problem.gaps.kerf + 1e-6 || common ? 1 : 2;
            }
            if (!Near(pp.start, expectedStart)) {
                fault(at + "part " + std::to_string(i) + " starts at " + std::to_string(pp.start) +
                      ", expected " + std::to_string(expectedStart));
            }
            if (i == 0 && pp.gap_before != 0.0) {
                fault(at + "first part has a gap before it");
            }
            if (pp.piece == api::PieceKind::Whole) {
                whole[pp.part_index] += p.count;
                if (!Near(pp.length, problem.parts[pp.part_index].length)) {
                    fault(at + "part " + pp.part_id + " has length " + std::to_string(pp.length));
                }
                if (pp.reference != (pp.turned ? -1 : 1) * (static_cast<int>(pp.part_index) + 1)) {
                    fault(at + "reference " + std::to_string(pp.reference) + " does not match part " +
                          pp.part_id);
                }
                if (i > 0 && p.parts[i - 1].piece == api::PieceKind::Whole) {
                    const double gap =
                        api::GapRecordFor(problem, p.parts[i - 1].reference, pp.reference).FixedGap;
                    if (!Near(pp.gap_before, gap)) {
                        fault(at + "gap before part " + std::to_string(i) + " is " +
                              std::to_string(pp.gap_before) + ", the gap model gives " + std::to_string(gap));
                    }
                }
            } else {
                if (std::abs(pp.reference) <= parts) {
                    fault(at + "piece with a whole-part reference " + std::to_string(pp.reference));
                }
                Pair& s = splits[pp.split_id];
                s.part = pp.part_index;
                (pp.piece == api::PieceKind::Front ? s.front : s.back) += p.count;
            }
            partLength += pp.length * p.count;
            end = pp.start + pp.length;
        }
        if (!Near(p.used_length, end)) {
            fault(at + "used length " + std::to_string(p.used_length) + " but the last part ends at " +
                  std::to_string(end));
        }
        if (end > room + 0.01) {
            fault(at + "parts and gaps end at " + std::to_string(end) + " mm of a tube usable to " +
                  std::to_string(room) + " mm");
        }
        cuts += stockLength - end > 1e-6 ? 1 : 0;
        if (p.cuts != cuts) {
            fault(at + std::to_string(p.cuts) + " cuts, counted " + std::to_string(cuts));
        }
        if (!Near(p.remnant, stockLength - p.used_length)) {
            fault(at + "remnant " + std::to_string(p.remnant));
        }
    }

    long long tubes = 0;
    for (std::size_t s = 0; s < problem.stock.size(); ++s) {
        tubes += tubesUsed[s];
        if (tubesUsed[s] > problem.stock[s].amount) {
            fault("stock " + std::to_string(s) + ": " + std::to_string(tubesUsed[s]) + " tubes used of " +
                  std::to_string(problem.stock[s].amount));
        }
    }
    if (tubes != plan.totals.tubes_used) {
        fault("totals: tubes_used " + std::to_string(plan.totals.tubes_used) + ", counted " +
              std::to_string(tubes));
    }
    // A bound no plan can beat: a complete plan below it proves the bound wrong.
    if (plan.lower_bound && plan.AllPlaced() && tubes < plan.lower_bound->tubes) {
        fault("lower bound " + std::to_string(plan.lower_bound->tubes) + " (" + plan.lower_bound->source +
              ") above the " + std::to_string(tubes) + " tubes of a complete plan");
    }
    if (plan.optimal != (plan.lower_bound && plan.AllPlaced() && tubes == plan.lower_bound->tubes)) {
        fault("optimal flag does not match the bound and the tubes used");
    }
    if (!Near(material, plan.totals.material_used, 1e-3) ||
        !Near(partLength, plan.totals.part_length_placed, 1e-3)) {
        fault("totals: material or part length do not add up");
    }

    std::vector<long long> placed = whole;
    for (const auto& [id, s] : splits) {
        placed[s.part] += std::min(s.front, s.back);
    }
    std::map<std::size_t, long long> unplaced;
    for (const api::Unplaced& u : plan.unplaced) {
        unplaced[u.part_index] += u.count;
        if (u.count <= 0) {
            fault("unplaced entry of " + u.part_id + " with count " + std::to_string(u.count));
        }
    }
    for (std::size_t i = 0; i < problem.parts.size(); ++i) {
        if (placed[i] + unplaced[i] != problem.parts[i].amount) {
            fault("part " + problem.parts[i].id + ": " + std::to_string(placed[i]) + " placed + " +
                  std::to_string(unplaced[i]) + " not placed != " + std::to_string(problem.parts[i].amount) +
                  " required");
        }
    }
    return faults;
}

} // namespace tubenest::testing
