#include "model/nest_types.h"

#include <cstdio>

namespace tubenest {

std::string TNestBaseInfo::ToString() const {
    const char* name = "UnKnown";
    switch (ID) {
    case kA1B1_A2B2: name = " A1B1_A2B2 "; break;
    case kA2B2_A1B1: name = " A2B2_A1B1 "; break;
    case kA1B1_B2A2: name = " A1B1_B2A2 "; break;
    case kB2A2_A1B1: name = " B2A2_A1B1 "; break;
    default: break;
    }
    char buf[512];
    std::snprintf(buf, sizeof buf, " ID: %2d%s ZG: %10.5f FG: %10.5f IsCo:%s ComLen: %10.5f IsLaCLen: %10.5f Rot: %10.5f CStyle: %d",
                  static_cast<int>(ID), name, ZGap, FixedGap, IsCommon ? "-1" : "0", CommonLength, IsLandCommonLen,
                  Rotation, static_cast<int>(CommonStyle));
    return buf;
}

} // namespace tubenest
