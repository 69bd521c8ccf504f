#pragma once
// TMultiTubeNestWrapper: the uniform front of the nesting methods. It is built on the caller's
// parts, tubes, gap manager and parameter record; each method operation constructs the method's
// engine object, runs it into the caller's result list and frees it.
//
// Ownership: the part array, the tube array and the gap manager are the caller's and are shared,
// not copied (the wrapper keeps references; they must outlive it). The parameter record is copied.

#include <vector>

#include "host/cad_param.h"
#include "model/nest_result.h"
#include "model/nest_types.h"
#include "model/seg_place_info.h"

namespace tubenest {

class TTubeLowerBound;
struct TBCPTubeNestReport;

class TMultiTubeNestWrapper {
public:
    /// Keeps the arrays and the manager (non-owning), copies the parameters and records whether the
    /// gaps differ by orientation (AGapInfos.CheckIsTrapezoid).
    TMultiTubeNestWrapper(const TGeneralNestPartArr& ANestParts, const TGeneralNestTubeArr& ANestTubes,
                          const TSegPlaceInfoManager& AGapInfos, const TCADAutoNestParam& ANestParam);
    // The shared arrays must outlive the wrapper: temporaries are refused.
    TMultiTubeNestWrapper(TGeneralNestPartArr&&, const TGeneralNestTubeArr&, const TSegPlaceInfoManager&,
                          const TCADAutoNestParam&) = delete;
    TMultiTubeNestWrapper(const TGeneralNestPartArr&, TGeneralNestTubeArr&&, const TSegPlaceInfoManager&,
                          const TCADAutoNestParam&) = delete;
    TMultiTubeNestWrapper(const TMultiTubeNestWrapper&) = delete;
    TMultiTubeNestWrapper& operator=(const TMultiTubeNestWrapper&) = delete;

    /// Whether the gaps differ by orientation.
    bool IsTrapezoid() const { return FIsTrapezoid; }

    /// Runs the SVC method into ANestResult (the caller's list, appended to). No amount adjustment
    /// follows: copies the method could not nest are simply absent. Returns true.
    bool SVCNest(TNestResultList& ANestResult);
    /// Runs the greedy node-tree method: ANestResult's contents are replaced by the method's
    /// results, without amount adjustment. Returns true.
    bool GreedyNest(TNestResultList& ANestResult);
    /// Runs the packed node-tree method into a list of its own, brings its amounts in line with the
    /// required ones (TNestAdjustTool::AdjustPartNum: surplus copies out, missing ones nested by the
    /// greedy method) and appends the results to ANestResult. Returns true.
    bool PackedNest(TNestResultList& ANestResult);
    /// Runs the column generation method into a list of its own, brings its amounts in line with
    /// the required ones (as PackedNest) and appends the results to ANestResult. ALowerBound, when
    /// given (non-owning), is raised by the duals of the method's passes. Returns true.
    bool CGNest(TNestResultList& ANestResult, TTubeLowerBound* ALowerBound = nullptr);
    /// Runs the branch-cut-price method (one search per tube type, gaps by orientation where the
    /// wrapper's gaps differ by orientation) into a list of its own, brings its amounts in line with
    /// the required ones (as PackedNest) and appends the results to ANestResult. ANestResults (may
    /// be null) are offered as start solutions; a list that names parts or tubes the problem does
    /// not have is refused. AReport (may be null, non-owning) receives what the search proved.
    /// Returns true.
    bool BCPNest(TNestResultList& ANestResult, const std::vector<TNestResultList>* ANestResults = nullptr,
                 TBCPTubeNestReport* AReport = nullptr);
    /// The host's best-of mode is not offered: does nothing and returns false.
    bool RunAllNest(TNestResultList& ANestResult);

private:
    const TGeneralNestPartArr& FNestParts; ///< shared with the caller
    const TGeneralNestTubeArr& FNestTubes; ///< shared with the caller
    const TSegPlaceInfoManager& FGapInfos; ///< not owned
    TCADAutoNestParam FNestParam;          ///< own copy
    bool FIsTrapezoid = false;
};

} // namespace tubenest
