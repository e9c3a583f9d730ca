#include <gtest/gtest.h>

#include "state/interaction.h"
#include "state/messages.h"
#include "state/scripted_interaction.h"

using namespace vdx;

TEST(MessageTable, SlotsAsTheUserSeesThem) {
    EXPECT_EQ(Message(1), "This VELDRIX file has not the correct file version!");
    EXPECT_EQ(Message(22), "The project name must start with a character!");
    EXPECT_EQ(Message(23), "");
    EXPECT_EQ(Message(42), "This is not a VELDRIX v1.0-1.2x file");
    EXPECT_EQ(Message(43), "");
    EXPECT_EQ(Message(-1), "");
    EXPECT_EQ(Message(1000), "");
    for (int n = 1; n <= 42; ++n) {
        if (n != 23) EXPECT_FALSE(Message(n).empty()) << n;
    }
}

TEST(MessageTable, GeneralErrorUsesCarriageReturnLineFeed) {
    ScriptedInteraction ui;
    ShowGeneralError(ui, 3011, "Object not found");
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].text,
              "Following error has occured:\r\nNumber: 3011\r\nDescription: Object not found");
    EXPECT_EQ(ui.messages[0].title, "Error");
    EXPECT_EQ(ui.messages[0].icon, Icon::Critical);
}

TEST(ScriptedInteractionTest, AnswersInOrderThenDefaults) {
    ScriptedInteraction ui;
    ui.answers = {Answer::No, Answer::Cancel};
    EXPECT_EQ(ui.message("a", Buttons::YesNoCancel, Icon::Question, "VELDRIX"), Answer::No);
    EXPECT_EQ(ui.message("b", Buttons::YesNoCancel, Icon::Question, "VELDRIX"), Answer::Cancel);
    EXPECT_EQ(ui.message("c", Buttons::YesNo, Icon::Question, "VELDRIX"), Answer::Yes);
    EXPECT_FALSE(ui.openFile({}).has_value());
    {
        BusyPointer busy(ui);
        EXPECT_EQ(ui.busyDepth, 1);
    }
    EXPECT_EQ(ui.busyDepth, 0);
    ui.cancelAfterPolls = 2;
    auto p = ui.progress("VELDRIX", 400, true);
    EXPECT_FALSE(p->poll());
    EXPECT_FALSE(p->poll());
    EXPECT_TRUE(p->poll());
}
