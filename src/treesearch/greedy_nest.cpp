#include "treesearch/greedy_nest.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "host/geometry.h"
#include "model/assertion.h"
#include "model/nest_progress.h"
#include "ordersearch/nest_adjust_tool.h"
#include "treesearch/safe_sort.h"

namespace tubenest {
namespace {

constexpr const char* kModule = "uGreedyNest";

/// The table holds every row of the parts (row i with at least i + 1 cells).
bool RowPerPart(const TSegPlaceInfoManager& ATable, std::size_t AParts) {
    if (static_cast<std::size_t>(std::max(0, ATable.FPartCount)) != AParts) {
        return false;
    }
    for (std::size_t i = 0; i < AParts; ++i) {
        if (ATable.TableRow(i).size() < i + 1) {
            return false;
        }
    }
    return true;
}

/// |a - b| of two cut-off lengths (below 1e-8 counting as 0), rounded to 0.0001.
double BoundWidth(double a, double b) {
    const double x = a < 1e-8 ? 0.0 : a;
    const double y = b < 1e-8 ? 0.0 : b;
    return std::round(std::fabs(x - y) * 10000.0) / 10000.0;
}

/// Removes one occurrence of |ARef| from AValues.
void RemoveOne(std::vector<std::int32_t>& AValues, std::int32_t ARef) {
    const auto it = std::find(AValues.begin(), AValues.end(), std::abs(ARef));
    if (it != AValues.end()) {
        AValues.erase(it);
    }
}

/// The free length of a rebuilt order is acceptable: above 0, or 0 within 1e-6.
bool Fits(double AFree) {
    return AFree > 0.0 || fEqual(AFree, 0.0, 1e-6);
}

} // namespace

// ---------------------------------------------------------------------------------------------
// Neighbour lists

int TGreedyBaseInfoList::Compare(const TGreedyBaseInfo& Left, const TGreedyBaseInfo& Right) {
    constexpr double eps = 0.0001;
    const TNestBaseInfo& l = *Left.Info;
    const TNestBaseInfo& r = *Right.Info;
    if (l.CommonLength > -1.0 && r.CommonLength > -1.0) {
        if (l.CommonStyle == 0 && r.CommonStyle != 0) {
            return -1;
        }
        if (l.CommonStyle != 0 && r.CommonStyle == 0) {
            return 1;
        }
        if (fSmall(l.ZGap, r.ZGap, eps)) {
            return -1;
        }
        if (fGreat(l.ZGap, r.ZGap, eps)) {
            return 1;
        }
        if (fGreat(l.CommonLength, r.CommonLength, eps)) {
            return -1;
        }
        if (fGreat(r.CommonLength, l.CommonLength, eps)) {
            return 1;
        }
        if (fGreat(l.IsLandCommonLen, r.IsLandCommonLen, eps)) {
            return -1;
        }
        if (fGreat(r.IsLandCommonLen, l.IsLandCommonLen, eps)) {
            return 1;
        }
    }
    if (fGreat(l.CommonLength, r.CommonLength, eps)) {
        return -1;
    }
    if (fGreat(r.CommonLength, l.CommonLength, eps)) {
        return 1;
    }
    // ZGap values within 0.1 mm of each other count as equal here.
    if (fSmall(l.ZGap, r.ZGap, 0.1)) {
        return -1;
    }
    if (fGreat(l.ZGap, r.ZGap, 0.1)) {
        return 1;
    }
    if (Left.CurveBoundWidth != Right.CurveBoundWidth) {
        return Left.CurveBoundWidth < Right.CurveBoundWidth ? -1 : 1;
    }
    if (Left.PartLength != Right.PartLength) {
        return Left.PartLength > Right.PartLength ? -1 : 1;
    }
    return 0;
}

void TGreedyBaseInfoList::Sort() {
    SafeStableSort(*this, &TGreedyBaseInfoList::Compare);
}

// ---------------------------------------------------------------------------------------------
// TGreedyNode

std::unique_ptr<TNode> TGreedyNode::CreateChildNode() const {
    std::unique_ptr<TNode> child = TNode::CreateChildNode();
    static_cast<TGreedyNode&>(*child).FSameIdFirst = FSameIdFirst;
    return child;
}

double TGreedyNode::RankLengthAvl() const {
    return FCurTubeLenghtAvl + (FRankBonus ? 0.1 : 0.0);
}

// ---------------------------------------------------------------------------------------------
// TGreedyNesting

TGreedyNesting::TGreedyNesting(const TGeneralNestPartArr& AGNestParts, const TGeneralNestTubeArr& AGNestTubes,
                               const TCADAutoNestParam& Param)
    : TNestBase(AGNestParts, AGNestTubes, Param) {
    SetUsePairNestBranch(true);
}

void TGreedyNesting::SetUsePairNestBranch(bool Value) {
    FUsePairNestBranch = Value;
    FBranched = !Value;
    FNodeClass = Value ? &NodeClassOf<TGreedyNode> : &NodeClassOf<TNode>;
}

const TMyNestPart* TGreedyNesting::MyPart(std::int32_t APart) const {
    if (!FMyPartList || APart < 1 || static_cast<std::size_t>(APart) > FMyPartList->size()) {
        return nullptr;
    }
    return &(*FMyPartList)[static_cast<std::size_t>(APart - 1)];
}

double TGreedyNesting::OuterLength(std::int32_t ref) const {
    return GetNestPartOuterLength(std::abs(ref) - 1);
}

bool TGreedyNesting::InitGreedyNestParts(const TSegPlaceInfoManager& Table,
                                         const TCADAutoNestParam& /*NestParam*/) {
    const bool rows = RowPerPart(Table, FGNestParts.size());
    FMyPartList = std::make_unique<TMyNestParts>();
    if (!StopRequested()) {
        FMyPartList->reserve(FGNestParts.size());
        for (const TGeneralNestPart& part : FGNestParts) {
            if (StopRequested()) {
                break;
            }
            TGreedyBaseInfoList left;
            TGreedyBaseInfoList right;
            left.reserve(FGNestParts.size() + 1);
            right.reserve(FGNestParts.size() + 1);
            FMyPartList->emplace_back(part.FOuterlength, part.FOuterlength, part.FAmountAvail,
                                      std::move(left), std::move(right), 0.0);
        }
    }
    AppendMyPartlist(&Table, false);
    return rows;
}

void TGreedyNesting::AppendMyPartlist(const TSegPlaceInfoManager* Table, bool ASort) {
    if (!FMyPartList) {
        return;
    }
    const std::size_t n = std::min(FGNestParts.size(), FMyPartList->size());
    if (Table != nullptr && n == FGNestParts.size() && RowPerPart(*Table, n)) {
        // Turned neighbours are never offered when parts may not be turned.
        const bool turning = !FNestParam.DisableReverse();
        bool stopped = false;
        for (std::size_t i = 0; i < n && !stopped; ++i) {
            if (StopRequested()) {
                break;
            }
            if (FGNestParts[i].FAmountAvail == 0) {
                continue;
            }
            const TGeneralNestPart& pi = FGNestParts[i];
            TMyNestPart& mi = (*FMyPartList)[i];
            const auto& row = Table->TableRow(i);
            const auto refI = static_cast<std::int32_t>(i + 1);
            for (std::size_t j = 0; j <= i; ++j) {
                if (StopRequested()) {
                    stopped = true;
                    break;
                }
                const TGeneralNestPart& pj = FGNestParts[j];
                TMyNestPart& mj = (*FMyPartList)[j];
                const auto refJ = static_cast<std::int32_t>(j + 1);
                const TSegPlaceInfo& cell = row[j];
                auto entry = [](const TNestBaseInfo& rec, double width, std::int32_t seg, double length) {
                    return TGreedyBaseInfo{&rec, width, length, seg};
                };
                if (cell.A1B1_A2B2.Caled) { // B of i against A of j
                    const double w = BoundWidth(pi.CutoffBLength, pj.CutoffALength);
                    mi.FNearRight.push_back(entry(cell.A1B1_A2B2, w, refJ, pj.RealBoxLength));
                    mj.FNearLeft.push_back(entry(cell.A1B1_A2B2, w, refI, pi.RealBoxLength));
                }
                if (cell.A2B2_A1B1.Caled && j != i) { // A of i against B of j
                    const double w = BoundWidth(pi.CutoffALength, pj.CutoffBLength);
                    mi.FNearLeft.push_back(entry(cell.A2B2_A1B1, w, refJ, pj.RealBoxLength));
                    mj.FNearRight.push_back(entry(cell.A2B2_A1B1, w, refI, pi.RealBoxLength));
                }
                if (cell.B2A2_A1B1.Caled && turning) { // A of i against A of j
                    const double w = BoundWidth(pi.CutoffALength, pj.CutoffALength);
                    mi.FNearLeft.push_back(entry(cell.B2A2_A1B1, w, -refJ, pj.RealBoxLength));
                    if (j != i) {
                        mj.FNearLeft.push_back(entry(cell.B2A2_A1B1, w, -refI, pi.RealBoxLength));
                    }
                }
                if (cell.A1B1_B2A2.Caled && turning) { // B of i against B of j
                    const double w = BoundWidth(pi.CutoffBLength, pj.CutoffBLength);
                    mi.FNearRight.push_back(entry(cell.A1B1_B2A2, w, -refJ, pj.RealBoxLength));
                    if (j != i) {
                        mj.FNearRight.push_back(entry(cell.A1B1_B2A2, w, -refI, pi.RealBoxLength));
                    }
                }
            }
        }
    }
    if (ASort) {
        for (TMyNestPart& part : *FMyPartList) {
            if (StopRequested()) {
                break;
            }
            part.FNearLeft.Sort();
            part.FNearRight.Sort();
        }
    }
}

void TGreedyNesting::InitPairPick(const TSegPlaceInfoManager& Table) {
    FPairPick.clear();
    const std::size_t n = FGNestParts.size();
    if (FNestParam.DisableReverse()) {
        FPairPick.assign(n, 1);
        return;
    }
    const bool rows = RowPerPart(Table, n);
    for (std::size_t k = 0; k < n; ++k) {
        if (StopRequested()) {
            break;
        }
        if (!rows) {
            FPairPick.push_back(1);
            continue;
        }
        // The record of a part next to its own mirror image (ID 2) is the same placement as ID 1.
        const TSegPlaceInfo& cell = Table.TableRow(k)[k];
        std::vector<TNestBaseInfo> records{cell.A1B1_A2B2, cell.A1B1_B2A2, cell.B2A2_A1B1};
        SafeStableSort(records, &TNestBase::SelPartSort);
        FPairPick.push_back(records.front().ID > 2 ? -1 : 1);
    }
}

bool TGreedyNesting::find(std::int32_t APart, const TGreedyBaseInfoList& AList, double ALengthAvail,
                          double& ABoundWidth, double& ANeedLength, std::int32_t& AFoundID,
                          const TGreedyBaseInfo*& AFoundInfo, const TNode* ANode,
                          const std::vector<std::int32_t>* AAllowed) const {
    ABoundWidth = 999999999.0;
    bool found = false;
    std::int32_t target = 0;
    if (const auto* g = dynamic_cast<const TGreedyNode*>(ANode); g != nullptr && g->FSameIdFirst) {
        const auto k = static_cast<std::size_t>(std::abs(APart) - 1);
        if (k < FPairPick.size()) {
            target = APart * FPairPick[k];
        }
    }
    for (const TGreedyBaseInfo& e : AList) {
        if (AAllowed != nullptr &&
            std::find(AAllowed->begin(), AAllowed->end(), e.SegID) == AAllowed->end() &&
            std::find(AAllowed->begin(), AAllowed->end(), -e.SegID) == AAllowed->end()) {
            continue;
        }
        const auto k = static_cast<std::size_t>(std::abs(e.SegID));
        if (ANode != nullptr && (k >= ANode->FAllPartCount.size() || ANode->FAllPartCount[k] <= 0)) {
            continue;
        }
        // Fitted by the outer length, which every used length is summed from.
        const double need = OuterLength(e.SegID) + e.Info->FixedGap;
        if (!fGreat(ALengthAvail, need, -0.01)) {
            continue;
        }
        if (found && e.SegID != target) {
            continue; // only the pair target replaces the first candidate
        }
        AFoundID = e.SegID;
        AFoundInfo = &e;
        ABoundWidth = e.CurveBoundWidth;
        ANeedLength = need;
        if (target == 0 || e.SegID == target) {
            return true;
        }
        found = true;
    }
    return found;
}

bool TGreedyNesting::FindAtEnd(std::int32_t AEnd, bool ALeft, double ALengthAvail, double& ANeedLength,
                               std::int32_t& AFoundID, const TGreedyBaseInfo*& AFoundInfo, const TNode* ANode,
                               const std::vector<std::int32_t>* AAllowed) const {
    const std::int32_t part = std::abs(AEnd);
    const TMyNestPart* my = MyPart(part);
    if (my == nullptr) {
        return false;
    }
    // A turned end part sees, on each side, the neighbours of the other side mirrored.
    const TGreedyBaseInfoList& list = (ALeft == (AEnd > 0)) ? my->FNearLeft : my->FNearRight;
    double width = 0.0;
    if (!find(part, list, ALengthAvail, width, ANeedLength, AFoundID, AFoundInfo, ANode, AAllowed)) {
        return false;
    }
    if (AEnd < 0) {
        AFoundID = -AFoundID;
    }
    return true;
}

bool TGreedyNesting::findAndPlaceNearest(TNode* Node) {
    if (Node->FAllPartCount[0] < 1) {
        return false;
    }
    if (Node->FCurTubeLenghtAvl < -1.0 && Node->FCurNestResult.empty()) {
        std::size_t k = static_cast<std::size_t>(std::max(1, Node->FCurTubeIndex));
        while (k < Node->FAllTubeCount.size() && Node->FAllTubeCount[k] <= 0) {
            ++k;
        }
        if (k >= Node->FAllTubeCount.size()) {
            return false; // no tube left
        }
        Node->FCurTubeIndex = static_cast<std::int32_t>(k);
        Node->FCurTubeLenghtAvl = GetTubeInitialLen(Node->FCurTubeIndex);
    }
    auto lay = [Node](std::int32_t ref) {
        const auto k = static_cast<std::size_t>(std::abs(ref));
        Node->FAllPartCount[k] -= 1;
        Node->FAllPartCount[0] -= 1;
    };
    if (FLeftSide == 0) {
        for (std::int32_t k = 1; k < static_cast<std::int32_t>(Node->FAllPartCount.size()); ++k) {
            const TMyNestPart* my = MyPart(k);
            if (my != nullptr && Node->FAllPartCount[static_cast<std::size_t>(k)] > 0 &&
                my->FPartOuterLength <= Node->FCurTubeLenghtAvl) {
                FLeftSide = k;
                FRightSide = k;
                Node->FCurTubeLenghtAvl -= my->FPartLength;
                lay(k);
                Node->FCurNestResult.push_back(k);
                return true;
            }
        }
        return false;
    }
    double needLeft = 0.0;
    double needRight = 0.0;
    std::int32_t left = 0;
    std::int32_t right = 0;
    const TGreedyBaseInfo* infoLeft = nullptr;
    const TGreedyBaseInfo* infoRight = nullptr;
    const bool atLeft =
        FindAtEnd(FLeftSide, true, Node->FCurTubeLenghtAvl, needLeft, left, infoLeft, Node, nullptr);
    const bool atRight =
        FindAtEnd(FRightSide, false, Node->FCurTubeLenghtAvl, needRight, right, infoRight, Node, nullptr);
    if (!atLeft && !atRight) {
        return false;
    }
    // On equal rank the right end is extended.
    if (atLeft && (!atRight || TGreedyBaseInfoList::Compare(*infoLeft, *infoRight) < 0)) {
        FLeftSide = left;
        Node->FCurNestResult.insert(Node->FCurNestResult.begin(), left);
        Node->FCurTubeLenghtAvl -= needLeft;
        lay(left);
    } else {
        FRightSide = right;
        Node->FCurNestResult.push_back(right);
        Node->FCurTubeLenghtAvl -= needRight;
        lay(right);
    }
    return true;
}

void TGreedyNesting::SelfFirstBranch(TNode* Node) {
    const auto* greedy = dynamic_cast<const TGreedyNode*>(Node);
    if (greedy == nullptr || greedy->FSameIdFirst) {
        return;
    }
    // A node without a parent (the detached start of NestorOp) branches from its own state.
    TNode* parent = Node->FPreNode;
    std::unique_ptr<TNode> branch = parent != nullptr ? parent->CreateChildNode() : Node->CreateChildNode();
    auto* branchNode = dynamic_cast<TGreedyNode*>(branch.get());
    if (branchNode == nullptr) {
        return;
    }
    branchNode->FSameIdFirst = true;
    TNode* added = AddNode(std::move(branch));
    if (parent != nullptr) {
        Link(parent, added);
    }
    FOrderStack.push_back(added);
    if (FBranchCopyValue) {
        added->Assign(*Node);
    }
}

bool TGreedyNesting::DealWithNode(TNode* Node) {
    TUBENEST_ASSERT(FMyPartList != nullptr, kModule, "InitGreedyNestParts must run before the search");
    if (!FBranched) {
        SelfFirstBranch(Node);
        FBranched = true;
    }
    FLeftSide = Node->FCurNestResult.empty() ? 0 : Node->FCurNestResult.front();
    FRightSide = Node->FCurNestResult.empty() ? 0 : Node->FCurNestResult.back();
    if (Node->FAllPartCount[0] <= 0) {
        return true;
    }
    while (findAndPlaceNearest(Node)) {
    }
    if (FNestParam.TailPlaceMode() <= 0 && Node->FCurTubeIndex >= 1) {
        TNestAdjustTool::TryOptimizePartPos(Node->FCurNestResult, Gaps(),
                                            GetTubeInitialLen(Node->FCurTubeIndex), Node->FCurTubeLenghtAvl,
                                            FNestParam.DisableReverse());
    }
    GetOrderInfos(Gaps(), Node->FCurNestResult, Node->FCurNestInfo);
    Node->FIsCurTubeEnd = true;
    TryDuplicate(Node);
    if (auto* greedy = dynamic_cast<TGreedyNode*>(Node); greedy != nullptr && greedy->FSameIdFirst) {
        // A bias in the ranking only: the node keeps its true free length.
        greedy->FRankBonus = true;
    }
    TNode* next = Node->FDontNextNode ? nullptr : TryCreateFrom(Node);
    if (next != nullptr) {
        FOrderStack.push_back(next);
    } else {
        Node->FNodeEnd = true;
    }
    return true;
}

bool TGreedyNesting::NestorOp(TNode*& Node) {
    if (Node == nullptr || !Node->FIsCurTubeEnd) {
        return false;
    }
    TNode* origin = Node;
    const std::size_t parts = origin->FAllPartCount.size();
    const auto tube = static_cast<std::size_t>(std::max(0, origin->FCurTubeIndex));
    std::vector<std::int32_t> uses(parts, 0);
    for (const std::int32_t ref : origin->FCurNestResult) {
        uses[static_cast<std::size_t>(std::abs(ref))] += 1;
    }
    // The run below uses the stack of its own; a search under way keeps its pending nodes.
    TNodeList pending;
    pending.swap(FOrderStack);
    struct Restore {
        TNodeList& stack;
        TNodeList& saved;
        ~Restore() { stack.swap(saved); }
    } restore{FOrderStack, pending};

    // A detached node holding only the parts of Node's tube and one tube of its entry. It lists
    // under Node but has no parent, so that walking up from it ends.
    auto* fresh = static_cast<TGreedyNode*>(AddNode(std::make_unique<TGreedyNode>()));
    origin->FNextNodes.push_back(fresh);
    fresh->FDontNextNode = true;
    fresh->FAllPartCount = uses;
    for (std::size_t k = 1; k < parts; ++k) {
        fresh->FAllPartCount[0] += uses[k];
    }
    fresh->FAllTubeCount = origin->FAllTubeCount;
    if (tube >= 1) {
        fresh->FAllTubeCount[0] = 1;
        fresh->FAllTubeCount[tube] = 1;
        fresh->FCurTubeIndex = origin->FCurTubeIndex;
        fresh->FTubeSearchStart = origin->FCurTubeIndex;
    }
    FBranched = false;
    FLeafNodes.clear();
    if (!NestLoop(fresh)) {
        return false;
    }
    TNode* best = GetLeastTubeNode(FLeafNodes);
    if (best == nullptr) {
        return false;
    }

    // Top the re-ordered tube up from the amounts Node's parent left, with the tube's own parts
    // laid once and its tube not yet counted, so that the repetition counts every copy and tube
    // exactly once.
    best->FAllPartCount.assign(parts, 0);
    for (std::size_t k = 1; k < parts; ++k) {
        best->FAllPartCount[k] = origin->FAllPartCount[k] + uses[k] * origin->FCurTubeCount;
    }
    for (const std::int32_t ref : best->FCurNestResult) {
        best->FAllPartCount[static_cast<std::size_t>(std::abs(ref))] -= 1;
    }
    for (std::size_t k = 1; k < parts; ++k) {
        best->FAllPartCount[0] += best->FAllPartCount[k];
    }
    best->FAllTubeCount = origin->FAllTubeCount;
    if (tube >= 1) {
        best->FAllTubeCount[0] += origin->FCurTubeCount;
        best->FAllTubeCount[tube] += origin->FCurTubeCount;
    }
    FLeafNodes.clear();
    // The same-part-first branch would start an unrelated tube from all remaining parts here.
    FBranched = true;
    if (auto* greedy = dynamic_cast<TGreedyNode*>(best)) {
        greedy->FSameIdFirst = false;
    }
    best->FNodeEnd = false;
    best->FIsCurTubeEnd = false;
    best->FCurTubeCount = 0;
    best->FDontNextNode = true;
    TNode* result = NestLoop(best) ? GetLeastTubeNode(FLeafNodes) : nullptr;
    if (result == nullptr) {
        result = best;
    }
    if (!result->FIsCurTubeEnd) {
        // Nothing was left to top up with: the tube is counted as it stands.
        result->FIsCurTubeEnd = true;
        TryDuplicate(result);
    }
    result->FPreNode = origin->FPreNode;
    result->FDepth = origin->FDepth;
    if (origin->FPreNode != nullptr) {
        origin->FPreNode->FNextNodes.push_back(result);
    }
    Node = result;
    return true;
}

bool TGreedyNesting::TrySetPartPos(TIntDynArray& AOrder, std::int32_t APart, std::int32_t AIndex,
                                   double ALength, double& ALengthLeft) {
    const auto n = static_cast<std::int32_t>(AOrder.size());
    // The rebuilt row ends with APart, so APart must be the part at AIndex: any other part there
    // would be dropped and APart counted twice.
    if (n == 0 || AIndex != n - 1 || std::abs(AOrder[static_cast<std::size_t>(AIndex)]) != APart) {
        return false;
    }
    const TMyNestPart* my = MyPart(APart);
    if (my == nullptr) {
        return false;
    }
    std::vector<std::int32_t> allowed;
    for (const std::int32_t ref : AOrder) {
        allowed.push_back(std::abs(ref));
    }
    RemoveOne(allowed, APart);
    double free = ALength - my->FPartLength;
    double width = 0.0;
    double need = 0.0;
    std::int32_t id = 0;
    const TGreedyBaseInfo* info = nullptr;
    if (!find(APart, my->FNearLeft, free, width, need, id, info, nullptr, &allowed)) {
        return false;
    }
    TIntDynArray row{id, APart};
    if (!FNestParam.DisableReverse()) {
        double turnedNeed = 0.0;
        std::int32_t turnedId = 0;
        const TGreedyBaseInfo* turnedInfo = nullptr;
        if (!find(APart, my->FNearRight, free, width, turnedNeed, turnedId, turnedInfo, nullptr, &allowed)) {
            return false;
        }
        if (TGreedyBaseInfoList::Compare(*turnedInfo, *info) <= 0) {
            row = {-turnedId, -APart};
            need = turnedNeed;
        }
    }
    free -= need;
    RemoveOne(allowed, row.front());
    while (!allowed.empty()) {
        const std::int32_t end = row.front();
        if (!FindAtEnd(end, true, free, need, id, info, nullptr, &allowed)) {
            id = allowed.back();
            need = Gap(id, end) + OuterLength(id);
        }
        row.insert(row.begin(), id);
        free -= need;
        RemoveOne(allowed, id);
    }
    if (!Fits(free)) {
        return false;
    }
    ALengthLeft = free;
    AOrder = std::move(row);
    return true;
}

bool TGreedyNesting::TrySetPartPosByMove(TIntDynArray& AOrder, std::int32_t /*APart*/, std::int32_t AIndex,
                                         double /*ALength*/, double& ALengthLeft) {
    const auto n = static_cast<std::int32_t>(AOrder.size());
    if (AIndex < 0 || AIndex >= n - 1) {
        return false;
    }
    auto at = [&AOrder](std::int32_t i) { return AOrder[static_cast<std::size_t>(i)]; };
    const std::int32_t first = at(AIndex + 1);
    const std::int32_t last = at(n - 1);
    const double cut = Gap(at(AIndex), first);
    const bool turning = !FNestParam.DisableReverse();
    auto moveBlock = [&](std::int32_t p, bool turned) {
        TIntDynArray block(AOrder.begin() + AIndex + 1, AOrder.end());
        if (turned) {
            std::reverse(block.begin(), block.end());
            for (std::int32_t& ref : block) {
                ref = -ref;
            }
        }
        AOrder.erase(AOrder.begin() + AIndex + 1, AOrder.end());
        AOrder.insert(AOrder.begin() + p, block.begin(), block.end());
    };
    for (std::int32_t p = 0; p < AIndex; ++p) {
        const double removed = cut + (p > 0 ? Gap(at(p - 1), at(p)) : 0.0);
        const double change = removed - (Gap(last, at(p)) + (p > 0 ? Gap(at(p - 1), first) : 0.0));
        if (Fits(ALengthLeft + change)) {
            moveBlock(p, false);
            ALengthLeft += change;
            return true;
        }
        if (turning) {
            const double turnedChange =
                removed - (Gap(-first, at(p)) + (p > 0 ? Gap(at(p - 1), -last) : 0.0));
            if (Fits(ALengthLeft + turnedChange)) {
                moveBlock(p, true);
                ALengthLeft += turnedChange;
                return true;
            }
        }
    }
    if (turning && AIndex > 0) {
        const double change = Gap(at(AIndex - 1), at(AIndex)) - Gap(at(AIndex - 1), -last);
        if (Fits(ALengthLeft + change)) {
            std::reverse(AOrder.begin() + AIndex, AOrder.end());
            for (auto it = AOrder.begin() + AIndex; it != AOrder.end(); ++it) {
                *it = -*it;
            }
            ALengthLeft += change;
            return true;
        }
    }
    return false;
}

} // namespace tubenest
