#pragma once
// Column generation for the cutting problem of one stock length: n distinct parts with lengths and
// demands, one tube length, the gap manager. The linear relaxation (fewest tubes such that every
// demand is met) is solved by a revised simplex of its own that keeps the basis inverse as an
// explicit n x n matrix, with the pattern pricing of pattern_pricing.h; the relaxed tube counts are
// then rounded up and lowered again pattern by pattern while the demand stays covered.
//
// Parts of 1 mm or less and parts longer than the tube stay out of the linear programme: their row
// holds a unit column of cost 0 and no demand, so they never enter a pattern and the basis stays
// regular. The caller places them afterwards (Statistics().ExcludedParts lists them).
//
// The simplex ends when no column improves, at the stop request, after an iteration cap, when the
// objective has not fallen for a long run of iterations, or when a column has no leaving row; the
// inverse is computed afresh every kReinvertEvery exchanges and at the end. Whatever ended it, the
// rounding and the integer descent run on the basis reached, and Statistics() carries the LP value
// and a lower bound on the tubes needed that holds even for a basis that is not optimal.
//
// Thread-safety: a solver, and the data it reads, belong to one thread.

#include <cstdint>
#include <memory>
#include <vector>

#include "colgen/pattern_pricing.h"
#include "model/nest_types.h"

namespace tubenest {

class TSegPlaceInfoManager;

/// Parts of this length or shorter stay out of the linear programme.
inline constexpr double kColGenMinPartLength = 1.0;

/// The problem: parts (lengths, demands, indices in the gap manager) and the one tube length.
class TColGenData {
public:
    /// Arrays sized for APartCount parts (and one tube length), all zero.
    explicit TColGenData(std::int32_t APartCount);
    /// A copy sharing the gap manager.
    std::unique_ptr<TColGenData> Clone() const { return std::make_unique<TColGenData>(*this); }

    /// Throws std::invalid_argument naming the first bad value: sizes that differ from the part
    /// count, a length that is negative or not finite, a negative demand, a tube length that is
    /// not positive, a gap-manager index that is repeated or outside the manager.
    void Validate() const;

    std::int32_t PartCount() const { return FPartCount; }
    double TubeLength() const { return FTubeLengths.at(0); }

    std::int32_t FPartCount = 0;
    TIntDynArray FPartOriIndexs;    ///< 0-based index of each part in the gap manager
    TExtendedDynArray FPartLengths; ///< length each part counts for
    TExtendedDynArray FTubeLengths; ///< one element: the tube length
    TIntDynArray FPartAmounts;      ///< demand of each part
    /// Shared, not owned; its run patterns must be derived (InitializePartGaps). Null: no gaps.
    const TSegPlaceInfoManager* FPartGapTable = nullptr;
};

/// A solution: patterns (columns over the parts) with whole and relaxed tube counts.
struct TColGenResult {
    TDoubleIntDynArray Solutions;      ///< Solutions[j][i]: copies of part i in pattern j (-1: surplus)
    TIntDynArray SolutionAmount;       ///< tubes cut with pattern j
    TExtendedDynArray SolutionFAmount; ///< relaxed tube count of pattern j
    std::int32_t UsedAmount = 0;       ///< sum of SolutionAmount
};

/// Why the simplex ended.
enum class TColGenStopReason { NotRun, Optimal, Stopped, IterationLimit, Stalled, NoLeavingRow };

/// What one DoSolve found besides its solution.
struct TColGenStatistics {
    TColGenStopReason StopReason = TColGenStopReason::NotRun;
    std::int32_t Iterations = 0;       ///< column exchanges
    std::int32_t DegeneratePivots = 0; ///< exchanges that did not move the solution
    std::int32_t Reinversions = 0;     ///< fresh inverses computed (including the last one)
    double LPValue = 0.0;              ///< tubes of the last basis (relaxed)
    /// A lower bound on the tubes any solution needs: the duals of the last basis, made feasible
    /// (negatives to 0, scaled down by the best pattern value of a pricing that never misses a
    /// pattern). It equals LPValue (up to 1e-5 relative) when StopReason is Optimal and is valid
    /// whatever the reason (0 when a stop request cut its pricing short). It covers the parts in the
    /// programme and patterns whose lengths add up as the pricing counts them; patterns that rely
    /// on the overlap step are not covered.
    double LPLowerBound = 0.0;
    bool Covering = false;      ///< the integer solution meets every demand of the programme
    TIntDynArray ExcludedParts; ///< parts kept out of the programme (too short or too long)

    /// The bound in whole tubes.
    std::int32_t TubeLowerBound() const;
};

class TColumnGenerationSolver {
public:
    /// Exchanges between two fresh inverses.
    static constexpr std::int32_t kReinvertEvery = 50;

    TColumnGenerationSolver() = default;
    TColumnGenerationSolver(const TColumnGenerationSolver&) = delete;
    TColumnGenerationSolver& operator=(const TColumnGenerationSolver&) = delete;

    /// Solves AData (which must outlive the solver's use of it) and returns the integer solution of
    /// the descent in ColGenResult; always true. Throws std::invalid_argument for bad data and
    /// std::runtime_error when the pricing table would be too large.
    bool DoSolve(const TColGenData& AData, TColGenResult& ColGenResult);

    // The steps of DoSolve, in its order; public so that they can be driven one by one.

    /// Validates and keeps AData, decides which parts are in the programme, prepares the pricing.
    void SetData(const TColGenData& AData);
    /// The homogeneous basis: Trunc(tube length / length) copies of each part.
    void InitialSolution();
    /// The duals π = c_B B⁻¹.
    void CalcSimplexMultiplier();
    /// The entering column (a surplus column for a dual below -1e-5, else the priced pattern) and
    /// its reduced cost.
    void FindNewColumn(TIntDynArray& AColumn, double& AReducedCost);
    /// The pattern of greatest dual value; false when the data has no parts.
    bool SolveSubproblem(const TExtendedDynArray& ASimplexMul, TIntDynArray& APattern);
    /// FNewColumnParam := B⁻¹ × AColumn.
    void UpdateNewColumn(const TIntDynArray& AColumn);
    /// Ratio test: the leaving basis position (first of the smallest ratios), or -1 when no entry
    /// of the entering column is above 1e-6.
    std::int32_t ChoseDropColumn();
    /// Pivots the inverse on the leaving position.
    void UpdateInverseB(std::int32_t ADropPos);
    /// Moves the basic solution by the ratio of the last ratio test.
    void UpdateSolution(std::int32_t ADropPos);
    /// Computes the inverse and the basic solution afresh; false (and nothing changed) when the
    /// basis is numerically singular.
    bool ReinvertBasis();
    /// The basic columns with their relaxed and rounded tube counts.
    TColGenResult RoundedSolution() const;
    /// Lowers the tube counts of R, pattern after pattern, as far as the demand stays covered; the
    /// outcome is recorded and returned in R. False (R recorded unchanged) when R does not cover.
    bool FindIntegerSolution(TColGenResult& R);

    /// Whole tubes of a relaxed count: up from 0.001 above a whole number, down below it.
    static std::int32_t RoundTubeAmount(double ARelaxed);

    const TColGenData* Data() const { return FData; }
    const TExtendedDynArray& PatternTubeAmount() const { return FPatternTubeAmount; }
    TDoubleIntDynArray& ForbidColumn() { return FForbidColumn; }
    const TDoubleIntDynArray& Pattern() const { return FPattern; }
    const TDoubleExtendedDynArray& InverseB() const { return FInverseB; }
    const TExtendedDynArray& SimplexMul() const { return FSimplexMul; }
    const TExtendedDynArray& NewColumnParam() const { return FNewColumnParam; }
    double RatioMax() const { return FRatioMax; }
    const TColGenResult& MinColGenResult() const { return FMinColGenResult; }
    const TColGenStatistics& Statistics() const { return FStatistics; }
    /// Whether part i takes part in the linear programme.
    bool InProgramme(std::int32_t i) const { return FInLP.at(static_cast<std::size_t>(i)) != 0; }
    const TPatternPricing& Pricing() const { return FPricing; }

private:
    /// Demand of row i in the programme (0 for parts kept out).
    double RowDemand(std::size_t i) const;
    double Objective() const;

    const TColGenData* FData = nullptr; ///< not owned
    TDoubleIntDynArray FPattern;        ///< basic columns; position j holds FPattern[j]
    TExtendedDynArray FPatternTubeAmount;
    TDoubleExtendedDynArray FInverseB; ///< FInverseB[r][c]
    TExtendedDynArray FSimplexMul;
    TExtendedDynArray FTubeCost; ///< 1 for a cutting pattern, 0 for a surplus or unit column
    TDoubleIntDynArray FForbidColumn;
    double FCost = 0.0;
    TExtendedDynArray FNewColumnParam;
    double FRatioMax = 0.0;
    TColGenResult FMinColGenResult;

    std::vector<char> FInLP;
    TPatternPricing FPricing;
    TColGenStatistics FStatistics;
};

} // namespace tubenest
