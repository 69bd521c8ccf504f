#include "circular/cut_parts_manager.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <stdexcept>
#include <string>

#include "model/nest_result.h"
#include "model/random.h"
#include "model/seg_place_info.h"
#include "support/gap_tables.h"

namespace tubenest {
namespace {

void ExpectSameRecord(const TNestBaseInfo& AActual, const TNestBaseInfo& AExpected,
                      const std::string& AWhere) {
    EXPECT_EQ(AActual.ToString(), AExpected.ToString()) << AWhere;
    EXPECT_EQ(AActual.Caled, AExpected.Caled) << AWhere;
}

/// A source gap manager whose every record has its own gap, so that a record read from the wrong
/// cell or the wrong orientation shows. A placement and its mirror image need the same record; on the
/// diagonal the table holds both (part, part) and (-part, -part), and a host fills them alike.
std::unique_ptr<TSegPlaceInfoManager> RandomGapManager(std::int32_t ACount, const TCADAutoNestParam& AParam,
                                                       TRandomGenerator& ARng) {
    auto gaps = testsupport::MakeRandomGaps(ACount, ARng, 0.0, 1000.0, AParam);
    for (std::size_t k = 0; k < static_cast<std::size_t>(ACount); ++k) {
        auto& cell = gaps->FSegPlaceInfoTable[k][k];
        cell.A2B2_A1B1 = cell.A1B1_A2B2;
    }
    return gaps;
}

TGeneralNestPartArr MakeParts(std::int32_t ACount, TRandomGenerator& ARng) {
    TGeneralNestPartArr parts(static_cast<std::size_t>(ACount));
    for (auto& p : parts) {
        p.FOuterlength = 2000 + ARng.Random(4000);
        p.RealBoxLength = p.FOuterlength - 3;
        p.CutoffALength = 1.5;
        p.CutoffBLength = 2.5;
        p.FAmountAvail = 1 + ARng.Random(5);
    }
    return parts;
}

TCADAutoNestParam MakeParam(std::int32_t ACutShape) {
    TCADAutoNestParam param;
    param.SetDefaultPartGap(5.0);
    param.SetCutShape(ACutShape);
    param.SetZShapeLength(40.0);
    param.SetZShapeOffset(0.0);
    param.SetBevelLength(12.0);
    return param;
}

/// Which end of an extended index a piece has cut: 'B' for a front piece, 'A' for a back piece,
/// 0 for an unsplit part.
char CutEnd(const TCutPartsManager& AManager, std::int32_t AIndex) {
    if (AIndex < AManager.FOriPartCount) {
        return 0;
    }
    return (AIndex - AManager.FOriPartCount) % 2 == 0 ? 'B' : 'A';
}

std::int32_t Original(const TCutPartsManager& AManager, std::int32_t AIndex) {
    if (AIndex < AManager.FOriPartCount) {
        return AIndex;
    }
    return (*AManager.FCutNestPartList)[(AIndex - AManager.FOriPartCount) / 2].From - 1;
}

/// The record that placement (X, Y) must have, derived from which ends touch: X's trailing end (B in
/// its own direction, A when turned) and Y's leading end (A, or B when turned). With no cut end
/// involved it is the source record of the unsplit parts in the same placement.
TNestBaseInfo ExpectedRecord(const TCutPartsManager& AManager, const TSegPlaceInfoManager& ASource,
                             std::int32_t X, std::int32_t Y) {
    const std::int32_t x = std::abs(X) - 1;
    const std::int32_t y = std::abs(Y) - 1;
    const char xTrailing = X > 0 ? 'B' : 'A';
    const char yLeading = Y > 0 ? 'A' : 'B';
    const bool xCut = CutEnd(AManager, x) == xTrailing;
    const bool yCut = CutEnd(AManager, y) == yLeading;
    if (!xCut && !yCut) {
        const std::int32_t ox = Original(AManager, x) + 1;
        const std::int32_t oy = Original(AManager, y) + 1;
        return ASource.GetA1B1Info(X > 0 ? ox : -ox, Y > 0 ? oy : -oy);
    }
    TNestBaseInfo reset;
    reset.Init();
    reset.ZGap = ASource.FNestParam.DefaultPartGap();
    reset.FixedGap = reset.ZGap;
    reset.Caled = true;
    const bool zShape = AManager.FNestParam.CutShape() == 1 || AManager.FNestParam.CutShape() == 2;
    if (zShape) {
        // front piece then back piece in their own direction, or the mirror of that
        const bool frontThenBack =
            (X > 0 && Y > 0 && CutEnd(AManager, x) == 'B' && CutEnd(AManager, y) == 'A') ||
            (X < 0 && Y < 0 && CutEnd(AManager, x) == 'A' && CutEnd(AManager, y) == 'B');
        if (frontThenBack) {
            reset.FixedGap = -AManager.FPartConnectLength;
        }
        return reset;
    }
    const auto front = [&AManager](std::int32_t idx) { return CutEnd(AManager, idx) == 'B'; };
    const bool selfTurned = x == y && ((X > 0 && Y < 0 && front(x)) || (X < 0 && Y > 0 && !front(x)));
    const bool ownPair =
        (X > 0 && Y > 0 && front(x) && y == x + 1) || (X < 0 && Y < 0 && !front(x) && y == x - 1);
    if (selfTurned || ownPair) {
        reset.FixedGap = 0.0;
    }
    return reset;
}

void CheckAllPlacements(const TCutPartsManager& AManager, const TSegPlaceInfoManager& ASource,
                        const std::string& ALabel) {
    const std::int32_t n = AManager.FTempPartCount;
    for (std::int32_t X = -n; X <= n; ++X) {
        for (std::int32_t Y = -n; Y <= n; ++Y) {
            if (X == 0 || Y == 0) {
                continue;
            }
            ExpectSameRecord(AManager.FSegPlaceInfoManager->GetA1B1Info(X, Y),
                             ExpectedRecord(AManager, ASource, X, Y),
                             ALabel + " placement (" + std::to_string(X) + ", " + std::to_string(Y) + ")");
        }
    }
}

// ---------------------------------------------------------------------------------------------------
// TCutNestPart / TCutNestParts

// ---------------------------------------------------------------------------------------------------
// Extended part array

// ---------------------------------------------------------------------------------------------------
// Joint allowance

// The main guard: on random tables and random splits, every placement of the extended manager
// agrees with the record derived from the touching ends (source record when no cut end is involved,
// else the reset record, the zero gaps of a straight cut or the joint overlap).
TEST(CutPartsManager, EveryPlacementMatchesTheSourceForUncutEnds) {
    TRandomGenerator rng(424242);
    for (int round = 0; round < 60; ++round) {
        const std::int32_t shape = round % 3;
        TCADAutoNestParam param = MakeParam(shape);
        param.SetZShapeOffset(round % 2 == 0 ? 0.0 : 3.0);
        const std::int32_t n = 1 + rng.Random(5);
        TCADAutoNestParam sourceParam = param;
        sourceParam.SetDefaultPartGap(round % 4 == 0 ? 2.5 : 5.0); // reset records use the gap manager's gap
        const auto source = RandomGapManager(n, sourceParam, rng);
        const TGeneralNestPartArr parts = MakeParts(n, rng);
        TCutNestParts splits;
        const int count = rng.Random(5);
        for (int k = 0; k < count; ++k) {
            const std::int32_t from = 1 + rng.Random(n);
            splits.Add({100.0 + rng.Random(1500), from, 1});
        }
        const TCutPartsManager m(*source, splits, parts, param);
        ASSERT_EQ(m.FTempPartCount, n + 2 * count);
        const std::string label = "round " + std::to_string(round) + " shape " + std::to_string(shape);
        CheckAllPlacements(m, *source, label);
        // Rows computed on demand (used when there are many splits) must give the same records.
        const std::int64_t saved = TCutPartsManager::MaxStoredPieceCells;
        TCutPartsManager::MaxStoredPieceCells = 0;
        const TCutPartsManager computed(*source, splits, parts, param);
        TCutPartsManager::MaxStoredPieceCells = saved;
        ASSERT_EQ(computed.PiecesStored(), count == 0);
        CheckAllPlacements(*computed.Clone(), *source, label + " on demand");
    }
}

// ---------------------------------------------------------------------------------------------------
// Bad input, clone

TEST(CutPartsManager, RejectsSplitsAndTablesThatDoNotFit) {
    TRandomGenerator rng(11);
    const TCADAutoNestParam param = MakeParam(0);
    const TGeneralNestPartArr parts = MakeParts(3, rng);
    const auto source = RandomGapManager(3, param, rng);
    EXPECT_THROW(TCutPartsManager(*source, TCutNestParts{{100, 0, 1}}, parts, param), std::out_of_range);
    EXPECT_THROW(TCutPartsManager(*source, TCutNestParts{{100, 4, 1}}, parts, param), std::out_of_range);
    EXPECT_THROW(TCutPartsManager(*source, TCutNestParts{{-1, 1, 1}}, parts, param), std::invalid_argument);
    EXPECT_THROW(TCutPartsManager(*source, TCutNestParts{{parts[0].FOuterlength + 1, 1, 1}}, parts, param),
                 std::invalid_argument);
    EXPECT_NO_THROW(TCutPartsManager(*source, TCutNestParts{{parts[0].FOuterlength, 1, 1}}, parts, param));
    const auto small = RandomGapManager(2, param, rng);
    EXPECT_THROW(TCutPartsManager(*small, TCutNestParts{}, parts, param), std::invalid_argument);
    TSegPlaceInfoManager unfilled(3, param); // rows never filled
    EXPECT_THROW(TCutPartsManager(unfilled, TCutNestParts{}, parts, param), std::invalid_argument);
}

TEST(CutPartsManager, CloneIsADeepCopy) {
    TRandomGenerator rng(13);
    const TCADAutoNestParam param = MakeParam(1);
    const auto source = RandomGapManager(3, param, rng);
    const TCutPartsManager m(*source, TCutNestParts{{900, 3, 1}}, MakeParts(3, rng), param);
    m.FSegPlaceInfoManager->InitializePartGaps();
    auto copy = m.Clone();
    EXPECT_EQ(copy->FSegPlaceInfoManager->FPartToPartConnectParams.size(), 5u);
    CheckAllPlacements(*copy, *source, "clone");
    copy->FSegPlaceInfoManager->FSegPlaceInfoTable[3][0].A1B1_A2B2.FixedGap = 1234;
    (*copy->FCutNestPartList)[0].Length = 1;
    copy->FGeneralNestPartArr[0].FOuterlength = 1;
    CheckAllPlacements(m, *source, "original after the clone changed");
    EXPECT_EQ((*m.FCutNestPartList)[0].Length, 900);
}

} // namespace
} // namespace tubenest
