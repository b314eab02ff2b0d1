#include "model/BitMap.h"
#include "model/Errors.h"

#include <gtest/gtest.h>

using kelvar::clsBitMap;

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
