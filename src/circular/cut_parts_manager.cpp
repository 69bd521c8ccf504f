#include "circular/cut_parts_manager.h"

#include <stdexcept>

namespace tubenest {
namespace {
[[noreturn]] void Todo() {
    throw std::logic_error("not implemented yet");
}
} // namespace
int TCutNestParts::TCutNestPartsComparer::Compare(const TCutNestPart&, const TCutNestPart&) {
    Todo();
}
std::int32_t TCutNestParts::Add(const TCutNestPart&) {
    Todo();
}
void TCutNestParts::Insert(std::int32_t, const TCutNestPart&) {
    Todo();
}
void TCutNestParts::Delete(std::int32_t) {
    Todo();
}
const TCutNestPart& TCutNestParts::Items(std::int32_t) const {
    Todo();
}
TCutNestPart& TCutNestParts::Items(std::int32_t) {
    Todo();
}
void TCutNestParts::Sort() {
    Todo();
}
std::unique_ptr<TCutNestParts> TCutNestParts::Clone() const {
    Todo();
}
TCutPartsManager::TCutPartsManager(const TSegPlaceInfoManager&, const TCutNestParts&,
                                   const TGeneralNestPartArr&, const TCADAutoNestParam&) {
    Todo();
}
std::unique_ptr<TCutPartsManager> TCutPartsManager::Clone() const {
    Todo();
}
TGeneralNestPart TCutPartsManager::CreateLeftPart(const TCutNestPart&) const {
    Todo();
}
TGeneralNestPart TCutPartsManager::CreateRightPart(const TCutNestPart&) const {
    Todo();
}
void TCutPartsManager::CalcPartConnectLength() {
    Todo();
}
void TCutPartsManager::UpdateTempNestPart() {
    Todo();
}
void TCutPartsManager::ZShapeUpdateTemNestPart() {
    Todo();
}
void TCutPartsManager::BevelUpdateTemNestPart() {
    Todo();
}
void TCutPartsManager::ReSetNestBaseInfo(TNestBaseInfo&) const {
    Todo();
}
} // namespace tubenest
