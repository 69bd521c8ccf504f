// Split-piece gap tables that share the rows of the whole parts read-only must answer every look-up
// exactly as tables with copied rows do, and a write must never reach the shared rows.

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>

#include "circular/cut_parts_manager.h"
#include "model/random.h"
#include "model/seg_place_info.h"
#include "support/circular_instances.h"
#include "support/gap_tables.h"

namespace tubenest {
namespace {

std::shared_ptr<const TSegPlaceInfoTable> RowsOf(const TSegPlaceInfoManager& AGaps, std::size_t ACount) {
    auto rows = std::make_shared<TSegPlaceInfoTable>(ACount);
    for (std::size_t i = 0; i < ACount; ++i) {
        const auto& source = AGaps.FSegPlaceInfoTable[i];
        (*rows)[i].assign(source.begin(), source.begin() + static_cast<std::ptrdiff_t>(i) + 1);
    }
    return rows;
}

void ExpectSameTables(const TSegPlaceInfoManager& AExpected, const TSegPlaceInfoManager& AActual,
                      std::int32_t ACount, const std::string& AWhat) {
    for (std::int32_t a = -ACount; a <= ACount; ++a) {
        for (std::int32_t b = -ACount; b <= ACount; ++b) {
            if (a == 0 || b == 0) {
                continue;
            }
            const TNestBaseInfo x = AExpected.GetA1B1Info(a, b);
            const TNestBaseInfo y = AActual.GetA1B1Info(a, b);
            ASSERT_EQ(x.ToString(), y.ToString()) << AWhat << " pair " << a << ", " << b;
            ASSERT_EQ(x.Caled, y.Caled) << AWhat << " pair " << a << ", " << b;
            ASSERT_EQ(x.ZGap, y.ZGap) << AWhat << " pair " << a << ", " << b;
            ASSERT_EQ(AExpected.GetGap(a, b), AActual.GetGap(a, b)) << AWhat << " pair " << a << ", " << b;
        }
    }
    double maxA = 0.0;
    double minA = 0.0;
    double maxB = 0.0;
    double minB = 0.0;
    AExpected.GetMaxMinGap(maxA, minA);
    AActual.GetMaxMinGap(maxB, minB);
    EXPECT_EQ(maxA, maxB) << AWhat;
    EXPECT_EQ(minA, minB) << AWhat;
}

TEST(CutPartsManagerSharedRows, EveryRecordEqualsTheCopiedTable) {
    TRandomGenerator rng(4242);
    for (const bool onDemand : {false, true}) {
        for (std::int32_t shape : {0, 1, 2}) {
            for (int trial = 0; trial < 5; ++trial) {
                const std::int32_t parts = 1 + rng.Random(6);
                TCADAutoNestParam param;
                param.SetCutShape(shape);
                param.SetDefaultPartGap(3.0);
                param.SetZShapeLength(40.0);
                param.SetBevelLength(12.0);
                // The gap table may cover more parts than the array; only the array's rows are used.
                const std::int32_t extra = rng.Random(2);
                auto gaps = testsupport::MakeRandomGaps(parts + extra, rng, 0.0, 15.0, param);
                TGeneralNestPartArr arr(static_cast<std::size_t>(parts));
                for (auto& p : arr) {
                    p.FOuterlength = 2000.0 + 100.0 * rng.Random(20);
                    p.RealBoxLength = p.FOuterlength;
                }
                TCutNestParts splits;
                const std::int32_t count = rng.Random(6);
                for (std::int32_t c = 0; c < count; ++c) {
                    splits.Add(TCutNestPart{100.0 + rng.Random(1500), 1 + rng.Random(parts), 1});
                }
                const std::int64_t saved = TCutPartsManager::MaxStoredPieceCells;
                TCutPartsManager::MaxStoredPieceCells = onDemand ? 0 : saved;
                const TCutPartsManager copied(*gaps, splits, arr, param);
                const TCutPartsManager shared(*gaps, splits, arr, param,
                                              RowsOf(*gaps, static_cast<std::size_t>(parts + extra)));
                TCutPartsManager::MaxStoredPieceCells = saved;

                const std::string what = "shape " + std::to_string(shape) + " trial " +
                                         std::to_string(trial) + (onDemand ? " on demand" : " stored");
                ASSERT_NE(shared.FSegPlaceInfoManager->FSharedRows, nullptr) << what;
                EXPECT_TRUE(shared.FSegPlaceInfoManager->FSegPlaceInfoTable[0].empty()) << what;
                EXPECT_EQ(shared.FTempPartCount, copied.FTempPartCount);
                ASSERT_EQ(shared.FGeneralNestPartArr.size(), copied.FGeneralNestPartArr.size());
                for (std::size_t k = 0; k < shared.FGeneralNestPartArr.size(); ++k) {
                    EXPECT_EQ(shared.FGeneralNestPartArr[k].FOuterlength,
                              copied.FGeneralNestPartArr[k].FOuterlength);
                }
                ExpectSameTables(*copied.FSegPlaceInfoManager, *shared.FSegPlaceInfoManager,
                                 copied.FTempPartCount, what);
                const auto clone = shared.Clone();
                ExpectSameTables(*copied.FSegPlaceInfoManager, *clone->FSegPlaceInfoManager,
                                 copied.FTempPartCount, what + " (clone)");
            }
        }
    }
}

TEST(CutPartsManagerSharedRows, AWriteCopiesTheSharedRowsFirst) {
    TRandomGenerator rng(77);
    TCADAutoNestParam param;
    param.SetDefaultPartGap(3.0);
    auto gaps = testsupport::MakeRandomGaps(4, rng, 0.0, 15.0, param);
    TGeneralNestPartArr arr(4);
    for (auto& p : arr) {
        p.FOuterlength = 3000.0;
        p.RealBoxLength = 3000.0;
    }
    const TCutNestParts splits{TCutNestPart{1200.0, 2, 1}};
    const auto rows = RowsOf(*gaps, 4);
    TCutPartsManager first(*gaps, splits, arr, param, rows);
    const TCutPartsManager second(*gaps, splits, arr, param, rows);
    const double before = gaps->GetGap(3, -1);

    TNestBaseInfo changed = first.FSegPlaceInfoManager->GetA1B1Info(3, -1);
    changed.FixedGap = before + 100.0;
    first.FSegPlaceInfoManager->SetA1B1Info(3, -1, changed);

    EXPECT_EQ(first.FSegPlaceInfoManager->FSharedRows, nullptr);
    EXPECT_EQ(first.FSegPlaceInfoManager->GetGap(3, -1), before + 100.0);
    EXPECT_EQ(first.FSegPlaceInfoManager->GetGap(1, -3), before + 100.0); // the mirror placement
    EXPECT_EQ(second.FSegPlaceInfoManager->GetGap(3, -1), before);
    EXPECT_EQ((*rows)[2][0].A1B1_B2A2.FixedGap, before);
    // Everything else still reads as before the write.
    for (std::int32_t a = -6; a <= 6; ++a) {
        for (std::int32_t b = -6; b <= 6; ++b) {
            if (a == 0 || b == 0 || (a == 3 && b == -1) || (a == 1 && b == -3)) {
                continue;
            }
            ASSERT_EQ(first.FSegPlaceInfoManager->GetGap(a, b), second.FSegPlaceInfoManager->GetGap(a, b))
                << a << ", " << b;
        }
    }
}

} // namespace
} // namespace tubenest
