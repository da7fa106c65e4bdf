#include <gtest/gtest.h>

#include "support/GridModel.h"

namespace mdi {
namespace {

class Grid : public ::testing::Test {
 protected:
  void SetUp() override {
    g.setColumnCount(3);
    for (int i = 0; i < 3; ++i) {
      const int r = g.addRow();
      g.setValue(r, 1, std::int64_t{r * 10});
      g.setValue(r, 2, "row" + std::to_string(r));
    }
  }
  GridModel g;
};

// (Which columns show is the job editor's and the drive grid's tests;
// colours per cell, the drive list's marked rows.)
TEST_F(Grid, HidingAColumnKeepsItsValues) {
  g.setColumnVisible(2, false);
  EXPECT_EQ(g.value(1, 2), "row1");
}

TEST_F(Grid, OutOfRangeCellsReadEmptyAndIgnoreWrites) {
  g.setValue(0, 1, "header");
  g.setValue(9, 1, "x");
  EXPECT_EQ(g.value(0, 1), "");
  EXPECT_EQ(g.value(4, 1), "");
  EXPECT_EQ(g.rowCount(), 3);
}

TEST_F(Grid, OrderingPutsDriveNumbersAscendingThenFileRows) {
  g.setValue(1, 1, "File");
  g.setValue(2, 1, std::int64_t{10});
  g.setValue(3, 1, std::int64_t{2});
  const int r = g.addRow();
  g.setValue(r, 1, "File");
  g.setValue(r, 2, "second file");
  g.setCurrentRow(2);
  g.sortByColumn(1);
  EXPECT_EQ(g.value(1, 1), "2");
  EXPECT_EQ(g.value(2, 1), "10");
  EXPECT_EQ(g.value(3, 2), "row1") << "equal keys keep their order";
  EXPECT_EQ(g.value(4, 2), "second file");
  EXPECT_EQ(g.currentRow(), 2) << "the current row follows its data";
  EXPECT_EQ(g.value(g.currentRow(), 1), "10");
}

TEST_F(Grid, RemovingARowRenumbersTheRestAndTheCurrentRowIsZeroWhenItsRowGoes) {
  g.setCurrentRow(2);
  g.removeRows(2, 1);
  ASSERT_EQ(g.rowCount(), 2);
  EXPECT_EQ(g.value(2, 2), "row3");
  EXPECT_EQ(g.currentRow(), 0);
  g.setCurrentRow(2);
  g.removeRows(1, 1);
  EXPECT_EQ(g.currentRow(), 1);
  g.setCurrentRow(7);
  EXPECT_EQ(g.currentRow(), 0);
}

TEST_F(Grid, EditingOnlyWhileAllowed) {
  EXPECT_FALSE(g.beginEdit(1, 2));
  g.setEditAllowed(true);
  EXPECT_TRUE(g.beginEdit(1, 2));
  EXPECT_FALSE(g.beginEdit(0, 2));
}

}  // namespace
}  // namespace mdi
