#pragma once
// The branch-cut-price nesting method: one branch-cut-price problem per tube type, in the order of
// the tube array, each over the parts still to be cut; the chosen patterns become nest results
// until every part is placed or the tube types are used up.
//
// Each tube problem gets its own solver manager with exactly one pricing worker, whatever thread
// count the caller allows: with one worker the handshake of the manager makes the column sequence,
// and so the plan, a function of the input alone.
//
// The caller's gap manager is only read: lengths for its shortest-length estimate are passed
// explicitly. Every result carries the real used length (UpdateNestResultInfo).
//
// Proof. Where pricing is exact (equal gaps everywhere, whole-millimetre lengths; see
// kp_solver.h) and the root's column generation ended because no column was worth more than the
// bound the node published, the root's LP value rounded up bounds the tubes of that tube type
// from below. It bounds the whole plan when that tube type is the longest with stock. Report()
// says what was proven.

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "bcp/kp_solver.h"
#include "bcp/tube_problem.h"
#include "host/cad_param.h"
#include "model/nest_result.h"
#include "model/nest_types.h"
#include "model/seg_place_info.h"

namespace tubenest {

/// What one tube type's search did.
struct TBCPTubeTypeReport {
    std::int32_t tube_index = 0;         ///< 0-based
    std::int32_t rows = 0;               ///< part kinds in its problem
    std::optional<double> root_lp_value; ///< root LP value (tubes)
    bool root_converged = false;         ///< the root's column generation was not cut short
    bool exact_pricing = false;          ///< pricing of this problem is exact
    std::int32_t nodes = 0;
    std::int32_t status = -1;         ///< the tree's status
    std::int32_t incumbent_tubes = 0; ///< tubes of the tree's best solution
    std::int32_t pool_columns = 0;
    std::string failure;     ///< what ended the tree by an error, if anything
    bool exact_fill = false; ///< bin completion filled the continuous bound's tubes: no search ran
    bool dived = false;      ///< the plan came from the dive after the search
};

/// What a run proved and did.
struct TBCPTubeNestReport {
    std::vector<TBCPTubeTypeReport> tube_types;
    /// A proven lower bound on the tubes of any plan of whole parts (see the file comment);
    /// absent when nothing was proven.
    std::optional<std::int32_t> proven_tubes;
};

class TBCPTubeNest {
public:
    /// AParts, ATubes and ASegInfo (whose run patterns must be derived) are the caller's and must
    /// outlive the object; they are only read.
    TBCPTubeNest(const TGeneralNestPartArr& AParts, const TGeneralNestTubeArr& ATubes,
                 const TSegPlaceInfoManager& ASegInfo, const TCADAutoNestParam& NestParam, bool IsTrapezoid);
    ~TBCPTubeNest();
    TBCPTubeNest(const TBCPTubeNest&) = delete;
    TBCPTubeNest& operator=(const TBCPTubeNest&) = delete;

    /// Appends the results to NestResult. ANestResults (may be null) are offered as start
    /// solutions to the first tube type. Parts that fit no tube, or for which the tubes run out,
    /// are left out (the wrapper's amount adjustment deals with them).
    void GetLeastTubeResult(TNestResultList& NestResult, bool IsTrapezoid,
                            const std::vector<TNestResultList>* ANestResults);

    const TBCPTubeNestReport& Report() const { return FReport; }
    const TBCPNestParts& Parts() const { return FParts; }
    const TBCPNestTubes& Tubes() const { return FTubes; }

private:
    template <class TTree>
    void NestInitialSolution(TTree& AFIFOSolution, const std::vector<TNestResultList>& ANestResults,
                             const TTubeProblem& AProblem) const;

    TBCPNestParts FParts; ///< sorted by decreasing length (ties by index)
    TBCPNestTubes FTubes; ///< in the order of the tube array
    double FPartGap = 0.0;
    bool FCanReverse = true;
    std::unique_ptr<TKPSolver> FKPSolver;
    std::unique_ptr<TTrapezodKPSolver> FTrapezodKPSolver;
    const TSegPlaceInfoManager* FSegInfo;     ///< not owned
    const TGeneralNestPartArr* FGeneralParts; ///< the caller's, not owned
    bool FIsTrapezoid = false;
    TBCPTubeNestReport FReport;
};

} // namespace tubenest
