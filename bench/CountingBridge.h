#pragma once

// A bridge for benchmarks that accepts everything and remembers when each
// write came (milliseconds since clock started) and the last one to the
// nanosecond.
#include "Ftd2xx.h"

#include <QElapsedTimer>

#include <vector>

class CountingBridge final : public Ftd2xx {
public:
    QElapsedTimer clock;
    std::vector<qint64> writeTimes;
    qint64 lastWriteNs = 0;
    FT_STATUS FT_ListDevices(void *pArg1, void *, DWORD flags) override
    {
        if (flags == ft::LIST_NUMBER_ONLY)
            *static_cast<DWORD *>(pArg1) = 0;
        return ft::OK;
    }
    FT_STATUS FT_OpenEx(void *, DWORD, FT_HANDLE *h) override { *h = 1; return ft::OK; }
    FT_STATUS FT_Close(FT_HANDLE) override { return ft::OK; }
    FT_STATUS FT_SetBaudRate(FT_HANDLE, ULONG) override { return ft::OK; }
    FT_STATUS FT_SetDataCharacteristics(FT_HANDLE, UCHAR, UCHAR, UCHAR) override { return ft::OK; }
    FT_STATUS FT_Purge(FT_HANDLE, ULONG) override { return ft::OK; }
    FT_STATUS FT_GetQueueStatus(FT_HANDLE, DWORD *n) override { *n = 0; return ft::OK; }
    FT_STATUS FT_Read(FT_HANDLE, void *, DWORD, DWORD *n) override { *n = 0; return ft::OK; }
    FT_STATUS FT_Write(FT_HANDLE, void *, DWORD n, DWORD *written) override
    {
        lastWriteNs = clock.nsecsElapsed();
        writeTimes.push_back(lastWriteNs / 1000000);
        *written = n;
        return ft::OK;
    }
};
