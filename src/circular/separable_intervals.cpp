#include "circular/separable_intervals.h"

#include <stdexcept>

namespace tubenest {
namespace {
[[noreturn]] void Todo() {
    throw std::logic_error("not implemented yet");
}
} // namespace
TClosedInterval TClosedInterval::Create(double) {
    Todo();
}
bool TClosedInterval::IntersectWith(const TClosedInterval&, TClosedInterval&) const {
    Todo();
}
int TClosedInterval::Subtract(const TClosedInterval&, TClosedInterval&, TClosedInterval&) const {
    Todo();
}
std::string TClosedInterval::ToString() const {
    Todo();
}
int TSeparateIntervals::TSeparateIntervalsComparer::Compare(const TClosedInterval&, const TClosedInterval&) {
    Todo();
}
std::int32_t TSeparateIntervals::Add(const TClosedInterval&) {
    Todo();
}
void TSeparateIntervals::AddRange(const TSeparateIntervals&) {
    Todo();
}
void TSeparateIntervals::AddRange(const std::vector<TClosedInterval>&) {
    Todo();
}
void TSeparateIntervals::Insert(std::int32_t, const TClosedInterval&) {
    Todo();
}
void TSeparateIntervals::Delete(std::int32_t) {
    Todo();
}
const TClosedInterval& TSeparateIntervals::Items(std::int32_t) const {
    Todo();
}
TClosedInterval& TSeparateIntervals::Items(std::int32_t) {
    Todo();
}
const TClosedInterval& TSeparateIntervals::First() const {
    Todo();
}
const TClosedInterval& TSeparateIntervals::Last() const {
    Todo();
}
void TSeparateIntervals::Sort() {
    Todo();
}
void TSeparateIntervals::ResetLength() {
    Todo();
}
void TSeparateIntervals::SplitInto2Parts(double, std::unique_ptr<TSeparateIntervals>&,
                                         std::unique_ptr<TSeparateIntervals>&) {
    Todo();
}
std::unique_ptr<TSeparateIntervals> TSeparateIntervals::IntersectWith(TSeparateIntervals&) {
    Todo();
}
void TSeparatableIntervals::SetCutOffPos(double, double) {
    Todo();
}
void TSeparatableIntervals::AvoidInterval(const TClosedInterval&) {
    Todo();
}
bool TSeparatableIntervals::IsPosSeparatable(double) const {
    Todo();
}
void TSeparatableIntervals::SetConnectLength(double) {
    Todo();
}
double TSeparatableIntervals::GetMidCutPos() const {
    Todo();
}
double TSeparatableIntervals::GetACutPos(double, bool) const {
    Todo();
}
std::unique_ptr<TSeparatableIntervalsInSegment>
TSeparatableIntervalsInSegment::AddPartIntervals(const TSeparatableIntervals&, double) {
    Todo();
}
std::unique_ptr<TSeparatableIntervalsInSegment>
TSeparatableIntervalsInSegment::IntersectWith(const TSeparateIntervals&, double) {
    Todo();
}
bool TSeparatableIntervalsInSegment::IsMinOffsetExists(TSeparateIntervals*, double) {
    Todo();
}
double TSeparatableIntervalsInSegment::GetMinOffset(TSeparateIntervals*, double) {
    Todo();
}
} // namespace tubenest
