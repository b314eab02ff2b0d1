#include "model/BitMap.h"
#include "model/Errors.h"

#include <gtest/gtest.h>

using kelvar::clsBitMap;

TEST(BitMap, Bit31CanNeverBeSet) {
    clsBitMap map;
    map.setMap(-1);
    EXPECT_EQ(map.Map(), 0x7FFFFFFF);
    EXPECT_EQ(map.Count(), 31);
    map.Initialize();
    map.SetBit(31);
    map.ToggleBit(31);
    EXPECT_EQ(map.Map(), 0);
    EXPECT_FALSE(map.TestBit(31));
    map.mask(static_cast<std::int32_t>(0x80000001U), 1);
    EXPECT_EQ(map.Map(), 1);
}

TEST(BitMap, MaskLogic) {
    struct Case {
        std::int32_t start, data, logic, result;
    };
    for (const Case c :
         {Case{0xFF, 0xF0, 0, 0xF0}, Case{0xF0, 0x0F, 1, 0xFF}, Case{0xF0, 0xFF, 2, 0x0F},
          Case{0xF0, 0x12345, 3, 0xF0}, Case{0xF0, 0x12345, -1, 0xF0}}) {
        clsBitMap map(c.start);
        map.mask(c.data, c.logic);
        EXPECT_EQ(map.Map(), c.result) << "logic " << c.logic;
    }
}

TEST(BitMap, FirstBit) {
    clsBitMap bits;
    EXPECT_EQ(bits.FirstBit(), 0);
    bits.SetBit(30);
    bits.SetBit(5);
    EXPECT_EQ(bits.FirstBit(), 5);
    bits.ToggleBit(5);
    EXPECT_EQ(bits.FirstBit(), 30);
    bits.ClearBit(30);
    EXPECT_EQ(bits.Map(), 0);
}

TEST(BitMap, BadBitNumberRaisesAndStoresNothing) {
    clsBitMap map(0x55);
    for (int bit : {-1, 32, 1000}) {
        EXPECT_THROW(map.SetBit(bit), kelvar::InvalidArgument);
        EXPECT_THROW(map.ClearBit(bit), kelvar::InvalidArgument);
        EXPECT_THROW(map.ToggleBit(bit), kelvar::InvalidArgument);
        EXPECT_THROW((void)map.TestBit(bit), kelvar::InvalidArgument);
    }
    EXPECT_EQ(map.Map(), 0x55);
}
