#pragma once
// A lower bound on the stock tubes that a plan of whole parts needs, from the linear relaxation of
// the cutting problem.
//
// Why it holds. Let g be the smallest gap of the gap manager between two parts of the problem (in
// any orientation; negative for a common cut) and L the longest usable tube length with stock. A
// tube holding parts of lengths l1..lk in some order needs l1 + .. + lk plus k - 1 gaps, each at
// least g, so (l1 + g) + .. + (lk + g) <= L + g. Every pattern of any tube of the stock is therefore
// a pattern of the relaxed problem "parts of length l + g, one tube of length L + g, no gaps", and
// any feasible dual solution of that problem's linear programme bounds the number of tubes of any
// stock mix (a shorter tube only allows fewer patterns). The bound counts the copies of parts that
// fit a tube of length L; parts longer than every tube are placed by no plan and are left out, and
// so are parts whose relaxed length is 1 mm or less (leaving rows out only lowers the bound).
//
// Two sources, the better kept: the duals of any nesting pass (made feasible by scaling them with
// the relaxed problem's most valuable pattern, a single dynamic programme), and a column generation
// of its own on the relaxed problem. Both are valid whatever ended their simplex. A stop request
// leaves the bound as it stands.
//
// Thread-safety: one object per thread; the inputs are only read.

#include <cstdint>
#include <limits>
#include <memory>
#include <vector>

#include "colgen/column_generation.h"
#include "colgen/pattern_pricing.h"
#include "model/nest_types.h"
#include "model/seg_place_info.h"

namespace tubenest {

class TTubeLowerBound {
public:
    /// Where the bound came from.
    enum class TSource { None, PassDuals, ColumnGeneration };

    /// Used lengths may exceed the tube by this much in a plan (the repair of the nesting passes
    /// accepts it); the relaxed tube is that much longer, so such plans are bounded too.
    static constexpr double kTubeTolerance = 0.001;

    /// The relaxed problem of AParts (demand: FAmountAvail) on the longest tube entry of ATubes with
    /// stock. Reads the gap manager once; keeps no reference to any argument.
    TTubeLowerBound(const TGeneralNestPartArr& AParts, const TGeneralNestTubeArr& ATubes,
                    const TSegPlaceInfoManager& AGaps);

    /// Whether a bound can be computed: some tube with stock, some part with demand that fits it.
    bool Usable() const { return FData != nullptr; }

    /// Raises the bound with a dual price per part (0-based part index; entries missing, negative or
    /// for parts outside the relaxed problem count 0). Does nothing at a stop request or when the
    /// pricing table would be too large. ACeiling, when finite, is the value of a primal feasible
    /// solution of a linear programme with the same demand and no more patterns than the relaxed
    /// one: the relaxed optimum, and so what Solve can reach, is at most that (0: the relaxed
    /// problem is the one the duals come from, and Solve would only repeat that solve).
    void AddDuals(const std::vector<double>& ADualsByPart,
                  double ACeiling = std::numeric_limits<double>::infinity());
    /// Runs column generation on the relaxed problem and raises the bound with its result. Does
    /// nothing when not usable or when the pricing table would be too large.
    void Solve();

    /// Whether Solve cannot raise the bound in whole tubes any more (a ceiling says so).
    bool Settled() const;

    /// The bound in tubes (fractional): 0 until a source raised it.
    double Value() const { return FValue; }
    /// The bound in whole tubes.
    std::int32_t Tubes() const;
    TSource Source() const { return FSource; }
    /// The usable tube length the bound is computed for (the longest with stock).
    double TubeLength() const { return FTubeLength; }
    /// The smallest gap between two parts of the problem.
    double MinGap() const { return FMinGap; }
    /// The relaxed problem (null when not usable).
    const TColGenData* Data() const { return FData.get(); }

private:
    void Raise(double AValue, TSource ASource);

    std::unique_ptr<TColGenData> FData;
    std::vector<std::int32_t> FPartOf; ///< part index of each part of the relaxed problem
    std::vector<char> FInLP;           ///< parts of the relaxed problem that take part in its programme
    std::unique_ptr<TPatternPricing> FPricing;
    bool FPricingFailed = false;
    double FTubeLength = 0.0;
    double FMinGap = 0.0;
    double FValue = 0.0;
    double FCeiling = std::numeric_limits<double>::infinity();
    TSource FSource = TSource::None;
};

} // namespace tubenest
