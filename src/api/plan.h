#pragma once
// The answer of Solve: cutting patterns with part positions, splits and welds, totals and the
// copies that could not be placed. Lengths are millimetres.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "model/nest_result.h"

namespace tubenest::api {

enum class PlanStatus {
    Complete,    ///< the method finished and every required copy is placed
    Partial,     ///< the method finished but some copies are not placed
    Interrupted, ///< the caller asked to stop; the best plan found so far
    TimeLimit,   ///< the time limit ran out; the best plan found so far
};

/// "complete", "partial", "interrupted" or "time_limit".
const char* PlanStatusName(PlanStatus status);

enum class PieceKind {
    Whole, ///< a whole copy of a part
    Front, ///< the front piece of a split copy (keeps the part's end A; its cut is at its end B)
    Back,  ///< the back piece (its cut is at its end A; keeps the part's end B)
};

/// "whole", "front" or "back".
const char* PieceKindName(PieceKind kind);

/// One part (or piece) in a pattern.
struct PlacedPart {
    std::int32_t reference = 0; ///< the engine's part reference (signed; above the part count for a piece)
    std::size_t part_index = 0; ///< 0-based index into Problem::parts (the origin part of a piece)
    std::string part_id;
    std::string name;
    bool turned = false;     ///< laid end for end (end B first)
    double start = 0.0;      ///< mm from the tube's start
    double length = 0.0;     ///< outer length of the part or piece
    double gap_before = 0.0; ///< gap to the previous part; 0 for the first
    PieceKind piece = PieceKind::Whole;
    std::int32_t split_id = -1; ///< for pieces: the split they come from (see Plan::splits)

    double End() const { return start + length; }
};

/// Tubes cut alike.
struct Pattern {
    std::size_t stock_index = 0; ///< 0-based index into Problem::stock
    std::string stock_id;
    double stock_length = 0.0;
    std::int32_t count = 0;        ///< tubes cut to this pattern
    std::vector<PlacedPart> parts; ///< from the tube's start
    double used_length = 0.0;      ///< end of the last part, from the bar's real start
    double remnant = 0.0;          ///< stock_length - used_length (the end trim included)

    // Stock as users keep it, and what the saw does.
    bool from_remnant = false;   ///< the stock entry is a remnant
    double trim_start = 0.0;     ///< mm before the first part (positions count from the real start)
    double trim_end = 0.0;       ///< mm at the bar's end the parts may not use
    std::int32_t cuts = 0;       ///< saw cuts per tube (see docs/plan-format.md)
    bool remnant_usable = false; ///< remnant >= Plan::min_usable_remnant (false when unset)
    /// The tail parts stand together at the end by the tail rules (false without tail rules).
    bool tail_qualified = false;
};

/// One way a part was cut in two; every complete front + back pair needs one weld.
struct Split {
    std::int32_t split_id = 0;
    std::size_t part_index = 0;
    std::string part_id;
    double front_length = 0.0;
    double back_length = 0.0;
    std::int32_t welds = 0; ///< copies joined from such a pair of pieces
};

struct StockUsage {
    std::size_t stock_index = 0;
    std::string stock_id;
    double stock_length = 0.0;
    std::int32_t tubes = 0;     ///< tubes used
    std::int32_t available = 0; ///< tubes that were available
    bool remnant = false;       ///< the entry is a remnant
};

struct Totals {
    std::vector<StockUsage> stock; ///< one entry per stock entry, in the order of Problem::stock
    std::int32_t tubes_used = 0;
    double material_used = 0.0; ///< sum of the stock lengths of the tubes used
    double part_length_placed =
        0.0;            ///< sum of the lengths of everything placed (pieces by their own lengths)
    double yield = 0.0; ///< part_length_placed / material_used (0 without material)
    double waste = 0.0; ///< material_used - part_length_placed
    std::int32_t welds = 0;
    std::int64_t copies_required = 0;
    std::int64_t copies_placed = 0; ///< whole copies plus complete front + back pairs

    std::int64_t cuts = 0;              ///< saw cuts, all tubes
    std::int64_t usable_remnants = 0;   ///< tubes whose remnant is usable
    double usable_remnant_length = 0.0; ///< their remnants, summed
    double scrap_remnant_length = 0.0;  ///< the other remnants, summed
};

/// Copies of a part that are not in the plan.
struct Unplaced {
    std::size_t part_index = 0;
    std::string part_id;
    std::int64_t count = 0;
    std::string reason;
};

/// The fewest stock tubes any complete plan of the problem needs, as far as it could be proven.
struct PlanBound {
    std::int64_t tubes = 0;
    std::string source; ///< "continuous", "column generation", "branch-cut-price", ...
};

/// What one method reached in a run of method "auto" (see Solve).
struct MethodAttempt {
    std::string method;
    std::uint64_t seed = 0; ///< the seed it ran with: --method <method> --seed <seed> repeats it alone
    /// "complete", "partial", "time_limit" (its share of the time ran out), "interrupted", or
    /// "not suited" (the method refused the problem; see note)
    std::string outcome;
    std::int32_t tubes = 0;
    double material_used = 0.0;
    std::int32_t welds = 0;
    std::int64_t copies_placed = 0;
    std::optional<std::int64_t> lower_bound; ///< the bound its plan carried
    double seconds = 0.0;                    ///< wall time of the method
    std::string note;                        ///< why it was not suited; empty otherwise
};

/// How the tail rules of the problem were met.
struct TailOutcome {
    std::string mode;     ///< "reserve" or "last"
    std::string strategy; ///< "economical" or "strict"
    double min_length = 0.0;
    double max_length = 0.0;
    double tail_length = 0.0;
    std::int64_t qualified_tubes = 0;    ///< tubes whose pattern is tail-qualified
    std::int64_t qualified_patterns = 0; ///< patterns that are tail-qualified
    /// Tail placement ran on the plan (false when a stop came first or the plan splits parts).
    bool placed = false;
};

struct Plan {
    PlanStatus status = PlanStatus::Complete;
    std::string method;                  ///< the method asked for ("auto" for the best of several)
    std::uint64_t seed = 0;              ///< the seed the method ran with (repeat a run with it)
    double elapsed_seconds = 0.0;        ///< wall time of the method
    std::string winner;                  ///< the method whose plan this is (method itself unless "auto")
    std::vector<MethodAttempt> attempts; ///< "auto": every method that counted, in the order tried
    std::vector<Pattern> patterns;
    std::vector<Split> splits;
    Totals totals;
    std::vector<Unplaced> unplaced;
    std::vector<std::string> warnings;        ///< e.g. a pattern longer than its tube
    std::optional<double> min_usable_remnant; ///< from the problem; unset: remnants not classified
    std::optional<PlanBound> lower_bound;     ///< unset only without parts or without enough stock
    bool optimal = false; ///< every copy placed in lower_bound->tubes tubes: no plan uses fewer
    std::optional<TailOutcome> tail; ///< set when the problem has tail rules
    /// The engine's own result list (part references, tube indices, place data).
    std::shared_ptr<const TNestResultList> engine_results;

    bool AllPlaced() const { return unplaced.empty(); }
};

} // namespace tubenest::api
