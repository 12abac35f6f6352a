// The pedal's answer to an algorithm upload, as the editor (without a limit)
// and the bench tool (30 s) wait for it, let it gather and read it.
#include "AppState.h"
#include "Communication.h"
#include "ConsoleModel.h"
#include "D2XXUnit.h"
#include "FuzzSupport.h"
#include "PedalSession.h"

#include <cstring>

namespace {

// Bytes arrive piece by piece: every look at the queue may bring the next
// piece (an empty one: nothing came yet); reads take what is queued. Once
// the input is used up and read, the line is gone.
class ArrivingLine final : public Ftd2xx {
public:
    std::vector<QByteArray> arrivals;
    std::size_t next = 0;
    QByteArray queued;

    FT_STATUS FT_ListDevices(void *, void *, DWORD) override { return ft::DEVICE_NOT_FOUND; }
    FT_STATUS FT_OpenEx(void *, DWORD, FT_HANDLE *) override { return ft::DEVICE_NOT_FOUND; }
    FT_STATUS FT_Close(FT_HANDLE) override { return ft::OK; }
    FT_STATUS FT_SetBaudRate(FT_HANDLE, ULONG) override { return ft::OK; }
    FT_STATUS FT_SetDataCharacteristics(FT_HANDLE, UCHAR, UCHAR, UCHAR) override { return ft::OK; }
    FT_STATUS FT_Purge(FT_HANDLE, ULONG) override
    {
        queued.clear();
        return ft::OK;
    }
    FT_STATUS FT_GetQueueStatus(FT_HANDLE, DWORD *n) override
    {
        if (next < arrivals.size())
            queued += arrivals[next++];
        else if (queued.isEmpty())
            return ft::IO_ERROR;
        *n = static_cast<DWORD>(queued.size());
        return ft::OK;
    }
    FT_STATUS FT_Read(FT_HANDLE, void *buffer, DWORD count, DWORD *got) override
    {
        const auto n = std::min<qsizetype>(count, queued.size());
        std::memcpy(buffer, queued.constData(), static_cast<std::size_t>(n));
        queued.remove(0, n);
        *got = static_cast<DWORD>(n);
        return ft::OK;
    }
    FT_STATUS FT_Write(FT_HANDLE, void *, DWORD n, DWORD *written) override
    {
        *written = n;
        return ft::OK;
    }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size == 0)
        return 0;
    ArrivingLine line;
    line.arrivals = pieces(data + 1, size - 1);
    ConsoleModel console;
    SteppingClock clock;
    AppState state;
    state.Link = LinkState::Application;
    D2XXUnit usb(line, console);
    Communication comm(usb, console, clock, state);
    PedalSession session(usb, comm, console, clock, state);
    const bool logReadCounts = data[0] & 1;
    const int limit = (data[0] & 2) ? 30000 : -1;
    (void)session.receiveUploadAnswer(
        logReadCounts,
        [](const QString &text) {
            if (text.size() != PedalSession::kUploadAnswerChars)
                __builtin_trap();
        },
        limit);
    return 0;
}
