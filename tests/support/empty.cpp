// Keeps the support library non-empty before any utility exists.
namespace tubenest::testsupport {
int support_library_anchor() {
    return 0;
}
} // namespace tubenest::testsupport
