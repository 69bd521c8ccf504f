#include "colgen/pattern_pricing.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <stdexcept>
#include <string>

#include "colgen/column_generation.h"
#include "model/assertion.h"
#include "model/nest_progress.h"
#include "model/seg_place_info.h"

namespace tubenest {
namespace {
constexpr const char* kModule = "ColumnGeneration";
// Lengths within this of a whole millimetre count as that millimetre.
constexpr double kUnitTolerance = 1e-6;
// A run fits in the room left when it is at most this much longer (floating-point sums).
constexpr double kFitTolerance = 1e-9;
constexpr std::uint16_t kNarrowShifted = 0x8000;
constexpr std::uint32_t kWideShifted = 0x80000000U;
constexpr std::int32_t kNarrowMaxCopies = 0x7FFF;
} // namespace

double TPatternPricing::RunLength(double ALength, std::int32_t ACopies, double APairGap, double ASingleGap) {
    if (ACopies <= 0) {
        return 0.0;
    }
    double gaps = 0.0;
    if (ACopies >= 2) {
        const double half = ACopies / 2;
        gaps = ACopies % 2 == 0 ? APairGap * half + ASingleGap * (half - 1)
                                : (APairGap + ASingleGap) * ((ACopies - 1) / 2);
    }
    return ACopies * ALength + std::min(0.0, gaps);
}

void TPatternPricing::Prepare(const TColGenData& AData, const std::vector<char>& AInLP) {
    const auto n = static_cast<std::size_t>(AData.FPartCount);
    TUBENEST_ASSERT(AInLP.size() == n, kModule, "pricing prepared with a wrong number of flags");
    data_ = &AData;
    gaps_ = AData.FPartGapTable;
    tubeLength_ = AData.TubeLength();
    capacity_ = static_cast<std::int32_t>(std::floor(tubeLength_));
    overlap_ = gaps_ != nullptr && AData.FPartCount < kOverlapPartLimit;
    overlapChecks_ = 0;

    std::size_t inLP = 0;
    for (const char c : AInLP) {
        inLP += c != 0 ? 1 : 0;
    }
    const std::size_t row = static_cast<std::size_t>(capacity_) + 1;
    const std::size_t cells = inLP == 0 ? 0 : 1 + (inLP - 1) * row;
    if (inLP > 0 && std::max(cells, row) > kMaxCells) {
        throw std::runtime_error("column generation: " + std::to_string(inLP) +
                                 " part lengths in a tube of " + std::to_string(capacity_) +
                                 " mm need a pricing table of " + std::to_string(cells) +
                                 " cells, more than the limit of " + std::to_string(kMaxCells) +
                                 "; use another method for this problem");
    }

    if (gaps_ != nullptr) {
        TUBENEST_ASSERT(gaps_->FSinglePartGaps.size() == static_cast<std::size_t>(gaps_->FPartCount), kModule,
                        "the gap manager's run patterns are not derived (call InitializePartGaps first)");
        gapLengths_.assign(static_cast<std::size_t>(gaps_->FPartCount), 0.0);
        for (std::size_t i = 0; i < n; ++i) {
            gapLengths_[static_cast<std::size_t>(AData.FPartOriIndexs[i])] = AData.FPartLengths[i];
        }
    }

    parts_.assign(n, TPartTable{});
    std::int32_t mostCopies = 0;
    for (std::size_t i = 0; i < n; ++i) {
        if (AInLP[i] == 0) {
            continue;
        }
        TPartTable& t = parts_[i];
        const double length = AData.FPartLengths[i];
        double pair = 0.0;
        double single = 0.0;
        if (gaps_ != nullptr) {
            const auto ori = static_cast<std::size_t>(AData.FPartOriIndexs[i]);
            pair = gaps_->FSinglePartGaps[ori].FPartGapPair;
            single = gaps_->FSinglePartGaps[ori].FPartGapSingle;
            if (overlap_ && ori < gaps_->FPartToPartConnectParams.size()) {
                const auto& conn = *gaps_->FPartToPartConnectParams[ori];
                if (!conn.FLeftGaps.empty() && !conn.FRightGaps.empty()) {
                    const double r = std::nearbyint(conn.GetMinGap()); // ties to even
                    t.Shift = static_cast<std::int32_t>(std::fabs(std::min(0.0, r)));
                }
            }
        }
        t.MaxCopies = static_cast<std::int32_t>(std::trunc(tubeLength_ / length));
        mostCopies = std::max(mostCopies, t.MaxCopies);
        const auto count = static_cast<std::size_t>(t.MaxCopies) + 1;
        t.Lengths.resize(count);
        t.Units.resize(count);
        t.Floors.resize(count);
        for (std::int32_t m = 0; m <= t.MaxCopies; ++m) {
            const double l = RunLength(length, m, pair, single);
            const auto um = static_cast<std::size_t>(m);
            t.Lengths[um] = l;
            t.Units[um] = static_cast<std::int32_t>(std::max(0.0, std::ceil(l - kUnitTolerance)));
            t.Floors[um] = static_cast<std::int32_t>(std::max(0.0, std::floor(l)));
        }
    }
    wideChoices_ = mostCopies > kNarrowMaxCopies;
    if (wideChoices_) {
        wide_.resize(cells);
    } else {
        narrow_.resize(cells);
    }
    if (inLP > 0) {
        next_.resize(row);
        current_.resize(row);
    }
}

void TPatternPricing::SetChoice(std::size_t AStage, std::int32_t AState, std::int32_t ACopies,
                                bool AShifted) {
    const std::size_t at = Offset(AStage, AState);
    if (wideChoices_) {
        wide_[at] = static_cast<std::uint32_t>(ACopies) | (AShifted ? kWideShifted : 0U);
    } else {
        narrow_[at] = static_cast<std::uint16_t>(static_cast<std::uint32_t>(ACopies) |
                                                 (AShifted ? kNarrowShifted : 0U));
    }
}

std::int32_t TPatternPricing::Choice(std::size_t AStage, std::int32_t AState, bool& AShifted) const {
    const std::size_t at = Offset(AStage, AState);
    if (wideChoices_) {
        AShifted = (wide_[at] & kWideShifted) != 0;
        return static_cast<std::int32_t>(wide_[at] & ~kWideShifted);
    }
    AShifted = (narrow_[at] & kNarrowShifted) != 0;
    return static_cast<std::int32_t>(narrow_[at] & ~kNarrowShifted);
}

void TPatternPricing::LastStage(const TStage& AStage, bool ASingleState) {
    const TPartTable& t = parts_[static_cast<std::size_t>(AStage.Part)];
    const std::size_t stage = stages_.size() - 1;
    const std::int32_t lastState = ASingleState ? 0 : capacity_;
    for (std::int32_t u = 0; u <= lastState; ++u) {
        next_[static_cast<std::size_t>(u)] = 0.0;
        SetChoice(stage, u, 0, false);
    }
    for (std::int32_t m = 1; m <= t.MaxCopies; ++m) {
        const double value = m * AStage.Dual;
        const double room = tubeLength_ - t.Lengths[static_cast<std::size_t>(m)] + kFitTolerance;
        if (room < 0.0) {
            continue;
        }
        const std::int32_t last = std::min(lastState, static_cast<std::int32_t>(std::floor(room)));
        for (std::int32_t u = 0; u <= last; ++u) {
            if (value > next_[static_cast<std::size_t>(u)]) {
                next_[static_cast<std::size_t>(u)] = value;
                SetChoice(stage, u, m, false);
            }
        }
    }
}

double TPatternPricing::TryOverlap(std::size_t AStageIdx, std::int32_t AUsed, std::int32_t ACopies,
                                   std::int32_t& ANext) {
    const TStage& stage = stages_[AStageIdx];
    const std::int32_t shift = parts_[static_cast<std::size_t>(stage.Part)].Shift;
    const std::int32_t from = ANext - shift;
    if (shift == 0 || from < 0 ||
        !(next_[static_cast<std::size_t>(from)] > next_[static_cast<std::size_t>(ANext)])) {
        return 0.0;
    }
    // The parts of the best completion from the earlier state, with this run.
    checkParts_.assign(1, data_->FPartOriIndexs[static_cast<std::size_t>(stage.Part)]);
    checkAmounts_.assign(1, ACopies);
    std::int32_t u = from;
    for (std::size_t s = AStageIdx + 1; s < stages_.size(); ++s) {
        bool shifted = false;
        const std::int32_t m = Choice(s, u, shifted);
        const TPartTable& t = parts_[static_cast<std::size_t>(stages_[s].Part)];
        if (m > 0) {
            checkParts_.push_back(data_->FPartOriIndexs[static_cast<std::size_t>(stages_[s].Part)]);
            checkAmounts_.push_back(m);
        }
        u = std::min(u + t.Units[static_cast<std::size_t>(m)], capacity_) - (shifted ? t.Shift : 0);
    }
    ++overlapChecks_;
    const double length = gaps_->CalcMinLen(checkParts_, checkAmounts_, nullptr, gapLengths_);
    const double margin = tubeLength_ - AUsed - length;
    if (margin > kUnitTolerance) {
        ANext = from;
        return margin;
    }
    return 0.0;
}

void TPatternPricing::MiddleStage(std::size_t AStageIdx, bool ASingleState) {
    const TStage& stage = stages_[AStageIdx];
    const TPartTable& t = parts_[static_cast<std::size_t>(stage.Part)];
    const std::int32_t lastState = ASingleState ? 0 : capacity_;
    for (std::int32_t u = 0; u <= lastState; ++u) {
        current_[static_cast<std::size_t>(u)] = next_[static_cast<std::size_t>(u)];
        SetChoice(AStageIdx, u, 0, false);
    }
    const bool overlap = overlap_ && t.Shift > 0;
    for (std::int32_t m = 1; m <= t.MaxCopies; ++m) {
        const auto um = static_cast<std::size_t>(m);
        const double value = m * stage.Dual;
        const double room = tubeLength_ - t.Lengths[um] + kFitTolerance;
        if (room < 0.0) {
            continue;
        }
        const std::int32_t last = std::min(lastState, static_cast<std::int32_t>(std::floor(room)));
        const std::int32_t units = t.Units[um];
        if (!overlap) {
            // The hot loop: states whose next state is inside the tube, then those clipped to its end.
            const std::int32_t unclipped = std::min(last, capacity_ - units);
            for (std::int32_t u = 0; u <= unclipped; ++u) {
                const double candidate = value + next_[static_cast<std::size_t>(u + units)];
                if (candidate > current_[static_cast<std::size_t>(u)]) {
                    current_[static_cast<std::size_t>(u)] = candidate;
                    SetChoice(AStageIdx, u, m, false);
                }
            }
            const double atEnd = value + next_[static_cast<std::size_t>(capacity_)];
            for (std::int32_t u = std::max(0, unclipped + 1); u <= last; ++u) {
                if (atEnd > current_[static_cast<std::size_t>(u)]) {
                    current_[static_cast<std::size_t>(u)] = atEnd;
                    SetChoice(AStageIdx, u, m, false);
                }
            }
            continue;
        }
        for (std::int32_t u = 0; u <= last; ++u) {
            std::int32_t nextState = std::min(u + units, capacity_);
            const double margin = TryOverlap(AStageIdx, u, m, nextState);
            const double candidate = value + next_[static_cast<std::size_t>(nextState)];
            const double best = current_[static_cast<std::size_t>(u)];
            if (candidate > best || (std::fabs(candidate - best) <= kUnitTolerance && margin != 0.0)) {
                current_[static_cast<std::size_t>(u)] = candidate;
                SetChoice(AStageIdx, u, m, nextState != std::min(u + units, capacity_));
            }
        }
    }
    next_.swap(current_);
}

double TPatternPricing::Solve(const TExtendedDynArray& ADuals, TIntDynArray& APattern) {
    TUBENEST_ASSERT(data_ != nullptr, kModule, "pricing before Prepare");
    const auto n = static_cast<std::size_t>(data_->FPartCount);
    TUBENEST_ASSERT(ADuals.size() >= n, kModule, "pricing with too few duals");
    APattern.assign(n, 0);
    aborted_ = false;
    stages_.clear();
    for (std::size_t i = 0; i < n; ++i) {
        if (parts_[i].MaxCopies > 0 && ADuals[i] > 0.0) {
            stages_.push_back(TStage{static_cast<std::int32_t>(i), ADuals[i]});
        }
    }
    if (stages_.empty()) {
        return 0.0;
    }
    const std::size_t last = stages_.size() - 1;
    LastStage(stages_[last], last == 0);
    for (std::size_t s = last; s-- > 0;) {
        // A stage costs up to (tube length) x (copies that fit): a stop must not wait for all of them.
        if (StopRequested()) {
            aborted_ = true;
            return 0.0;
        }
        MiddleStage(s, s == 0);
    }
    // Follow the recorded choices from the empty tube.
    double value = 0.0;
    std::int32_t u = 0;
    for (std::size_t s = 0; s < stages_.size(); ++s) {
        bool shifted = false;
        const std::int32_t m = Choice(s, u, shifted);
        const TPartTable& t = parts_[static_cast<std::size_t>(stages_[s].Part)];
        APattern[static_cast<std::size_t>(stages_[s].Part)] = m;
        value += m * stages_[s].Dual;
        u = std::min(u + t.Units[static_cast<std::size_t>(m)], capacity_) - (shifted ? t.Shift : 0);
    }
    return value;
}

double TPatternPricing::RelaxedMaximum(const TExtendedDynArray& ADuals) {
    TUBENEST_ASSERT(data_ != nullptr, kModule, "pricing before Prepare");
    const auto n = static_cast<std::size_t>(data_->FPartCount);
    TUBENEST_ASSERT(ADuals.size() >= n, kModule, "pricing with too few duals");
    aborted_ = false;
    bool anyPart = false;
    for (std::size_t i = 0; i < n; ++i) {
        anyPart = anyPart || (parts_[i].MaxCopies > 0 && ADuals[i] > 0.0);
    }
    if (!anyPart) {
        return 0.0;
    }
    // best[r]: greatest value of the parts so far within r whole millimetres (lengths rounded down,
    // so every pattern that fits is counted).
    const auto room = static_cast<std::size_t>(std::floor(tubeLength_ + kUnitTolerance));
    std::vector<double>& best = next_;
    std::vector<double>& previous = current_;
    best.assign(room + 1, 0.0);
    previous.resize(room + 1);
    for (std::size_t i = 0; i < n; ++i) {
        const TPartTable& t = parts_[i];
        if (t.MaxCopies == 0 || !(ADuals[i] > 0.0)) {
            continue;
        }
        if (StopRequested()) {
            aborted_ = true;
            return std::numeric_limits<double>::infinity();
        }
        previous.swap(best);
        best = previous;
        for (std::int32_t m = 1; m <= t.MaxCopies; ++m) {
            const auto w = static_cast<std::size_t>(t.Floors[static_cast<std::size_t>(m)]);
            const double value = m * ADuals[i];
            for (std::size_t r = w; r <= room; ++r) {
                best[r] = std::max(best[r], previous[r - w] + value);
            }
        }
    }
    return best[room];
}

} // namespace tubenest
