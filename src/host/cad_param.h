#pragma once
// The host's parameter record: an opaque 1024-byte block that every engine class copies whole and
// reads single fields from, by byte offset. The typed accessors below read and write exactly those
// offsets, so a host that fills the block by offset keeps working.
//
// Two fields of the host record are references to host objects (the co-edge flags at offset 24 and
// the XML sub-configuration at offset 152). A 64-bit pointer cannot live at offset 24 without
// overlapping DisableReverse at 29, so the two references are held beside the block, as non-owning
// pointers that are copied together with it. The bytes at those offsets are carried unread.

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <type_traits>

namespace tubenest {

/// Host co-edge flag set. The engine only asks GetValue(0) and GetValue(2) and compares with 1.
class TCoedgeFlags {
public:
    virtual ~TCoedgeFlags() = default;
    virtual int GetValue(int index) const = 0;
};

/// Host XML sub-configuration: one double read by name ("Dis").
class TSubConfig {
public:
    virtual ~TSubConfig() = default;
    virtual double GetD(const std::string& name) const = 0;
};

class TCADAutoNestParam {
public:
    static constexpr std::size_t kSize = 1024;

    // Byte offsets of the fields the engine reads.
    static constexpr std::size_t kDefaultPartGap = 8;
    static constexpr std::size_t kCoedgeFlags = 24;
    static constexpr std::size_t kDisableReverse = 29;
    static constexpr std::size_t kTailPlaceMode = 36;
    static constexpr std::size_t kSpecMinLength = 40;
    static constexpr std::size_t kSpecMaxLength = 48;
    static constexpr std::size_t kTailPlaceStrategy = 56;
    static constexpr std::size_t kTailLength = 64;
    static constexpr std::size_t kTargetLostRate = 112;
    static constexpr std::size_t kCutShape = 120;
    static constexpr std::size_t kZShapeLength = 128;
    static constexpr std::size_t kZShapeOffset = 136;
    static constexpr std::size_t kDisAllowance = 144;
    static constexpr std::size_t kSubConfig = 152;
    static constexpr std::size_t kBevelLength = 168;

    /// An all-zero block without host objects.
    TCADAutoNestParam() { bytes_.fill(std::byte{0}); }

    /// The raw block, for hosts that fill it by offset.
    std::byte* Data() { return bytes_.data(); }
    const std::byte* Data() const { return bytes_.data(); }

    double DefaultPartGap() const { return Read<double>(kDefaultPartGap); }
    void SetDefaultPartGap(double v) { Write(kDefaultPartGap, v); }
    bool DisableReverse() const { return ReadBool(kDisableReverse); }
    void SetDisableReverse(bool v) { WriteBool(kDisableReverse, v); }
    std::int32_t TailPlaceMode() const { return Read<std::int32_t>(kTailPlaceMode); }
    void SetTailPlaceMode(std::int32_t v) { Write(kTailPlaceMode, v); }
    double SpecMinLength() const { return Read<double>(kSpecMinLength); }
    void SetSpecMinLength(double v) { Write(kSpecMinLength, v); }
    double SpecMaxLength() const { return Read<double>(kSpecMaxLength); }
    void SetSpecMaxLength(double v) { Write(kSpecMaxLength, v); }
    std::int32_t TailPlaceStrategy() const { return Read<std::int32_t>(kTailPlaceStrategy); }
    void SetTailPlaceStrategy(std::int32_t v) { Write(kTailPlaceStrategy, v); }
    double TailLength() const { return Read<double>(kTailLength); }
    void SetTailLength(double v) { Write(kTailLength, v); }
    double TargetLostRate() const { return Read<double>(kTargetLostRate); }
    void SetTargetLostRate(double v) { Write(kTargetLostRate, v); }
    std::int32_t CutShape() const { return Read<std::int32_t>(kCutShape); }
    void SetCutShape(std::int32_t v) { Write(kCutShape, v); }
    double ZShapeLength() const { return Read<double>(kZShapeLength); }
    void SetZShapeLength(double v) { Write(kZShapeLength, v); }
    double ZShapeOffset() const { return Read<double>(kZShapeOffset); }
    void SetZShapeOffset(double v) { Write(kZShapeOffset, v); }
    bool DisAllowance() const { return ReadBool(kDisAllowance); }
    void SetDisAllowance(bool v) { WriteBool(kDisAllowance, v); }
    double BevelLength() const { return Read<double>(kBevelLength); }
    void SetBevelLength(double v) { Write(kBevelLength, v); }

    /// Host co-edge flags (non-owning; may be null).
    const TCoedgeFlags* CoedgeFlags() const { return coedge_flags_; }
    void SetCoedgeFlags(const TCoedgeFlags* flags) { coedge_flags_ = flags; }
    /// Host sub-configuration (non-owning; may be null).
    const TSubConfig* SubConfig() const { return sub_config_; }
    void SetSubConfig(const TSubConfig* config) { sub_config_ = config; }

    /// CoedgeFlags.GetValue(index) = 1; a missing flag object reads as "not set".
    bool CoedgeFlagIsOne(int index) const { return coedge_flags_ != nullptr && coedge_flags_->GetValue(index) == 1; }
    /// SubConfig.GetD(name); a missing configuration reads as 0.
    double SubConfigD(const std::string& name) const { return sub_config_ != nullptr ? sub_config_->GetD(name) : 0.0; }

    template <typename T>
    T Read(std::size_t offset) const {
        static_assert(std::is_trivially_copyable_v<T>);
        T value;
        std::memcpy(&value, bytes_.data() + offset, sizeof(T));
        return value;
    }
    template <typename T>
    void Write(std::size_t offset, T value) {
        static_assert(std::is_trivially_copyable_v<T>);
        std::memcpy(bytes_.data() + offset, &value, sizeof(T));
    }

private:
    bool ReadBool(std::size_t offset) const { return bytes_[offset] != std::byte{0}; }
    void WriteBool(std::size_t offset, bool v) { bytes_[offset] = v ? std::byte{1} : std::byte{0}; }

    std::array<std::byte, kSize> bytes_;
    const TCoedgeFlags* coedge_flags_ = nullptr;
    const TSubConfig* sub_config_ = nullptr;
};

/// Co-edge flags held in a fixed table; indices outside it read as 0.
class TCoedgeFlagValues final : public TCoedgeFlags {
public:
    TCoedgeFlagValues() = default;
    TCoedgeFlagValues(int flag0, int flag1, int flag2) : values_{flag0, flag1, flag2} {}
    int GetValue(int index) const override {
        return index >= 0 && index < static_cast<int>(values_.size()) ? values_[static_cast<std::size_t>(index)] : 0;
    }
    void SetValue(int index, int value) { values_.at(static_cast<std::size_t>(index)) = value; }

private:
    std::array<int, 3> values_{0, 0, 0};
};

/// Sub-configuration with a single "Dis" value (0 unless set); other names read as 0.
class TDisSubConfig final : public TSubConfig {
public:
    explicit TDisSubConfig(double dis = 0.0) : dis_(dis) {}
    double GetD(const std::string& name) const override { return name == "Dis" ? dis_ : 0.0; }

private:
    double dis_;
};

} // namespace tubenest
