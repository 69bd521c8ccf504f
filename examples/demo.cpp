// Builds a small result list by hand, measures it through the gap manager and prints it.
#include <iostream>

#include "model/nest_result.h"
#include "model/seg_place_info.h"

using namespace tubenest;

int main() {
    TGeneralNestPartArr parts(2);
    parts[0].FOuterlength = 1800.0;
    parts[0].FAmountAvail = 4;
    parts[1].FOuterlength = 950.0;
    parts[1].FAmountAvail = 2;
    TGeneralNestTubeArr tubes(1);
    tubes[0].FTubeInitialLen = 6000.0;
    tubes[0].FAmountAvail = 10;

    TCADAutoNestParam param;
    param.SetDefaultPartGap(3.0);
    TSegPlaceInfoManager gaps(2, param);
    gaps.InitTable();
    for (int a : {1, -1, 2, -2}) {
        for (int b : {1, -1, 2, -2}) {
            TNestBaseInfo rec = gaps.GetA1B1Info(a, b);
            rec.FixedGap = 3.0;
            rec.ZGap = 3.0;
            rec.Caled = true;
            gaps.SetA1B1Info(a, b, rec);
        }
    }
    gaps.InitializePartGaps();

    TNestResultList results;
    auto r = std::make_unique<TNestResult>();
    r->FTubeIndex = 1;
    r->FTubeCount = 2;
    r->FPartOrder = {1, 1, 2};
    gaps.UpdateNestResultInfo(*r, parts);
    results.Add(std::move(r));

    const TNestResultInfo info = TNestResultInfo::Create(results, parts, tubes);
    std::cout << "tubenest demo: " << results.Count() << " pattern(s)\n";
    for (const auto& res : results) {
        std::cout << "  tube " << res->FTubeIndex << " x" << res->FTubeCount << ": parts";
        for (int p : res->FPartOrder) {
            std::cout << ' ' << p;
        }
        std::cout << ", used " << res->FLengthUsed << " mm\n";
    }
    std::cout << "  parts cut " << info.PartUsedCount << ", tubes " << info.TubeUsedCount << ", left "
              << info.TotalTubeLeft << " mm\n";
    return 0;
}
