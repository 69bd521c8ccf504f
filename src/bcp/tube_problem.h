#pragma once
// The tube instance of the generic branch-cut-price solver: one stock length, one at-least row per
// part kind still to be cut (its remaining amount as demand), and nest patterns (one way of
// cutting one tube) as columns of cost 1.
//
// Part references. Every pattern order holds the engine's global part references (0-based part
// index + 1, negative when the copy is turned end for end), whoever built it: the pricing, the
// greedy starts and the solutions made from nest results. A pattern's column is indexed by the
// main problem's rows. Nothing ever holds positions in a sub-problem's part array, so a pattern
// reads the same wherever it travels in the tree.
//
// Columns. Two patterns are the same column when their copies per main row agree (the order, and
// with it the used length, is a layout detail): columns are compared as if padded with zeros to
// the main row count, so a pattern from a sub-problem (whose column stops at its last row) and the
// same pattern from the main problem are one pool entry.

#include <cstdint>
#include <memory>
#include <vector>

#include "bcp/bcp_problem.h"
#include "bcp/bcp_solution.h"
#include "model/nest_result.h"
#include "model/nest_types.h"
#include "model/seg_place_info.h"

namespace tubenest {

/// Module named by the assertions of the tube problem, its pricing and its driver.
inline constexpr const char* kBCPSolverModule = "uBCPSolver";

/// A part kind as the solver sees it.
struct TBCPNestPart {
    double Length = 0.0;     ///< the part's outer length
    double Value = 0.0;      ///< current price: dual × amplification, or the length without duals
    std::int32_t Idx = 0;    ///< 0-based index into the engine's part array
    std::int32_t Amount = 0; ///< copies wanted
};
using PBCPNestPart = TBCPNestPart*;
using TBCPNestParts = std::vector<TBCPNestPart>;

/// A stock length as the solver sees it.
struct TBCPNestTube {
    double Length = 0.0;
    std::int32_t Amount = 0;
    std::int32_t Idx = 0; ///< 0-based index into the engine's tube array
};
using TBCPNestTubes = std::vector<TBCPNestTube>;
using TDoubleDynMatrix = std::vector<std::vector<double>>;

/// The fixed gaps of one pair of parts in its four orientations (the gap manager's order).
struct TBCPGapInfo {
    double A1B1_A2B2 = 0.0;
    double A2B2_A1B1 = 0.0;
    double A1B1_B2A2 = 0.0;
    double B2A2_A1B1 = 0.0;
    // The same four values under the names of the part directions (P own, N turned).
    double P1P2() const { return A1B1_A2B2; }
    double N1N2() const { return A2B2_A1B1; }
    double P1N2() const { return A1B1_B2A2; }
    double N1P2() const { return B2A2_A1B1; }
};
using PBCPGapInfo = TBCPGapInfo*;

/// The gap manager's fixed gaps in a compact lower-triangular, 1-based table.
class TCGGapInfoTable {
public:
    /// Reads the manager (which must have its run patterns derived: InitializePartGaps); keeps a
    /// pointer to its neighbour lists, so the manager must outlive the table.
    explicit TCGGapInfoTable(const TSegPlaceInfoManager& ASegInfoManager);

    /// The gap when part reference IdxA is followed by part reference IdxB (both non-zero).
    double GetGap(std::int32_t IdxA, std::int32_t IdxB) const;

    static void GetMaxMinGap(const TSegPlaceInfoManager& ASegInfoManager, double& AMaxGap, double& AMinGap);
    /// Every calculated gap of the manager equals the first one.
    static bool CheckAllGapSame(const TSegPlaceInfoManager& ASegInfoManager);

    TSinglePartGaps FPartGaps;
    const TPartToPartConnectParams* FPartToPartConnectParams = nullptr; ///< the manager's, not owned
    std::vector<std::vector<TBCPGapInfo>> FTable; ///< row i (1..FPartCount) has i + 1 entries
    std::int32_t FPartCount = 0;
    double MaxGap = 0.0;
    double MinGap = 0.0;
    bool AllGapSame = true;
};
using PGapInfoTable = TCGGapInfoTable*;

/// One way of cutting one tube.
class TNestPattern final : public TBCPVariable {
public:
    TNestPattern(TIntDynArray AOrder, double AUsage);
    TNestPattern(TIntDynArray AOrder, double AUsage, std::vector<double> AColumn);

    std::unique_ptr<TBCPVariable> Clone() const override;
    double GetObjCoeff() const override { return 1.0; }
    double GetActualCost() const override { return FUsage; }
    /// Same copies per main row (columns padded with zeros); usage and order are not compared.
    bool IsSameWith(const TBCPVariable& AVar) const override;
    /// sign(Right.Usage - Left.Usage): the fuller pattern sorts first.
    int Compare(const TBCPVariable& Left, const TBCPVariable& Right) const override;
    /// The column padded with zeros to AVecSize (which must cover its last non-zero entry).
    std::vector<double> GetColumn(int AVecSize) const override;

    /// A nest result with this order and the manager's records of its neighbours; tube index,
    /// count and used length are left to the caller.
    std::unique_ptr<TNestResult> GetNestResult(const TSegPlaceInfoManager& ASegInfo) const;

    double Usage() const { return FUsage; }
    const TIntDynArray& Order() const { return FOrder; }
    const std::vector<double>& Column() const { return FColumn; }

private:
    std::vector<double> FColumn; ///< copies per main row
    double FUsage = 0.0;         ///< laid length / tube length
    TIntDynArray FOrder;         ///< global part references from the tube's start
};

class TKPSolver;
class TTrapezodKPSolver;

/// The rows of one stock length: one per part kind with copies still wanted.
class TTubeProblem final : public TBCPProblem<TNestPattern> {
public:
    /// Main problem: every part with Amount > 0 that fits the tube becomes a row, in the given
    /// order. Sub-problem: every given part becomes a row (the caller sets the row dictionary).
    /// The solvers are shared, not owned.
    TTubeProblem(const TBCPNestParts& AParts, const TBCPNestTube& ATube, TKPSolver* AKPSolver,
                 double APartGap, bool ACanReverse, TTrapezodKPSolver* ATrapezodKPSolver, bool IsMainProb);

    std::unique_ptr<TBCPProblem<TNestPattern>> Clone() const override;
    void SetDualCost(const std::vector<double>& AWVec, double Amp) override;
    /// The length of the main row's part.
    double GetDefaultDualCost(int AIdx) const override;
    std::unique_ptr<TBCPProblem<TNestPattern>>
    GetSubBCPProblem(const std::vector<std::int32_t>& ARowDict,
                     const std::vector<std::int32_t>& ANumVec) const override;
    using TBCPProblem<TNestPattern>::GetSubBCPProblem;

    const TBCPNestParts& NestParts() const { return FNestParts; }
    const TBCPNestTube& NestTube() const { return FNestTube; }
    bool CanReverse() const { return FCanReverse; }
    double PartGap() const { return FPartGap; }
    TKPSolver* KPSolver() const { return FKPSolver; }
    TTrapezodKPSolver* TrapezodKPSolver() const { return FTrapezodKPSolver; }
    /// Position of the row of global part index AIdx, -1 when the part is no row here.
    std::int32_t RowOfPart(std::int32_t AIdx) const;

private:
    TTubeProblem(const TTubeProblem&) = default;

    TBCPNestParts FNestParts;
    TBCPNestTube FNestTube;
    bool FCanReverse = true;
    double FPartGap = 0.0;
    TKPSolver* FKPSolver = nullptr;                 ///< not owned
    TTrapezodKPSolver* FTrapezodKPSolver = nullptr; ///< not owned
};

/// A solution of patterns built from nest results.
class TNestPatternSolution final : public TBCPSolution<TNestPattern> {
public:
    /// One pattern per result (count = its FTubeCount, usage = FLengthUsed / tube length, column
    /// over the problem's main rows). Throws std::invalid_argument when a result names a part that
    /// is no row of the problem (such a start solution cannot describe this problem).
    TNestPatternSolution(const TNestResultList& ANestResults, const TTubeProblem& AProblem);
};

} // namespace tubenest
