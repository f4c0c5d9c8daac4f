#include "common/byte_order.h"

#include <gtest/gtest.h>

TEST(ByteOrder, LoadsAndStoresLittleEndianAtUnalignedAddresses) {
  unsigned char buf[7] = {0};
  sfx::StoreLE32(buf + 1, 0x5A3C9E17u);
  EXPECT_EQ(buf[1], 0x17);
  EXPECT_EQ(buf[2], 0x9E);
  EXPECT_EQ(buf[3], 0x3C);
  EXPECT_EQ(buf[4], 0x5A);
  EXPECT_EQ(sfx::LoadLE32(buf + 1), 0x5A3C9E17u);
  EXPECT_EQ(sfx::LoadLE32(buf + 2), 0x005A3C9Eu);
}
