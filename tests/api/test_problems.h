#pragma once
// Small problems and engine outputs shared by the facade tests.

#include <memory>
#include <string>
#include <vector>

#include "api/engine.h"
#include "api/problem.h"

namespace tubenest::testing {

/// Two parts (P1 1200 x2, P2 "bracket" 800 x3), one stock entry (S1 6000 x5), kerf 3.
inline api::Problem SmallProblem() {
    api::Problem p;
    p.parts.push_back(api::PartSpec{"P1", "", 1200.0, std::nullopt, 0.0, 0.0, 2, "", "", std::nullopt});
    p.parts.push_back(api::PartSpec{"P2", "bracket", 800.0, std::nullopt, 0.0, 0.0, 3, "", "", std::nullopt});
    p.stock.push_back(api::StockSpec{"S1", 6000.0, 5});
    p.gaps.kerf = 3.0;
    return p;
}

/// P1 (named beam_name) 7000 x1, longer than the stock; P2 1000 x p2_amount; stock 6000 x3; kerf 3,
/// gap next to pieces 5.
inline api::Problem SplitProblem(const std::string& beam_name = "beam", std::int64_t p2_amount = 2) {
    api::Problem p;
    p.parts.push_back(
        api::PartSpec{"P1", beam_name, 7000.0, std::nullopt, 0.0, 0.0, 1, "", "", std::nullopt});
    p.parts.push_back(
        api::PartSpec{"P2", "", 1000.0, std::nullopt, 0.0, 0.0, p2_amount, "", "", std::nullopt});
    p.stock.push_back(api::StockSpec{"S1", 6000.0, 3});
    p.gaps.kerf = 3.0;
    p.parameters.default_part_gap = 5.0;
    return p;
}

inline std::unique_ptr<TNestResult> Result(int tube, int count, TIntDynArray order) {
    auto r = std::make_unique<TNestResult>();
    r->FTubeIndex = tube;
    r->FTubeCount = count;
    r->FPartOrder = std::move(order);
    return r;
}

/// For SplitProblem: P1 split into a 4000 front piece (reference 3) and a 3000 back piece
/// (reference 4), laid as {P2, front} and {back, P2 turned}.
inline api::EngineOutput SplitOutput() {
    api::EngineOutput out;
    out.results.Add(Result(1, 1, {2, 3}));
    out.results.Add(Result(1, 1, {4, -2}));
    out.pieces.push_back(api::PieceInfo{3, 0, true, 4000.0, 1});
    out.pieces.push_back(api::PieceInfo{4, 0, false, 3000.0, 1});
    return out;
}

inline std::string Lines(const std::vector<std::string>& lines) {
    std::string s;
    for (const auto& l : lines) {
        s += l + "\n";
    }
    return s;
}

} // namespace tubenest::testing
