#pragma once
// Knapsack pricing of the tube problem: the tube layout whose parts are worth most at the current
// prices, and the greedy start solutions.
//
// Lengths are the parts' real outer lengths throughout; gaps are added once, where parts meet.
// The dynamic programme (TKPSolver) counts a run of k copies of one part with the real gaps inside
// the run (the cheapest of the run layouts the gap manager allows) and one largest gap per run for
// the joint to the next run, in whole millimetres: weights are rounded up and the tube (plus that
// one gap) down, so every layout it returns fits. Where every gap is the same and the lengths are
// whole millimetres this is exactly "fits the tube", and the programme is exact pricing: no layout
// is worth more than the one it returns. Every layout is checked again at its real length, laid in
// the order that the gap manager's shortest-length chain gives.
//
// TTrapezodKPSolver hands the layout to the SVC backpack, which lays parts with the gaps of each
// orientation; it prices where gaps differ by orientation and adds further columns everywhere.
//
// Part references in every pattern are global (part index + 1), see tube_problem.h.
//
// Threads: the pricing runs on the search thread (single-result pricing, greedy starts) and on
// one worker thread per tube problem (multi-result pricing). Calls keep their work buffers local,
// except the backpacks, of which each thread has its own slot (the search thread's and one per
// worker number).

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "bcp/tube_problem.h"
#include "host/cad_param.h"
#include "host/knapsack_solver.h"
#include "model/nest_types.h"
#include "model/seg_place_info.h"

namespace tubenest {

class TBackpack;

/// What the pricing solvers share: all parts of the engine and the gap manager.
class TSolver {
public:
    /// ASegInfo (not owned) must outlive the solver and have its run patterns derived
    /// (InitializePartGaps); std::invalid_argument otherwise. AParts hold the real lengths.
    TSolver(const TSegPlaceInfoManager& ASegInfo, const TBCPNestParts& AParts, bool ACanReverse);
    virtual ~TSolver() = default;
    TSolver(const TSolver&) = delete;
    TSolver& operator=(const TSolver&) = delete;

    const TBCPNestParts& Parts() const { return FParts; }
    const TSegPlaceInfoManager& SegInfo() const { return *FSegInfo; }

    /// The laid length of an order of global references (outer lengths plus gaps).
    double LaidLength(const TIntDynArray& AOrder) const;
    /// The pattern of an order over the sub-problem's parts: usage from the real laid length,
    /// column at the main rows of ADict. Null when the order does not fit the tube, is empty or
    /// names a part that is no row.
    std::unique_ptr<TNestPattern> PatternFromOrder(const TIntDynArray& AOrder, const TBCPNestParts& AParts,
                                                   const TBCPNestTube& ATube,
                                                   const std::vector<std::int32_t>& ADict) const;
    /// The engine's parts by global index with their real lengths (for the gap manager).
    const TGeneralNestPartArr& GeneralParts() const { return FGeneralParts; }

protected:
    TBCPNestParts FParts;
    const TSegPlaceInfoManager* FSegInfo; ///< not owned
    TGeneralNestPartArr FGeneralParts;    ///< FOuterlength per global index
    std::vector<double> FLengths;         ///< the same lengths, for CalcMinLen
    bool FCanReverse = true;
};

/// Dynamic-programming pricing over run lengths, and the knapsack greedy start.
class TKPSolver final : public TSolver {
public:
    /// Largest dynamic programme (stages × capacity cells) run at one-millimetre resolution; a
    /// larger one runs in coarser units (still sound, no longer exact).
    static constexpr std::int64_t kMaxCells = std::int64_t{1} << 25;
    /// Parts this short or shorter stay out of the pricing (they do not make a tube worth more).
    static constexpr double kMinPricedLength = 1.0;

    TKPSolver(const TSegPlaceInfoManager& ASegInfos, const TBCPNestParts& AParts, const TBCPNestTubes& ATubes,
              bool ACanReverse = true);

    /// Extends the run table to tubes of MaxTubeLen (nothing when it covers them already).
    void UpdateKPTable(const TBCPNestParts& AParts, double MaxTubeLen);
    /// Single-result pricing: the most valuable layout of the sub-problem's parts (ADict: main row
    /// per part). ASucc is true when a non-empty layout was found; ACostValue is its value.
    std::unique_ptr<TNestPattern> SolveOnePattern(const TBCPNestParts& AParts, const TBCPNestTube& ATube,
                                                  const std::vector<std::int32_t>& ADict, bool& Succ,
                                                  double& ACostValue) const;
    /// The pattern for given counts (one per part of AParts); null when it does not fit.
    std::unique_ptr<TNestPattern> TryGetPattern(const TBCPNestParts& AParts, const TBCPNestTube& ATube,
                                                const std::vector<std::int32_t>& ADict,
                                                const std::vector<std::int32_t>& ACounts) const;
    /// Orders the chosen parts (ACounts per part index of AIdxs): the gap manager's chain of
    /// distinct parts, each expanded into its run. Fills AOrder; returns the laid length.
    double CalcOrder(const std::vector<std::int32_t>& ACounts, const std::vector<std::int32_t>& AIdxs,
                     TIntDynArray& AOrder) const;
    /// Greedy start: tube after tube filled as full as possible by the exact knapsack.
    std::unique_ptr<TBCPSolution<TNestPattern>> GreedyNestWithoutOrder(const TTubeProblem& AProblem,
                                                                       bool& Succ) const;

    /// Whether SolveOnePattern is exact for these parts and tube: equal gaps everywhere, lengths
    /// and tube in whole millimetres, no part left out as too short, the table within kMaxCells.
    bool IsExact(const TBCPNestParts& AParts, const TBCPNestTube& ATube) const;
    /// Length of a run of k copies of part AIdx (0 for k = 0); the table must cover it.
    double RunLength(std::int32_t AIdx, std::int32_t k) const;
    /// Run layouts: copies of part AIdx as laid in a run of k.
    void AppendRun(std::int32_t AIdx, std::int32_t k, TIntDynArray& AOrder) const;
    const TCGGapInfoTable& GapInfoTable() const { return FGapInfoTable; }

private:
    /// Largest gap where two runs meet (the joint every run is charged).
    double JointGap() const;
    /// Which of the four run layouts is cheapest for k copies of part AIdx.
    std::int32_t RunFamily(std::int32_t AIdx, std::int32_t k, double& AGaps) const;

    TCGGapInfoTable FGapInfoTable;
    double FMaxTubeLen = 0.0;
    TDoubleDynMatrix FKPLengthTable; ///< row Idx: entry k = length of a run of k copies
};

/// Pricing and greedy start through the SVC backpack.
class TTrapezodKPSolver final : public TSolver {
public:
    /// AExactSolver (not owned, may be null) is run first in the multi-result pricing where its
    /// pricing is exact, so that "no column found" proves the node's bound.
    TTrapezodKPSolver(const TSegPlaceInfoManager& ASegInfos, const TBCPNestParts& AParts,
                      const TCADAutoNestParam& NestParam, const TKPSolver* AExactSolver = nullptr);
    ~TTrapezodKPSolver() override;

    /// One layout by the backpack; AThread: -1 the search thread, else the worker number.
    std::unique_ptr<TNestPattern> SolveOnePatternTrapezoid(const TBCPNestParts& AParts,
                                                           const TBCPNestTube& ATube,
                                                           const std::vector<std::int32_t>& ADict, bool& Succ,
                                                           double& ACostValue, std::int32_t AThread = -1);
    /// Multi-result pricing: appends to Sols the layouts worth more than CostValueBound; true when
    /// it found any.
    bool SolveMultiOnePatternTrapezoid(const TBCPNestParts& AParts, const TBCPNestTube& ATube,
                                       const std::vector<std::int32_t>& ADict, double CostValueBound,
                                       std::vector<std::unique_ptr<TNestPattern>>& Sols,
                                       std::int32_t AThread = 0);
    /// Greedy start: the backpack's SVC nesting of the problem's parts into tubes of its length.
    std::unique_ptr<TBCPSolution<TNestPattern>> GreedyNestWithSingleLength(const TTubeProblem& AProblem,
                                                                           bool& Succ);
    /// The pattern of a backpack result; null when it does not fit or names no row.
    std::unique_ptr<TNestPattern> TryGetPatternTrapezoid(const TBCPNestParts& AParts,
                                                         const TBCPNestTube& ATube,
                                                         const std::vector<std::int32_t>& ADict,
                                                         const TNestResult& AResult) const;

    std::int32_t NestTime() const { return FNestTime.load(); }
    bool MultiNest() const { return FMultiNest.load(); }

private:
    TBackpack& Backpack(std::int32_t AThread);

    TCADAutoNestParam FNestParam;
    std::atomic<std::int32_t> FNestTime{0};
    std::atomic<bool> FMultiNest{true};
    const TKPSolver* FExactSolver;                      ///< not owned
    std::mutex FBackpackLock;                           ///< guards the slot vector, not the backpacks
    std::vector<std::unique_ptr<TBackpack>> FBackpacks; ///< slot 0 search thread, 1 + n worker n
};

/// Sum of Value over the references of an order (the parts' prices by global index).
double OrderValue(const TIntDynArray& AOrder, const TBCPNestParts& AParts);

} // namespace tubenest
