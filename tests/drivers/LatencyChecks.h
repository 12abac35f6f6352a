#pragma once

#include "Ftd2xx.h"

#include <gtest/gtest.h>

// What the driver reports in force for an open handle, or -1 when it fails.
inline int latencyInForce(Ftd2xx &driver, FT_HANDLE handle)
{
    UCHAR ms = 0;
    return driver.FT_GetLatencyTimer(handle, &ms) == ft::OK ? ms : -1;
}

// The timer reads `from`, is set to `to`, and then reads `to`.
inline void expectLatencyMoves(Ftd2xx &driver, FT_HANDLE handle, int from, UCHAR to)
{
    EXPECT_EQ(latencyInForce(driver, handle), from);
    EXPECT_EQ(driver.FT_SetLatencyTimer(handle, to), ft::OK);
    EXPECT_EQ(latencyInForce(driver, handle), to);
}
