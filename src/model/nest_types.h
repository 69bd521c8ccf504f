#pragma once
// Plain records in which the host hands the problem to the engine: parts, tubes, the placement
// record of two adjacent parts, and the dynamic-array types used across the engine.
//
// Part references are signed and 1-based: k is part k in its own direction (end A first), -k the
// same part turned end for end; 0 is never valid. Tube indices in results are 1-based. Lengths are
// millimetres.

#include <cstdint>
#include <string>
#include <vector>

#include "host/cad_param.h"
#include "host/geometry.h"

namespace tubenest {

using TIntDynArray = std::vector<std::int32_t>;
using TDoubleIntDynArray = std::vector<TIntDynArray>;
using TDoubleFloatDynArray = TFloatDynArray;
using TExtendedDynArray = std::vector<double>;
using TDoubleExtendedDynArray = std::vector<TExtendedDynArray>;

/// One distinct part to cut.
struct TGeneralNestPart {
    double RealBoxLength = 0.0; ///< real extent along the tube axis
    double CutoffALength = 0.0; ///< length cut away at end A
    double CutoffBLength = 0.0; ///< length cut away at end B
    double FOuterlength = 0.0;  ///< length the part occupies in a tube; every length sum uses it
    std::int32_t FAmountAvail = 0; ///< copies still to be nested

    void DataInit() { *this = TGeneralNestPart{}; }
};

/// One stock-tube length.
struct TGeneralNestTube {
    double FTubeInitialLen = 0.0;
    std::int32_t FAmountAvail = 0;
    std::int32_t FOriginTube = -1;    ///< carried unchanged
    std::int32_t FNestedPartIdx = -1; ///< part reference already standing at the tube start; <= 0: none

    void DataInit() { *this = TGeneralNestTube{}; }
};

using TGeneralNestPartArr = std::vector<TGeneralNestPart>;
using TGeneralNestTubeArr = std::vector<TGeneralNestTube>;

/// Orientation codes of TNestBaseInfo::ID.
enum : std::int32_t { kA1B1_A2B2 = 1, kA2B2_A1B1 = 2, kA1B1_B2A2 = 3, kB2A2_A1B1 = 4 };

/// How two parts meet when one follows the other in a tube.
struct TNestBaseInfo {
    std::int32_t ID = -1;
    double ZGap = 999999999.0;
    double FixedGap = 999999999.0; ///< distance between the end of the first part and the start of the second
    bool IsCommon = false;
    double CommonLength = -1.0;
    double IsLandCommonLen = -1.0;
    double Rotation = 0.0;
    std::int32_t CommonStyle = 0;
    bool Caled = false; ///< holds calculated values

    void Init() { *this = TNestBaseInfo{}; }
    /// One line: ID, orientation name, gaps, common-cut data, rotation and style.
    std::string ToString() const;
};

using PNestBaseInfo = TNestBaseInfo*;
using TNestBaseInfoList = std::vector<TNestBaseInfo>;

} // namespace tubenest
