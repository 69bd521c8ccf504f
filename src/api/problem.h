#pragma once
// The problem as production engineers and host developers state it: parts to cut, stock tubes,
// the gap model and the nesting parameters by readable names. Lengths are millimetres.
//
// A Problem is a plain value; nothing is checked until ValidateProblem (Solve validates first).

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace tubenest::api {

/// A closed stretch [start, end] along a part, measured in mm from its end A.
struct Interval {
    double start = 0.0;
    double end = 0.0;
};

/// One distinct part (many copies of it may be required).
struct PartSpec {
    std::string id{};                    ///< unique; gap records refer to it
    std::string name{};                  ///< shown in the outputs; empty: the id
    double length = 0.0;                 ///< outer length: what the part occupies in a tube
    std::optional<double> real_length{}; ///< real extent along the axis; default: length
    double cutoff_a = 0.0;               ///< length cut away at end A
    double cutoff_b = 0.0;               ///< length cut away at end B
    std::int64_t amount = 0;             ///< copies required (checked against 32-bit counts)
    std::string end_a{};                 ///< end type of end A (a key of GapModel::end_types); empty: plain
    std::string end_b{};                 ///< end type of end B
    /// Where the part may be cut in two for splitting and welding. Unset: the whole part except
    /// NestingParameters::split_margin from each end; an empty list: never split.
    std::optional<std::vector<Interval>> separable{};

    const std::string& DisplayName() const { return name.empty() ? id : name; }
    double RealLength() const { return real_length.value_or(length); }
};

/// One stock-tube length.
struct StockSpec {
    std::string id{};        ///< unique; empty: "S<position>" (1-based)
    double length = 0.0;     ///< mm
    std::int64_t amount = 0; ///< tubes available

    // Stock as users keep it: offcuts of earlier jobs and bar ends that cannot be used.
    bool remnant = false;               ///< an offcut: used before full bars, shortest first
    std::optional<double> trim_start{}; ///< mm cut away at the bar's start; unset: StockSettings
    std::optional<double> trim_end{};   ///< mm left unused at the bar's end; unset: StockSettings
};

/// Settings for all stock entries.
struct StockSettings {
    double trim_start = 0.0; ///< mm, for entries without their own trim_start
    double trim_end = 0.0;   ///< mm, for entries without their own trim_end
    /// Remnants at least this long (mm) are marked usable in the plan, shorter ones scrap;
    /// unset: remnants are not classified (every one counts as scrap in the totals).
    std::optional<double> min_usable_remnant{};
};

/// An end shape with the clearance it needs towards whatever faces it.
struct EndType {
    std::string name{};
    double clearance = 0.0; ///< mm, >= 0
};

/// The gap between two facing end types, overriding the clearance rule (e.g. two mitres that
/// nest into each other and share one cut). Unordered: {x, y} also covers y facing x, because a
/// sequence and its mirror image need the same gap.
struct EndPairRule {
    std::string first{};
    std::string second{};
    double gap = 0.0; ///< mm; may be negative when the ends overlap in length
    bool common_cut = false;
    double common_length = -1.0; ///< length of the common cut; -1: none
    double land_common_length = -1.0;
    std::int32_t common_style = 0;
};

/// An explicit record for one part followed by another in given directions. It overrides every
/// other rule for that placement and for its mirror image (second turned back, then first turned back).
struct PairGap {
    std::string first{};  ///< part id
    std::string second{}; ///< part id
    bool first_turned = false;
    bool second_turned = false;
    double gap = 0.0;              ///< FixedGap, mm
    std::optional<double> z_gap{}; ///< ranking gap; default: gap
    bool common_cut = false;
    double common_length = -1.0;
    double land_common_length = -1.0;
    double rotation = 0.0;
    std::int32_t common_style = 0;
};

/// How far apart two adjacent parts stand. For part p followed by part q the facing ends are the
/// trailing end of p (B, or A when p is turned) and the leading end of q (A, or B when turned):
///   1. an explicit PairGap for that placement (or its mirror) gives the record as stated;
///   2. else an EndPairRule for the two facing end types gives its gap and common-cut data;
///   3. else gap = max(kerf, clearance(trailing end type) + clearance(leading end type)).
/// An end without a type has clearance 0, so without end types every gap is the kerf.
struct GapModel {
    double kerf = 0.0; ///< mm, >= 0: the uniform gap (saw or laser kerf)
    std::vector<EndType> end_types{};
    std::vector<EndPairRule> end_pairs{};
    std::vector<PairGap> pairs{};
};

enum class CutShape { Straight = 0, ZShape = 1, Bevel = 2 };

// ---- Splitting policy -------------------------------------------------------------------------
/// Where the circular method may cut a part in two (one weld per split).
enum class Splitting {
    Never, ///< no part is split; a part longer than every tube is not placed
    Auto,  ///< a plan with splits only where it saves stock tubes or places more copies than the
           ///< best plan without splits; a part longer than every tube is still split
    Free,  ///< the method splits wherever its search finds it useful (fewest welds among plans
           ///< with the same tubes)
};
/// "never", "auto" or "free".
const char* SplittingName(Splitting splitting);
/// Parses a splitting name; nullopt for an unknown one.
std::optional<Splitting> ParseSplitting(const std::string& name);
/// Default shortest split piece, mm: shorter pieces are awkward to clamp and weld straight.
inline constexpr double kDefaultMinPieceLength = 300.0;
// ------------------------------------------------------------------------------------------------

/// Nesting parameters; each maps to one field of the engine's parameter block.
struct NestingParameters {
    std::optional<double> default_part_gap{}; ///< mm, gap next to a split piece; default: the kerf
    bool disable_reverse = false;             ///< never turn a part end for end
    double target_lost_rate = 0.05; ///< waste / part length at which the swarm turns to weld reduction
    CutShape cut_shape = CutShape::Straight; ///< shape of the split cut
    double z_shape_length = 0.0;             ///< mm, length of a Z-shaped split cut
    double z_shape_offset = 0.0;             ///< mm, second dimension of the Z-shaped cut
    double bevel_length = 0.0;               ///< mm, connect length of a bevelled split cut
    bool dis_allowance = false;              ///< use the configured allowance ("dis") for Z and bevel joints
    double dis = 0.0;                        ///< mm, the configured allowance
    bool coedge_flag0 = false;               ///< host co-edge flag 0: joints without Z offset share one cut
    bool coedge_flag2 = false;               ///< host co-edge flag 2: joints with a Z offset share one cut
    double split_margin = 100.0;             ///< mm kept free of split cuts at each end (default stretches)
    // Splitting policy (see Splitting).
    Splitting splitting = Splitting::Auto;            ///< where parts may be split
    double min_piece_length = kDefaultMinPieceLength; ///< mm, no split piece shorter (engine floor 1.1 mm)
};

// ---- Tail rules ---------------------------------------------------------------------------------
/// Which patterns count as tail-qualified. The tail parts are the parts whose length lies in
/// [TailRules::min_length, TailRules::max_length]; a qualified pattern has them together at its end.
enum class TailMode {
    Reserve = 1, ///< the tail parts and the free rest behind them reach tail_length (a pattern
                 ///< without tail parts qualifies when its free rest alone does)
    Last = 2,    ///< the tail parts stand last; a pattern without any qualifies when it leaves room
                 ///< for one (more free length than min_length)
};
/// How hard the engine works for qualified patterns.
enum class TailStrategy {
    Economical = 1, ///< reorder patterns and exchange parts between tubes cut from the same stock
    Strict = 0,     ///< economical, then a new plan with a tail segment reserved in every tube, taken
                    ///< only when it places every copy in no more tubes and qualifies more of them
};
/// "reserve" or "last".
const char* TailModeName(TailMode mode);
std::optional<TailMode> ParseTailMode(const std::string& name);
/// "economical" or "strict".
const char* TailStrategyName(TailStrategy strategy);
std::optional<TailStrategy> ParseTailStrategy(const std::string& name);

/// Parts that belong at the end (tail) of a tube, e.g. parts a loader must take last. Applies to
/// whole parts only: methods that split parts are refused with tail rules.
struct TailRules {
    double min_length = 0.0;  ///< mm, shortest tail part
    double max_length = 0.0;  ///< mm, longest tail part
    double tail_length = 0.0; ///< mm, the tail every tube should keep for them (mode reserve)
    TailMode mode = TailMode::Reserve;
    TailStrategy strategy = TailStrategy::Strict;
};
/// Share of a run's time limit kept for placing tail parts after the method.
inline constexpr double kTailTimeShare = 0.25;
/// Without a time limit the tail placement gets the same share of the method's time, at least this (s).
inline constexpr double kTailMinSeconds = 5.0;
// ------------------------------------------------------------------------------------------------

struct Problem {
    std::vector<PartSpec> parts{};
    std::vector<StockSpec> stock{};
    GapModel gaps;
    NestingParameters parameters;
    StockSettings stock_settings;
    std::optional<TailRules> tail{}; ///< unset: no tail rules

    double DefaultPartGap() const { return parameters.default_part_gap.value_or(gaps.kerf); }
};

/// Limits that keep the engine's 32-bit counts and its gap table within bounds.
inline constexpr std::int64_t kMaxAmount = 2147483647;   ///< per item and per sum of stock amounts
inline constexpr std::int64_t kMaxTotalCopies = 1000000; ///< sum of all part amounts
inline constexpr std::size_t kMaxPartKinds = 1000;       ///< the gap table grows with its square
/// Largest length, trim or gap magnitude accepted (mm): 10 km keeps every sum of lengths exact
/// enough and finite.
inline constexpr double kMaxLength = 1e7;

/// Bad input: every fault found, one line each, naming the item and the value.
class ProblemError : public std::invalid_argument {
public:
    explicit ProblemError(std::vector<std::string> faults);
    const std::vector<std::string>& faults() const { return faults_; }

private:
    std::vector<std::string> faults_{};
};

/// Every fault of a problem (empty when it is valid). A part that fits no tube is not a fault: it
/// is reported as not placed.
std::vector<std::string> FindProblemFaults(const Problem& problem);
/// Throws ProblemError with all faults when there is any.
void ValidateProblem(const Problem& problem);

/// The separable stretches the engine gets for a part: its own list, or the default one.
std::vector<Interval> EffectiveSeparable(const PartSpec& part, const NestingParameters& parameters);
/// The stretches handed to the engine: none with Splitting::Never, else EffectiveSeparable clipped
/// so that both pieces are at least min_piece_length long.
std::vector<Interval> EngineSeparable(const PartSpec& part, const NestingParameters& parameters);

/// The id of stock entry index: its own, or "S<index + 1>" when it has none.
std::string EffectiveStockId(const StockSpec& stock, std::size_t index);

/// The trims of a stock entry: its own, else those of Problem::stock_settings.
double EffectiveTrimStart(const Problem& problem, const StockSpec& stock);
double EffectiveTrimEnd(const Problem& problem, const StockSpec& stock);
/// The length the methods may fill: length - trim_start - trim_end.
double UsableLength(const Problem& problem, const StockSpec& stock);

/// "straight", "z" or "bevel".
const char* CutShapeName(CutShape shape);
/// Parses a cut shape name; nullopt for an unknown one.
std::optional<CutShape> ParseCutShape(const std::string& name);

/// A length as text: up to 3 decimals, trailing zeros dropped ("1200", "1200.5", "-0.125").
std::string FormatLength(double mm);

} // namespace tubenest::api
