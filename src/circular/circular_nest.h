#pragma once
// The circular nest and its cut-shape variants.
//
// TCircularNest lays the parts of one order into stock tubes one tube after the other. When the next
// part crosses the end of the tube it first tries to split it at a separable position (the front
// piece closes the tube, the back piece goes into a closed tube that still has room or opens the next
// tube); failing that it moves the cut back to the nearest separable position, and as a last resort
// closes the tube without the part, which then opens the next tube.
//
// Two entry points: InitialNestSolve builds a first solution without a given order (all copies of
// part 1, then of part 2, ...) and records the placement order in FNestOrder; CircularNestMain nests
// a given order (one entry per copy, references signed and 1-based). Each nest object runs once.
//
// The cut shape decides how much length a weld joint needs: TStraightCutNest (CutShape 0) is
// TCircularNest unchanged; TZShapeCutNest (1) reorders tubes that start and end with split pieces so
// that the Z-shaped ends interlock; TBevelShapeCutNest (any other value) runs the in-tube operations
// without joint length. CreateCircularNest makes the one that matches the parameter block.

#include <cstdint>
#include <memory>

#include "circular/circular_nest_base.h"

namespace tubenest {

class TCircularNest : public TCircularNestBase {
public:
    bool FCutPartRepeat = false;              ///< the last split repeated an earlier one
    std::int32_t FCutPartRepeatPartOrder = 0; ///< back piece number of that repeated split

    explicit TCircularNest(const TNestAlgorithmParam& NestAlgorithmParam)
        : TCircularNestBase(NestAlgorithmParam) {}

    /// Nests PartOrder. Throws std::invalid_argument for a reference 0 or beyond the part count and
    /// std::logic_error when the nest has already run.
    void CircularNestMain(const TIntDynArray& PartOrder) override;
    /// The first solution; CanNestPartsAmount: the copies it tries to lay (parts that no tube can take
    /// and Z-shape parts set aside for one-part tubes are not counted). std::logic_error when the nest
    /// has already run.
    void InitialNestSolve(std::int32_t& CanNestPartsAmount) override;
    bool InTubeAdjust(double ACutPos, TNestResult& ANestResult, double& ALeftLength,
                      double ATubeLength) override;
    bool ChoosePart(TNestResult& ANestResult, double& ALeftLength, std::int32_t& ARemainCount,
                    double ATubeLength) override;
    bool AddLeftMaterial(double& ACutPos, double& ALeftLength, TNestResult& ANestResult,
                         std::int32_t& APartIdx, bool& AFound, double ATubeLength) override;
    void NestLastNest(std::int32_t ARemainCount, double AUsedLength, TNestResult& ANestResult,
                      double& ALeftLength) override;
    void CheckPartsConnect() override {}
    void DealPartCrossTube(double ALeftLength, TNestResult& ANestResult, double& AUsedLength) override;
    bool DealOnlyOneLongPart(TNestResult& ANestResult, double& ALeftLength, std::int32_t APartIdx) override;

    // Steps of one tube. Part indices are 0-based.
    /// Takes the next tube (entries that keep failing for the same part stay excluded) and lays the
    /// pending back piece; false when no tube could be taken.
    /// Closes the tube without its last part p when the rest fits (p goes back to the amounts and
    /// opens the next tube); false when it does not fit.
    bool CloseWithoutLastPart(TNestResult& ANestResult, std::int32_t APartIdx, double& ALeftLength,
                              std::int32_t& ARemainCount, double ATubeLength);
    bool OpenTube(TNestResult& AResult, double ALeftLength, double& AUsedLength);
    void CutParts(std::int32_t& ARemainCount, double& ALeftLength);
    void InitialCutParts(std::int32_t& ARemainCount, double& ALeftLength);
    bool GenerateNestResult(std::int32_t& ARemainCount, double& ALeftLength, TNestResult& ANestResult,
                            std::int32_t APartIdx, double& AUsedLength);
    bool InitialGenerateNestResult(std::int32_t& ARemainCount, double& ALeftLength, TNestResult& ANestResult,
                                   std::int32_t APartIdx, double& AUsedLength);
    bool AdjustPart(double ACutPos, TNestResult& ANestResult, std::int32_t APartIdx, double& ALeftLength,
                    std::int32_t& ARemainCount, double ATubeLength);
    bool InitialAdjustPart(double ACutPos, TNestResult& ANestResult, std::int32_t APartIdx,
                           double& ALeftLength, std::int32_t& ARemainCount, double ATubeLength);
    bool StartNewNest(std::int32_t& ARemainCount, TNestResult& ANestResult, double AUsedLength,
                      double& ALeftLength, std::int32_t APartIdx, bool ARemoveFromOrder);
    bool JudgePosition(TNestResult& ANestResult, double ACutPos, std::int32_t APartIdx, double ATubeLength);
    bool DealLastNestCrossTube(TNestResult& ANestResult, std::int32_t APartIdx, double AUsedLength,
                               std::int32_t& ARemainCount);
    void DealInitialLastNest(TNestResult& ANestResult);
    /// Closes the tube with a split of part APartIdx at ACutPos and gives the piece numbers.
    void CheckDictionary(TNestResult& ANestResult, TCutPartsOrder& AOrder, double ACutPos,
                         std::int32_t APartIdx);

protected:
    /// Number for the back piece laid next (repeated split's stored number, else FNewPartOrder).
    std::int32_t TakeBackPieceNumber();
    /// How much longer the gap in front of the last part becomes when it is laid turned and is
    /// replaced by its front piece in its own direction (0 when it is not turned or the gap shrinks).
    double TurnedSplitGapIncrease(const TNestResult& ANestResult) const;
    /// Common body of the two GenerateNestResult variants.
    bool GenerateNestResultImpl(std::int32_t& ARemainCount, double& ALeftLength, TNestResult& ANestResult,
                                std::int32_t APartIdx, double& AUsedLength, bool AInitial);
    /// Runs CutParts / InitialCutParts until the order is placed or the tubes ran out.
    void RunTubes(std::int32_t& ARemainCount, double& ALeftLength, bool AInitial);
    /// Merge, connect, re-pack and final check after the tubes are filled.
    void FinishNest();
    /// Closes or returns the tube of a walk that ended without closing it.
    void CloseOpenTube(TNestResult& ANestResult, double AUsedLength);
};

class TStraightCutNest : public TCircularNest {
public:
    using TCircularNest::TCircularNest;
};

class TZShapeCutNest : public TCircularNest {
public:
    using TCircularNest::TCircularNest;
    /// Moves the last entry to the front of every result that starts and ends with a split piece.
    void CheckPartsConnect() override;
};

class TBevelShapeCutNest : public TCircularNest {
public:
    using TCircularNest::TCircularNest;

    bool InTubeAdjust(double ACutPos, TNestResult& ANestResult, double& ALeftLength,
                      double ATubeLength) override;
    bool ChoosePart(TNestResult& ANestResult, double& ALeftLength, std::int32_t& ARemainCount,
                    double ATubeLength) override;
    bool AddLeftMaterial(double& ACutPos, double& ALeftLength, TNestResult& ANestResult,
                         std::int32_t& APartIdx, bool& AFound, double ATubeLength) override;
    void NestLastNest(std::int32_t ARemainCount, double AUsedLength, TNestResult& ANestResult,
                      double& ALeftLength) override;
    void DealPartCrossTube(double ALeftLength, TNestResult& ANestResult, double& AUsedLength) override;
    bool DealOnlyOneLongPart(TNestResult& ANestResult, double& ALeftLength, std::int32_t APartIdx) override;
};

/// The nest for the parameter block's CutShape: 0 straight, 1 Z-shape, any other value bevel.
std::unique_ptr<TCircularNest> CreateCircularNest(const TNestAlgorithmParam& NestAlgorithmParam);

} // namespace tubenest
