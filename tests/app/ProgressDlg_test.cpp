#include <gtest/gtest.h>

#include "app/ProgressDlg.h"

namespace {

TEST(ProgressPercent, QuartersThirdsAndWrapping) {
    const char* quarters[] = {"0%", "25%", "50%", "75%", "100%"};
    for (int i = 0; i <= 4; ++i) EXPECT_EQ(CProgressDlg::PercentText(i, 0, 4), quarters[i]);
    EXPECT_EQ(CProgressDlg::PercentText(1, 0, 3), "33%");
    EXPECT_EQ(CProgressDlg::PercentText(6, 0, 4), "50%");  // 150 % wraps
    EXPECT_EQ(CProgressDlg::PercentText(8, 0, 4), "0%");
    EXPECT_EQ(CProgressDlg::PercentText(5, 5, 5), "0%");    // an empty range does not divide by zero
    EXPECT_EQ(CProgressDlg::PercentText(20000000, 0, 40000000), "50%");  // no overflow of position × 100
}

TEST(ProgressCancel, OnePressIsReportedOnce) {
    CProgressDlg dlg;
    dlg.Create();
    dlg.SetRange(0, 10);
    EXPECT_EQ(dlg.CheckCancel(), 0);
    dlg.OnCancel();
    dlg.OnCancel();
    dlg.OnOK();  // Enter does nothing
    EXPECT_EQ(dlg.CheckCancel(), 1);
    EXPECT_EQ(dlg.CheckCancel(), 0);
    EXPECT_EQ(dlg.SetPos(3), 0);
    EXPECT_EQ(dlg.SetPos(4), 3);
    EXPECT_EQ(dlg.GetPercentText(), "40%");
}

}  // namespace
