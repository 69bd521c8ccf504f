#include "support/circular_instances.h"

#include "support/gap_tables.h"

#include <gtest/gtest.h>

#include <string>

#include <algorithm>
#include <cmath>

namespace tubenest::testsupport {

TNestAlgorithmParam TCircularInstance::AlgorithmParam() const {
    TNestAlgorithmParam param;
    std::vector<double> lengths;
    for (const auto& t : Tubes) {
        lengths.push_back(t.FTubeInitialLen);
    }
    param.Init(Intervals, Parts, Tubes, *Gaps, Param, lengths);
    return param;
}

TIntDynArray TCircularInstance::FullOrder() const {
    TIntDynArray order;
    for (std::size_t k = 0; k < Parts.size(); ++k) {
        for (std::int32_t c = 0; c < Parts[k].FAmountAvail; ++c) {
            order.push_back(static_cast<std::int32_t>(k) + 1);
        }
    }
    return order;
}

void TCircularInstance::SetDis(double ADis) {
    SubConfig = TDisSubConfig(ADis);
    Param.SetSubConfig(&SubConfig);
    Gaps->FNestParam.SetSubConfig(&SubConfig);
}

std::unique_ptr<TSeparatableIntervals> MakeSeparableExceptEnds(double ALength, double AEndMargin) {
    auto list = std::make_unique<TSeparatableIntervals>();
    if (ALength - 2 * AEndMargin > 0) {
        list->Add(TClosedInterval::Create(AEndMargin, ALength - AEndMargin));
    }
    list->FFrontCutOffPos = 0.0;
    list->FBackCutOffPos = ALength;
    list->Sort();
    list->ResetLength();
    return list;
}

std::unique_ptr<TSeparatableIntervals>
MakeSeparableStretches(double ALength, const std::vector<std::pair<double, double>>& AStretches) {
    auto list = std::make_unique<TSeparatableIntervals>();
    for (const auto& [s, e] : AStretches) {
        list->Add(TClosedInterval::Create(s, e));
    }
    list->FFrontCutOffPos = 0.0;
    list->FBackCutOffPos = ALength;
    list->Sort();
    list->ResetLength();
    return list;
}

std::unique_ptr<TCircularInstance> MakeInstance(const std::vector<TLengthAmount>& AParts,
                                                const std::vector<TLengthAmount>& ATubes, double AGap,
                                                double AEndMargin, std::int32_t ACutShape) {
    auto inst = std::make_unique<TCircularInstance>();
    for (const auto& [len, amount] : AParts) {
        inst->Parts.push_back(Part(len, amount));
        inst->Intervals.push_back(MakeSeparableExceptEnds(len, AEndMargin));
    }
    for (const auto& [len, amount] : ATubes) {
        inst->Tubes.push_back(Tube(len, amount));
    }
    inst->Param.SetDefaultPartGap(AGap);
    inst->Param.SetCutShape(ACutShape);
    inst->Param.SetCoedgeFlags(&inst->CoedgeFlags);
    inst->Param.SetSubConfig(&inst->SubConfig);
    inst->Gaps = MakeUniformGaps(static_cast<int>(AParts.size()), AGap, inst->Param);
    return inst;
}

std::unique_ptr<TCircularInstance> MakeRandomInstance(TRandomGenerator& ARandom,
                                                      const TRandomInstanceOptions& AOptions) {
    auto inst = std::make_unique<TCircularInstance>();
    const auto uniform = [&ARandom](double a, double b) { return a + (b - a) * ARandom.RandomFloat(); };
    // Whole millimetres and tenths, as a host would hand them.
    const auto tenth = [](double v) { return std::round(v * 10.0) / 10.0; };

    const std::int32_t entries = 1 + ARandom.Random(AOptions.MaxTubeEntries);
    double longest = 0.0;
    std::vector<double> tubeLengths;
    for (std::int32_t e = 0; e < entries; ++e) {
        const double len = tenth(uniform(2500.0, 6500.0));
        tubeLengths.push_back(len);
        longest = std::max(longest, len);
    }

    const std::int32_t partCount = 1 + ARandom.Random(AOptions.MaxParts);
    double total = 0.0;
    for (std::int32_t k = 0; k < partCount; ++k) {
        const double roll = ARandom.RandomFloat();
        double len;
        if (AOptions.LongParts && roll < 0.2) {
            len = tenth(uniform(0.8 * longest, 1.7 * longest)); // often longer than a tube
        } else if (roll < 0.5) {
            len = tenth(uniform(0.25 * longest, 0.7 * longest));
        } else {
            len = tenth(uniform(80.0, 0.3 * longest));
        }
        const std::int32_t amount = 1 + ARandom.Random(AOptions.MaxAmount);
        inst->Parts.push_back(Part(len, amount));
        total += len * amount;

        const double shape = ARandom.RandomFloat();
        if (shape < 0.08) {
            inst->Intervals.push_back(nullptr); // nowhere separable
        } else if (shape < 0.3) {
            // A few separable stretches with forbidden stretches between them.
            std::vector<std::pair<double, double>> stretches;
            double pos = uniform(20.0, 200.0);
            while (pos < len - 50.0) {
                const double end = std::min(len - 20.0, pos + uniform(30.0, 0.4 * len));
                if (end > pos) {
                    stretches.emplace_back(tenth(pos), tenth(end));
                }
                pos = end + uniform(30.0, 0.3 * len);
            }
            inst->Intervals.push_back(MakeSeparableStretches(len, stretches));
        } else {
            inst->Intervals.push_back(MakeSeparableExceptEnds(len, tenth(uniform(10.0, 300.0))));
        }
    }

    const double meanTube = [&]() {
        double s = 0.0;
        for (const double l : tubeLengths) {
            s += l;
        }
        return s / static_cast<double>(tubeLengths.size());
    }();
    const auto needed = static_cast<std::int32_t>(std::ceil(total / meanTube));
    for (std::int32_t e = 0; e < entries; ++e) {
        std::int32_t amount;
        if (AOptions.TightTubes) {
            amount = std::max(0, (needed + entries - 1) / entries - 1 + ARandom.Random(3));
        } else {
            amount = needed + 2 + ARandom.Random(4);
        }
        inst->Tubes.push_back(Tube(tubeLengths[static_cast<std::size_t>(e)], amount));
    }

    TCADAutoNestParam& p = inst->Param;
    const double gap = tenth(uniform(0.0, 12.0));
    p.SetDefaultPartGap(gap);
    p.SetCutShape(AOptions.CutShape);
    p.SetZShapeLength(tenth(uniform(10.0, 60.0)));
    p.SetZShapeOffset(ARandom.RandomFloat() < 0.5 ? 0.0 : tenth(uniform(1.0, 20.0)));
    p.SetBevelLength(tenth(uniform(2.0, 20.0)));
    p.SetDisAllowance(ARandom.RandomFloat() < 0.2);
    p.SetDisableReverse(ARandom.RandomFloat() < 0.3);
    inst->CoedgeFlags = TCoedgeFlagValues(ARandom.Random(2), 0, ARandom.Random(2));
    inst->SubConfig = TDisSubConfig(tenth(uniform(0.0, 5.0)));
    p.SetCoedgeFlags(&inst->CoedgeFlags);
    p.SetSubConfig(&inst->SubConfig);
    if (AOptions.RandomGaps) {
        inst->Gaps = MakeRandomGaps(partCount, ARandom, std::max(0.0, gap - 3.0), gap + 6.0, p);
    } else {
        inst->Gaps = MakeUniformGaps(partCount, gap, p);
    }
    return inst;
}

void ExpectResults(const TNestResultList& AList, const std::vector<TExpectedResult>& AExpected) {
    ASSERT_EQ(AList.Count(), static_cast<int>(AExpected.size()));
    for (std::size_t k = 0; k < AExpected.size(); ++k) {
        SCOPED_TRACE("result " + std::to_string(k));
        if (!AExpected[k].Order.empty()) {
            EXPECT_EQ(AList[static_cast<int>(k)].FPartOrder, AExpected[k].Order);
        }
        if (AExpected[k].Used >= 0) {
            EXPECT_NEAR(AList[static_cast<int>(k)].FLengthUsed, AExpected[k].Used, 1e-5);
        }
    }
}

} // namespace tubenest::testsupport
