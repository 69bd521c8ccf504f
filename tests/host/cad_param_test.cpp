#include "host/cad_param.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "host/geometry.h"

namespace tubenest {
namespace {

using P = TCADAutoNestParam;

std::vector<unsigned char> Bytes(const P& p) {
    std::vector<unsigned char> out(P::kSize);
    std::memcpy(out.data(), p.Data(), P::kSize);
    return out;
}

// The accessor reads exactly the bytes at its offset, and the setter writes exactly those.
template <typename T>
void CheckField(std::size_t offset, T (P::*get)() const, void (P::*set)(T), T value) {
    SCOPED_TRACE(offset);
    P raw;
    std::memset(raw.Data(), 0xA5, P::kSize);
    std::memcpy(raw.Data() + offset, &value, sizeof value);
    EXPECT_EQ((raw.*get)(), value);

    P written;
    std::memset(written.Data(), 0x5A, P::kSize);
    auto expected = Bytes(written);
    std::memcpy(expected.data() + offset, &value, sizeof value);
    (written.*set)(value);
    EXPECT_EQ(Bytes(written), expected);
}

TEST(CADAutoNestParam, EveryAccessorSitsAtItsOffset) {
    CheckField<double>(8, &P::DefaultPartGap, &P::SetDefaultPartGap, 2.5);
    CheckField<double>(40, &P::SpecMinLength, &P::SetSpecMinLength, 120.25);
    CheckField<double>(48, &P::SpecMaxLength, &P::SetSpecMaxLength, -7.0);
    CheckField<double>(64, &P::TailLength, &P::SetTailLength, 300.5);
    CheckField<double>(112, &P::TargetLostRate, &P::SetTargetLostRate, 0.03);
    CheckField<double>(128, &P::ZShapeLength, &P::SetZShapeLength, 40.0);
    CheckField<double>(136, &P::ZShapeOffset, &P::SetZShapeOffset, 1e-3);
    CheckField<double>(168, &P::BevelLength, &P::SetBevelLength, 15.75);
    CheckField<std::int32_t>(36, &P::TailPlaceMode, &P::SetTailPlaceMode, 2);
    CheckField<std::int32_t>(56, &P::TailPlaceStrategy, &P::SetTailPlaceStrategy, -3);
    CheckField<std::int32_t>(120, &P::CutShape, &P::SetCutShape, 0x01020304);
    // Booleans are one byte; any non-zero byte reads as true, the setter writes 1.
    CheckField<bool>(29, &P::DisableReverse, &P::SetDisableReverse, true);
    CheckField<bool>(144, &P::DisAllowance, &P::SetDisAllowance, true);
    P p;
    p.Data()[29] = std::byte{0x80};
    EXPECT_TRUE(p.DisableReverse());
    EXPECT_FALSE(p.DisAllowance());
}

TEST(CADAutoNestParam, WholeBlockCopyKeepsBytesAndHostObjects) {
    TCoedgeFlagValues flags(1, 0, 2);
    TDisSubConfig config(4.5);
    P p;
    for (std::size_t k = 0; k < P::kSize; ++k) {
        p.Data()[k] = static_cast<std::byte>(k * 7 + 3);
    }
    p.SetCoedgeFlags(&flags);
    p.SetSubConfig(&config);
    P assigned;
    assigned = p;
    for (const P* copy : {static_cast<const P*>(&assigned), static_cast<const P*>(&p)}) {
        const P c = *copy;
        EXPECT_EQ(Bytes(c), Bytes(p));
        EXPECT_EQ(c.CoedgeFlags(), &flags);
        EXPECT_EQ(c.SubConfig(), &config);
        EXPECT_TRUE(c.CoedgeFlagIsOne(0));
        EXPECT_FALSE(c.CoedgeFlagIsOne(2)); // 2 is not 1
        EXPECT_EQ(c.SubConfigD("Dis"), 4.5);
        EXPECT_EQ(c.SubConfigD("Other"), 0.0);
    }
    const P none; // missing host objects read as unset
    EXPECT_FALSE(none.CoedgeFlagIsOne(0));
    EXPECT_EQ(none.SubConfigD("Dis"), 0.0);
}

TEST(Geometry, TolerancesIncludingNegativeOnes) {
    EXPECT_TRUE(fEqual(1.0, 1.5, 0.5)); // the tolerance itself is still equal
    EXPECT_TRUE(fEqual(1.5, 1.0, 0.5));
    EXPECT_FALSE(fEqual(1.0, 1.5, 0.25));
    EXPECT_FALSE(fGreat(1.5, 1.0, 0.5)); // greater means beyond the tolerance
    EXPECT_TRUE(fGreat(1.5, 1.0, 0.25));
    EXPECT_FALSE(fSmall(1.0, 1.5, 0.5));
    EXPECT_TRUE(fSmall(1.0, 1.5, 0.25));
    EXPECT_FALSE(fGreat(1.0, 1.0, 0.0));
    EXPECT_FALSE(fSmall(1.0, 1.0, 0.0));
    // A negative tolerance loosens the order tests and no value equals another.
    EXPECT_TRUE(fGreat(1.0, 1.0, -0.125));
    EXPECT_FALSE(fGreat(0.875, 1.0, -0.125));
    EXPECT_TRUE(fSmall(1.0, 1.0, -0.125));
    EXPECT_FALSE(fSmall(1.125, 1.0, -0.125));
    EXPECT_FALSE(fEqual(1.0, 1.0, -0.125));
}

} // namespace
} // namespace tubenest
