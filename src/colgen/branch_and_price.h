#pragma once
// Three small classes between the column generation solver and the method that nests with it:
//   TBranchAndPriceCG    runs the solver once on a problem and hands back its integer solution
//                        (a branching record is declared, but no branching takes place);
//   TCGResultOptimizer   takes tubes away from patterns that produce beyond the demand and covers
//                        what that leaves uncovered with TSimpleNest;
//   TSimpleNest          fills tube after tube with the greatest total length of the parts left
//                        (the host knapsack), merging a tube equal to the one before it.
//
// Thread-safety: objects belong to one thread; the classes without fields are stateless.

#include <cstdint>
#include <memory>

#include "colgen/column_generation.h"
#include "model/nest_types.h"

namespace tubenest {

class TBranchAndPriceCG {
public:
    /// A node of a branching tree over the patterns; no operation creates one.
    struct TBPNode {
        TColGenResult ColGenResult;
        std::int32_t BoundType = 0;
        std::int32_t BoundColumn = 0;
        std::int32_t Bound = 0;

        static TBPNode Create(const TColGenResult& ACGResult, std::int32_t ABoundType, std::int32_t AColIdx,
                              std::int32_t ABound) {
            return TBPNode{ACGResult, ABoundType, AColIdx, ABound};
        }
    };

    /// Keeps AData (not owned; it must outlive the object).
    explicit TBranchAndPriceCG(const TColGenData& AData);

    /// Runs the solver into a fresh record and copies it into ColGenResult; always true.
    bool DoSolve(TColGenResult& ColGenResult);

    /// The statistics of the last DoSolve (its LP value and lower bound among them).
    const TColGenStatistics& Statistics() const { return FCGSolver->Statistics(); }
    const TColumnGenerationSolver& Solver() const { return *FCGSolver; }

private:
    const TColGenData* FData;
    std::unique_ptr<TColumnGenerationSolver> FCGSolver;
    TDoubleIntDynArray FBranchedColumns; ///< no operation reads it
};

class TCGResultOptimizer {
public:
    /// Tubes given back by one pattern.
    struct TReturnSolution {
        std::int32_t SolutionIdx = 0;
        std::int32_t ReturnAmount = 0;
    };

    /// Lowers the tube counts of ColGenResult (in place, UsedAmount with them) so that, pattern
    /// after pattern, no part is produced beyond its demand in AData; NewColGenResult gets those
    /// patterns followed by the patterns of TSimpleNest for the demand that the lowering left
    /// uncovered (parts of kColGenMinPartLength or less are left to the caller). Always true.
    static bool OptimizeCGResult(TColGenResult& ColGenResult, const TColGenData& AData,
                                 TColGenResult& NewColGenResult);
};

class TSimpleNest {
public:
    /// Fills ColGenResult from scratch, tube after tube; parts that fit in no tube stay out.
    /// Throws std::invalid_argument for bad data. Always true.
    static bool DoSolve(const TColGenData& AData, TColGenResult& ColGenResult);
};

} // namespace tubenest
