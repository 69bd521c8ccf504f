#include "treesearch/nest_node.h"

#include <algorithm>
#include <cstdlib>
#include <deque>
#include <fstream>
#include <limits>
#include <map>
#include <set>
#include <sstream>
#include <stdexcept>

#include "host/geometry.h"
#include "model/assertion.h"
#include "model/nest_progress.h"

namespace tubenest {
namespace {

constexpr const char* kModule = "UNestNode";

/// [sum, a1, ..., an]; the sum must stay within 32 bits.
template <typename Record>
TIntDynArray AmountList(const std::vector<Record>& ARecords) {
    TIntDynArray list(ARecords.size() + 1, 0);
    std::int64_t sum = 0;
    for (std::size_t k = 0; k < ARecords.size(); ++k) {
        list[k + 1] = ARecords[k].FAmountAvail;
        sum += ARecords[k].FAmountAvail;
    }
    list[0] = static_cast<std::int32_t>(sum);
    return list;
}

template <typename Record>
void CheckAmounts(const std::vector<Record>& ARecords, const char* AWhat) {
    std::int64_t sum = 0;
    for (std::size_t k = 0; k < ARecords.size(); ++k) {
        if (ARecords[k].FAmountAvail < 0) {
            throw std::invalid_argument(std::string("tree search: ") + AWhat + " " + std::to_string(k + 1) +
                                        " has a negative amount " + std::to_string(ARecords[k].FAmountAvail));
        }
        sum += ARecords[k].FAmountAvail;
    }
    if (sum > std::numeric_limits<std::int32_t>::max()) {
        throw std::invalid_argument(std::string("tree search: the ") + AWhat + " amounts add up to " +
                                    std::to_string(sum) + ", more than 32 bits hold");
    }
}

} // namespace

// ---------------------------------------------------------------------------------------------
// TNode

std::unique_ptr<TNode> TNode::CreateChildNode() const {
    std::unique_ptr<TNode> child = NewNode();
    child->FAllPartCount = FAllPartCount;
    child->FAllTubeCount = FAllTubeCount;
    child->FCurTubeIndex = FCurTubeIndex;
    child->FTubeSearchStart = FTubeSearchStart;
    child->FDepth = FDepth + 1;
    return child;
}

void TNode::Assign(const TNode& Node) {
    FAllPartCount = Node.FAllPartCount;
    FAllTubeCount = Node.FAllTubeCount;
    FCurTubeLenghtAvl = Node.FCurTubeLenghtAvl;
    FCurTubeCount = Node.FCurTubeCount;
    FDontNextNode = Node.FDontNextNode;
    FCurNestResult.insert(FCurNestResult.end(), Node.FCurNestResult.begin(), Node.FCurNestResult.end());
    FCurNestInfo.insert(FCurNestInfo.end(), Node.FCurNestInfo.begin(), Node.FCurNestInfo.end());
}

// ---------------------------------------------------------------------------------------------
// TNestBase

TNestBase::TNestBase(const TGeneralNestPartArr& AGNestParts, const TGeneralNestTubeArr& AGNestTubes,
                     const TCADAutoNestParam& Param)
    : FNestParam(Param), FGNestParts(AGNestParts), FGNestTubes(AGNestTubes) {
    CheckAmounts(AGNestParts, "part");
    CheckAmounts(AGNestTubes, "tube");
}

TNode* TNestBase::AddNode(std::unique_ptr<TNode> ANode) {
    TUBENEST_ASSERT(ANode != nullptr, kModule, "a null node cannot join the tree");
    FNodes.push_back(std::move(ANode));
    return FNodes.back().get();
}

void TNestBase::Link(TNode* Parent, TNode* Child) {
    Child->FPreNode = Parent;
    Parent->FNextNodes.push_back(Child);
}

const TSegPlaceInfoManager& TNestBase::Gaps() const {
    TUBENEST_ASSERT(FGapTable != nullptr, kModule, "the gap table was not set before the search");
    return *FGapTable;
}

TNode* TNestBase::CreateRootNode() {
    TNode* node = AddNode(FNodeClass());
    node->FAllPartCount = AmountList(FGNestParts);
    node->FAllTubeCount = AmountList(FGNestTubes);
    for (std::size_t k = 1; k < node->FAllTubeCount.size(); ++k) {
        if (node->FAllTubeCount[k] > 0) {
            node->FCurTubeIndex = static_cast<std::int32_t>(k);
            node->FTubeSearchStart = node->FCurTubeIndex;
            node->FCurTubeLenghtAvl = GetTubeInitialLen(node->FCurTubeIndex);
            break;
        }
    }
    return node;
}

bool TNestBase::NestorOp(TNode*& /*Node*/) {
    return false;
}

bool TNestBase::TrySetPartPos(TIntDynArray& /*AOrder*/, std::int32_t /*APart*/, std::int32_t /*AIndex*/,
                              double /*ALength*/, double& /*ALengthLeft*/) {
    return false;
}

bool TNestBase::TrySetPartPosByMove(TIntDynArray& /*AOrder*/, std::int32_t /*APart*/, std::int32_t /*AIndex*/,
                                    double /*ALength*/, double& /*ALengthLeft*/) {
    return false;
}

bool TNestBase::DealWithNode(TNode* /*Node*/) {
    return false;
}

bool TNestBase::Nest(TNode*& AStartNode) {
    try {
        if (AStartNode == nullptr) {
            AStartNode = CreateRootNode();
            FRootNode = AStartNode;
        }
        TNode* child = AddNode(AStartNode->CreateChildNode());
        Link(AStartNode, child);
        return NestLoop(child);
    } catch (const TEngineAssertion&) {
        throw; // a broken invariant (a lost part) must not pass for an empty result
    } catch (const std::exception&) {
        return false;
    }
}

bool TNestBase::NestLoop(TNode* AStartNode) {
    TNode* node = AStartNode;
    // The deepest finished node of the chain under way that is not a leaf yet. When a stop ends
    // the loop it counts as a leaf, so that a stopped run returns the tubes it has filled.
    TNode* open = nullptr;
    try {
        while (node != nullptr) {
            if (GetStopped()) {
                if (open != nullptr &&
                    std::find(FLeafNodes.begin(), FLeafNodes.end(), open) == FLeafNodes.end()) {
                    FLeafNodes.push_back(open);
                }
                break;
            }
            if (!node->FNodeEnd) {
                DealWithNode(node);
            }
            if (node->FNodeEnd) {
                FLeafNodes.push_back(node);
                open = nullptr;
            } else if (node->FIsCurTubeEnd) {
                open = node;
            }
            node = nullptr;
            if (!FOrderStack.empty()) {
                node = FOrderStack.back();
                FOrderStack.pop_back();
            }
        }
    } catch (const TEngineAssertion&) {
        throw;
    } catch (const std::exception&) {
        return false;
    }
    return true;
}

TNode* TNestBase::BetterNode(TNode* A, TNode* B) const {
    if (A->FAllPartCount[0] != B->FAllPartCount[0]) {
        return A->FAllPartCount[0] < B->FAllPartCount[0] ? A : B;
    }
    if (A->FAllTubeCount[0] != B->FAllTubeCount[0]) {
        return A->FAllTubeCount[0] > B->FAllTubeCount[0] ? A : B;
    }
    if (A->FDepth != B->FDepth) {
        return A->FDepth < B->FDepth ? A : B;
    }
    return B->RankLengthAvl() > A->RankLengthAvl() ? B : A;
}

TNode* TNestBase::GetLeastTubeNode(const TNodeList& ANodes) const {
    TNode* best = nullptr;
    for (TNode* node : ANodes) {
        if (node != nullptr && node->FIsCurTubeEnd) {
            best = best == nullptr ? node : BetterNode(best, node);
        }
    }
    return best;
}

void TNestBase::InitTubeLens(TNode* Node) const {
    if (Node->FCurTubeLenghtAvl >= -1.0 || !Node->FCurNestResult.empty()) {
        return;
    }
    for (auto k = static_cast<std::size_t>(std::max(1, Node->FTubeSearchStart));
         k < Node->FAllTubeCount.size(); ++k) {
        if (Node->FAllTubeCount[k] > 0) {
            Node->FCurTubeIndex = static_cast<std::int32_t>(k);
            Node->FTubeSearchStart = Node->FCurTubeIndex;
            Node->FCurTubeLenghtAvl = GetTubeInitialLen(Node->FCurTubeIndex);
            return;
        }
    }
}

TNode* TNestBase::TryCreateFrom(TNode* Node) {
    if (Node->FAllPartCount[0] < 1 || Node->FAllTubeCount[0] < 1) {
        return nullptr;
    }
    std::unique_ptr<TNode> child;
    if (!Node->FCurNestResult.empty()) {
        child = Node->CreateChildNode();
        InitTubeLens(child.get());
        if (child->FCurTubeLenghtAvl < -1.0) {
            return nullptr; // no tube left
        }
    } else {
        // Nothing fits this tube length: give the whole entry up and go on with the next one.
        const auto from = static_cast<std::size_t>(std::max(0, Node->FCurTubeIndex)) + 1;
        std::size_t next = 0;
        for (std::size_t k = from; k < Node->FAllTubeCount.size(); ++k) {
            if (Node->FAllTubeCount[k] > 0) {
                next = k;
                break;
            }
        }
        if (next == 0) {
            return nullptr;
        }
        child = Node->CreateChildNode();
        if (Node->FCurTubeIndex >= 1) {
            const auto cur = static_cast<std::size_t>(Node->FCurTubeIndex);
            child->FAllTubeCount[0] -= Node->FAllTubeCount[cur];
            child->FAllTubeCount[cur] = 0;
        }
        child->FCurTubeIndex = static_cast<std::int32_t>(next);
    }
    TNode* added = AddNode(std::move(child));
    Link(Node, added);
    return added;
}

void TNestBase::TryDuplicate(TNode* Node) {
    Node->FCurTubeCount = 0;
    if (Node->FCurNestResult.empty()) {
        return;
    }
    const auto tube = static_cast<std::size_t>(Node->FCurTubeIndex);
    TUBENEST_ASSERT(Node->FCurTubeIndex >= 1 && tube < Node->FAllTubeCount.size(), kModule,
                    "a finished tube without a tube entry (" + std::to_string(Node->FCurTubeIndex) + ")");
    const std::int32_t tubesLeft = Node->FAllTubeCount[tube];
    if (tubesLeft < 2) {
        Node->FCurTubeCount = 1;
        Node->FAllTubeCount[0] -= 1;
        Node->FAllTubeCount[tube] -= 1;
        return;
    }
    std::vector<std::int32_t> uses(Node->FAllPartCount.size(), 0);
    for (const std::int32_t ref : Node->FCurNestResult) {
        const auto k = static_cast<std::size_t>(std::abs(ref));
        TUBENEST_ASSERT(k >= 1 && k < uses.size(), kModule,
                        "part reference " + std::to_string(ref) + " out of range");
        ++uses[k];
    }
    std::int32_t repeats = std::numeric_limits<std::int32_t>::max();
    for (std::size_t k = 1; k < uses.size(); ++k) {
        if (uses[k] > 0) {
            repeats = std::min(repeats, Node->FAllPartCount[k] / uses[k]);
        }
    }
    const std::int32_t count = std::min(std::max(1, repeats + 1), tubesLeft);
    Node->FCurTubeCount = count;
    Node->FAllTubeCount[0] -= count;
    Node->FAllTubeCount[tube] -= count;
    if (count > 1) {
        for (std::size_t k = 1; k < uses.size(); ++k) {
            if (uses[k] > 0) {
                Node->FAllPartCount[0] -= uses[k] * (count - 1);
                Node->FAllPartCount[k] -= uses[k] * (count - 1);
            }
        }
    }
}

void TNestBase::GetNestResultByNode(TNestResultList& ANestResults, const TNode* ANode) const {
    for (const TNode* node = ANode; node != nullptr; node = node->FPreNode) {
        if (!node->FIsCurTubeEnd || node->FCurNestResult.empty()) {
            continue;
        }
        auto result = std::make_unique<TNestResult>();
        result->FTubeIndex = node->FCurTubeIndex;
        result->FTubeCount = node->FCurTubeCount;
        result->FPartOrder = node->FCurNestResult;
        result->FPartPlaceData = node->FCurNestInfo;
        result->FLengthUsed = GetTubeInitialLen(node->FCurTubeIndex) - node->FCurTubeLenghtAvl;
        ANestResults.Add(std::move(result));
    }
}

void TNestBase::GetLeastTubeResult(TNestResultList& NestResult) {
    NestResult.Clear();
    TNode* start = nullptr;
    if (Nest(start)) {
        if (const TNode* best = GetLeastTubeNode(FLeafNodes)) {
            GetNestResultByNode(NestResult, best);
        }
    }
    for (auto& result : NestResult) {
        GetOrderInfos(Gaps(), result->FPartOrder, result->FPartPlaceData);
    }
}

bool TNestBase::TryUseMaxTraceBack(TNode* /*ANode*/, TNode* /*APreBest*/, TNode*& /*AOutNode*/) {
    return false;
}

int TNestBase::SelPartSort(const TNestBaseInfo& Left, const TNestBaseInfo& Right) {
    constexpr double eps = 1e-6;
    if (Left.CommonLength > -1.0 && Right.CommonLength > -1.0) {
        if (Left.CommonStyle == 0 && Right.CommonStyle != 0) {
            return -1;
        }
        if (Left.CommonStyle != 0 && Right.CommonStyle == 0) {
            return 1;
        }
    }
    if (!fEqual(Left.ZGap, Right.ZGap, eps)) {
        return Left.ZGap < Right.ZGap ? -1 : 1;
    }
    if (Left.IsCommon != Right.IsCommon) {
        return Left.IsCommon ? -1 : 1;
    }
    if (fGreat(Left.CommonLength, Right.CommonLength, eps)) {
        return -1;
    }
    if (fGreat(Right.CommonLength, Left.CommonLength, eps)) {
        return 1;
    }
    if (fGreat(Left.IsLandCommonLen, Right.IsLandCommonLen, eps)) {
        return -1;
    }
    if (fGreat(Right.IsLandCommonLen, Left.IsLandCommonLen, eps)) {
        return 1;
    }
    if (Left.ID < 3 && Right.ID > 2) {
        return -1;
    }
    if (Left.ID > 2 && Right.ID < 3) {
        return 1;
    }
    return 0;
}

void TNestBase::GetOrderInfos(const TSegPlaceInfoManager& Table, const TIntDynArray& OriOrder,
                              TNestBaseInfoList& ResultInfos) {
    Table.GetOrderInfos(OriOrder, &ResultInfos);
}

double TNestBase::GetTubeInitialLen(std::int32_t CurTubeIndex) const {
    TUBENEST_ASSERT(CurTubeIndex >= 1 && CurTubeIndex <= GetNestTubesCount(), kModule,
                    "tube index " + std::to_string(CurTubeIndex) + " out of range");
    return FGNestTubes[static_cast<std::size_t>(CurTubeIndex - 1)].FTubeInitialLen;
}

std::int32_t TNestBase::GetNestTubeAmountAvail(std::int32_t TubeIdx) const {
    TUBENEST_ASSERT(TubeIdx >= 0 && TubeIdx < GetNestTubesCount(), kModule,
                    "tube index " + std::to_string(TubeIdx) + " out of range");
    return FGNestTubes[static_cast<std::size_t>(TubeIdx)].FAmountAvail;
}

double TNestBase::GetNestPartOuterLength(std::int32_t PartIdx) const {
    TUBENEST_ASSERT(PartIdx >= 0 && PartIdx < GetNestPartsCount(), kModule,
                    "part index " + std::to_string(PartIdx) + " out of range");
    return FGNestParts[static_cast<std::size_t>(PartIdx)].FOuterlength;
}

std::int32_t TNestBase::GetNestPartAmountAvail(std::int32_t PartIdx) const {
    TUBENEST_ASSERT(PartIdx >= 0 && PartIdx < GetNestPartsCount(), kModule,
                    "part index " + std::to_string(PartIdx) + " out of range");
    return FGNestParts[static_cast<std::size_t>(PartIdx)].FAmountAvail;
}

// ---------------------------------------------------------------------------------------------
// PaintNodes

void PaintNodes(const TNode* ANode, const std::string& APath) {
    if (ANode == nullptr) {
        throw std::invalid_argument("PaintNodes: no node given");
    }
    const TNode* root = ANode;
    std::set<const TNode*> seen{root};
    while (root->FPreNode != nullptr && seen.insert(root->FPreNode).second) {
        root = root->FPreNode;
    }
    // Breadth first from the root: one row per level.
    std::vector<std::vector<const TNode*>> levels;
    std::deque<std::pair<const TNode*, std::size_t>> queue{{root, 0}};
    std::set<const TNode*> visited{root};
    while (!queue.empty()) {
        const auto [node, level] = queue.front();
        queue.pop_front();
        if (levels.size() <= level) {
            levels.resize(level + 1);
        }
        levels[level].push_back(node);
        for (const TNode* child : node->FNextNodes) {
            if (child != nullptr && visited.insert(child).second) {
                queue.emplace_back(child, level + 1);
            }
        }
    }
    constexpr int boxW = 180;
    constexpr int boxH = 44;
    constexpr int gapX = 20;
    constexpr int gapY = 40;
    std::size_t widest = 1;
    for (const auto& row : levels) {
        widest = std::max(widest, row.size());
    }
    std::map<const TNode*, std::pair<int, int>> at;
    for (std::size_t y = 0; y < levels.size(); ++y) {
        for (std::size_t x = 0; x < levels[y].size(); ++x) {
            at[levels[y][x]] = {gapX + static_cast<int>(x) * (boxW + gapX),
                                gapY + static_cast<int>(y) * (boxH + gapY)};
        }
    }
    std::ostringstream svg;
    svg << "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\""
        << gapX + static_cast<int>(widest) * (boxW + gapX) << "\" height=\""
        << gapY + static_cast<int>(levels.size()) * (boxH + gapY) << "\" font-family=\"monospace\" "
        << "font-size=\"10\">\n";
    for (const auto& [node, pos] : at) {
        for (const TNode* child : node->FNextNodes) {
            if (const auto it = at.find(child); it != at.end()) {
                svg << "<line x1=\"" << pos.first + boxW / 2 << "\" y1=\"" << pos.second + boxH << "\" x2=\""
                    << it->second.first + boxW / 2 << "\" y2=\"" << it->second.second
                    << "\" stroke=\"gray\"/>\n";
            }
        }
    }
    for (const auto& [node, pos] : at) {
        const char* fill = node == ANode ? "#ffd27f" : (node->FNodeEnd ? "#c8e6c9" : "#e3f2fd");
        svg << "<rect x=\"" << pos.first << "\" y=\"" << pos.second << "\" width=\"" << boxW << "\" height=\""
            << boxH << "\" fill=\"" << fill << "\" stroke=\"black\"/>\n";
        std::ostringstream parts;
        for (const std::int32_t ref : node->FCurNestResult) {
            parts << ref << ' ';
        }
        std::string row = parts.str();
        if (row.size() > 28) {
            row = row.substr(0, 25) + "...";
        }
        svg << "<text x=\"" << pos.first + 4 << "\" y=\"" << pos.second + 14 << "\">" << node->ClassName()
            << " d" << node->FDepth << " tube " << node->FCurTubeIndex << " x" << node->FCurTubeCount
            << "</text>\n";
        svg << "<text x=\"" << pos.first + 4 << "\" y=\"" << pos.second + 26 << "\">left "
            << (node->FAllPartCount.empty() ? 0 : node->FAllPartCount[0]) << " free "
            << node->FCurTubeLenghtAvl << "</text>\n";
        svg << "<text x=\"" << pos.first + 4 << "\" y=\"" << pos.second + 38 << "\">" << row << "</text>\n";
    }
    svg << "</svg>\n";
    std::ofstream out(APath, std::ios::binary);
    out << svg.str();
    if (!out) {
        throw std::runtime_error("PaintNodes: cannot write \"" + APath + "\"");
    }
}

} // namespace tubenest
