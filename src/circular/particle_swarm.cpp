#include "circular/particle_swarm.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <stdexcept>
#include <string>
#include <thread>

#include "adjust/multi_tube_nest_wrapper.h"
#include "host/app_services.h"
#include "model/assertion.h"
#include "model/nest_progress.h"
#include "svc/svc_nest.h"

namespace tubenest {
namespace {
constexpr const char* kModule = "UCircularNest";

/// Rows 0 .. APartCount - 1 of the gap table, each cut to its i + 1 records; null when a row is
/// incomplete (the nests then report the broken table themselves).
std::shared_ptr<const TSegPlaceInfoTable> SnapshotWholePartRows(const TSegPlaceInfoManager& AGaps,
                                                                std::size_t APartCount) {
    auto rows = std::make_shared<TSegPlaceInfoTable>(APartCount);
    for (std::size_t i = 0; i < APartCount; ++i) {
        const auto& source = AGaps.TableRow(i);
        if (source.size() < i + 1) {
            return nullptr;
        }
        (*rows)[i].assign(source.begin(), source.begin() + static_cast<std::ptrdiff_t>(i) + 1);
    }
    return rows;
}

std::int32_t TubeSum(const TNestResultList& list) {
    std::int32_t s = 0;
    for (const auto& r : list) {
        s += r->FTubeCount;
    }
    return s;
}

std::int32_t PartEntries(const TNestResultList& list) {
    std::int32_t s = 0;
    for (const auto& r : list) {
        s += static_cast<std::int32_t>(r->FPartOrder.size()) * r->FTubeCount;
    }
    return s;
}

double LastLength(const TNestResultList& list) {
    return list.Empty() ? 0.0 : list.Last().FLengthUsed;
}

std::int32_t PieceSum(const TCutNestParts& pieces) {
    std::int32_t s = 0;
    for (const auto& p : pieces) {
        s += p.Amount;
    }
    return s;
}

/// The tube ranking used while the target lost rate is not met by both results: fewer tubes; for
/// as many tubes never more welds, fewer welds once the new result meets the target, else the
/// shorter last tube (the nearest to freeing a tube).
bool FewerTubes(const TPaticleSwarm::TBestSummary& ANew, const TPaticleSwarm::TBestSummary& ABest) {
    if (ANew.Tubes != ABest.Tubes) {
        return ANew.Tubes < ABest.Tubes;
    }
    if (ANew.Welds > ABest.Welds) {
        return false;
    }
    if (ANew.Welds < ABest.Welds && ANew.MeetsTarget) {
        return true;
    }
    return ANew.LastLength < ABest.LastLength;
}

/// Copies placed by a result list: its part entries less one per split pair.
std::int64_t CopiesPlaced(const TNestResultList& AResults, const TCutNestParts& APieces) {
    return static_cast<std::int64_t>(PartEntries(AResults)) - PieceSum(APieces);
}

/// The final ranking against the seeds: more copies placed, then fewer tubes, then fewer welds.
bool BetterThanSeed(const TNestResultList& ANew, const TCutNestParts& ANewPieces,
                    const TNestResultList& ABest, const TCutNestParts& ABestPieces) {
    const std::int64_t copies = CopiesPlaced(ANew, ANewPieces);
    const std::int64_t bestCopies = CopiesPlaced(ABest, ABestPieces);
    if (copies != bestCopies) {
        return copies > bestCopies;
    }
    if (TubeSum(ANew) != TubeSum(ABest)) {
        return TubeSum(ANew) < TubeSum(ABest);
    }
    return PieceSum(ANewPieces) < PieceSum(ABestPieces);
}
} // namespace

TPaticleSwarm::TBestSummary TPaticleSwarm::Summarize(const TNestResultList& AResults,
                                                     const TCutNestParts& APieces, bool AMeetsTarget) {
    TBestSummary s;
    s.Set = true;
    s.Tubes = TubeSum(AResults);
    s.Welds = PieceSum(APieces);
    s.PartEntries = PartEntries(AResults);
    s.LastLength = LastLength(AResults);
    for (const auto& r : AResults) {
        s.LengthSum += r->FLengthUsed;
    }
    s.MeetsTarget = AMeetsTarget;
    return s;
}

TPaticleSwarm::TPaticleSwarm(const TGeneralNestPartArr& AGNestParts, const TGeneralNestTubeArr& AGNestTubes,
                             std::int32_t AdjustFactor, std::uint64_t ASeed)
    : FParts(AGNestParts), FTubes(AGNestTubes), FRandom(ASeed) {
    if (AGNestTubes.empty()) {
        throw std::invalid_argument("particle swarm: no tube entries");
    }
    FInputPartsNum = 0;
    double total = 0.0;
    for (const auto& p : AGNestParts) {
        total += p.FOuterlength * p.FAmountAvail;
    }
    const double first = AGNestTubes.front().FTubeInitialLen;
    FTheoryTubesNum = first > 0.0 ? static_cast<std::int32_t>(std::ceil(total / first)) : 0;
    const std::int64_t size = static_cast<std::int64_t>(FTheoryTubesNum) * AdjustFactor;
    FSwarmSize = static_cast<std::int32_t>(std::clamp<std::int64_t>(size, 30, 100));
    // Twice the base count of 5 generations that belongs to swarms of 21 to 500 particles.
    FGeneration = 10;
    FPaticles.resize(static_cast<std::size_t>(FSwarmSize));
    FIndivalBest.resize(static_cast<std::size_t>(FSwarmSize));
    FIndivalBestSummary.resize(static_cast<std::size_t>(FSwarmSize));
    FClassAmount.assign(AGNestParts.size(), 0);
}

std::unique_ptr<TCircularNest>
TPaticleSwarm::CircularNestMethod(const TNestAlgorithmParam& NestAlgorithmParam) {
    return CreateCircularNest(NestAlgorithmParam);
}

void TPaticleSwarm::RandomVelocities(TPaticle& APaticle, std::int32_t AVmax) {
    APaticle.Velocity.resize(APaticle.XPosition.size());
    for (auto& v : APaticle.Velocity) {
        v = FRandom.RandomRange(-AVmax, AVmax);
    }
}

void TPaticleSwarm::InitialSwarmOrder(const TIntDynArray& AFirstOrder, const TIntDynArray* ASecondOrder) {
    TUBENEST_ASSERT(!FPaticles.empty(), kModule, "a swarm without particles");
    const std::int32_t n = PartCount();
    const auto vmax = static_cast<std::int32_t>(0.2 * n);
    std::fill(FClassAmount.begin(), FClassAmount.end(), 0);

    TPaticle& first = FPaticles[0];
    first.XPosition = AFirstOrder;
    for (const std::int32_t ref : first.XPosition) {
        const std::int32_t k = std::abs(ref) - 1;
        TUBENEST_ASSERT(ref != 0 && k < n, kModule, "order entry " + std::to_string(ref) + " names no part");
        ++FClassAmount[static_cast<std::size_t>(k)];
    }
    RandomVelocities(first, vmax);

    const auto count = static_cast<std::int32_t>(first.XPosition.size());
    for (std::size_t i = 1; i < FPaticles.size(); ++i) {
        TPaticle& p = FPaticles[i];
        p.XPosition = first.XPosition;
        const std::int32_t a = FRandom.Random(count);
        const std::int32_t b = FRandom.Random(count);
        if (count > 0) {
            std::swap(p.XPosition[static_cast<std::size_t>(a)], p.XPosition[static_cast<std::size_t>(b)]);
        }
        if (a != b) {
            // The tail from the larger index on moves, reversed, to the smaller index.
            const auto lo = static_cast<std::ptrdiff_t>(std::min(a, b));
            const auto hi = static_cast<std::ptrdiff_t>(std::max(a, b));
            TIntDynArray tail(p.XPosition.begin() + hi, p.XPosition.end());
            std::reverse(tail.begin(), tail.end());
            p.XPosition.erase(p.XPosition.begin() + hi, p.XPosition.end());
            p.XPosition.insert(p.XPosition.begin() + lo, tail.begin(), tail.end());
        }
        RandomVelocities(p, vmax);
    }
    if (ASecondOrder != nullptr && ASecondOrder->size() == FPaticles.back().XPosition.size()) {
        FPaticles.back().XPosition = *ASecondOrder;
        RandomVelocities(FPaticles.back(), vmax);
    }
}

void TPaticleSwarm::UpdateInformation(std::int32_t AGeneration) {
    const std::int32_t n = PartCount();
    const double w = 0.9 - (0.9 - 0.4) * AGeneration / FGeneration;
    const bool haveSwarmBest = !FSwarmBest.XPosition.empty();
    for (std::size_t i = 0; i < FPaticles.size(); ++i) {
        TPaticle& particle = FPaticles[i];
        const TIntDynArray& best = FIndivalBest[i].XPosition;
        for (std::size_t k = 0; k < particle.XPosition.size(); ++k) {
            const double x = particle.XPosition[k];
            const double p = k < best.size() ? best[k] : x;
            // Before any result has been chosen as the swarm best the social term is left out; both
            // numbers are still drawn so that the sequence of draws does not depend on it.
            const double s = haveSwarmBest && k < FSwarmBest.XPosition.size() ? FSwarmBest.XPosition[k] : x;
            const double r1 = FRandom.RandomFloat();
            const double r2 = FRandom.RandomFloat();
            double v = particle.Velocity[k];
            v = w * v + 2.0 * r1 * (p - x) + 2.0 * r2 * (s - x);
            const double moved = std::trunc(x + v);
            particle.XPosition[k] = static_cast<std::int32_t>(std::clamp(moved, 1.0, static_cast<double>(n)));
            particle.Velocity[k] = std::clamp(v, -0.2 * n, 0.2 * n);
        }
        LegitimatePaticle(particle);
    }
}

void TPaticleSwarm::LegitimatePaticle(TPaticle& APaticle) const {
    const std::int32_t n = PartCount();
    std::vector<std::int32_t> need(static_cast<std::size_t>(n), 0);
    for (std::int32_t k = 0; k < n; ++k) {
        need[static_cast<std::size_t>(k)] = FClassAmount[static_cast<std::size_t>(k)];
    }
    for (const std::int32_t ref : APaticle.XPosition) {
        const std::int32_t k = std::abs(ref) - 1;
        TUBENEST_ASSERT(ref != 0 && k < n, kModule, "order entry " + std::to_string(ref) + " names no part");
        --need[static_cast<std::size_t>(k)];
    }
    std::vector<TAlgorithmPart> surplus;
    std::vector<TAlgorithmPart> lack;
    for (std::int32_t k = 0; k < n; ++k) {
        const std::int32_t d = need[static_cast<std::size_t>(k)];
        if (d < 0) {
            surplus.push_back(TAlgorithmPart{k + 1, 0.0, -d});
        } else if (d > 0) {
            lack.push_back(TAlgorithmPart{k + 1, 0.0, d});
        }
    }
    if (surplus.empty()) {
        return;
    }
    std::size_t l = 0;
    for (auto& s : surplus) {
        while (s.Amount > 0) {
            TUBENEST_ASSERT(l < lack.size(), kModule, "an order with more surplus than lack");
            TAlgorithmPart& want = lack[l];
            const std::int32_t replace = std::min(s.Amount, want.Amount);
            for (std::int32_t r = 0; r < replace; ++r) {
                auto it = std::find(APaticle.XPosition.begin(), APaticle.XPosition.end(), s.Idx);
                if (it == APaticle.XPosition.end()) {
                    it = std::find(APaticle.XPosition.begin(), APaticle.XPosition.end(), -s.Idx);
                }
                TUBENEST_ASSERT(it != APaticle.XPosition.end(), kModule, "surplus part not in the order");
                *it = want.Idx;
            }
            s.Amount -= replace;
            want.Amount -= replace;
            if (want.Amount == 0) {
                ++l;
            }
        }
    }
}

bool TPaticleSwarm::CheckNestParts(const TNestResultList& ANestResults,
                                   const TCutNestParts& ACutParts) const {
    return PartEntries(ANestResults) == FInputPartsNum + PieceSum(ACutParts);
}

bool TPaticleSwarm::CompareLostRate(const TNestResultList* ANestResults, const TNestAlgorithmParam& AParam,
                                    const TIntDynArray& ASpecialParts) const {
    if (ANestResults == nullptr || ANestResults->Empty()) {
        return false;
    }
    auto tubeLength = [&AParam](std::int32_t entry) {
        const auto e = static_cast<std::size_t>(entry);
        if (e < AParam.TubesLengthArr.size()) {
            return AParam.TubesLengthArr[e];
        }
        return e < AParam.AGNestTubes.size() ? AParam.AGNestTubes[e].FTubeInitialLen : 0.0;
    };
    double used = 0.0;
    for (const auto& r : *ANestResults) {
        used += tubeLength(r->FTubeIndex - 1) * r->FTubeCount;
    }
    double parts = 0.0;
    for (const std::int32_t ref : FPaticles.front().XPosition) {
        parts += FParts[static_cast<std::size_t>(std::abs(ref) - 1)].FOuterlength;
    }
    for (const std::int32_t k : ASpecialParts) {
        const TGeneralNestPart& part = FParts[static_cast<std::size_t>(k - 1)];
        parts += part.FOuterlength * part.FAmountAvail;
        used += tubeLength(0) * part.FAmountAvail;
    }
    if (parts <= 0.0) {
        return false;
    }
    return !fGreat(used / parts - 1.0, AParam.NestParam.TargetLostRate(), 0.0001);
}

std::optional<TIntDynArray> TPaticleSwarm::GenerateOtherNestResults(const TNestAlgorithmParam& AParam) const {
    TNestResultList svc;
    return MakeSvcSeed(AParam, svc);
}

std::optional<TIntDynArray> TPaticleSwarm::MakeSvcSeed(const TNestAlgorithmParam& AParam,
                                                       TNestResultList& ASvcResults) const {
    ASvcResults.Clear();
    if (AParam.AGNestTubes.size() != 1 || AParam.PartsCalInfo == nullptr) {
        return std::nullopt;
    }
    const double tube = AParam.AGNestTubes.front().FTubeInitialLen;
    for (const auto& p : AParam.AGNestParts) {
        if (p.FOuterlength > tube) {
            return std::nullopt;
        }
    }
    // The seed only helps the search: a table too large for the SVC method, or a stop while it
    // runs, leaves the swarm without it rather than ending the run.
    try {
        TMultiTubeNestWrapper wrapper(AParam.AGNestParts, AParam.AGNestTubes, *AParam.PartsCalInfo,
                                      AParam.NestParam);
        wrapper.SVCNest(ASvcResults);
    } catch (const TSVCTableLimitError&) {
        ASvcResults.Clear();
        return std::nullopt;
    }
    if (StopRequested()) {
        ASvcResults.Clear();
        return std::nullopt;
    }
    TIntDynArray order;
    for (const auto& r : ASvcResults) {
        for (std::int32_t c = 0; c < r->FTubeCount; ++c) {
            order.insert(order.end(), r->FPartOrder.begin(), r->FPartOrder.end());
        }
    }
    return order;
}

bool TPaticleSwarm::CheckSpecialPartsNest(const TNestResultList* ANestResults, TGeneralNestTubeArr& ATubes) {
    if (ANestResults == nullptr) {
        return true;
    }
    TUBENEST_ASSERT(!ATubes.empty(), kModule, "special parts without a tube entry");
    ATubes.front().FAmountAvail -= TubeSum(*ANestResults);
    return ATubes.front().FAmountAvail > 0;
}

void TPaticleSwarm::EvaluateGeneration(const TNestAlgorithmParam& AParam, std::vector<Evaluation>& AOut) {
    AOut.clear();
    AOut.resize(FPaticles.size());
    auto nestOne = [&](std::size_t i) {
        auto nest = CircularNestMethod(AParam);
        nest->CircularNestMain(FPaticles[i].XPosition);
        AOut[i].results = std::make_unique<TNestResultList>(std::move(nest->FNestResults));
        AOut[i].pieces = nest->FCutNestParts;
    };
    if (FThreads <= 1 || FPaticles.size() < 2) {
        for (std::size_t i = 0; i < FPaticles.size(); ++i) {
            if (StopRequested()) {
                FWasStopped = true;
                return;
            }
            nestOne(i);
        }
        return;
    }
    // Workers take particles in index order from a shared counter; each writes only its own slot.
    std::atomic<std::size_t> next{0};
    std::atomic<bool> stopped{false};
    std::exception_ptr failure;
    std::mutex failureLock;
    // The workers obey the stop request of the thread that runs the swarm.
    TNestProgress* const owner = CurrentNestProgress();
    auto worker = [&]() {
        const TNestProgressThreadScope scope(owner);
        for (;;) {
            if (StopRequested()) {
                stopped = true;
                return;
            }
            const std::size_t i = next.fetch_add(1);
            if (i >= FPaticles.size()) {
                return;
            }
            try {
                nestOne(i);
            } catch (...) {
                std::lock_guard<std::mutex> guard(failureLock);
                if (!failure) {
                    failure = std::current_exception();
                }
                stopped = true;
                next = FPaticles.size();
                return;
            }
        }
    };
    const auto count = std::min<std::size_t>(static_cast<std::size_t>(FThreads), FPaticles.size());
    std::vector<std::thread> pool;
    pool.reserve(count);
    for (std::size_t t = 0; t < count; ++t) {
        pool.emplace_back(worker);
    }
    for (auto& th : pool) {
        th.join();
    }
    if (failure) {
        std::rethrow_exception(failure);
    }
    if (stopped) {
        FWasStopped = true;
    }
}

void TPaticleSwarm::FindIndivalBest(std::int32_t AGeneration, const std::vector<Evaluation>& AEvals,
                                    const TNestAlgorithmParam& AParam, const TIntDynArray& ASpecial) {
    for (std::size_t i = 0; i < AEvals.size(); ++i) {
        const Evaluation& e = AEvals[i];
        if (!e.results) {
            continue;
        }
        TBestSummary& best = FIndivalBestSummary[i];
        const bool newMeets = CompareLostRate(e.results.get(), AParam, ASpecial);
        if (AGeneration == 1 || !best.Set) {
            best = Summarize(*e.results, e.pieces, newMeets);
            FIndivalBest[i].XPosition = FPaticles[i].XPosition;
            continue;
        }
        if (!CheckNestParts(*e.results, e.pieces)) {
            continue;
        }
        const TBestSummary candidate = Summarize(*e.results, e.pieces, newMeets);
        const bool better = !best.MeetsTarget || !newMeets ? FewerTubes(candidate, best)
                                                           : candidate.PartEntries < best.PartEntries;
        if (better) {
            best = candidate;
            FIndivalBest[i].XPosition = FPaticles[i].XPosition;
        }
    }
}

void TPaticleSwarm::FindIndivalBestWithLessTube(std::int32_t AGeneration,
                                                const std::vector<Evaluation>& AEvals) {
    for (std::size_t i = 0; i < AEvals.size(); ++i) {
        const Evaluation& e = AEvals[i];
        if (!e.results) {
            continue;
        }
        TBestSummary& best = FIndivalBestSummary[i];
        const TBestSummary candidate = Summarize(*e.results, e.pieces, false);
        if (AGeneration == 1 || !best.Set || candidate.LengthSum > best.LengthSum) {
            best = candidate;
            FIndivalBest[i].XPosition = FPaticles[i].XPosition;
        }
    }
}

void TPaticleSwarm::AdoptSwarmBest(std::size_t AIndex, const Evaluation& AEval) {
    FBestPieces = AEval.pieces;
    FSwarmBest.XPosition = FPaticles[AIndex].XPosition;
    FBestResults = AEval.results->Clone();
}

void TPaticleSwarm::SaveOnTubes(const std::vector<Evaluation>& AEvals, const TNestAlgorithmParam& AParam,
                                const TIntDynArray& ASpecial) {
    std::optional<std::size_t> chosen;
    TBestSummary chosenSummary;
    for (std::size_t i = 0; i < AEvals.size(); ++i) {
        const Evaluation& e = AEvals[i];
        if (!e.results || !CheckNestParts(*e.results, e.pieces)) {
            continue;
        }
        const TBestSummary s =
            Summarize(*e.results, e.pieces, CompareLostRate(e.results.get(), AParam, ASpecial));
        if (!chosen || FewerTubes(s, chosenSummary)) {
            chosen = i;
            chosenSummary = s;
        }
    }
    if (!chosen) {
        return;
    }
    if (!FBestResults || FewerTubes(chosenSummary, Summarize(*FBestResults, FBestPieces, false))) {
        AdoptSwarmBest(*chosen, AEvals[*chosen]);
    }
}

void TPaticleSwarm::ReduceWeldNum(const std::vector<Evaluation>& AEvals, const TNestAlgorithmParam& AParam,
                                  const TIntDynArray& ASpecial) {
    std::optional<std::size_t> chosen;
    std::int32_t fewest = PieceSum(FBestPieces);
    for (std::size_t i = 0; i < AEvals.size(); ++i) {
        const Evaluation& e = AEvals[i];
        if (!e.results || !CheckNestParts(*e.results, e.pieces) ||
            !CompareLostRate(e.results.get(), AParam, ASpecial)) {
            continue;
        }
        const std::int32_t welds = PieceSum(e.pieces);
        if (welds < fewest) {
            fewest = welds;
            chosen = i;
        }
    }
    if (chosen) {
        AdoptSwarmBest(*chosen, AEvals[*chosen]);
    }
}

void TPaticleSwarm::FindSwarmBest(const std::vector<Evaluation>& AEvals, const TNestAlgorithmParam& AParam,
                                  const TIntDynArray& ASpecial) {
    if (!CompareLostRate(FBestResults.get(), AParam, ASpecial)) {
        SaveOnTubes(AEvals, AParam, ASpecial);
    } else {
        ReduceWeldNum(AEvals, AParam, ASpecial);
    }
}

void TPaticleSwarm::MaximizeNestlength(const std::vector<Evaluation>& AEvals) {
    auto weighted = [](const TNestResultList& list) {
        double s = 0.0;
        for (const auto& r : list) {
            s += r->FLengthUsed * r->FTubeCount;
        }
        return s;
    };
    std::optional<std::size_t> chosen;
    double most = 0.0;
    for (std::size_t i = 0; i < AEvals.size(); ++i) {
        if (!AEvals[i].results) {
            continue;
        }
        const double s = weighted(*AEvals[i].results);
        if (!chosen || s > most) {
            chosen = i;
            most = s;
        }
    }
    if (chosen && (!FBestResults || weighted(*FBestResults) < most)) {
        AdoptSwarmBest(*chosen, AEvals[*chosen]);
    }
}

void TPaticleSwarm::FindSwarmBestWithLessTube(const std::vector<Evaluation>& AEvals) {
    MaximizeNestlength(AEvals);
}

void TPaticleSwarm::AlgorithmNest(const TNestAlgorithmParam& NestAlgorithmParam, bool& IsTubesAmountEnough,
                                  std::unique_ptr<TNestResultList>& NestResults,
                                  std::unique_ptr<TCutNestParts>& CutPartsList,
                                  std::unique_ptr<TCutPartsManager>& CutPartsManager) {
    TUBENEST_ASSERT(NestAlgorithmParam.PartsCalInfo != nullptr, kModule,
                    "AlgorithmNest without a gap manager");
    // Every nest of the run builds gap tables for its split pieces; they share one read-only copy of
    // the rows of the whole parts rather than copying those rows each time.
    TNestAlgorithmParam run = NestAlgorithmParam;
    if (!run.WholePartRows) {
        run.WholePartRows = SnapshotWholePartRows(*run.PartsCalInfo, run.AGNestParts.size());
    }
    if (!run.MinWholePartGap) {
        double maxGap = 0.0;
        double minGap = 0.0;
        run.PartsCalInfo->GetMaxMinGap(maxGap, minGap);
        run.MinWholePartGap = minGap;
    }
    const TNestAlgorithmParam& param = run;
    if (param.AGNestParts.size() != FParts.size()) {
        throw std::invalid_argument("particle swarm: built for " + std::to_string(FParts.size()) +
                                    " parts, the parameter record holds " +
                                    std::to_string(param.AGNestParts.size()));
    }
    FGenerationsRun = 0;
    FWasStopped = false;
    FBestResults.reset();
    FBestPieces.Clear();
    FSwarmBest.XPosition.clear();
    std::fill(FIndivalBestSummary.begin(), FIndivalBestSummary.end(), TBestSummary{});

    // 1. The first solution.
    auto first = CircularNestMethod(param);
    first->InitialNestSolve(FInputPartsNum);
    const TIntDynArray special = first->FZShapeSpecicalPartOrder;
    IsTubesAmountEnough = CheckNestParts(first->FNestResults, first->FCutNestParts);

    // 2. Nothing to nest.
    const bool stopped = GetStopped();
    if (first->FNestResults.Empty() && special.empty()) {
        FWasStopped = StopRequested();
        CutPartsList = std::make_unique<TCutNestParts>();
        return;
    }

    // 3. The generations.
    if (!first->FNestResults.Empty()) {
        // The first solution is kept: a stop before or during the generations, or generations
        // without a result that passes the count check, still return at least this plan.
        TNestResultList firstResults = std::move(first->FNestResults);
        TCutNestParts firstPieces = first->FCutNestParts;
        TNestResultList svcResults;
        if (stopped) {
            FWasStopped = true;
        } else {
            const std::optional<TIntDynArray> second = MakeSvcSeed(param, svcResults);
            const TIntDynArray firstOrder(first->FNestOrder.begin(), first->FNestOrder.end());
            InitialSwarmOrder(firstOrder, second ? &*second : nullptr);
        }
        first.reset();
        if (!FWasStopped && NestProgress != nullptr) {
            NestProgress->SetProgress(SOptimizeNest, 1);
        }

        std::vector<Evaluation> evals;
        for (std::int32_t g = 1; g <= FGeneration && !FWasStopped; ++g) {
            NextProcess();
            EvaluateGeneration(param, evals);
            ++FGenerationsRun;
            if (IsTubesAmountEnough) {
                FindIndivalBest(g, evals, param, special);
                FindSwarmBest(evals, param, special);
            } else {
                FindIndivalBestWithLessTube(g, evals);
                FindSwarmBestWithLessTube(evals);
            }
            if (FWasStopped) {
                break;
            }
            if (FBestResults && FBestPieces.IsEmpty() && IsTubesAmountEnough &&
                CompareLostRate(FBestResults.get(), param, special)) {
                break;
            }
            if (g < FGeneration) {
                UpdateInformation(g);
            }
        }
        FWasStopped = FWasStopped || StopRequested();
        // Never worse than the seeds: the first solution, then the SVC seed nested without splits
        // (when the special parts are not set aside, which the SVC run does not know of).
        if (!FBestResults || BetterThanSeed(firstResults, firstPieces, *FBestResults, FBestPieces)) {
            FBestResults = std::make_unique<TNestResultList>(std::move(firstResults));
            FBestPieces = firstPieces;
        }
        const TCutNestParts noPieces;
        if (special.empty() && !svcResults.Empty() &&
            BetterThanSeed(svcResults, noPieces, *FBestResults, FBestPieces)) {
            FBestResults = std::make_unique<TNestResultList>(std::move(svcResults));
            FBestPieces = noPieces;
        }
    }

    // 4. The best result.
    if (FBestResults) {
        NestResults = std::move(FBestResults);
    }
    CutPartsList = std::make_unique<TCutNestParts>(FBestPieces);

    // 5. Parts set aside for one-part tubes. The tube amounts are used up on a copy, so that the
    //    caller's input stays as it was.
    if (!special.empty()) {
        TNestAlgorithmParam specialParam = param;
        if (CheckSpecialPartsNest(NestResults.get(), specialParam.AGNestTubes)) {
            TZShapeCutNest zNest(specialParam);
            TNestResultList added;
            zNest.AddSpecialNestResults(special, added, IsTubesAmountEnough);
            if (!NestResults) {
                NestResults = std::make_unique<TNestResultList>();
            }
            for (const auto& r : added) {
                NestResults->AddClone(*r);
            }
        }
    }

    // 6. The extended part array and gap table for the split pieces.
    CutPartsManager = std::make_unique<TCutPartsManager>(*param.PartsCalInfo, *CutPartsList,
                                                         param.AGNestParts, param.NestParam);
}

} // namespace tubenest
