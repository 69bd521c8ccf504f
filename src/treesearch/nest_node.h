#pragma once
// The node tree search shared by the tube-by-tube nesting methods.
//
// Each TNode stands for one stock tube being filled: the remaining amounts of every part and every
// tube entry after the tubes above it, the part references laid into its own tube and the length
// still free there. A path from the root to a node is a complete sequence of cutting patterns; the
// best finished node becomes the result list. TNestBase holds the problem, runs a depth-first
// search with an explicit stack, keeps the amounts (including the repetition of a finished pattern
// over identical tubes) and picks the best node; a method decides how one tube is filled
// (DealWithNode) and how the search is driven (GetLeastTubeResult).
//
// Ownership: the method object owns every node in one arena (TNestBase::AddNode) and frees them
// together, without recursion, so chains thousands of tubes deep are safe. Nodes link each other
// with plain non-owning pointers (FPreNode, FNextNodes); node lists and the stack never own.
//
// Part references are signed and 1-based inside node lists; tube indices inside nodes are 1-based.
// A node's FAllPartCount and FAllTubeCount hold the total in entry 0 and entry k for part or tube k.
//
// Thread-safety: a method object and its tree belong to one thread.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "host/cad_param.h"
#include "model/nest_result.h"
#include "model/nest_types.h"
#include "model/seg_place_info.h"

namespace tubenest {

class TNode;
/// A non-owning list of nodes.
using TNodeList = std::vector<TNode*>;
/// Makes a fresh node of one node class (the class reference of the tree's root).
using TNodeClass = std::unique_ptr<TNode> (*)();
/// A function of a node returning a Boolean; declared for hosts, not used by the search.
using TNodeDealFunc = bool (*)(TNode*);

/// The node class reference of T.
template <typename T>
std::unique_ptr<TNode> NodeClassOf() {
    return std::make_unique<T>();
}

class TNode {
public:
    TIntDynArray FAllPartCount;        ///< [0] copies still to nest in total, [k] of part k
    TIntDynArray FAllTubeCount;        ///< [0] stock tubes still available in total, [k] of tube entry k
    std::int32_t FCurTubeIndex = 0;    ///< 1-based tube entry this node fills; 0: none
    double FCurTubeLenghtAvl = -100.0; ///< free length of the node's tube; below -1.0: no tube opened
    TIntDynArray FCurNestResult;       ///< part references laid into the tube, left to right
    TNestBaseInfoList FCurNestInfo;    ///< placement records between adjacent parts of FCurNestResult
    std::int32_t FCurTubeCount = 0;    ///< identical tubes cut with this pattern (TryDuplicate)
    bool FIsCurTubeEnd = false;        ///< the tube holds a complete pattern
    bool FNodeEnd = false;             ///< a leaf: no node follows
    TNode* FPreNode = nullptr;         ///< parent (non-owning); null for the root
    TNodeList FNextNodes;              ///< children in creation order (non-owning)
    std::int32_t FTubeSearchStart = 0; ///< 1-based tube index the next empty tube is searched from
    bool FDontNextNode = false;        ///< no follow-on node after this node's tube
    std::int32_t FDepth = 0;           ///< the root has 0

    TNode() = default;
    virtual ~TNode() = default;
    TNode(const TNode&) = delete;
    TNode& operator=(const TNode&) = delete;

    /// A node of the same class with copies of the two amount lists, the tube index and search
    /// start, one level deeper. Not linked and without a tube opened: the caller links it.
    virtual std::unique_ptr<TNode> CreateChildNode() const;
    /// Takes Node's amounts, free length, tube count and FDontNextNode, and appends its part
    /// references and records (used on fresh nodes). Tube index, search start, depth, flags and
    /// links stay.
    void Assign(const TNode& Node);
    std::int32_t CurNestResultCount() const { return static_cast<std::int32_t>(FCurNestResult.size()); }
    /// The free length by which BetterNode ranks the node (a method may bias it).
    virtual double RankLengthAvl() const { return FCurTubeLenghtAvl; }
    /// The class name, for debugging output.
    virtual const char* ClassName() const { return "TNode"; }

protected:
    /// A fresh node of this node's class.
    virtual std::unique_ptr<TNode> NewNode() const { return std::make_unique<TNode>(); }
};

class TNestBase {
public:
    /// Copies Param, keeps both arrays (non-owning: they must outlive the object), node class TNode,
    /// no root and no gap table yet. Throws std::invalid_argument for a negative amount or totals
    /// beyond 32 bits.
    TNestBase(const TGeneralNestPartArr& AGNestParts, const TGeneralNestTubeArr& AGNestTubes,
              const TCADAutoNestParam& Param);
    virtual ~TNestBase() = default;
    TNestBase(const TNestBase&) = delete;
    TNestBase& operator=(const TNestBase&) = delete;

    // The operations a method overrides.
    virtual TNode* CreateRootNode();
    /// Re-nests the parts of one finished tube; the base changes nothing and returns false.
    virtual bool NestorOp(TNode*& Node);
    /// Re-orders one tube's part list; the base changes nothing and returns false.
    virtual bool TrySetPartPos(TIntDynArray& AOrder, std::int32_t APart, std::int32_t AIndex, double ALength,
                               double& ALengthLeft);
    /// Re-orders one tube's part list; the base changes nothing and returns false.
    virtual bool TrySetPartPosByMove(TIntDynArray& AOrder, std::int32_t APart, std::int32_t AIndex,
                                     double ALength, double& ALengthLeft);
    /// Fills the node's tube and pushes the nodes that continue the search; the base returns false.
    virtual bool DealWithNode(TNode* Node);
    /// Runs the whole search and replaces NestResult's contents by the best path's patterns.
    virtual void GetLeastTubeResult(TNestResultList& NestResult);

    /// The search from AStartNode (a new root when null): a child of it is dealt with first.
    /// Ordinary exceptions end it with false; the engine's own assertions pass through.
    bool Nest(TNode*& AStartNode);
    /// Depth-first loop from AStartNode over the stack until it is empty or a stop is requested.
    bool NestLoop(TNode* AStartNode);

    /// The best of the finished nodes of ANodes (BetterNode folded in list order); null when none.
    TNode* GetLeastTubeNode(const TNodeList& ANodes) const;
    /// Fewer copies left, then more tubes left, then less depth, then more free length; A on a tie.
    TNode* BetterNode(TNode* A, TNode* B) const;
    /// Appends one result per finished, non-empty node from ANode up to the root.
    void GetNestResultByNode(TNestResultList& ANestResults, const TNode* ANode) const;
    /// The node that continues after Node's finished tube (linked under it), or null.
    TNode* TryCreateFrom(TNode* Node);
    /// Repeats Node's finished pattern as often as amounts and tubes allow (sets FCurTubeCount).
    void TryDuplicate(TNode* Node);
    /// Opens the first tube with an amount from FTubeSearchStart, when Node has none and no parts.
    void InitTubeLens(TNode* Node) const;
    /// Returns false and changes nothing (the trace-back over the best patterns is not used).
    bool TryUseMaxTraceBack(TNode* ANode, TNode* APreBest, TNode*& AOutNode);

    /// Order of placement records (-1, 0, 1): common style 0 first, smaller ZGap, common cut, longer
    /// common cut, own direction; tolerance 1e-6. Not a strict weak order: sort with SafeStableSort.
    static int SelPartSort(const TNestBaseInfo& Left, const TNestBaseInfo& Right);
    /// Table.GetOrderInfos(OriOrder, ResultInfos).
    static void GetOrderInfos(const TSegPlaceInfoManager& Table, const TIntDynArray& OriOrder,
                              TNestBaseInfoList& ResultInfos);

    // Accessors. Only GetTubeInitialLen takes a 1-based index (a node's FCurTubeIndex).
    double GetTubeInitialLen(std::int32_t CurTubeIndex) const;
    std::int32_t GetNestTubeAmountAvail(std::int32_t TubeIdx) const;
    std::int32_t GetNestTubesCount() const { return static_cast<std::int32_t>(FGNestTubes.size()); }
    std::int32_t GetNestPartsCount() const { return static_cast<std::int32_t>(FGNestParts.size()); }
    double GetNestPartOuterLength(std::int32_t PartIdx) const;
    std::int32_t GetNestPartAmountAvail(std::int32_t PartIdx) const;

    // Properties.
    TNodeList& OrderStack() { return FOrderStack; }
    TNodeList& LeafNodes() { return FLeafNodes; }
    TNode* RootNode() const { return FRootNode; }
    const TSegPlaceInfoManager* GapTable() const { return FGapTable; }
    /// The gap manager (non-owning; must outlive the search).
    void SetGapTable(const TSegPlaceInfoManager* ATable) { FGapTable = ATable; }

    /// Takes ownership of a node; every node of the tree goes through here. Returns the node.
    TNode* AddNode(std::unique_ptr<TNode> ANode);
    /// Number of nodes owned.
    std::size_t NodeCount() const { return FNodes.size(); }

protected:
    /// Links Child under Parent (FPreNode and FNextNodes).
    static void Link(TNode* Parent, TNode* Child);
    /// The gap manager; asserts that it was set.
    const TSegPlaceInfoManager& Gaps() const;

    TCADAutoNestParam FNestParam;
    TNodeClass FNodeClass = &NodeClassOf<TNode>;
    const TSegPlaceInfoManager* FGapTable = nullptr;
    const TGeneralNestPartArr& FGNestParts;
    const TGeneralNestTubeArr& FGNestTubes;
    TNodeList FOrderStack;
    TNode* FRootNode = nullptr;
    TNodeList FLeafNodes;

private:
    std::vector<std::unique_ptr<TNode>> FNodes; ///< the arena
};

/// Writes the tree around ANode (climbing to its root, laid out level by level) as an SVG picture
/// to APath: one box per node with its depth, tube, count and parts, a line per link, ANode
/// highlighted. A debugging aid. Throws std::runtime_error naming the file when it cannot be written.
void PaintNodes(const TNode* ANode, const std::string& APath);

} // namespace tubenest
