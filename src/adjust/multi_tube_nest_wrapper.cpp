#include "adjust/multi_tube_nest_wrapper.h"

#include "svc/svc_nest.h"
#include "treesearch/greedy_nest.h"

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

} // namespace tubenest
