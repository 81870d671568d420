#include <gtest/gtest.h>

#include "app/Unit1.h"

TEST(MainWindow, OpensWithItsCaption)
{
    TForm1 form;
    EXPECT_EQ(form.windowTitle(), QStringLiteral("Bellwick"));
}
