// Conformance tests of drawing: Win32 and GoogleTest only, so they also run on Windows and Wine.
#include "conformance.h"

namespace {

TEST(DrawingConformance, StockObjectsExistAndCannotBeDeletedAway) {
    const int stock[] = {WHITE_BRUSH, BLACK_PEN, SYSTEM_FONT, ANSI_FIXED_FONT};
    for (int index : stock) {
        HGDIOBJ object = GetStockObject(index);
        EXPECT_NE(object, (HGDIOBJ)NULL) << index;
        DeleteObject(object);  // deleting a stock object is allowed and does nothing
        EXPECT_EQ(GetStockObject(index), object) << index;
    }
}

}  // namespace
