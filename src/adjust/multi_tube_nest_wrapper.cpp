#include "adjust/multi_tube_nest_wrapper.h"

#include <utility>

#include "bcp/bcp_tube_nest.h"
#include "colgen/cg_nest.h"
#include "ordersearch/nest_adjust_tool.h"
#include "svc/svc_nest.h"
#include "treesearch/greedy_nest.h"
#include "treesearch/packed_nest.h"

namespace tubenest {

TMultiTubeNestWrapper::TMultiTubeNestWrapper(const TGeneralNestPartArr& ANestParts,
                                             const TGeneralNestTubeArr& ANestTubes,
                                             const TSegPlaceInfoManager& AGapInfos,
                                             const TCADAutoNestParam& ANestParam)
    : FNestParts(ANestParts), FNestTubes(ANestTubes), FGapInfos(AGapInfos), FNestParam(ANestParam),
      FIsTrapezoid(AGapInfos.CheckIsTrapezoid()) {}

bool TMultiTubeNestWrapper::SVCNest(TNestResultList& ANestResult) {
    TBackpack backpack(FNestParts, FNestTubes, FNestParam, FGapInfos);
    // The summary is not needed here: the caller judges the results itself.
    static_cast<void>(backpack.SVCNest(ANestResult));
    return true;
}

bool TMultiTubeNestWrapper::GreedyNest(TNestResultList& ANestResult) {
    TGreedyNesting greedy(FNestParts, FNestTubes, FNestParam);
    greedy.SetGapTable(&FGapInfos);
    greedy.InitGreedyNestParts(FGapInfos, FNestParam);
    greedy.InitPairPick(FGapInfos);
    greedy.AppendMyPartlist(nullptr, true);
    greedy.GetLeastTubeResult(ANestResult);
    return true;
}

bool TMultiTubeNestWrapper::PackedNest(TNestResultList& ANestResult) {
    // The method fills a list of its own, so that the adjustment sees only its results and the
    // caller's entries stay as they are.
    TNestResultList nested;
    {
        TPackedNest packed(FNestParts, FNestTubes, FNestParam);
        packed.PreProcess(FGapInfos);
        packed.GetLeastTubeResult(nested);
    }
    TNestAdjustTool::AdjustPartNum(FNestParts, FNestTubes, nested, FGapInfos, FNestParam);
    for (auto& result : nested) {
        ANestResult.Add(std::move(result));
    }
    return true;
}

bool TMultiTubeNestWrapper::CGNest(TNestResultList& ANestResult, TTubeLowerBound* ALowerBound) {
    TNestResultList nested;
    {
        TColumnGenerationNest cg(FNestParts, FNestTubes, FNestParam);
        cg.SetGapTable(&FGapInfos);
        cg.SetLowerBound(ALowerBound);
        cg.GetLeastTubeResult(nested);
    }
    TNestAdjustTool::AdjustPartNum(FNestParts, FNestTubes, nested, FGapInfos, FNestParam);
    for (auto& result : nested) {
        ANestResult.Add(std::move(result));
    }
    return true;
}

bool TMultiTubeNestWrapper::BCPNest(TNestResultList& ANestResult, const std::vector<TNestResultList>* ANestResults,
                                    TBCPTubeNestReport* AReport) {
    TNestResultList nested;
    {
        TBCPTubeNest bcp(FNestParts, FNestTubes, FGapInfos, FNestParam, FIsTrapezoid);
        bcp.GetLeastTubeResult(nested, FIsTrapezoid, ANestResults);
        if (AReport != nullptr) {
            *AReport = bcp.Report();
        }
    }
    TNestAdjustTool::AdjustPartNum(FNestParts, FNestTubes, nested, FGapInfos, FNestParam);
    for (auto& result : nested) {
        ANestResult.Add(std::move(result));
    }
    return true;
}

bool TMultiTubeNestWrapper::RunAllNest(TNestResultList& /*ANestResult*/) {
    return false;
}

} // namespace tubenest
