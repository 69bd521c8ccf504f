#include "model/seg_place_info.h"

#include <algorithm>
#include <cstdlib>
#include <limits>
#include <stdexcept>
#include <string>
#include <utility>

#include "host/app_services.h"
#include "host/geometry.h"

namespace tubenest {
namespace {
constexpr const char* kModule = "uNestBase3D";

// A record of one pair fresh from Init, with the orientation codes set.
TSegPlaceInfo FreshSegPlaceInfo() {
    TSegPlaceInfo fresh;
    fresh.A1B1_A2B2.ID = kA1B1_A2B2;
    fresh.A2B2_A1B1.ID = kA2B2_A1B1;
    fresh.A1B1_B2A2.ID = kA1B1_B2A2;
    fresh.B2A2_A1B1.ID = kB2A2_A1B1;
    return fresh;
}
} // namespace

double TSinglePartGap::RunLength(std::int32_t n) const {
    if (n <= 1) {
        return 0.0;
    }
    if (n % 2 == 0) {
        const std::int32_t pairs = n / 2;
        return pairs * FPartGapPair + (pairs - 1) * FPartGapConnect;
    }
    const std::int32_t t = (n - 1) / 2;
    return t * FPartGapPair + (t - 1) * FPartGapConnect + FPartGapSingle;
}

void TPartToPartGaps::Sort() {
    std::stable_sort(begin(), end(), [](const TPartToPartGap& l, const TPartToPartGap& r) {
        return TPartToPartConnectParam::CompareByGap(l, r) < 0;
    });
}

void TPartToPartConnectParam::SortByGap() {
    FLeftGaps.Sort();
    FRightGaps.Sort();
}

double TPartToPartConnectParam::GetMinGap() const {
    TUBENEST_ASSERT(!FLeftGaps.empty() && !FRightGaps.empty(), kModule,
                    "GetMinGap on a part without neighbours");
    return std::min(FLeftGaps.front().PartGap, FRightGaps.front().PartGap);
}

int TPartToPartConnectParam::CompareByGap(const TPartToPartGap& Left, const TPartToPartGap& Right) {
    const double d = Left.PartGap - Right.PartGap;
    return d > 0 ? 1 : (d < 0 ? -1 : 0);
}

TSegPlaceInfoManager::TSegPlaceInfoManager(std::int32_t APartCount, const TCADAutoNestParam& ANestParam)
    : FPartCount(APartCount), FNestParam(ANestParam) {
    if (APartCount < 0) {
        throw std::invalid_argument("gap manager: part count " + std::to_string(APartCount) + " is negative");
    }
    FSegPlaceInfoTable.resize(static_cast<std::size_t>(APartCount));
}

void TSegPlaceInfoManager::InitTable() {
    FSharedRows.reset();
    const TSegPlaceInfo fresh = FreshSegPlaceInfo();
    for (std::size_t i = 0; i < FSegPlaceInfoTable.size(); ++i) {
        FSegPlaceInfoTable[i].assign(i + 1, fresh);
    }
}

void TSegPlaceInfoManager::SetSegPlaceInfo(std::int32_t i, std::int32_t j, const TSegPlaceInfo& info) {
    if (i < 0 || i >= FPartCount || j < 0 || j > i) {
        throw std::out_of_range("gap table: no entry [" + std::to_string(i) + "][" + std::to_string(j) +
                                "] for " + std::to_string(FPartCount) +
                                " parts (need 0 <= j <= i < part count)");
    }
    DetachSharedRows();
    auto& row = FSegPlaceInfoTable[static_cast<std::size_t>(i)];
    if (row.size() != static_cast<std::size_t>(i) + 1) {
        row.resize(static_cast<std::size_t>(i) + 1, FreshSegPlaceInfo());
    }
    row[static_cast<std::size_t>(j)] = info;
}

TNestBaseInfo& TSegPlaceInfoManager::RecordFor(std::int32_t A, std::int32_t B) {
    DetachSharedRows();
    return const_cast<TNestBaseInfo&>(std::as_const(*this).GetA1B1InfoRef(A, B));
}

void TSegPlaceInfoManager::SetA1B1Info(std::int32_t A, std::int32_t B, const TNestBaseInfo& info) {
    const auto i = std::abs(A) - 1;
    const auto j = std::abs(B) - 1;
    if (A == 0 || B == 0 || i >= FPartCount || j >= FPartCount) {
        throw std::out_of_range("gap table: no pair (" + std::to_string(A) + ", " + std::to_string(B) +
                                ") for " + std::to_string(FPartCount) + " parts");
    }
    DetachSharedRows();
    auto& row = FSegPlaceInfoTable[static_cast<std::size_t>(std::max(i, j))];
    if (row.size() != static_cast<std::size_t>(std::max(i, j)) + 1) {
        row.resize(static_cast<std::size_t>(std::max(i, j)) + 1, FreshSegPlaceInfo());
    }
    RecordFor(A, B) = info;
    // Two copies of one part in the same direction are their own mirror image (k, k read backwards
    // is -k, -k), but the diagonal keeps that placement in two records; both must agree or a search
    // that turns a segment would see its inner gaps change.
    if (i == j && (A > 0) == (B > 0)) {
        RecordFor(-A, -B) = info;
    }
}

TNestBaseInfo TSegPlaceInfoManager::SourceRecord(std::int32_t A, std::int32_t B, const TSlot& ASlot) const {
    TUBENEST_ASSERT(FRowSource != nullptr && ASlot.Row < FPartCount, kModule,
                    "no gap record for parts " + std::to_string(A) + ", " + std::to_string(B));
    return FRowSource->Record(*this, ASlot.Row, ASlot.Col, ASlot.Orientation);
}

const std::vector<TSegPlaceInfo>& TSegPlaceInfoManager::TableRow(std::size_t i) const {
    static const std::vector<TSegPlaceInfo> kNoRow;
    if (FSharedRows && i < FSharedRows->size()) {
        return (*FSharedRows)[i];
    }
    return i < FSegPlaceInfoTable.size() ? FSegPlaceInfoTable[i] : kNoRow;
}

void TSegPlaceInfoManager::DetachSharedRows() {
    if (!FSharedRows) {
        return;
    }
    const std::size_t n = std::min(FSharedRows->size(), FSegPlaceInfoTable.size());
    for (std::size_t i = 0; i < n; ++i) {
        FSegPlaceInfoTable[i] = (*FSharedRows)[i];
    }
    FSharedRows.reset();
}

void TSegPlaceInfoManager::NoStoredRecord(std::int32_t A, std::int32_t B) const {
    EngineAssertFail(kModule, "no stored gap record for parts " + std::to_string(A) + ", " +
                                  std::to_string(B) +
                                  (FRowSource ? " (computed on demand: read it with GetA1B1Info)" : ""));
}

void TSegPlaceInfoManager::InitializePartGaps() {
    if (!FSinglePartGaps.empty()) {
        return;
    }
    FSinglePartGaps.resize(static_cast<std::size_t>(FPartCount));
    const bool disableReverse = FNestParam.DisableReverse();
    for (std::int32_t k = 1; k <= FPartCount; ++k) {
        const double S = GetGap(k, k);
        TSinglePartGap& g = FSinglePartGaps[static_cast<std::size_t>(k - 1)];
        if (disableReverse || !GetA1B1Info(k, -k).Caled) {
            g = TSinglePartGap::Create(S, S, S, 0, 0);
            continue;
        }
        const double B = GetGap(k, -k);
        const double A = GetGap(-k, k);
        if (B > S) {
            g = A > S ? TSinglePartGap::Create(S, S, S, 0, 0) : TSinglePartGap::Create(A, S, B, 2, 0);
        } else if (A > B) {
            g = A > S ? TSinglePartGap::Create(B, S, A, 1, 1) : TSinglePartGap::Create(B, A, A, 1, 0);
        } else {
            g = TSinglePartGap::Create(A, S, B, 2, 0);
        }
    }

    FPartToPartConnectParams.clear();
    FPartToPartConnectParams.reserve(static_cast<std::size_t>(FPartCount));
    for (std::int32_t k = 0; k < FPartCount; ++k) {
        FPartToPartConnectParams.push_back(std::make_unique<TPartToPartConnectParam>());
    }
    for (std::int32_t i = 0; i < FPartCount; ++i) {
        for (std::int32_t j = i + 1; j < FPartCount; ++j) {
            const double g1 = GetGap(i + 1, j + 1);
            const double g2 = GetGap(j + 1, i + 1);
            auto& pi = *FPartToPartConnectParams[static_cast<std::size_t>(i)];
            auto& pj = *FPartToPartConnectParams[static_cast<std::size_t>(j)];
            pi.FRightGaps.push_back(TPartToPartGap::Create(j, g1));
            pj.FLeftGaps.push_back(TPartToPartGap::Create(i, g1));
            pi.FLeftGaps.push_back(TPartToPartGap::Create(j, g2));
            pj.FRightGaps.push_back(TPartToPartGap::Create(i, g2));
        }
    }
    for (auto& p : FPartToPartConnectParams) {
        p->SortByGap();
    }
}

double TSegPlaceInfoManager::CalcMinLen(const TIntDynArray& PartIdxs, const TIntDynArray& PartAmounts,
                                        TIntDynArray* ResultIdx) const {
    return CalcMinLen(PartIdxs, PartAmounts, ResultIdx, FPartLengths);
}

double TSegPlaceInfoManager::CalcMinLen(const TIntDynArray& PartIdxs, const TIntDynArray& PartAmounts,
                                        TIntDynArray* ResultIdx,
                                        const std::vector<double>& APartLengths) const {
    if (PartIdxs.size() != PartAmounts.size()) {
        throw std::invalid_argument("CalcMinLen: " + std::to_string(PartIdxs.size()) + " parts but " +
                                    std::to_string(PartAmounts.size()) + " amounts");
    }
    std::vector<char> isFree(static_cast<std::size_t>(FPartCount), 0);
    std::vector<std::int32_t> amount(static_cast<std::size_t>(FPartCount), 0);
    for (std::size_t k = 0; k < PartIdxs.size(); ++k) {
        const std::int32_t p = PartIdxs[k];
        if (p < 0 || p >= FPartCount) {
            throw std::out_of_range("CalcMinLen: part index " + std::to_string(p) + " outside 0.." +
                                    std::to_string(FPartCount - 1));
        }
        if (isFree[static_cast<std::size_t>(p)] != 0) {
            throw std::invalid_argument("CalcMinLen: part index " + std::to_string(p) +
                                        " is repeated; pass each part once with its amount");
        }
        isFree[static_cast<std::size_t>(p)] = 1;
        amount[static_cast<std::size_t>(p)] = PartAmounts[k];
    }
    if (!PartIdxs.empty()) {
        TUBENEST_ASSERT(FSinglePartGaps.size() == static_cast<std::size_t>(FPartCount) &&
                            FPartToPartConnectParams.size() == static_cast<std::size_t>(FPartCount),
                        kModule, "CalcMinLen before InitializePartGaps");
        TUBENEST_ASSERT(APartLengths.size() >= static_cast<std::size_t>(FPartCount), kModule,
                        "CalcMinLen without part lengths");
    }
    std::size_t freeCount = PartIdxs.size();

    double length = 0.0;
    for (auto p : PartIdxs) {
        const auto up = static_cast<std::size_t>(p);
        length += APartLengths[up] * amount[up] + FSinglePartGaps[up].RunLength(amount[up]);
    }

    struct Candidate {
        std::int32_t part = -1;
        double gap = 0.0;
    };
    // Nearest free neighbour of a run of part p on one side (right = true).
    auto nearest = [&](std::int32_t p, bool right) {
        const auto up = static_cast<std::size_t>(p);
        const TSinglePartGap& run = FSinglePartGaps[up];
        const bool even = amount[up] % 2 == 0;
        const auto& conn = *FPartToPartConnectParams[up];
        const TPartToPartGaps* list;
        if (right) {
            list = (even && run.FPartPosTypePair == 1) ? &conn.FLeftGaps : &conn.FRightGaps;
        } else {
            list = (even && run.FPartPosTypePair == 2) ? &conn.FRightGaps : &conn.FLeftGaps;
        }
        for (const auto& n : *list) {
            if (isFree[static_cast<std::size_t>(n.PartIdx)] != 0) {
                return Candidate{n.PartIdx, n.PartGap};
            }
        }
        return Candidate{};
    };

    Candidate start;
    std::int32_t startHead = -1;
    for (auto p : PartIdxs) {
        const Candidate c = nearest(p, true);
        if (c.part >= 0 && (start.part < 0 || c.gap < start.gap)) {
            start = c;
            startHead = p;
        }
    }
    if (ResultIdx != nullptr) {
        ResultIdx->clear();
    }
    auto take = [&](std::int32_t p) {
        isFree[static_cast<std::size_t>(p)] = 0;
        --freeCount;
    };
    if (start.part >= 0) {
        std::int32_t head = startHead;
        std::int32_t tail = start.part;
        take(head);
        take(tail);
        if (ResultIdx != nullptr) {
            ResultIdx->push_back(head);
            ResultIdx->push_back(tail);
        }
        length += start.gap;
        Candidate right = nearest(tail, true);
        Candidate left = nearest(head, false);
        while (freeCount > 0) {
            TUBENEST_ASSERT(right.part >= 0 && left.part >= 0, kModule,
                            "CalcMinLen chain found no free neighbour");
            const bool same = right.part == left.part;
            if (same || right.gap > left.gap) {
                head = left.part;
                length += left.gap;
                take(head);
                if (ResultIdx != nullptr) {
                    ResultIdx->insert(ResultIdx->begin(), head);
                }
                if (freeCount > 0) {
                    if (same) {
                        right = nearest(tail, true);
                    }
                    left = nearest(head, false);
                }
            } else {
                tail = right.part;
                length += right.gap;
                take(tail);
                if (ResultIdx != nullptr) {
                    ResultIdx->push_back(tail);
                }
                if (freeCount > 0) {
                    right = nearest(tail, true);
                }
            }
        }
    }
    if (PartIdxs.size() == 1 && ResultIdx != nullptr) {
        ResultIdx->push_back(PartIdxs[0]);
    }
    return length;
}

void TSegPlaceInfoManager::GetOrderInfos(const TIntDynArray& OriOrder, TNestBaseInfoList* ResultInfos) const {
    if (ResultInfos == nullptr) {
        return;
    }
    ResultInfos->clear();
    if (OriOrder.size() > 1) {
        ResultInfos->reserve(OriOrder.size() - 1);
    }
    for (std::size_t k = 1; k < OriOrder.size(); ++k) {
        ResultInfos->push_back(GetA1B1Info(OriOrder[k - 1], OriOrder[k]));
    }
}

void TSegPlaceInfoManager::UpdateNestResultInfo(TNestResult& ANestResult,
                                                const TGeneralNestPartArr& AParts) const {
    GetOrderInfos(ANestResult.FPartOrder, &ANestResult.FPartPlaceData);
    ANestResult.UpdateNestLengthUsed(AParts);
}

void TSegPlaceInfoManager::GetMaxMinGap(double& AMaxGap, double& AMinGap) const {
    AMaxGap = 0.0;
    AMinGap = std::numeric_limits<double>::max();
    auto visit = [&](const TNestBaseInfo& r) {
        if (r.Caled) {
            AMaxGap = std::max(AMaxGap, r.FixedGap);
            AMinGap = std::min(AMinGap, r.FixedGap);
        }
    };
    for (std::size_t i = 0; i < FSegPlaceInfoTable.size(); ++i) {
        for (const auto& e : TableRow(i)) {
            visit(e.A1B1_A2B2);
            visit(e.A2B2_A1B1);
            visit(e.A1B1_B2A2);
            visit(e.B2A2_A1B1);
        }
    }
    if (AMinGap > 2147483647.0) {
        AMinGap = 0.0;
    }
}

bool TSegPlaceInfoManager::CheckIsTrapezoid() const {
    double maxGap = 0.0;
    double minGap = 0.0;
    GetMaxMinGap(maxGap, minGap);
    return !fEqual(maxGap, minGap, 0.0001);
}

} // namespace tubenest
