#include "circular/weld_cleanup.h"

#include <algorithm>
#include <cstdlib>
#include <limits>
#include <map>
#include <optional>
#include <utility>
#include <vector>

#include "circular/circular_constants.h"
#include "model/assertion.h"
#include "model/room_tree.h"

namespace tubenest {
namespace {

constexpr const char* kModule = "UCircularNest";

struct Tube {
    std::int32_t entry = 0; ///< 1-based tube index
    TIntDynArray order;
    double used = 0.0;
    bool dropped = false;
};

/// Lengths and gaps of the extended part array.
class Measure {
public:
    Measure(const TCutPartsManager& AManager, bool ADisableReverse)
        : FParts(AManager.FGeneralNestPartArr), FGaps(*AManager.FSegPlaceInfoManager),
          FTurn(!ADisableReverse) {}

    double Len(std::int32_t ARef) const {
        return FParts[static_cast<std::size_t>(std::abs(ARef) - 1)].FOuterlength;
    }
    double Gap(std::int32_t A, std::int32_t B) const { return FGaps.GetGap(A, B); }
    bool MayTurn() const { return FTurn; }

    double Length(const TIntDynArray& AOrder) const {
        double s = 0.0;
        for (std::size_t k = 0; k < AOrder.size(); ++k) {
            s += Len(AOrder[k]) + (k > 0 ? Gap(AOrder[k - 1], AOrder[k]) : 0.0);
        }
        return s;
    }

    /// The cheapest place for part APart (either direction when turning is allowed) in AOrder of
    /// length AUsed: {position, reference, new length}.
    struct Insertion {
        std::size_t pos = 0;
        std::int32_t ref = 0;
        double length = 0.0;
    };
    Insertion BestInsertion(const TIntDynArray& AOrder, double AUsed, std::int32_t APart) const {
        Insertion best;
        best.length = std::numeric_limits<double>::infinity();
        const std::size_t k = AOrder.size();
        for (const std::int32_t ref : {APart, -APart}) {
            if (ref < 0 && !FTurn) {
                continue;
            }
            for (std::size_t p = 0; p <= k; ++p) {
                double delta = Len(ref);
                if (p > 0) {
                    delta += Gap(AOrder[p - 1], ref);
                }
                if (p < k) {
                    delta += Gap(ref, AOrder[p]);
                }
                if (p > 0 && p < k) {
                    delta -= Gap(AOrder[p - 1], AOrder[p]);
                }
                if (AUsed + delta < best.length) {
                    best = Insertion{p, ref, AUsed + delta};
                }
            }
        }
        return best;
    }

private:
    const TGeneralNestPartArr& FParts;
    const TSegPlaceInfoManager& FGaps;
    bool FTurn;
};

/// AOrder without its first occurrence of ARef.
TIntDynArray Without(const TIntDynArray& AOrder, std::int32_t ARef) {
    TIntDynArray out = AOrder;
    const auto it = std::find(out.begin(), out.end(), ARef);
    TUBENEST_ASSERT(it != out.end(), kModule, "piece " + std::to_string(ARef) + " is not in its tube");
    out.erase(it);
    return out;
}

void Insert(TIntDynArray& AOrder, const Measure::Insertion& AAt) {
    AOrder.insert(AOrder.begin() + static_cast<std::ptrdiff_t>(AAt.pos), AAt.ref);
}

class Cleanup {
public:
    Cleanup(std::vector<Tube>& ATubes, const TGeneralNestTubeArr& AEntries, const Measure& AMeasure)
        : FTubes(ATubes), FEntries(AEntries), FMeasure(AMeasure) {
        for (const Tube& t : FTubes) {
            FRoom.Push(Capacity(t) - t.used);
        }
    }

    double Capacity(const Tube& ATube) const {
        return FEntries[static_cast<std::size_t>(ATube.entry - 1)].FTubeInitialLen + kCircularTolerance;
    }

    /// Takes one front piece out of tube AFront and one back piece out of tube ABack and lays
    /// APart whole; false (nothing changed) when there is no room for it.
    bool Undo(std::size_t AFront, std::size_t ABack, std::int32_t AFrontRef, std::int32_t ABackRef,
              std::int32_t APart, double AMinGap) {
        Tube& tf = FTubes[AFront];
        Tube& tb = FTubes[ABack];
        TIntDynArray of = Without(tf.order, AFrontRef);
        TIntDynArray ob;
        if (AFront == ABack) {
            of = Without(of, ABackRef);
        } else {
            ob = Without(tb.order, ABackRef);
        }
        const double lf = FMeasure.Length(of);
        const double lb = AFront == ABack ? 0.0 : FMeasure.Length(ob);

        // 1. Whole, into a tube of one of its pieces or any other tube with room.
        std::optional<std::size_t> target;
        Measure::Insertion at;
        auto consider = [&](std::size_t t, const TIntDynArray& AOrder, double AUsed) {
            const Measure::Insertion ins = FMeasure.BestInsertion(AOrder, AUsed, APart);
            if (ins.length <= Capacity(FTubes[t]) &&
                (!target || ins.length - Capacity(FTubes[t]) < at.length - Capacity(FTubes[*target]))) {
                target = t;
                at = ins;
            }
        };
        consider(AFront, of, lf);
        if (AFront != ABack) {
            consider(ABack, ob, lb);
        }
        if (!target) {
            // The first other tube that takes it; only tubes with room for the part are looked at.
            const double need = FMeasure.Len(APart) + std::min(0.0, AMinGap) - 1e-9;
            for (std::size_t t = FRoom.FirstWithRoom(0, need); t < FRoom.count() && !target;
                 t = FRoom.FirstWithRoom(t + 1, need)) {
                if (t != AFront && t != ABack && !FTubes[t].dropped) {
                    consider(t, FTubes[t].order, FTubes[t].used);
                }
            }
        }
        if (target) {
            Apply(AFront, std::move(of), ABack, std::move(ob));
            Tube& dest = FTubes[*target];
            Insert(dest.order, at);
            dest.used = FMeasure.Length(dest.order);
            dest.dropped = false;
            FRoom.Set(*target, Capacity(dest) - dest.used);
            return true;
        }
        if (AFront == ABack) {
            return false;
        }
        // 2. Into the tube of one piece, after moving one whole part of it to the other's tube.
        for (const bool intoFront : {true, false}) {
            const TIntDynArray& host = intoFront ? of : ob;
            const TIntDynArray& other = intoFront ? ob : of;
            const std::size_t hostTube = intoFront ? AFront : ABack;
            const std::size_t otherTube = intoFront ? ABack : AFront;
            const double otherUsed = intoFront ? lb : lf;
            for (std::size_t i = 0; i < host.size(); ++i) {
                const std::int32_t moved = host[i];
                if (std::abs(moved) > FWholeParts) {
                    continue; // pieces stay where their partners expect them
                }
                TIntDynArray rest = host;
                rest.erase(rest.begin() + static_cast<std::ptrdiff_t>(i));
                const Measure::Insertion whole = FMeasure.BestInsertion(rest, FMeasure.Length(rest), APart);
                if (whole.length > Capacity(FTubes[hostTube])) {
                    continue;
                }
                const Measure::Insertion away = FMeasure.BestInsertion(other, otherUsed, std::abs(moved));
                if (away.length > Capacity(FTubes[otherTube])) {
                    continue;
                }
                TIntDynArray newOther = other;
                Insert(newOther, away);
                Insert(rest, whole);
                if (intoFront) {
                    Apply(AFront, std::move(rest), ABack, std::move(newOther));
                } else {
                    Apply(AFront, std::move(newOther), ABack, std::move(rest));
                }
                return true;
            }
        }
        return false;
    }

    std::int32_t FWholeParts = 0;

private:
    void Apply(std::size_t AFront, TIntDynArray AFrontOrder, std::size_t ABack, TIntDynArray ABackOrder) {
        Tube& tf = FTubes[AFront];
        tf.order = std::move(AFrontOrder);
        tf.used = FMeasure.Length(tf.order);
        tf.dropped = tf.order.empty();
        FRoom.Set(AFront, tf.dropped ? -1.0 : Capacity(tf) - tf.used);
        if (AFront != ABack) {
            Tube& tb = FTubes[ABack];
            tb.order = std::move(ABackOrder);
            tb.used = FMeasure.Length(tb.order);
            tb.dropped = tb.order.empty();
            FRoom.Set(ABack, tb.dropped ? -1.0 : Capacity(tb) - tb.used);
        }
    }

    std::vector<Tube>& FTubes;
    const TGeneralNestTubeArr& FEntries;
    const Measure& FMeasure;
    RoomTree FRoom; ///< room left per tube (-1 once dropped)
};

} // namespace

std::int32_t RemoveNeedlessWelds(TNestResultList& AResults, TCutNestParts& ACutParts,
                                 TCutPartsManager& AManager, const TGeneralNestTubeArr& ATubes,
                                 bool ADisableReverse) {
    if (ACutParts.IsEmpty() || !AManager.FSegPlaceInfoManager || AResults.Empty()) {
        return 0;
    }
    const std::int32_t n = AManager.FOriPartCount;
    const Measure measure(AManager, ADisableReverse);

    std::vector<Tube> tubes;
    for (const auto& r : AResults) {
        TUBENEST_ASSERT(r->FTubeIndex >= 1 && static_cast<std::size_t>(r->FTubeIndex) <= ATubes.size(),
                        kModule, "a result names tube " + std::to_string(r->FTubeIndex));
        for (std::int32_t c = 0; c < r->FTubeCount; ++c) {
            tubes.push_back(Tube{r->FTubeIndex, r->FPartOrder, measure.Length(r->FPartOrder), false});
        }
    }
    // Where the pieces of each split lie (one entry per occurrence).
    const auto splits = static_cast<std::size_t>(ACutParts.Count());
    std::vector<std::vector<std::size_t>> fronts(splits);
    std::vector<std::vector<std::size_t>> backs(splits);
    for (std::size_t t = 0; t < tubes.size(); ++t) {
        for (const std::int32_t ref : tubes[t].order) {
            const std::int32_t a = std::abs(ref);
            if (a <= n) {
                continue;
            }
            const auto idx = static_cast<std::size_t>(a - n - 1);
            if (idx / 2 < splits) {
                (idx % 2 == 0 ? fronts : backs)[idx / 2].push_back(t);
            }
        }
    }
    double maxGap = 0.0;
    double minGap = 0.0;
    AManager.FSegPlaceInfoManager->GetMaxMinGap(maxGap, minGap);

    Cleanup cleanup(tubes, ATubes, measure);
    cleanup.FWholeParts = n;
    std::int32_t undone = 0;
    for (std::size_t c = 0; c < splits; ++c) {
        const auto frontRef = static_cast<std::int32_t>(n + 2 * c + 1);
        const std::int32_t backRef = frontRef + 1;
        const std::int32_t part = ACutParts[static_cast<std::int32_t>(c)].From;
        bool progress = true;
        while (progress && !fronts[c].empty() && !backs[c].empty()) {
            progress = false;
            // The pieces of one split are alike; a few of their tubes are worth trying, not all pairs.
            constexpr std::size_t kTries = 3;
            for (std::size_t fi = 0; fi < std::min(kTries, fronts[c].size()) && !progress; ++fi) {
                for (std::size_t bi = 0; bi < std::min(kTries, backs[c].size()) && !progress; ++bi) {
                    const std::size_t tf = fronts[c][fi];
                    const std::size_t tb = backs[c][bi];
                    // The reference may be turned in the order: find it as laid.
                    const auto laid = [&](std::size_t t, std::int32_t ref) {
                        const auto& o = tubes[t].order;
                        return std::find(o.begin(), o.end(), ref) != o.end() ? ref : -ref;
                    };
                    if (!cleanup.Undo(tf, tb, laid(tf, frontRef), laid(tb, backRef), part, minGap)) {
                        continue;
                    }
                    fronts[c].erase(fronts[c].begin() + static_cast<std::ptrdiff_t>(fi));
                    backs[c].erase(backs[c].begin() + static_cast<std::ptrdiff_t>(bi));
                    --ACutParts[static_cast<std::int32_t>(c)].Amount;
                    if (AManager.FCutNestPartList &&
                        static_cast<std::int32_t>(c) < AManager.FCutNestPartList->Count()) {
                        --(*AManager.FCutNestPartList)[static_cast<std::int32_t>(c)].Amount;
                    }
                    ++undone;
                    progress = true;
                }
            }
        }
    }
    if (undone == 0) {
        return 0;
    }

    // Rebuild the results: identical tubes of one entry become one pattern, in the order of their
    // first tube.
    TNestResultList rebuilt;
    std::map<std::pair<std::int32_t, TIntDynArray>, TNestResult*> patterns;
    for (Tube& t : tubes) {
        if (t.dropped || t.order.empty()) {
            continue;
        }
        TUBENEST_ASSERT(t.used <= ATubes[static_cast<std::size_t>(t.entry - 1)].FTubeInitialLen +
                                      kCircularTolerance,
                        kModule, "the weld clean-up overfilled a tube");
        auto key = std::make_pair(t.entry, t.order);
        if (const auto it = patterns.find(key); it != patterns.end()) {
            ++it->second->FTubeCount;
            continue;
        }
        auto r = std::make_unique<TNestResult>();
        r->FTubeIndex = t.entry;
        r->FTubeCount = 1;
        r->FPartOrder = std::move(t.order);
        AManager.FSegPlaceInfoManager->UpdateNestResultInfo(*r, AManager.FGeneralNestPartArr);
        patterns.emplace(std::move(key), &rebuilt.Add(std::move(r)));
    }
    AResults = std::move(rebuilt);
    return undone;
}

} // namespace tubenest
