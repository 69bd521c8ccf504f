#include "model/nest_result.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

#include "host/geometry.h"
#include "model/assertion.h"

namespace tubenest {
namespace {
int Sign(double v) { return v > 0 ? 1 : (v < 0 ? -1 : 0); }

const TGeneralNestPart& PartOf(const TGeneralNestPartArr& parts, std::int32_t ref) {
    const auto idx = static_cast<std::size_t>(std::abs(ref)) - 1;
    TUBENEST_ASSERT(ref != 0 && idx < parts.size(), "uNestBase3D",
                    "part reference " + std::to_string(ref) + " outside the part array");
    return parts[idx];
}
} // namespace

bool TNestResult::IsSameNestResult(const TNestResult& ANestResult) const {
    if (FTubeIndex != ANestResult.FTubeIndex || FPartOrder.size() != ANestResult.FPartOrder.size()) {
        return false;
    }
    for (std::size_t k = 0; k < FPartOrder.size(); ++k) {
        if (std::abs(FPartOrder[k]) != std::abs(ANestResult.FPartOrder[k])) {
            return false;
        }
    }
    return true;
}

double TNestResult::GetPartUsedLength(const TGeneralNestPartArr& Parts) const {
    double sum = 0.0;
    for (auto o : FPartOrder) {
        sum += FTubeCount * PartOf(Parts, o).FOuterlength;
    }
    return sum;
}

void TNestResult::UpdateNestLengthUsed(const TGeneralNestPartArr& AParts) {
    if (FPartOrder.empty()) {
        FLengthUsed = 0.0;
        return;
    }
    TUBENEST_ASSERT(FPartPlaceData.size() + 1 >= FPartOrder.size(), "uNestBase3D",
                    "place data shorter than the part order");
    double len = PartOf(AParts, FPartOrder[0]).FOuterlength;
    for (std::size_t k = 1; k < FPartOrder.size(); ++k) {
        len += FPartPlaceData[k - 1].FixedGap + PartOf(AParts, FPartOrder[k]).FOuterlength;
    }
    FLengthUsed = len;
}

std::string TNestResult::ToString() const {
    const char CR = '\r';
    std::string s = "TNestResult";
    s += "  FTubeIndex " + std::to_string(FTubeIndex) + CR;
    s += "FTubeCount " + std::to_string(FTubeCount) + CR;
    s += std::string(" ") + "  FPartOrder Count := " + std::to_string(FPartOrder.size()) + CR;
    for (auto o : FPartOrder) {
        s += " " + std::to_string(o);
    }
    s += CR;
    s += "  FFixedPartOrder Count := " + std::to_string(FFixedPartOrder.size()) + CR;
    for (auto o : FFixedPartOrder) {
        s += " " + std::to_string(o);
    }
    return s;
}

TNestResult& TNestResultList::Add(Item result) {
    TUBENEST_ASSERT(result != nullptr, "uNestBase3D", "null result added to a result list");
    items_.push_back(std::move(result));
    return *items_.back();
}

void TNestResultList::Insert(int index, Item result) {
    TUBENEST_ASSERT(result != nullptr && index >= 0 && index <= Count(), "uNestBase3D", "bad result insert");
    items_.insert(items_.begin() + index, std::move(result));
}

void TNestResultList::Delete(int index) {
    TUBENEST_ASSERT(index >= 0 && index < Count(), "uNestBase3D", "result index out of range");
    items_.erase(items_.begin() + index);
}

TNestResultList::Item TNestResultList::Extract(int index) {
    TUBENEST_ASSERT(index >= 0 && index < Count(), "uNestBase3D", "result index out of range");
    Item out = std::move(items_[static_cast<std::size_t>(index)]);
    items_.erase(items_.begin() + index);
    return out;
}

void TNestResultList::Exchange(int a, int b) {
    TUBENEST_ASSERT(a >= 0 && a < Count() && b >= 0 && b < Count(), "uNestBase3D", "result index out of range");
    std::swap(items_[static_cast<std::size_t>(a)], items_[static_cast<std::size_t>(b)]);
}

void TNestResultList::Sort(const std::function<int(const TNestResult&, const TNestResult&)>& comparer) {
    std::stable_sort(items_.begin(), items_.end(),
                     [&comparer](const Item& l, const Item& r) { return comparer(*l, *r) < 0; });
}

void TNestResultList::Assign(const TNestResultList& AResultList) {
    if (&AResultList == this) {
        return;
    }
    std::vector<Item> copy;
    copy.reserve(AResultList.items_.size());
    for (const auto& r : AResultList.items_) {
        copy.push_back(r->Clone());
    }
    items_ = std::move(copy);
}

std::unique_ptr<TNestResultList> TNestResultList::Clone() const {
    auto out = std::make_unique<TNestResultList>();
    out->Assign(*this);
    return out;
}

double TNestResultList::CalcPartUsedLengh(const TGeneralNestPartArr& Parts) const {
    double sum = 0.0;
    for (const auto& r : items_) {
        sum += r->GetPartUsedLength(Parts);
    }
    return sum;
}

void TNestResultList::PrintToFile(const std::string& FileName, const std::string& Info) const {
    SaveDataToFile(FileName, "------------------------" + Info);
    for (const auto& r : items_) {
        SaveDataToFile(FileName, r->ToString());
    }
}

void TNestResultInfo::DataInit() {
    PartUsedCount = 0;
    TubeUsedCount = 0;
    MinUsedLength = std::numeric_limits<double>::max();
    TotalTubeLeft = 0.0;
    Information = "UnNamed";
    PartUsedLength = 0.0;
    TailPlaceAmount = 0;
}

TNestResultInfo TNestResultInfo::Create(const TNestResultList& ANestResultList, const TGeneralNestPartArr& AParts,
                                        const TGeneralNestTubeArr& ATubes) {
    TNestResultInfo info;
    info.DataInit();
    for (const auto& r : ANestResultList) {
        const auto tube = static_cast<std::size_t>(r->FTubeIndex - 1);
        TUBENEST_ASSERT(r->FTubeIndex >= 1 && tube < ATubes.size(), "uNestBase3D",
                        "tube index " + std::to_string(r->FTubeIndex) + " outside the tube array");
        info.PartUsedCount += static_cast<std::int32_t>(r->FPartOrder.size()) * r->FTubeCount;
        info.TubeUsedCount += r->FTubeCount;
        info.MinUsedLength = std::min(info.MinUsedLength, r->FLengthUsed);
        info.TotalTubeLeft += (ATubes[tube].FTubeInitialLen - r->FLengthUsed) * r->FTubeCount;
        if (r->FIsTailPlacedQualified) {
            info.TailPlaceAmount += r->FTubeCount;
        }
    }
    info.PartUsedLength = ANestResultList.CalcPartUsedLengh(AParts);
    return info;
}

int TNestResultComparer::CompareNestResultByLengthUsed(const TNestResult& Left, const TNestResult& Right) {
    return Sign(Right.FLengthUsed - Left.FLengthUsed);
}

int TNestResultComparer::CompareNestResultInfo(const TNestResultInfo& Left, const TNestResultInfo& Right) {
    if (!fEqual(Left.PartUsedLength, Right.PartUsedLength, 1e-6)) {
        return Sign(Right.PartUsedLength - Left.PartUsedLength);
    }
    if (!fEqual(Left.TubeUsedLength, Right.TubeUsedLength, 1e-6)) {
        return Sign(Left.TubeUsedLength - Right.TubeUsedLength);
    }
    if (!fEqual(Left.TotalTubeLeft, Right.TotalTubeLeft, 10.0)) {
        return Sign(Right.TotalTubeLeft - Left.TotalTubeLeft);
    }
    return Sign(Right.FFuncValue - Left.FFuncValue);
}

int TNestResultComparer::CompareNestResultInfoOld(const TNestResultInfo& Left, const TNestResultInfo& Right) {
    if (!fEqual(Left.PartUsedLength, Right.PartUsedLength, 1e-6)) {
        return Sign(Right.PartUsedLength - Left.PartUsedLength);
    }
    if (Left.PartUsedCount != Right.PartUsedCount) {
        return 0;
    }
    if (Left.TubeUsedCount != Right.TubeUsedCount) {
        return Left.TubeUsedCount > Right.TubeUsedCount ? 1 : -1;
    }
    if (!fEqual(Left.TotalTubeLeft, Right.TotalTubeLeft, 10.0)) {
        return Sign(Right.TotalTubeLeft - Left.TotalTubeLeft);
    }
    if (!fEqual(Left.MinUsedLength, Right.MinUsedLength, 1e-6)) {
        return Sign(Left.MinUsedLength - Right.MinUsedLength);
    }
    return 0;
}

bool TNestResultComparer::IsNewResultBetterThanOld(const TNestResultInfo& OldResult, const TNestResultInfo& NewResult) {
    return CompareNestResultInfoOld(OldResult, NewResult) == 1;
}

void SaveDataToFile(const std::string& FileName, const std::string& Info) {
    auto fail = [&FileName](const char* what) {
        const int err = errno;
        throw std::runtime_error("cannot " + std::string(what) + " '" + FileName + "': " + std::strerror(err));
    };
    errno = 0;
    std::FILE* f = std::fopen(FileName.c_str(), "ab");
    if (f == nullptr) {
        fail("open");
    }
    const std::string line = Info + "\n";
    const bool written = std::fwrite(line.data(), 1, line.size(), f) == line.size();
    const int flush_rc = std::fflush(f);
    const int close_rc = std::fclose(f);
    if (!written || flush_rc != 0 || close_rc != 0) {
        fail("write");
    }
}

} // namespace tubenest
