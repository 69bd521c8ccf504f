#pragma once
// The two tail placement entry points on a nested result list:
//
// TEcoTailPlace, the economical strategy: qualifies every pattern it can by reordering it (unspec
//   parts first, spec parts at the tail) and, for a pattern that still does not qualify, tries to
//   exchange parts with another pattern cut from the same tube entry by running the strict
//   strategy on the parts of the two tubes; an exchange is taken only when it keeps every copy,
//   uses exactly the two tubes and qualifies more of them.
// TTailPlace: the economical strategy, then (TailPlaceStrategy 0) the strict strategy on the whole
//   list, which replaces it only when it places no fewer copies in no more tubes and qualifies more
//   tubes; identical patterns are merged and every pattern's flag is set with its qualified order.
//
// Neither ever loses or duplicates a copy, overfills a tube or uses more tubes than the list it
// was given; a stop request or a passed deadline leaves the patterns not yet handled as they were.
// A list holding references outside the part array (split pieces) or unknown tubes is left alone.

#include "tailplace/strict_tail_place.h"
#include "tailplace/tail_place_base.h"

namespace tubenest {

class TEcoTailPlace : public TTailPlaceBase {
public:
    using TTailPlaceBase::TTailPlaceBase;

    bool TryTailPlace(TNestResultList& ANestResults) override;

    /// Larger spec groups first, then larger spec group plus free rest (a three-way comparer).
    static int SortbySpecLen(const TQualifiedNestResult& Left, const TQualifiedNestResult& Right);
    /// Exchanges parts between unqualified patterns and patterns of the same tube entry; true when
    /// at least one exchange was applied. New entries (split tube counts) join the lists.
    bool TryArrangeResults(TQualifiedNestResultList& AQualified, TQualifiedNestResultList& AUnqualified);
    /// Re-nests the parts of one tube of A and one of B strictly; on success A and B take the two
    /// new patterns (keeping their tube counts). False when the two spec groups and free rests
    /// together do not exceed twice the tail length.
    bool TryExchange(TQualifiedNestResult& A, TQualifiedNestResult& B);
    /// Runs the strict strategy on exactly the parts and tubes of the list; success when every
    /// copy is kept, the tubes are the same and more of them qualify. The list holds the new
    /// patterns on success (it is emptied otherwise).
    bool TryExchangeByStrictTailPlace(TQualifiedNestResultList& AList);
};

class TTailPlace : public TTailPlaceBase {
public:
    using TTailPlaceBase::TTailPlaceBase;

    bool TryTailPlace(TNestResultList& ANestResults) override;
};

} // namespace tubenest
