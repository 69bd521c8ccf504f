#include "bcp/tube_problem.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <stdexcept>
#include <string>

namespace tubenest {

namespace {

bool HasNonZeroFrom(const std::vector<double>& AColumn, std::size_t AFrom) {
    return std::any_of(AColumn.begin() + static_cast<std::ptrdiff_t>(std::min(AFrom, AColumn.size())),
                       AColumn.end(), [](double x) { return x != 0.0; });
}

std::vector<double> Demands(const TBCPNestParts& AParts) {
    std::vector<double> result;
    result.reserve(AParts.size());
    for (const auto& p : AParts) {
        result.push_back(p.Amount);
    }
    return result;
}

// Main problem: the parts still wanted that fit the tube.
TBCPNestParts RowParts(const TBCPNestParts& AParts, const TBCPNestTube& ATube, bool IsMainProb) {
    if (!IsMainProb) {
        return AParts;
    }
    TBCPNestParts rows;
    for (const auto& p : AParts) {
        if (p.Amount > 0 && p.Length <= ATube.Length + 1e-6) {
            rows.push_back(p);
        }
    }
    return rows;
}

} // namespace

// ---------------------------------------------------------------------------------------------
// TCGGapInfoTable

TCGGapInfoTable::TCGGapInfoTable(const TSegPlaceInfoManager& ASegInfoManager)
    : FPartGaps(ASegInfoManager.FSinglePartGaps),
      FPartToPartConnectParams(&ASegInfoManager.FPartToPartConnectParams),
      FPartCount(ASegInfoManager.FPartCount) {
    FTable.resize(static_cast<std::size_t>(FPartCount) + 1);
    for (std::int32_t i = 1; i <= FPartCount; ++i) {
        auto& row = FTable[static_cast<std::size_t>(i)];
        row.resize(static_cast<std::size_t>(i) + 1);
        const auto& source = ASegInfoManager.TableRow(static_cast<std::size_t>(i - 1));
        for (std::int32_t j = 1; j <= i && static_cast<std::size_t>(j - 1) < source.size(); ++j) {
            const TSegPlaceInfo& rec = source[static_cast<std::size_t>(j - 1)];
            row[static_cast<std::size_t>(j)] = TBCPGapInfo{rec.A1B1_A2B2.FixedGap, rec.A2B2_A1B1.FixedGap,
                                                           rec.A1B1_B2A2.FixedGap, rec.B2A2_A1B1.FixedGap};
        }
    }
    AllGapSame = CheckAllGapSame(ASegInfoManager);
    GetMaxMinGap(ASegInfoManager, MaxGap, MinGap);
}

double TCGGapInfoTable::GetGap(std::int32_t IdxA, std::int32_t IdxB) const {
    TUBENEST_ASSERT(IdxA != 0 && IdxB != 0, kBCPSolverModule, "GetGap with a zero part reference");
    const std::int32_t a = std::abs(IdxA);
    const std::int32_t b = std::abs(IdxB);
    TUBENEST_ASSERT(a <= FPartCount && b <= FPartCount, kBCPSolverModule, "GetGap beyond the part count");
    const bool pa = IdxA > 0;
    const bool pb = IdxB > 0;
    if (a >= b) {
        const TBCPGapInfo& g = FTable[static_cast<std::size_t>(a)][static_cast<std::size_t>(b)];
        if (pa && pb) {
            return g.A1B1_A2B2;
        }
        if (!pa && !pb) {
            return g.A2B2_A1B1;
        }
        return pa ? g.A1B1_B2A2 : g.B2A2_A1B1;
    }
    // The pair read mirrored: b is the record's first part.
    const TBCPGapInfo& g = FTable[static_cast<std::size_t>(b)][static_cast<std::size_t>(a)];
    if (!pa && !pb) {
        return g.A1B1_A2B2;
    }
    if (pa && pb) {
        return g.A2B2_A1B1;
    }
    return pa ? g.A1B1_B2A2 : g.B2A2_A1B1;
}

void TCGGapInfoTable::GetMaxMinGap(const TSegPlaceInfoManager& ASegInfoManager, double& AMaxGap,
                                   double& AMinGap) {
    ASegInfoManager.GetMaxMinGap(AMaxGap, AMinGap);
}

bool TCGGapInfoTable::CheckAllGapSame(const TSegPlaceInfoManager& ASegInfoManager) {
    bool have = false;
    double first = 0.0;
    for (std::size_t i = 0; i < ASegInfoManager.FSegPlaceInfoTable.size(); ++i) {
        for (const auto& rec : ASegInfoManager.TableRow(i)) {
            for (const TNestBaseInfo* r : {&rec.A1B1_A2B2, &rec.A2B2_A1B1, &rec.A1B1_B2A2, &rec.B2A2_A1B1}) {
                if (!r->Caled) {
                    continue;
                }
                if (!have) {
                    have = true;
                    first = r->FixedGap;
                } else if (r->FixedGap != first) {
                    return false;
                }
            }
        }
    }
    return true;
}

// ---------------------------------------------------------------------------------------------
// TNestPattern

TNestPattern::TNestPattern(TIntDynArray AOrder, double AUsage) : FUsage(AUsage), FOrder(std::move(AOrder)) {}

TNestPattern::TNestPattern(TIntDynArray AOrder, double AUsage, std::vector<double> AColumn)
    : FColumn(std::move(AColumn)), FUsage(AUsage), FOrder(std::move(AOrder)) {}

std::unique_ptr<TBCPVariable> TNestPattern::Clone() const {
    return std::make_unique<TNestPattern>(*this);
}

bool TNestPattern::IsSameWith(const TBCPVariable& AVar) const {
    const auto* other = dynamic_cast<const TNestPattern*>(&AVar);
    if (other == nullptr) {
        return false;
    }
    const std::vector<double>& a = FColumn;
    const std::vector<double>& b = other->FColumn;
    const std::size_t common = std::min(a.size(), b.size());
    if (!std::equal(a.begin(), a.begin() + static_cast<std::ptrdiff_t>(common), b.begin())) {
        return false;
    }
    return !HasNonZeroFrom(a, common) && !HasNonZeroFrom(b, common);
}

int TNestPattern::Compare(const TBCPVariable& Left, const TBCPVariable& Right) const {
    const auto* l = dynamic_cast<const TNestPattern*>(&Left);
    const auto* r = dynamic_cast<const TNestPattern*>(&Right);
    TUBENEST_ASSERT(l != nullptr && r != nullptr, kBCPSolverModule,
                    "Compare on a column that is no nest pattern");
    const double d = r->FUsage - l->FUsage;
    return (d > 0.0) - (d < 0.0);
}

std::vector<double> TNestPattern::GetColumn(int AVecSize) const {
    const auto size = static_cast<std::size_t>(std::max(AVecSize, 0));
    TUBENEST_ASSERT(!HasNonZeroFrom(FColumn, size), kBCPSolverModule,
                    "GetColumn with a size short of the pattern's rows");
    std::vector<double> col(FColumn.begin(),
                            FColumn.begin() + static_cast<std::ptrdiff_t>(std::min(size, FColumn.size())));
    col.resize(size, 0.0);
    return col;
}

std::unique_ptr<TNestResult> TNestPattern::GetNestResult(const TSegPlaceInfoManager& ASegInfo) const {
    auto result = std::make_unique<TNestResult>();
    result->FPartOrder = FOrder;
    ASegInfo.GetOrderInfos(result->FPartOrder, &result->FPartPlaceData);
    return result;
}

// ---------------------------------------------------------------------------------------------
// TTubeProblem

TTubeProblem::TTubeProblem(const TBCPNestParts& AParts, const TBCPNestTube& ATube, TKPSolver* AKPSolver,
                           double APartGap, bool ACanReverse, TTrapezodKPSolver* ATrapezodKPSolver,
                           bool IsMainProb)
    : TBCPProblem(Demands(RowParts(AParts, ATube, IsMainProb)),
                  std::vector<std::int32_t>(RowParts(AParts, ATube, IsMainProb).size(), kAtLeast),
                  IsMainProb),
      FNestParts(RowParts(AParts, ATube, IsMainProb)), FNestTube(ATube), FCanReverse(ACanReverse),
      FPartGap(APartGap), FKPSolver(AKPSolver), FTrapezodKPSolver(ATrapezodKPSolver) {}

std::unique_ptr<TBCPProblem<TNestPattern>> TTubeProblem::Clone() const {
    return std::unique_ptr<TBCPProblem<TNestPattern>>(new TTubeProblem(*this));
}

void TTubeProblem::SetDualCost(const std::vector<double>& AWVec, double Amp) {
    TUBENEST_ASSERT(AWVec.size() == FNestParts.size(), kBCPSolverModule,
                    "SetDualCost: " + std::to_string(AWVec.size()) + " duals for " +
                        std::to_string(FNestParts.size()) + " parts");
    FWVec = AWVec;
    for (std::size_t i = 0; i < FNestParts.size(); ++i) {
        FNestParts[i].Value = Amp * AWVec[i];
    }
}

double TTubeProblem::GetDefaultDualCost(int AIdx) const {
    // AIdx is a main row; on the main problem it is the position itself.
    const auto it = std::find(FRowDict.begin(), FRowDict.end(), AIdx);
    TUBENEST_ASSERT(it != FRowDict.end(), kBCPSolverModule,
                    "GetDefaultDualCost for a row outside the problem");
    return FNestParts[static_cast<std::size_t>(it - FRowDict.begin())].Length;
}

std::unique_ptr<TBCPProblem<TNestPattern>>
TTubeProblem::GetSubBCPProblem(const std::vector<std::int32_t>& ARowDict,
                               const std::vector<std::int32_t>& ANumVec) const {
    TUBENEST_ASSERT(ARowDict.size() == ANumVec.size(), kBCPSolverModule,
                    "GetSubBCPProblem: rows and demands differ in count");
    TBCPNestParts parts;
    std::vector<std::int32_t> rows;
    for (std::size_t i = 0; i < ARowDict.size(); ++i) {
        if (ANumVec[i] <= 0) {
            continue;
        }
        const auto it = std::find(FRowDict.begin(), FRowDict.end(), ARowDict[i]);
        TUBENEST_ASSERT(it != FRowDict.end(), kBCPSolverModule,
                        "GetSubBCPProblem for a row outside the problem");
        TBCPNestPart part = FNestParts[static_cast<std::size_t>(it - FRowDict.begin())];
        part.Amount = ANumVec[i];
        parts.push_back(part);
        rows.push_back(ARowDict[i]);
    }
    auto sub = std::unique_ptr<TTubeProblem>(
        new TTubeProblem(parts, FNestTube, FKPSolver, FPartGap, FCanReverse, FTrapezodKPSolver, false));
    sub->FRowDict = std::move(rows);
    return sub;
}

std::int32_t TTubeProblem::RowOfPart(std::int32_t AIdx) const {
    for (std::size_t r = 0; r < FNestParts.size(); ++r) {
        if (FNestParts[r].Idx == AIdx) {
            return static_cast<std::int32_t>(r);
        }
    }
    return -1;
}

// ---------------------------------------------------------------------------------------------
// TNestPatternSolution

TNestPatternSolution::TNestPatternSolution(const TNestResultList& ANestResults,
                                           const TTubeProblem& AProblem) {
    const auto& rowDict = AProblem.RowDict();
    if (rowDict.empty()) {
        return;
    }
    const std::size_t mainRows =
        static_cast<std::size_t>(*std::max_element(rowDict.begin(), rowDict.end())) + 1;
    const double tube = AProblem.NestTube().Length;
    for (int k = 0; k < ANestResults.Count(); ++k) {
        const TNestResult& result = ANestResults[k];
        std::vector<double> column(mainRows, 0.0);
        for (const std::int32_t ref : result.FPartOrder) {
            const std::int32_t row = ref == 0 ? -1 : AProblem.RowOfPart(std::abs(ref) - 1);
            if (row < 0) {
                throw std::invalid_argument("start solution: part reference " + std::to_string(ref) +
                                            " is not a part of the problem");
            }
            column[static_cast<std::size_t>(rowDict[static_cast<std::size_t>(row)])] += 1.0;
        }
        if (result.FPartOrder.empty() || result.FTubeCount <= 0) {
            continue;
        }
        AddSubSolution(std::make_unique<TNestPattern>(result.FPartOrder,
                                                      tube > 0.0 ? result.FLengthUsed / tube : 0.0,
                                                      std::move(column)),
                       result.FTubeCount);
    }
}

} // namespace tubenest
