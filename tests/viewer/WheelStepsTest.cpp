// Wheel movement to picture steps, for classic and high-resolution wheels.
#include "viewer/WheelSteps.h"

#include <gtest/gtest.h>

TEST(WheelSteps, OneStepPerNotchHoweverTheMovementArrives)
{
    WheelSteps wheel;
    // A classic notch.
    EXPECT_EQ(wheel.Add(120), 1);
    EXPECT_EQ(wheel.Add(-120), -1);
    // A touchpad: one notch's worth in eight events of 15 gives one step,
    // on the eighth event.
    int steps = 0;
    for (int i = 0; i < 8; ++i) {
        const int s = wheel.Add(15);
        steps += s;
        EXPECT_EQ(s, i == 7 ? 1 : 0) << "event " << i;
    }
    EXPECT_EQ(steps, 1);
    // A fast flick of three notches in one event.
    EXPECT_EQ(wheel.Add(360), 3);
    EXPECT_EQ(wheel.Add(-250), -2);
    EXPECT_EQ(wheel.Pending(), -10);
}

TEST(WheelSteps, TurningBackDropsThePartTurn)
{
    WheelSteps wheel;
    EXPECT_EQ(wheel.Add(100), 0);
    // Back the other way: the 100 forward do not cancel against it.
    EXPECT_EQ(wheel.Add(-40), 0);
    EXPECT_EQ(wheel.Add(-80), -1);
    EXPECT_EQ(wheel.Add(60), 0);
    wheel.Reset();
    EXPECT_EQ(wheel.Pending(), 0);
    EXPECT_EQ(wheel.Add(0), 0);
}
