#include <iostream>

#include "host/lp_solver.h"
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
    // The LP solver links COIN-OR CLP through the installed package: min x + y, x + 2y >= 4.
    tubenest::TCbcLPSolver lp({{1.0, 2.0}}, {1.0, 1.0}, {4.0}, {tubenest::MaxDouble});
    double objective = 0.0;
    if (!lp.Solve(objective) || objective < 2.0 - 1e-9 || objective > 2.0 + 1e-9) {
        std::cout << "wrong LP value " << objective << "\n";
        return 1;
    }
    std::cout << "consumer ok\n";
    return 0;
}
