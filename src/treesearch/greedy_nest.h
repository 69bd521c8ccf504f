#pragma once
// Greedy nesting on the node tree. A tube is filled one part at a time: the first part is the
// first part in array order that still has copies and fits; every further part is attached at the
// left or the right end of the row, taking for each end the first entry of that end part's
// neighbour list that still has copies and fits, and extending the end whose candidate ranks
// higher. A finished tube is re-ordered by the adjust tool, repeated as often as the amounts allow,
// and the next tube follows. Two passes run in one tree: the plain one and a same-part-first branch
// in which a part prefers a copy of itself as neighbour; the better chain wins.
//
// Lengths: parts are fitted by their outer length (what every used length is summed from) plus the
// gap to the neighbour; the real length only ranks candidates. A neighbour may overhang the free
// length by up to 0.01 mm; the first part of a tube must fit exactly.
//
// Thread-safety: one object per thread; the gap manager is only read.

#include <cstdint>
#include <memory>
#include <vector>

#include "treesearch/nest_node.h"

namespace tubenest {

/// One candidate neighbour of a part.
struct TGreedyBaseInfo {
    const TNestBaseInfo* Info = nullptr; ///< the pair's record in the gap manager's table (not owned)
    double CurveBoundWidth = 0.0;        ///< |difference of the facing ends' cut-offs|, to 0.0001
    double PartLength = 0.0;             ///< RealBoxLength of the neighbour (ranks only)
    std::int32_t SegID = 0;              ///< part reference of the neighbour: +k own direction, -k turned
};

/// Neighbour candidates in preference order (Sort).
class TGreedyBaseInfoList : public std::vector<TGreedyBaseInfo> {
public:
    /// The neighbour order (-1: Left is preferred): common style 0, smaller ZGap and longer common
    /// cuts when both have one; longer common cut; ZGap differing by more than 0.1; narrower end
    /// difference; longer part. Tolerance 0.0001; not a strict weak order.
    static int Compare(const TGreedyBaseInfo& Left, const TGreedyBaseInfo& Right);
    /// Stable sort by Compare (safe with its tolerances).
    void Sort();
};

/// One part as the greedy sees it.
class TMyNestPart {
public:
    double FPartOuterLength = 0.0;
    double FPartLength = 0.0; ///< also the outer length
    std::int32_t FPartCount = 0;
    TGreedyBaseInfoList FNearLeft;  ///< parts that may stand directly left of this part in its own direction
    TGreedyBaseInfoList FNearRight; ///< parts that may stand directly right of it
    double FReverseAngle = 0.0;

    TMyNestPart(double APartOuterLength, double APartLength, std::int32_t APartCount,
                TGreedyBaseInfoList ANearLeft, TGreedyBaseInfoList ANearRight, double AReverseAngle)
        : FPartOuterLength(APartOuterLength), FPartLength(APartLength), FPartCount(APartCount),
          FNearLeft(std::move(ANearLeft)), FNearRight(std::move(ANearRight)), FReverseAngle(AReverseAngle) {}
    TGreedyBaseInfoList& NearLeft() { return FNearLeft; }
    TGreedyBaseInfoList& NearRight() { return FNearRight; }
};
using TMyNestParts = std::vector<TMyNestPart>;

/// A node of the greedy tree; FSameIdFirst marks the same-part-first branch.
class TGreedyNode : public TNode {
public:
    bool FSameIdFirst = false;
    bool FRankBonus = false; ///< a finished tube of the same-part-first branch

    std::unique_ptr<TNode> CreateChildNode() const override;
    /// The free length plus 0.1 on the same-part-first branch, which wins ties within 0.1 mm.
    double RankLengthAvl() const override;
    const char* ClassName() const override { return "TGreedyNode"; }

protected:
    std::unique_ptr<TNode> NewNode() const override { return std::make_unique<TGreedyNode>(); }
};

class TGreedyNesting : public TNestBase {
public:
    /// The base's constructor, no part list yet, the pair branch on, no copied branch start.
    TGreedyNesting(const TGeneralNestPartArr& AGNestParts, const TGeneralNestTubeArr& AGNestTubes,
                   const TCADAutoNestParam& Param);

    void SetUsePairNestBranch(bool Value);
    bool UsePairNestBranch() const { return FUsePairNestBranch; }
    void SetBranchCopyValue(bool Value) { FBranchCopyValue = Value; }
    bool BranchCopyValue() const { return FBranchCopyValue; }

    /// A fresh part list (one entry per part, empty neighbour lists) filled from Table without
    /// sorting. True when the table has one row per part. NestParam is not read (the object's own
    /// copy of the parameters is).
    bool InitGreedyNestParts(const TSegPlaceInfoManager& Table, const TCADAutoNestParam& NestParam);
    /// With a table of one row per part: adds the neighbour entries of its calculated records
    /// (turned neighbours only when reversal is allowed). With ASort: sorts every neighbour list.
    void AppendMyPartlist(const TSegPlaceInfoManager* Table, bool ASort);
    /// Per part +1, or -1 when a copy of it best follows itself turned.
    void InitPairPick(const TSegPlaceInfoManager& Table);

    bool DealWithNode(TNode* Node) override;
    /// Starts the same-part-first pass beside Node (under Node's parent).
    void SelfFirstBranch(TNode* Node);
    /// Lays one more part into the node's tube; false when none fits.
    bool findAndPlaceNearest(TNode* Node);
    /// The first entry of AList that is allowed, has copies left in ANode and fits ALengthAvail
    /// (with 0.01 mm overhang); on the same-part-first branch the pair target is preferred.
    bool find(std::int32_t APart, const TGreedyBaseInfoList& AList, double ALengthAvail, double& ABoundWidth,
              double& ANeedLength, std::int32_t& AFoundID, const TGreedyBaseInfo*& AFoundInfo,
              const TNode* ANode, const std::vector<std::int32_t>* AAllowed) const;

    /// Re-nests the parts of Node's finished tube and tops the tube up with remaining parts. On
    /// success Node becomes the new node, which takes Node's place under Node's parent.
    bool NestorOp(TNode*& Node) override;
    /// Rebuilds AOrder leftwards from its last part APart (which must stand at AIndex, the last index).
    bool TrySetPartPos(TIntDynArray& AOrder, std::int32_t APart, std::int32_t AIndex, double ALength,
                       double& ALengthLeft) override;
    /// Moves (or turns) the block after AIndex to the first position where the tube still fits.
    bool TrySetPartPosByMove(TIntDynArray& AOrder, std::int32_t APart, std::int32_t AIndex, double ALength,
                             double& ALengthLeft) override;

    const TMyNestParts* MyPartList() const { return FMyPartList.get(); }
    const std::vector<std::int32_t>& PairPick() const { return FPairPick; }

private:
    const TMyNestPart* MyPart(std::int32_t APart) const;
    /// FixedGap of part reference a followed by b.
    double Gap(std::int32_t a, std::int32_t b) const { return Gaps().GetGap(a, b); }
    /// The outer length of part |ref|.
    double OuterLength(std::int32_t ref) const;
    /// Searches the neighbour list of end reference AEnd on the given side (the found reference
    /// in the row's terms).
    bool FindAtEnd(std::int32_t AEnd, bool ALeft, double ALengthAvail, double& ANeedLength,
                   std::int32_t& AFoundID, const TGreedyBaseInfo*& AFoundInfo, const TNode* ANode,
                   const std::vector<std::int32_t>* AAllowed) const;

    std::unique_ptr<TMyNestParts> FMyPartList;
    std::vector<std::int32_t> FPairPick;
    bool FBranched = false;
    std::int32_t FLeftSide = 0;
    std::int32_t FRightSide = 0;
    bool FUsePairNestBranch = true;
    bool FBranchCopyValue = false;
};

} // namespace tubenest
