#include "model/BitMap.h"
#include "model/Errors.h"

#include <gtest/gtest.h>

using kelvar::clsBitMap;

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
