#include <gtest/gtest.h>

#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeWidget>

#include "widgets/PanelEx.h"

namespace {

// A window holding the panel; in the panel a plain panel with a group box with a button,
// a button of its own, an edit and a list.
class PanelEx : public ::testing::Test
{
protected:
    void SetUp() override
    {
        panel = new TPanelEx(&window);
        inner = new QFrame(panel);
        group = new QGroupBox(inner);
        deepButton = new QPushButton(group);
        button = new QPushButton(panel);
        edit = new QLineEdit(panel);
        list = new QTreeWidget(panel);
    }

    std::vector<QWidget *> controls() const
    {
        return {inner, group, deepButton, button, edit, list};
    }

    QWidget window;
    TPanelEx *panel = nullptr;
    QFrame *inner = nullptr;
    QGroupBox *group = nullptr;
    QPushButton *deepButton = nullptr;
    QPushButton *button = nullptr;
    QLineEdit *edit = nullptr;
    QTreeWidget *list = nullptr;
};

} // namespace

TEST_F(PanelEx, StateReachesEveryNestedControlAndComesBack)
{
    button->setEnabled(false); // disabled on its own before
    panel->setEnabled(false);
    EXPECT_FALSE(panel->isEnabled());
    for (QWidget *w : controls())
        EXPECT_FALSE(w->isEnabled()) << w->metaObject()->className();
    EXPECT_TRUE(window.isEnabled());

    panel->setEnabled(true);
    EXPECT_TRUE(panel->isEnabled());
    for (QWidget *w : controls())
        EXPECT_TRUE(w->isEnabled()) << w->metaObject()->className();

    // A list is set but not entered: its viewport keeps no state of its own.
    panel->setEnabled(false);
    EXPECT_FALSE(list->viewport()->testAttribute(Qt::WA_ForceDisabled));
    EXPECT_TRUE(deepButton->testAttribute(Qt::WA_ForceDisabled));
}

TEST_F(PanelEx, UpdateParentCarriesTheStateToTheParentBothWays)
{
    panel->UpdateParent = true;
    panel->setEnabled(false);
    EXPECT_FALSE(window.isEnabled());
    EXPECT_FALSE(deepButton->isEnabled());
    panel->setEnabled(true);
    EXPECT_TRUE(window.isEnabled());
    EXPECT_TRUE(panel->isEnabled());
    for (QWidget *w : controls())
        EXPECT_TRUE(w->isEnabled()) << w->metaObject()->className();
}

TEST_F(PanelEx, NestedPanelWithUpdateParentPassesItOnThroughTheOuterPanel)
{
    auto *nested = new TPanelEx(group);
    auto *nestedButton = new QPushButton(nested);
    nested->UpdateParent = true;
    // The group box is its parent: it and everything in it follow, the outer panel not.
    nested->setEnabled(false);
    EXPECT_FALSE(group->isEnabled());
    EXPECT_FALSE(nestedButton->isEnabled());
    EXPECT_TRUE(panel->isEnabled());
    EXPECT_TRUE(button->isEnabled());

    // The outer panel reaches the nested one, which then enables the group box too.
    panel->setEnabled(false);
    panel->setEnabled(true);
    EXPECT_TRUE(group->isEnabled());
    EXPECT_TRUE(nestedButton->isEnabled());
    EXPECT_TRUE(deepButton->isEnabled());

    // A nested panel right inside the outer one switches the whole outer panel.
    auto *direct = new TPanelEx(panel);
    direct->UpdateParent = true;
    direct->setEnabled(false);
    EXPECT_FALSE(panel->isEnabled());
    EXPECT_FALSE(button->isEnabled());
    direct->setEnabled(true);
    EXPECT_TRUE(panel->isEnabled());
    EXPECT_TRUE(button->isEnabled());
    EXPECT_TRUE(window.isEnabled());
}

TEST(PanelExAlone, WithoutChildrenOnlyItsOwnStateChanges)
{
    QWidget window;
    auto *panel = new TPanelEx(&window);
    panel->setEnabled(false);
    EXPECT_FALSE(panel->isEnabled());
    EXPECT_TRUE(window.isEnabled());
}
