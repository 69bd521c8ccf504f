#include "treesearch/packed_nest.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "model/assertion.h"
#include "model/nest_progress.h"
#include "ordersearch/nest_adjust_tool.h"

namespace tubenest {
namespace {

constexpr const char* kModule = "UPackedNest";
constexpr double kOverflow = 1e-5; // a part may not reach the tube length plus this

} // namespace

// ---------------------------------------------------------------------------------------------
// TPackNode

std::unique_ptr<TNode> TPackNode::CreateChildNode() const {
    std::unique_ptr<TNode> child = TNode::CreateChildNode();
    auto& node = static_cast<TPackNode&>(*child);
    node.FPlaceLongestTimes = FPlaceLongestTimes;
    node.FNeedPlace = FNeedPlace;
    return child;
}

// ---------------------------------------------------------------------------------------------
// TPackedNest

TPackedNest::TPackedNest(const TGeneralNestPartArr& AGNestParts, const TGeneralNestTubeArr& AGNestTubes,
                         const TCADAutoNestParam& Param)
    : TNestBase(AGNestParts, AGNestTubes, Param) {
    FNodeClass = &NodeClassOf<TPackNode>;
    FBranchFunc = [this](TNode* Node) { return PlaceLongestFirstBrach(Node); };
}

std::int32_t TPackedNest::ValueScale(double x) {
    const double scaled = std::floor(x * 100.0);
    if (!(scaled > static_cast<double>(std::numeric_limits<std::int32_t>::min()))) {
        return std::numeric_limits<std::int32_t>::min();
    }
    if (scaled >= static_cast<double>(std::numeric_limits<std::int32_t>::max())) {
        return std::numeric_limits<std::int32_t>::max();
    }
    return static_cast<std::int32_t>(scaled);
}

std::size_t TPackedNest::FittingPrefix(const TIntDynArray& Order, double ATubeLen, double& ALength,
                                       TNestBaseInfoList* AInfos) const {
    ALength = 0.0;
    if (AInfos != nullptr) {
        AInfos->clear();
    }
    if (Order.empty()) {
        return 0;
    }
    // The first part is checked too: hundredths rounded down may let a part in that is longer than
    // the free length by less than 0.01 mm.
    const double first = OuterLength(Order.front());
    if (!(first < ATubeLen + kOverflow)) {
        return 0;
    }
    ALength = first;
    std::size_t k = 1;
    for (; k < Order.size(); ++k) {
        const TNestBaseInfo record = Gaps().GetA1B1Info(Order[k - 1], Order[k]);
        const double next = ALength + record.FixedGap + OuterLength(Order[k]);
        if (!(next < ATubeLen + kOverflow)) {
            break;
        }
        ALength = next;
        if (AInfos != nullptr) {
            AInfos->push_back(record);
        }
    }
    return k;
}

double TPackedNest::CheckResult(TNestBaseInfoList& Infos, const TIntDynArray& Order, double ATubeLen,
                                std::int32_t AStart) const {
    if (Order.empty()) {
        return kNoFilling;
    }
    if (AStart < 1) {
        double length = 0.0;
        const std::size_t fit = FittingPrefix(Order, ATubeLen, length, &Infos);
        return fit == Order.size() ? length : kNoFilling;
    }
    // From a start index on: the length the parts from there add to what stands before them.
    Infos.clear();
    double length = 0.0;
    for (auto k = static_cast<std::size_t>(AStart); k < Order.size(); ++k) {
        const TNestBaseInfo record = Gaps().GetA1B1Info(Order[k - 1], Order[k]);
        const double next = length + record.FixedGap + OuterLength(Order[k]);
        if (!(next < ATubeLen + kOverflow)) {
            return kNoFilling;
        }
        length = next;
        Infos.push_back(record);
    }
    return length;
}

double TPackedNest::TryCalAsSingle(TNestBaseInfoList& Infos, TIntDynArray& Order, TNode* Node,
                                   bool /*AFlag*/) {
    if (Node->FCurTubeLenghtAvl < 0.0) {
        return kNoFilling;
    }
    FWeights.clear();
    FValue.clear();
    FNmax.clear();
    Order.clear();
    std::vector<std::int32_t> items;
    for (std::size_t k = 1; k < Node->FAllPartCount.size(); ++k) {
        if (Node->FAllPartCount[k] > 0) {
            const auto part = static_cast<std::int32_t>(k);
            items.push_back(part);
            FNmax.push_back(Node->FAllPartCount[k]);
            const std::int32_t size = ValueScale(OuterLength(part));
            FWeights.push_back(size);
            FValue.push_back(size);
        }
    }
    std::vector<std::int32_t> counts;
    FSolver.SolveMultiKnapsack(FWeights, FValue, FNmax, ValueScale(Node->FCurTubeLenghtAvl), counts);
    Order = Node->FCurNestResult;
    for (std::size_t i = 0; i < items.size() && i < counts.size(); ++i) {
        Order.insert(Order.end(), static_cast<std::size_t>(std::max(0, counts[i])), items[i]);
    }
    const double tubeLength = GetTubeInitialLen(Node->FCurTubeIndex);
    double used = 0.0;
    const std::size_t fit = FittingPrefix(Order, tubeLength, used, &Infos);
    if (fit == Order.size()) {
        return used;
    }
    // The knapsack knows no gaps, so a tight filling can overflow with the real ones: keep the
    // longest prefix that fits (the parts already in the tube always do) rather than nothing.
    if (fit == 0 || fit < Node->FCurNestResult.size()) {
        Order.clear();
        Infos.clear();
        return kNoFilling;
    }
    Order.resize(fit);
    return used;
}

double TPackedNest::TryCalAsGroup(TNestBaseInfoList& /*Infos*/, TIntDynArray& /*Order*/, TNode* /*Node*/) {
    return -1.0;
}

TNode* TPackedNest::PlaceLongestFirstBrach(TNode* Node) {
    auto* node = dynamic_cast<TPackNode*>(Node);
    if (node == nullptr) {
        return nullptr;
    }
    const bool first = node->FPreNode != nullptr && node->FPreNode == FRootNode;
    if (!node->FNeedPlace && !first && node->FPlaceLongestTimes < 0) {
        return nullptr;
    }
    if (!node->FCurNestResult.empty() || GetNestPartsCount() < 2 || node->FAllPartCount[0] < 2) {
        return nullptr;
    }
    const auto withCopies = std::count_if(node->FAllPartCount.begin() + 1, node->FAllPartCount.end(),
                                          [](std::int32_t a) { return a > 0; });
    if (withCopies < 2) {
        return nullptr;
    }
    const double freeLength = node->FCurTubeLenghtAvl;
    std::int32_t longPart = 0;
    double longest = 0.0;
    for (std::size_t k = 1; k < node->FAllPartCount.size(); ++k) {
        const auto part = static_cast<std::int32_t>(k);
        const double length = OuterLength(part);
        if (node->FAllPartCount[k] > 0 && length > freeLength / 3.0 && length < freeLength &&
            length > longest) {
            longPart = part;
            longest = length;
        }
    }
    if (longPart == 0) {
        return nullptr;
    }

    TPackNode* target = nullptr;
    if ((node->FPlaceLongestTimes >= 1 || first) && FLeafNodes.size() < 4 && node->FPreNode != nullptr) {
        // The sibling is the same tube as Node (its amounts, tube entry and free length), so the long
        // part that was chosen for Node's free length fits it too.
        std::unique_ptr<TNode> created = node->CreateChildNode();
        auto* sibling = static_cast<TPackNode*>(AddNode(std::move(created)));
        sibling->FDepth = node->FDepth;
        sibling->FCurTubeLenghtAvl = node->FCurTubeLenghtAvl;
        sibling->FPlaceLongestTimes = node->FPlaceLongestTimes - 1;
        Link(node->FPreNode, sibling);
        FOrderStack.push_back(sibling);
        target = sibling;
    } else if (node->FNeedPlace) {
        target = node;
    } else {
        return nullptr;
    }
    TUBENEST_ASSERT(longest < target->FCurTubeLenghtAvl, kModule, "a long part that does not fit its tube");
    target->FCurNestResult.push_back(longPart);
    target->FAllPartCount[0] = node->FAllPartCount[0] - 1;
    target->FAllPartCount[static_cast<std::size_t>(longPart)] =
        node->FAllPartCount[static_cast<std::size_t>(longPart)] - 1;
    target->FCurTubeLenghtAvl -= longest;
    target->FPlacedLong = true;
    if (first) {
        target->FNeedPlace = true;
    }
    target->FLabel = "....";
    return target;
}

void TPackedNest::ApplyFilling(TNode* Node, const TIntDynArray& AOrder, const TNestBaseInfoList& AInfos) {
    // The parts already in the tube left the amounts when they were laid; the new ones leave now.
    for (std::size_t k = Node->FCurNestResult.size(); k < AOrder.size(); ++k) {
        const auto part = static_cast<std::size_t>(std::abs(AOrder[k]));
        TUBENEST_ASSERT(Node->FAllPartCount[part] > 0, kModule,
                        "the filling lays more copies of part " + std::to_string(part) + " than remain");
        Node->FAllPartCount[part] -= 1;
        Node->FAllPartCount[0] -= 1;
    }
    Node->FCurNestResult = AOrder;
    Node->FCurNestInfo = AInfos;
    const double tubeLength = GetTubeInitialLen(Node->FCurTubeIndex);
    double used = 0.0;
    FittingPrefix(Node->FCurNestResult, tubeLength, used, nullptr);
    double lengthLeft = tubeLength - used;
    if (TNestAdjustTool::TryOptimizePartPos(Node->FCurNestResult, Gaps(), tubeLength, lengthLeft,
                                            FNestParam.DisableReverse())) {
        GetOrderInfos(Gaps(), Node->FCurNestResult, Node->FCurNestInfo);
        // The free length follows the final order itself, not the sum of the savings.
        used = OuterLength(Node->FCurNestResult.front());
        for (std::size_t k = 1; k < Node->FCurNestResult.size(); ++k) {
            used += Node->FCurNestInfo[k - 1].FixedGap + OuterLength(Node->FCurNestResult[k]);
        }
    }
    Node->FCurTubeLenghtAvl = tubeLength - used;
}

bool TPackedNest::DealWithNode(TNode* Node) {
    ++FNestId;
    InitTubeLens(Node);
    if (Node->FCurTubeLenghtAvl < 0.0) {
        return false; // no tube left
    }
    if (FBranchFunc) {
        FBranchFunc(Node);
    }
    // The knapsack is deterministic, so the filling that the co-edge flags ask for first and the
    // second one are the same; one filling stands for both (a repeat is never strictly better).
    double bestValue = -1.0;
    TIntDynArray bestOrder;
    TNestBaseInfoList bestInfos;
    TIntDynArray order;
    TNestBaseInfoList infos;
    double value = TryCalAsSingle(infos, order, Node, true);
    if (value > bestValue) {
        bestValue = value;
        bestOrder = order;
        bestInfos = infos;
    }
    value = TryCalAsGroup(infos, order, Node);
    if (value > bestValue) {
        bestValue = value;
        bestOrder = order;
        bestInfos = infos;
    }
    if (bestValue > 0.0) {
        ApplyFilling(Node, bestOrder, bestInfos);
    }
    TryDuplicate(Node);
    Node->FIsCurTubeEnd = true;
    TNode* next = FNestId > kNodeLimit ? nullptr : TryCreateFrom(Node);
    if (next == nullptr) {
        Node->FNodeEnd = true;
    } else {
        FOrderStack.push_back(next);
    }
    return true;
}

TNode* TPackedNest::MoveLongestToRoot(TNode* ALeaf, TNode* AStartNode) {
    const TPackNode* found = nullptr;
    for (TNode* node = ALeaf; node != nullptr && node != AStartNode; node = node->FPreNode) {
        const auto* pack = dynamic_cast<const TPackNode*>(node);
        if (pack != nullptr && pack->FPlacedLong && pack->FIsCurTubeEnd) {
            found = pack;
            break;
        }
    }
    if (found == nullptr || AStartNode == nullptr || found->FCurNestResult.empty()) {
        return nullptr;
    }
    auto moved = std::make_unique<TPackNode>();
    moved->FAllPartCount = AStartNode->FAllPartCount;
    moved->FAllTubeCount = AStartNode->FAllTubeCount;
    moved->FCurNestResult = found->FCurNestResult;
    moved->FCurNestInfo = found->FCurNestInfo;
    moved->FCurTubeIndex = found->FCurTubeIndex;
    moved->FCurTubeCount = found->FCurTubeCount;
    moved->FCurTubeLenghtAvl = found->FCurTubeLenghtAvl;
    moved->FTubeSearchStart = AStartNode->FTubeSearchStart;
    moved->FPlacedLong = true;
    moved->FIsCurTubeEnd = true;
    moved->FDepth = AStartNode->FDepth + 1;
    const std::int32_t count = moved->FCurTubeCount;
    for (const std::int32_t ref : moved->FCurNestResult) {
        moved->FAllPartCount[static_cast<std::size_t>(std::abs(ref))] -= count;
        moved->FAllPartCount[0] -= count;
    }
    moved->FAllTubeCount[0] -= count;
    moved->FAllTubeCount[static_cast<std::size_t>(moved->FCurTubeIndex)] -= count;
    // The tube lay below the start node, so the start node's amounts hold its pattern.
    const bool sound = std::all_of(moved->FAllPartCount.begin(), moved->FAllPartCount.end(),
                                   [](std::int32_t a) { return a >= 0; }) &&
                       std::all_of(moved->FAllTubeCount.begin(), moved->FAllTubeCount.end(),
                                   [](std::int32_t a) { return a >= 0; });
    TUBENEST_ASSERT(sound, kModule, "a moved tube takes more than its start node has left");
    TNode* added = AddNode(std::move(moved));
    Link(AStartNode, added);
    return added;
}

bool TPackedNest::TryLongestTraceBack(const TNodeList& ALeaves, TNode* APreBest, TNode*& AStartNode,
                                      TNode*& ABestNode) {
    if (AStartNode == nullptr) {
        return false;
    }
    ABestNode = GetLeastTubeNode(ALeaves);
    if (ABestNode == nullptr) {
        return false;
    }
    const bool applies = APreBest != nullptr
                             ? ABestNode != APreBest && BetterNode(APreBest, ABestNode) == ABestNode
                             : ABestNode->FPreNode != AStartNode;
    if (!applies) {
        return false;
    }
    TNode* moved = MoveLongestToRoot(ABestNode, AStartNode);
    if (moved == nullptr) {
        return false;
    }
    AStartNode = moved;
    return true;
}

void TPackedNest::GetLeastTubeResult(TNestResultList& NestResult) {
    NestResult.Clear();
    TNode* start = nullptr;
    TNode* preBest = nullptr;
    TNode* best = nullptr;
    // The best leaf of every run so far: a later run never loses what an earlier one found.
    TNode* bestSoFar = nullptr;
    bool longest = true;
    bool maximum = true;
    while (longest || maximum) {
        FLeafNodes.clear(); // earlier leaves stay in the tree
        if (!Nest(start)) {
            break; // a run that failed would fail again from the same start: never repeat it
        }
        if (TNode* runBest = GetLeastTubeNode(FLeafNodes)) {
            bestSoFar = bestSoFar == nullptr ? runBest : BetterNode(bestSoFar, runBest);
        }
        if (StopRequested()) {
            break;
        }
        if (longest) {
            if (TryLongestTraceBack(FLeafNodes, preBest, start, best)) {
                preBest = best;
            } else {
                best = preBest;
                preBest = nullptr;
                longest = false;
            }
        }
        if (!longest && maximum) {
            if (best == nullptr) {
                best = GetLeastTubeNode(FLeafNodes);
            }
            maximum = TryUseMaxTraceBack(best, preBest, start);
        }
    }
    if (bestSoFar != nullptr) {
        GetNestResultByNode(NestResult, bestSoFar);
    }
}

} // namespace tubenest
