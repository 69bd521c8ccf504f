#pragma once
// The boundary between the facade and the nesting methods. Solve validates a Problem, builds an
// EngineInput from it, runs a method from the registry and builds the Plan from its EngineOutput.
// A method is a plain function; plugging one in is RegisterMethod(name, fn).
//
// Index conventions are the engine's: parts[i] of the input is Problem::parts[i]; results use signed
// 1-based part references and 1-based tube indices. The tube entries are the stock entries in the
// order the methods should use them (see BuildEngineInput): tubes[i] is
// Problem::stock[tube_stock[i]], with the usable length (trims taken off).

#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "api/plan.h"
#include "api/problem.h"
#include "host/cad_param.h"
#include "model/nest_progress.h"
#include "model/nest_result.h"
#include "model/nest_types.h"
#include "model/seg_place_info.h"

namespace tubenest::api {

/// Where a part may be split, in mm along the part from its end A.
struct PartIntervals {
    std::vector<std::array<double, 2>> separable; ///< sorted [start, end] stretches; empty: never split
    double front_cutoff_pos = 0.0;                ///< the part's front end: 0
    double back_cutoff_pos = 0.0;                 ///< the part's back end: its length
};

/// Everything a method reads. Move-only: the parameter block points at the host objects it owns.
struct EngineInput {
    TGeneralNestPartArr parts;                       ///< one per Problem part; FAmountAvail = amount required
    TGeneralNestTubeArr tubes;                       ///< one per stock entry; FAmountAvail = tubes available
    std::vector<double> tube_lengths;                ///< FTubeInitialLen of each tube entry (TubesLengthArr)
    std::unique_ptr<TCoedgeFlagValues> coedge_flags; ///< referenced by param
    std::unique_ptr<TDisSubConfig> sub_config;       ///< referenced by param ("Dis")
    TCADAutoNestParam param;                         ///< the parameter block, host objects attached
    std::unique_ptr<TSegPlaceInfoManager> gaps;      ///< full table, InitializePartGaps done
    std::vector<PartIntervals> intervals;            ///< one per part
    std::vector<std::size_t> tube_stock;             ///< stock index of each tube entry; empty: i
};

/// Builds the engine input of a valid problem. Every method takes tube entries first to last, so
/// the entries are ordered the way users spend stock: remnants first, the shortest first (ties in
/// the order of the stock list), then the full bars in the order of the stock list. Each entry's
/// length is the usable length: the stock length less its trims.
EngineInput BuildEngineInput(const Problem& problem);

/// The stock index of 0-based tube entry `tube` of the input.
std::size_t StockIndexOfTube(const EngineInput& input, std::size_t tube);

/// A split piece that appears in results as a part reference above the number of parts.
struct PieceInfo {
    std::int32_t reference = 0;  ///< the piece's part reference (> number of parts)
    std::size_t origin_part = 0; ///< 0-based index of the part that was split
    bool is_front = true;        ///< front piece (keeps end A) or back piece (keeps end B)
    double length = 0.0;         ///< outer length of the piece
    std::int32_t split_id = 0;   ///< equal for the front and back piece of one split
};

/// A lower bound on the number of stock tubes that a complete plan of the input needs, proven by a
/// method (an LP relaxation, a search tree). Only proofs belong here: a method whose bound rests on
/// heuristic pricing leaves it unset.
struct TubeBound {
    double tubes = 0.0; ///< may be fractional (an LP value); the plan rounds it up
    std::string source; ///< what proved it, in words: "column generation", "branch-cut-price"
    /// The proof considers whole parts only. Splitting a part across two tubes can save a tube, so
    /// such a bound is not used where the problem allows splits.
    bool whole_parts_only = true;
};

/// What a method returns.
struct EngineOutput {
    TNestResultList results;       ///< FTubeIndex 1-based into the input tubes
    std::vector<PieceInfo> pieces; ///< one per piece reference used in results
    bool stopped = false;          ///< the method ended early on a stop request or its own limit
    /// Gap table covering the piece references too (the cut parts manager's); when set, every gap
    /// between neighbours is read from it, so positions match the method's own lengths exactly.
    std::shared_ptr<const TSegPlaceInfoManager> extended_gaps;
    /// A lower bound the method proved, if any (see TubeBound).
    std::optional<TubeBound> lower_bound;
};

/// Run settings handed to a method besides the input.
struct MethodContext {
    std::uint64_t seed = 0;                                        ///< seed for TRandomGenerator
    std::int32_t swarm_size_factor = 5;                            ///< AdjustFactor of the particle swarm
    std::int32_t threads = 1;                                      ///< worker threads a method may use
    std::optional<std::chrono::steady_clock::time_point> deadline; ///< the time limit, if any
    TNestProgress* progress = nullptr; ///< the progress object of the run (also the global NestProgress)

    /// True once a stop was requested (by the caller or the time limit); does not advance progress.
    bool StopRequested() const { return progress != nullptr && progress->Stoped(); }
};

using EngineMethod = std::function<EngineOutput(const EngineInput&, const MethodContext&)>;

/// Registers (or replaces) a method under a name. Thread-safe.
void RegisterMethod(const std::string& name, EngineMethod method);
/// Names of the registered methods, sorted.
std::vector<std::string> AvailableMethods();
/// The registered method; throws std::invalid_argument naming the method and the choices.
EngineMethod FindMethod(const std::string& name);
/// The facade's best-of mode (see Solve): not a registered method, but accepted wherever a method
/// name is.
inline constexpr const char* kAutoMethodName = "auto";
/// "auto".
std::string DefaultMethodName();
/// The method names Solve accepts: "auto", then the registered methods, sorted.
std::vector<std::string> SolveMethodNames();
/// Throws std::invalid_argument naming the method and the choices unless Solve accepts the name.
void CheckMethodName(const std::string& name);

/// Whether any part of the input may be split (it has a separable stretch).
bool InputMaySplit(const EngineInput& input);

/// The bound every plan gets: the fewest tubes whose usable lengths can hold the parts at all. With
/// g the smallest gap between any two neighbours, a tube of usable length L holding parts l1..lk needs
/// sum(li) + (k - 1) g <= L, that is sum(li + g) <= L + g; summing over the tubes gives the fewest tubes
/// (longest first) whose L + g add up to the parts' sum(l + g). Where parts may be split, pieces add
/// neighbours whose gap may be 0, so g is taken at most 0 and, since a tube ends with at most one
/// front piece, the bound becomes sum(L) >= sum(l) + N g. Unset when there are no parts or the stock
/// cannot hold them at all.
std::optional<TubeBound> ContinuousTubeBound(const EngineInput& input);

/// Builds the plan from a method's output. Positions: the first part at the stock entry's
/// trim_start, then the previous end plus the gap: the gap manager's FixedGap between whole parts; next to a
/// piece the gap the circular nest lays there (0 when a co-edge flag makes the joint share a cut, else
/// default_part_gap). stop_status is the status of a run that was stopped (Interrupted or
/// TimeLimit); without one the plan is Complete or Partial. Results with the same tube entry and
/// the same part order become one pattern. Split pieces are lengths the engine widens by 1e-6 mm
/// at the cut point; the plan snaps them back to the 1e-5 mm grid when they lie within 1.5e-6 of it. Throws
/// std::logic_error when the output is inconsistent with the input (unknown references or tubes, more copies
/// or tubes than exist).
Plan BuildPlan(const Problem& problem, const EngineInput& input, EngineOutput output,
               std::optional<PlanStatus> stop_status = std::nullopt);

/// The reference method: first-fit decreasing over whole copies, longest first, tubes in the
/// order of the tube entries (remnants first), each copy in its own direction or turned, whichever has the
/// smaller gap to the part before it. Never splits. Registered as "ffd".
EngineOutput FirstFitDecreasing(const EngineInput& input, const MethodContext& context);

} // namespace tubenest::api
