#pragma once
// TPaticleSwarm: the entry point of circular nesting.
//
// A particle is a part order with one entry per part copy. Every generation each particle's order
// is nested by a fresh cut-shape nest (TCircularNest and its variants); the swarm keeps each
// particle's best result and the best result of all, moves the orders towards both with a discrete
// particle-swarm rule, and repairs them so that each part keeps its multiplicity. While the best
// result wastes more than TargetLostRate, results are ranked by tubes; once it meets the target, by
// the number of welds (split pieces). The run stops after FGeneration generations, as soon as the
// best result meets the target without splits, or promptly after a stop request (checked before the
// generations and between particles) with the best result found so far.
//
// Randomness: one generator per run, seeded once (settable for repeatable runs). Draws happen in a
// fixed order on the calling thread, so the same seed gives the same result whatever the number of
// worker threads.
//
// Threads: AlgorithmNest runs on the caller's thread. With SetThreads(n > 1) the particles of a
// generation are nested on n worker threads (each nest object is independent and only reads the
// shared inputs); the bests are updated in particle order afterwards on the calling thread.

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "circular/circular_nest.h"
#include "circular/circular_nest_base.h"
#include "circular/cut_parts_manager.h"
#include "model/nest_result.h"
#include "model/nest_types.h"
#include "model/random.h"

namespace tubenest {

struct TPaticle {
    TIntDynArray XPosition;       ///< the part order: one part reference per copy
    std::vector<double> Velocity; ///< one velocity per entry of XPosition
};

class TPaticleSwarm {
public:
    std::int32_t FSwarmSize = 0;
    std::int32_t FGeneration = 0;
    std::int32_t FInputPartsNum = 0;  ///< copies the first solution could nest
    std::int32_t FTheoryTubesNum = 0; ///< tubes needed by length alone
    TPaticle FSwarmBest;              ///< order of the best result of all (empty until one is chosen)
    std::vector<TPaticle> FIndivalBest;
    std::vector<TPaticle> FPaticles;
    TIntDynArray FClassAmount; ///< how often each part occurs in an order

    /// Sizes the swarm from the theoretical tube count times AdjustFactor, clamped to 30..100.
    TPaticleSwarm(const TGeneralNestPartArr& AGNestParts, const TGeneralNestTubeArr& AGNestTubes,
                  std::int32_t AdjustFactor, std::uint64_t ASeed = TRandomGenerator::FreshSeed());
    TPaticleSwarm(const TPaticleSwarm&) = delete;
    TPaticleSwarm& operator=(const TPaticleSwarm&) = delete;

    /// Runs the circular nesting. The caller owns the three returned objects. NestResults and
    /// CutPartsManager stay empty when the run was stopped before the generations or nothing could
    /// be nested; CutPartsList is always set.
    void AlgorithmNest(const TNestAlgorithmParam& NestAlgorithmParam, bool& IsTubesAmountEnough,
                       std::unique_ptr<TNestResultList>& NestResults,
                       std::unique_ptr<TCutNestParts>& CutPartsList,
                       std::unique_ptr<TCutPartsManager>& CutPartsManager);

    /// Worker threads for nesting the particles of a generation (1: on the calling thread).
    void SetThreads(int AThreads) { FThreads = AThreads < 1 ? 1 : AThreads; }
    int Threads() const { return FThreads; }
    std::uint64_t Seed() const { return FRandom.Seed(); }
    /// Generations actually run by the last AlgorithmNest.
    std::int32_t GenerationsRun() const { return FGenerationsRun; }
    /// True when the last AlgorithmNest ended early because of a stop request.
    bool WasStopped() const { return FWasStopped; }

    // Steps of the run, public for tests.
    static std::unique_ptr<TCircularNest> CircularNestMethod(const TNestAlgorithmParam& NestAlgorithmParam);
    void InitialSwarmOrder(const TIntDynArray& AFirstOrder, const TIntDynArray* ASecondOrder);
    void UpdateInformation(std::int32_t AGeneration);
    void LegitimatePaticle(TPaticle& APaticle) const;
    bool CheckNestParts(const TNestResultList& ANestResults, const TCutNestParts& ACutParts) const;
    bool CompareLostRate(const TNestResultList* ANestResults, const TNestAlgorithmParam& AParam,
                         const TIntDynArray& ASpecialParts) const;
    std::optional<TIntDynArray> GenerateOtherNestResults(const TNestAlgorithmParam& AParam) const;
    static bool CheckSpecialPartsNest(const TNestResultList* ANestResults, TGeneralNestTubeArr& ATubes);

    /// The figures of a result list that the rankings compare.
    struct TBestSummary {
        bool Set = false;
        std::int32_t Tubes = 0;
        std::int32_t Welds = 0;       ///< split pairs
        std::int32_t PartEntries = 0; ///< order entries x tube counts
        double LastLength = 0.0;      ///< FLengthUsed of the last result
        double LengthSum = 0.0;       ///< FLengthUsed summed over the results
        bool MeetsTarget = false;     ///< CompareLostRate held when it was taken
    };
    static TBestSummary Summarize(const TNestResultList& AResults, const TCutNestParts& APieces,
                                  bool AMeetsTarget);

private:
    struct Evaluation {
        std::unique_ptr<TNestResultList> results; ///< null when the particle was not nested (stop)
        TCutNestParts pieces;
    };

    void EvaluateGeneration(const TNestAlgorithmParam& AParam, std::vector<Evaluation>& AOut);
    void FindIndivalBest(std::int32_t AGeneration, const std::vector<Evaluation>& AEvals,
                         const TNestAlgorithmParam& AParam, const TIntDynArray& ASpecial);
    void FindIndivalBestWithLessTube(std::int32_t AGeneration, const std::vector<Evaluation>& AEvals);
    void FindSwarmBest(const std::vector<Evaluation>& AEvals, const TNestAlgorithmParam& AParam,
                       const TIntDynArray& ASpecial);
    void FindSwarmBestWithLessTube(const std::vector<Evaluation>& AEvals);
    void SaveOnTubes(const std::vector<Evaluation>& AEvals, const TNestAlgorithmParam& AParam,
                     const TIntDynArray& ASpecial);
    void ReduceWeldNum(const std::vector<Evaluation>& AEvals, const TNestAlgorithmParam& AParam,
                       const TIntDynArray& ASpecial);
    void MaximizeNestlength(const std::vector<Evaluation>& AEvals);
    /// The SVC seed: its results into ASvcResults and their order, or none (several tube entries,
    /// a part longer than the tube, a table over the SVC limit, a stop while it ran).
    std::optional<TIntDynArray> MakeSvcSeed(const TNestAlgorithmParam& AParam,
                                            TNestResultList& ASvcResults) const;
    void AdoptSwarmBest(std::size_t AIndex, const Evaluation& AEval);
    void RandomVelocities(TPaticle& APaticle, std::int32_t AVmax);

    std::int32_t PartCount() const { return static_cast<std::int32_t>(FClassAmount.size()); }

    TGeneralNestPartArr FParts;
    TGeneralNestTubeArr FTubes;
    TRandomGenerator FRandom;
    int FThreads = 1;
    std::int32_t FGenerationsRun = 0;
    bool FWasStopped = false;
    /// What the comparisons read of each personal best (a whole copy of every particle's best
    /// result list cost gigabytes on large jobs).
    std::vector<TBestSummary> FIndivalBestSummary;
    std::unique_ptr<TNestResultList> FBestResults;
    TCutNestParts FBestPieces;
};

} // namespace tubenest
