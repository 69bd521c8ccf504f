#pragma once
// Packed nesting on the node tree. Each tube node is filled by a bounded knapsack over the parts
// still to nest, on lengths in hundredths of a millimetre, and the filling is then measured with
// the real gaps of the gap manager. Before a tube is filled a branch may start it with one long part
// (longer than a third of the free length) and explore that start as a sibling node. The search is
// repeated with a trace-back: the best finished tube that began with a long part is moved directly
// under the start node and the search runs again from there, as long as the best leaf improves.
//
// The knapsack knows no gaps. A filling that the real gaps make overflow keeps its longest prefix
// that fits, so a tight filling never costs the whole tube.
//
// Limits: at most 500 nodes are dealt with per method object; every further node ends its line
// after its own tube, and the copies left over are nested by the amount adjustment of the wrapper.
//
// Thread-safety: one object per thread; the gap manager is only read.

#include <cstdint>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "host/knapsack_solver.h"
#include "treesearch/nest_node.h"

namespace tubenest {

/// A node of the packed tree.
class TPackNode : public TNode {
public:
    std::int32_t FPlaceLongestTimes = 1; ///< how many more long-first siblings this line may branch
    bool FNeedPlace = false;             ///< the node must itself take a long part first
    bool FPlacedLong = false;            ///< the tube was started with a long part
    std::string FLabel;                  ///< "...." once a long part is placed; never read

    bool PlacedLong() const { return FPlacedLong; }
    /// The base's child with FPlaceLongestTimes and FNeedPlace copied (not FPlacedLong).
    std::unique_ptr<TNode> CreateChildNode() const override;
    const char* ClassName() const override { return "TPackNode"; }

protected:
    std::unique_ptr<TNode> NewNode() const override { return std::make_unique<TPackNode>(); }
};

/// The branch function: places a long part first, returns the node that received it or null.
using TPackNestLongest = std::function<TNode*(TNode*)>;

class TPackedNest : public TNestBase {
public:
    /// Value of a filling that does not fit (or is empty).
    static constexpr double kNoFilling = -99999.0;
    /// Nodes dealt with by one object before every further node ends its line after its tube.
    static constexpr std::int32_t kNodeLimit = 500;

    /// The base's constructor, node class TPackNode, the branch function PlaceLongestFirstBrach.
    TPackedNest(const TGeneralNestPartArr& AGNestParts, const TGeneralNestTubeArr& AGNestTubes,
                const TCADAutoNestParam& Param);
    // The arrays are kept by reference: temporaries are refused.
    TPackedNest(TGeneralNestPartArr&&, const TGeneralNestTubeArr&, const TCADAutoNestParam&) = delete;
    TPackedNest(const TGeneralNestPartArr&, TGeneralNestTubeArr&&, const TCADAutoNestParam&) = delete;

    /// Sets the gap manager (non-owning; must outlive the search).
    void PreProcess(const TSegPlaceInfoManager& Table) { SetGapTable(&Table); }
    /// x x 100 rounded down, held to the 32-bit range.
    static std::int32_t ValueScale(double x);

    /// Opens the tube, branches a long part first, fills the tube by the knapsack, improves the order,
    /// repeats the pattern and pushes the follow-on node.
    bool DealWithNode(TNode* Node) override;
    /// The search with the long-first trace-back; fills NestResult with the best path's patterns.
    void GetLeastTubeResult(TNestResultList& NestResult) override;

    /// On an empty tube with at least two parts left, puts the longest part longer than a third of
    /// the free length (and shorter than it) first: into a new sibling of Node (same tube state as
    /// Node) while the line may still branch and fewer than 4 leaves exist, else into Node itself
    /// when it must. Returns the node that took it, or null.
    TNode* PlaceLongestFirstBrach(TNode* Node);
    /// The knapsack filling of Node's free length: Order := Node's parts followed by the chosen copies,
    /// Infos := their records. Returns the used length, or kNoFilling. AFlag has no effect.
    double TryCalAsSingle(TNestBaseInfoList& Infos, TIntDynArray& Order, TNode* Node, bool AFlag);
    /// Returns -1.0 and changes nothing.
    double TryCalAsGroup(TNestBaseInfoList& Infos, TIntDynArray& Order, TNode* Node);
    /// The length of Order laid with the real gaps (from index AStart on, counting from 0, when
    /// AStart >= 1), with the records in Infos; kNoFilling when Order is empty or a part would reach
    /// ATubeLen + 1e-5.
    double CheckResult(TNestBaseInfoList& Infos, const TIntDynArray& Order, double ATubeLen,
                       std::int32_t AStart) const;
    /// A copy of the nearest long-first finished tube above ALeaf (below AStartNode), as a finished
    /// node directly under AStartNode; null when there is none.
    TNode* MoveLongestToRoot(TNode* ALeaf, TNode* AStartNode);
    /// One trace-back step: ABestNode := the best leaf; when it improves on APreBest (or, without
    /// one, lies deeper than one tube under AStartNode) its long-first tube moves under AStartNode,
    /// which then becomes that node. True when the step was taken.
    bool TryLongestTraceBack(const TNodeList& ALeaves, TNode* APreBest, TNode*& AStartNode,
                             TNode*& ABestNode);

    /// Nodes dealt with so far.
    std::int32_t NestId() const { return FNestId; }
    const std::vector<std::int32_t>& Weights() const { return FWeights; }

private:
    double OuterLength(std::int32_t ARef) const { return GetNestPartOuterLength(std::abs(ARef) - 1); }
    /// How many parts of Order, from its start, fit ATubeLen; their length and records.
    std::size_t FittingPrefix(const TIntDynArray& Order, double ATubeLen, double& ALength,
                              TNestBaseInfoList* AInfos) const;
    /// Lays the filling into Node: parts, records, amounts and free length; then improves the order.
    void ApplyFilling(TNode* Node, const TIntDynArray& AOrder, const TNestBaseInfoList& AInfos);

    std::vector<std::int32_t> FWeights;
    std::vector<std::int32_t> FValue;
    std::vector<std::int32_t> FNmax;
    TKnapsackSolver FSolver;
    TPackNestLongest FBranchFunc;
    std::int32_t FNestId = 0;
};

} // namespace tubenest
