#pragma once

#include <QString>
#include <cstdint>

namespace kelvar {

// A word of up to 31 flags. Bit 31 is never set: every change and every test
// reduces the word with 0x7FFFFFFF first.
class clsBitMap {
public:
    static constexpr std::int32_t WordMask = 0x7FFFFFFF;

    clsBitMap() { Initialize(); }
    explicit clsBitMap(std::int32_t word) { setMap(word); }

    void ClearBit(int bit);
    int Count() const;
    void Initialize() { map_ = 0; }
    std::int32_t Map() const { return map_; }
    void setMap(std::int32_t value) { map_ = value & WordMask; }
    // Logic 0 AND, 1 OR, 2 XOR; any other value leaves the word unchanged.
    void mask(std::int32_t MaskData, std::int32_t Logic);
    void SetBit(int bit);
    bool TestBit(int bit) const;
    void ToggleBit(int bit);
    QString BinaryText(int iStringLength, bool bNibbles) const;
    // Lowest set bit among 0 to 30; 0 also for an empty map.
    int FirstBit() const;

    friend bool operator==(const clsBitMap&, const clsBitMap&) = default;

private:
    static std::int32_t BitValue(int bit);
    std::int32_t map_ = 0;
};

} // namespace kelvar
