#include <iostream>

#include "model/nest_result.h"
#include "model/seg_place_info.h"

int main() {
    tubenest::TGeneralNestPartArr parts(1);
    parts[0].FOuterlength = 1000.0;
    tubenest::TSegPlaceInfoManager gaps(1, tubenest::TCADAutoNestParam{});
    gaps.InitTable();
    tubenest::TNestBaseInfo rec;
    rec.FixedGap = 5.0;
    rec.Caled = true;
    gaps.SetA1B1Info(1, 1, rec);
    tubenest::TNestResult result;
    result.FTubeIndex = 1;
    result.FTubeCount = 1;
    result.FPartOrder = {1, 1};
    gaps.UpdateNestResultInfo(result, parts);
    if (result.FLengthUsed != 2005.0) {
        std::cout << "wrong length " << result.FLengthUsed << "\n";
        return 1;
    }
    std::cout << "consumer ok\n";
    return 0;
}
