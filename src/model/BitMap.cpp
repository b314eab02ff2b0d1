#include "model/BitMap.h"

#include "model/Errors.h"

#include <array>
#include <bit>

namespace kelvar {

namespace {

constexpr std::array<std::uint32_t, 32> BitValues = [] {
    std::array<std::uint32_t, 32> values{};
    for (int i = 0; i < 32; ++i) {
        values[i] = std::uint32_t{1} << i;
    }
    return values;
}();

} // namespace

std::int32_t clsBitMap::BitValue(int bit) {
    if (bit < 0 || bit > 31) {
        throw InvalidArgument("bit number", bit);
    }
    return static_cast<std::int32_t>(BitValues[static_cast<std::size_t>(bit)]);
}

void clsBitMap::ClearBit(int bit) {
    map_ = (map_ & ~BitValue(bit)) & WordMask;
}

int clsBitMap::Count() const {
    return std::popcount(static_cast<std::uint32_t>(map_ & WordMask));
}

void clsBitMap::mask(std::int32_t MaskData, std::int32_t Logic) {
    switch (Logic) {
    case 0:
        map_ = (map_ & MaskData) & WordMask;
        break;
    case 1:
        map_ = (map_ | MaskData) & WordMask;
        break;
    case 2:
        map_ = (map_ ^ MaskData) & WordMask;
        break;
    default:
        break;
    }
}

void clsBitMap::SetBit(int bit) {
    map_ = (map_ | BitValue(bit)) & WordMask;
}

bool clsBitMap::TestBit(int bit) const {
    return ((map_ & WordMask) & BitValue(bit)) != 0;
}

void clsBitMap::ToggleBit(int bit) {
    map_ = (map_ ^ BitValue(bit)) & WordMask;
}

QString clsBitMap::BinaryText(int iStringLength, bool bNibbles) const {
    QString text;
    for (int i = iStringLength; i >= 0; --i) {
        text += TestBit(i) ? QLatin1Char('1') : QLatin1Char('0');
        if (bNibbles && i % 4 == 0) {
            text += QLatin1Char(' ');
        }
    }
    return text.trimmed();
}

int clsBitMap::FirstBit() const {
    for (int i = 0; i <= 30; ++i) {
        if (TestBit(i)) {
            return i;
        }
    }
    return 0;
}

} // namespace kelvar
