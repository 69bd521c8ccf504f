#include "host/cad_param.h"

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "host/geometry.h"

namespace tubenest {
namespace {

// Raw view of the block, for checking that an accessor touches exactly its own bytes.
std::vector<unsigned char> Bytes(const TCADAutoNestParam& p) {
    std::vector<unsigned char> out(TCADAutoNestParam::kSize);
    std::memcpy(out.data(), p.Data(), out.size());
    return out;
}

template <typename T>
void PutRaw(TCADAutoNestParam& p, std::size_t offset, T value) {
    std::memcpy(p.Data() + offset, &value, sizeof value);
}

template <typename T>
struct Field {
    std::string name;
    std::size_t offset;
    std::function<T(const TCADAutoNestParam&)> get;
    std::function<void(TCADAutoNestParam&, T)> set;
};

template <typename T>
void CheckField(const Field<T>& f, T value) {
    SCOPED_TRACE(f.name);
    // Raw bytes at the offset are what the accessor reads; the neighbours are left as they are.
    TCADAutoNestParam raw;
    std::memset(raw.Data(), 0xA5, TCADAutoNestParam::kSize);
    PutRaw(raw, f.offset, value);
    EXPECT_EQ(f.get(raw), value);

    // The setter writes exactly sizeof(T) bytes at the offset and nothing else.
    TCADAutoNestParam written;
    std::memset(written.Data(), 0x5A, TCADAutoNestParam::kSize);
    auto expected = Bytes(written);
    std::memcpy(expected.data() + f.offset, &value, sizeof value);
    f.set(written, value);
    EXPECT_EQ(Bytes(written), expected);
}

using P = TCADAutoNestParam;

TEST(CADAutoNestParam, DoubleFieldsSitAtTheirOffsets) {
    const std::vector<Field<double>> fields = {
        {"DefaultPartGap", 8, &P::DefaultPartGap, &P::SetDefaultPartGap},
        {"SpecMinLength", 40, &P::SpecMinLength, &P::SetSpecMinLength},
        {"SpecMaxLength", 48, &P::SpecMaxLength, &P::SetSpecMaxLength},
        {"TailLength", 64, &P::TailLength, &P::SetTailLength},
        {"TargetLostRate", 112, &P::TargetLostRate, &P::SetTargetLostRate},
        {"ZShapeLength", 128, &P::ZShapeLength, &P::SetZShapeLength},
        {"ZShapeOffset", 136, &P::ZShapeOffset, &P::SetZShapeOffset},
        {"BevelLength", 168, &P::BevelLength, &P::SetBevelLength},
    };
    double v = 1.125;
    for (const auto& f : fields) {
        CheckField(f, v);
        v = -v * 3.5;
    }
}

TEST(CADAutoNestParam, IntegerFieldsSitAtTheirOffsets) {
    const std::vector<Field<std::int32_t>> fields = {
        {"TailPlaceMode", 36, &P::TailPlaceMode, &P::SetTailPlaceMode},
        {"TailPlaceStrategy", 56, &P::TailPlaceStrategy, &P::SetTailPlaceStrategy},
        {"CutShape", 120, &P::CutShape, &P::SetCutShape},
    };
    std::int32_t v = -2;
    for (const auto& f : fields) {
        CheckField(f, v);
        v = v * -7 + 1;
    }
}

TEST(CADAutoNestParam, BooleanFieldsAreOneByteAtTheirOffsets) {
    for (const auto& [offset, get, set] :
         std::vector<std::tuple<std::size_t, bool (P::*)() const, void (P::*)(bool)>>{
             {29, &P::DisableReverse, &P::SetDisableReverse}, {144, &P::DisAllowance, &P::SetDisAllowance}}) {
        SCOPED_TRACE(offset);
        TCADAutoNestParam p;
        std::memset(p.Data(), 0xFF, TCADAutoNestParam::kSize);
        p.Data()[offset] = std::byte{0};
        EXPECT_FALSE((p.*get)());
        p.Data()[offset] = std::byte{0x80}; // any non-zero byte is true
        EXPECT_TRUE((p.*get)());

        TCADAutoNestParam q;
        (q.*set)(true);
        auto expected = std::vector<unsigned char>(TCADAutoNestParam::kSize, 0);
        expected[offset] = 1;
        EXPECT_EQ(Bytes(q), expected);
        (q.*set)(false);
        EXPECT_EQ(Bytes(q), std::vector<unsigned char>(TCADAutoNestParam::kSize, 0));
    }
}

TEST(CADAutoNestParam, WholeBlockCopyKeepsBytesAndHostObjects) {
    TCoedgeFlagValues flags(1, 0, 2);
    TDisSubConfig config(4.5);
    TCADAutoNestParam p;
    for (std::size_t k = 0; k < TCADAutoNestParam::kSize; ++k) {
        p.Data()[k] = static_cast<std::byte>(k * 7 + 3);
    }
    p.SetCoedgeFlags(&flags);
    p.SetSubConfig(&config);

    const TCADAutoNestParam copy = p;
    EXPECT_EQ(Bytes(copy), Bytes(p));
    EXPECT_EQ(copy.CoedgeFlags(), &flags);
    EXPECT_EQ(copy.SubConfig(), &config);
    EXPECT_TRUE(copy.CoedgeFlagIsOne(0));
    EXPECT_FALSE(copy.CoedgeFlagIsOne(2)); // 2 is not 1
    EXPECT_DOUBLE_EQ(copy.SubConfigD("Dis"), 4.5);
    EXPECT_DOUBLE_EQ(copy.SubConfigD("Other"), 0.0);

    TCADAutoNestParam assigned;
    assigned = p;
    EXPECT_EQ(assigned.CoedgeFlags(), &flags);
    EXPECT_EQ(Bytes(assigned), Bytes(p));
}

TEST(CADAutoNestParam, MissingHostObjectsReadAsUnset) {
    const TCADAutoNestParam p;
    EXPECT_FALSE(p.CoedgeFlagIsOne(0));
    EXPECT_EQ(p.SubConfigD("Dis"), 0.0);
    TCoedgeFlagValues flags;
    flags.SetValue(2, 1);
    EXPECT_EQ(flags.GetValue(2), 1);
    EXPECT_EQ(flags.GetValue(3), 0);
    EXPECT_EQ(flags.GetValue(-1), 0);
}

TEST(Geometry, ToleranceBoundariesAreInclusiveForEqualExclusiveForOrder) {
    EXPECT_TRUE(fEqual(1.0, 1.5, 0.5));
    EXPECT_TRUE(fEqual(1.5, 1.0, 0.5));
    EXPECT_FALSE(fEqual(1.0, 1.5, 0.25));
    EXPECT_FALSE(fGreat(1.5, 1.0, 0.5)); // exactly at the tolerance is not greater
    EXPECT_TRUE(fGreat(1.5, 1.0, 0.25));
    EXPECT_FALSE(fSmall(1.0, 1.5, 0.5));
    EXPECT_TRUE(fSmall(1.0, 1.5, 0.25));
    EXPECT_FALSE(fGreat(1.0, 1.0, 0.0));
    EXPECT_FALSE(fSmall(1.0, 1.0, 0.0));
}

TEST(Geometry, NegativeToleranceLoosensOrderAndNeverEquals) {
    EXPECT_TRUE(fGreat(1.0, 1.0, -0.1)); // a > b - 0.1
    EXPECT_TRUE(fGreat(0.95, 1.0, -0.1));
    EXPECT_FALSE(fGreat(0.875, 1.0, -0.125));
    EXPECT_TRUE(fSmall(1.0, 1.0, -0.1)); // a < b + 0.1
    EXPECT_FALSE(fSmall(1.125, 1.0, -0.125));
    EXPECT_FALSE(fEqual(1.0, 1.0, -0.1));
}

TEST(Geometry, LongDoubleOverloadsKeepExtendedPrecision) {
    const long double one = 1.0L;
    const long double near = 1.0L + 1e-18L; // equal to one in double precision
    ASSERT_NE(one, near);
    EXPECT_FALSE(fEqual(one, near, 0.0L));
    EXPECT_TRUE(fEqual(one, near, 1e-17L));
    EXPECT_TRUE(fGreat(near, one, 0.0L));
    EXPECT_TRUE(fSmall(one, near, 0.0L));
    EXPECT_FALSE(fGreat(near, one, 1e-17L));
    EXPECT_TRUE(fGreat(one, near, -1e-17L));
}

} // namespace
} // namespace tubenest
