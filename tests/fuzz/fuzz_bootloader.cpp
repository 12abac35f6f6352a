// A whole firmware upgrade against a bootloader whose answers are the input.
#include "AppState.h"
#include "BootloaderProtocol.h"
#include "Communication.h"
#include "ConsoleModel.h"
#include "D2XXUnit.h"
#include "FuzzSupport.h"

#include <cstring>

namespace {

// Each read hands out the next piece of the input; writes are taken.
class ScriptedLine final : public Ftd2xx {
public:
    std::vector<QByteArray> replies;
    std::size_t next = 0;
    QByteArray pending;

    FT_STATUS FT_ListDevices(void *, void *, DWORD) override { return ft::DEVICE_NOT_FOUND; }
    FT_STATUS FT_OpenEx(void *, DWORD, FT_HANDLE *) override { return ft::DEVICE_NOT_FOUND; }
    FT_STATUS FT_Close(FT_HANDLE) override { return ft::OK; }
    FT_STATUS FT_SetBaudRate(FT_HANDLE, ULONG) override { return ft::OK; }
    FT_STATUS FT_SetDataCharacteristics(FT_HANDLE, UCHAR, UCHAR, UCHAR) override { return ft::OK; }
    FT_STATUS FT_Purge(FT_HANDLE, ULONG) override
    {
        pending.clear();
        return ft::OK;
    }
    FT_STATUS FT_GetQueueStatus(FT_HANDLE, DWORD *n) override
    {
        if (pending.isEmpty() && next < replies.size())
            pending = replies[next++];
        if (next >= replies.size() && pending.isEmpty())
            return ft::IO_ERROR; // the script ran out: the line is gone
        *n = static_cast<DWORD>(pending.size());
        return ft::OK;
    }
    FT_STATUS FT_Read(FT_HANDLE, void *buffer, DWORD count, DWORD *got) override
    {
        const auto n = std::min<qsizetype>(count, pending.size());
        std::memcpy(buffer, pending.constData(), static_cast<std::size_t>(n));
        pending.remove(0, n);
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
    ScriptedLine line;
    line.replies = pieces(data, size);
    ConsoleModel console;
    SteppingClock clock;
    AppState state;
    state.FirmwareUpgradeMode = true;
    D2XXUnit usb(line, console);
    Communication comm(usb, console, clock, state);
    BootloaderProtocol p(usb, comm, console, state);
    (void)p.BootloaderSync();
    // A small image of three chunks, the last one short.
    p.FirmwareSize = 600;
    p.FirmwareHex = QString(1200, QLatin1Char('A'));
    p.SplitFirmwareIntoChunks();
    bool ok = p.SendEraseCommand();
    ok = ok && p.WriteFirmwareChunks(nullptr, nullptr);
    ok = ok && p.WriteVersionRecord(16);
    ok = ok && p.SendGoCommand();
    (void)ok;
    return 0;
}
