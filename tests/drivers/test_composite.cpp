#include "CompositeFtd2xx.h"
#include "LatencyChecks.h"
#include "LibFtd2xxDriver.h"

#include <dlfcn.h>

#include <cstring>
#include <set>

#include <gtest/gtest.h>

namespace {

// A driver that lists what it is told and records what reaches it. Its own
// handles start at 1 like every other fake's, so clashes show.
class FakeDriver : public Ftd2xx {
public:
    struct Device {
        std::string serial;
        std::string description;
    };
    std::vector<Device> devices;
    FT_STATUS openStatus = ft::OK;
    std::string advice;
    std::vector<std::string> opened;
    std::vector<std::pair<FT_HANDLE, std::string>> writes;
    std::vector<FT_HANDLE> closed;
    std::function<void()> callback;

    FT_STATUS FT_ListDevices(void *pArg1, void *pArg2, DWORD flags) override
    {
        if (flags == ft::LIST_NUMBER_ONLY) {
            *static_cast<DWORD *>(pArg1) = static_cast<DWORD>(devices.size());
            return ft::OK;
        }
        const auto index = reinterpret_cast<std::uintptr_t>(pArg1);
        if (index >= devices.size())
            return ft::DEVICE_NOT_FOUND;
        const Device &d = devices[index];
        std::strcpy(static_cast<char *>(pArg2), (flags & 0xFF) == ft::OPEN_BY_SERIAL_NUMBER ? d.serial.c_str()
                                                                                           : d.description.c_str());
        return ft::OK;
    }
    FT_STATUS FT_OpenEx(void *pArg1, DWORD, FT_HANDLE *handle) override
    {
        if (openStatus != ft::OK)
            return openStatus;
        opened.push_back(static_cast<const char *>(pArg1));
        *handle = static_cast<FT_HANDLE>(opened.size());
        return ft::OK;
    }
    FT_STATUS FT_Close(FT_HANDLE handle) override
    {
        closed.push_back(handle);
        return ft::OK;
    }
    FT_STATUS FT_SetBaudRate(FT_HANDLE, ULONG) override { return ft::OK; }
    FT_STATUS FT_SetDataCharacteristics(FT_HANDLE, UCHAR, UCHAR, UCHAR) override { return ft::OK; }
    FT_STATUS FT_Purge(FT_HANDLE, ULONG) override { return ft::OK; }
    FT_STATUS FT_GetQueueStatus(FT_HANDLE, DWORD *rx) override
    {
        *rx = 0;
        return ft::OK;
    }
    FT_STATUS FT_Read(FT_HANDLE, void *, DWORD, DWORD *got) override
    {
        *got = 0;
        return ft::OK;
    }
    FT_STATUS FT_Write(FT_HANDLE handle, void *buffer, DWORD count, DWORD *written) override
    {
        writes.emplace_back(handle, std::string(static_cast<char *>(buffer), count));
        *written = count;
        return ft::OK;
    }
    void setDataCallback(std::function<void()> cb) override { callback = std::move(cb); }
    const char *lastOpenAdvice() const override { return advice.c_str(); }
};

struct Composite {
    FakeDriver *kernel;
    FakeDriver *library;
    FakeDriver *virtualBridges;
    std::unique_ptr<CompositeFtd2xx> ftd;

    Composite()
    {
        std::vector<std::unique_ptr<Ftd2xx>> drivers;
        for (FakeDriver **d : {&kernel, &library, &virtualBridges}) {
            auto driver = std::make_unique<FakeDriver>();
            *d = driver.get();
            drivers.push_back(std::move(driver));
        }
        ftd = std::make_unique<CompositeFtd2xx>(std::move(drivers));
    }

    std::vector<std::string> list()
    {
        DWORD count = 0;
        EXPECT_EQ(ftd->FT_ListDevices(&count, nullptr, ft::LIST_NUMBER_ONLY), ft::OK);
        std::vector<std::string> out;
        for (DWORD i = 0; i < count; ++i)
            out.push_back(listed(i, ft::OPEN_BY_SERIAL_NUMBER) + "/" + listed(i, ft::OPEN_BY_DESCRIPTION));
        return out;
    }
    std::string listed(DWORD index, DWORD field)
    {
        char buffer[ft::kListBufferSize] = {};
        const FT_STATUS status = ftd->FT_ListDevices(reinterpret_cast<void *>(static_cast<std::uintptr_t>(index)),
                                                     buffer, ft::LIST_BY_INDEX | field);
        return status == ft::OK ? std::string(buffer) : "status " + std::to_string(status);
    }
    FT_STATUS open(const char *serial, FT_HANDLE *handle)
    {
        return ftd->FT_OpenEx(const_cast<char *>(serial), ft::OPEN_BY_SERIAL_NUMBER, handle);
    }
    FT_STATUS write(FT_HANDLE handle, const char *text)
    {
        DWORD written = 0;
        return ftd->FT_Write(handle, const_cast<char *>(text), static_cast<DWORD>(std::strlen(text)), &written);
    }
};

} // namespace

TEST(CompositeFtd2xx, ListsEveryDriverInOrderAndABridgeOnceByTheFirstDriverThatHasIt)
{
    Composite c;
    c.kernel->devices = {{"K1", "Kernel one"}, {"SAME", "Seen by the kernel"}};
    c.library->devices = {{"SAME", "Seen by the library"}, {"L1", "Library only"}};
    c.virtualBridges->devices = {{"V1", "Virtual"}, {"", "No serial"}, {"", "No serial"}};
    EXPECT_EQ(c.list(), (std::vector<std::string>{"K1/Kernel one", "SAME/Seen by the kernel", "L1/Library only",
                                                  "V1/Virtual", "/No serial", "/No serial"}));
    EXPECT_EQ(c.listed(6, ft::OPEN_BY_SERIAL_NUMBER), "status 2");

    FT_HANDLE h = 0;
    ASSERT_EQ(c.open("SAME", &h), ft::OK);
    ASSERT_EQ(c.open("L1", &h), ft::OK);
    ASSERT_EQ(c.open("V1", &h), ft::OK);
    EXPECT_EQ(c.kernel->opened, std::vector<std::string>{"SAME"});
    EXPECT_EQ(c.library->opened, std::vector<std::string>{"L1"});
    EXPECT_EQ(c.virtualBridges->opened, std::vector<std::string>{"V1"});
}

TEST(CompositeFtd2xx, ByIndexAnswersFromTheLastCountAndOpenLooksAgainForANewSerial)
{
    Composite c;
    c.kernel->devices = {{"K1", "One"}};
    ASSERT_EQ(c.list().size(), 1u);
    c.kernel->devices.push_back({"K2", "Plugged in later"});
    EXPECT_EQ(c.listed(1, ft::OPEN_BY_SERIAL_NUMBER), "status 2");

    FT_HANDLE h = 0;
    EXPECT_EQ(c.open("K2", &h), ft::OK);
    EXPECT_EQ(c.open("NOWHERE", &h), ft::DEVICE_NOT_FOUND);
    EXPECT_EQ(c.list().size(), 2u);
}

TEST(CompositeFtd2xx, HandlesAreUniqueNeverZeroNeverReusedAndRouteToTheirDriver)
{
    Composite c;
    c.kernel->devices = {{"K1", "Kernel"}};
    c.library->devices = {{"L1", "Library"}};
    c.list();

    // Both drivers answer with their own handle 1.
    FT_HANDLE k = 0;
    FT_HANDLE l = 0;
    ASSERT_EQ(c.open("K1", &k), ft::OK);
    ASSERT_EQ(c.open("L1", &l), ft::OK);
    EXPECT_NE(k, 0u);
    EXPECT_NE(l, 0u);
    EXPECT_NE(k, l);
    EXPECT_EQ(c.write(k, "to kernel"), ft::OK);
    EXPECT_EQ(c.write(l, "to library"), ft::OK);
    using Writes = std::vector<std::pair<FT_HANDLE, std::string>>;
    EXPECT_EQ(c.kernel->writes, (Writes{{1, "to kernel"}}));
    EXPECT_EQ(c.library->writes, (Writes{{1, "to library"}}));

    std::set<FT_HANDLE> seen = {k, l};
    EXPECT_EQ(c.ftd->FT_Close(k), ft::OK);
    EXPECT_EQ(c.kernel->closed, std::vector<FT_HANDLE>{1});
    for (int i = 0; i < 5; ++i) {
        FT_HANDLE again = 0;
        ASSERT_EQ(c.open("K1", &again), ft::OK);
        EXPECT_TRUE(seen.insert(again).second) << again;
        EXPECT_EQ(c.ftd->FT_Close(again), ft::OK);
    }

    // A closed handle and one never given out are equally unknown.
    for (FT_HANDLE unknown : {k, FT_HANDLE(0), FT_HANDLE(0xDEADBEEF)}) {
        DWORD n = 7;
        char buffer[4];
        EXPECT_EQ(c.ftd->FT_Close(unknown), ft::INVALID_HANDLE);
        EXPECT_EQ(c.ftd->FT_SetBaudRate(unknown, 115200), ft::INVALID_HANDLE);
        EXPECT_EQ(c.ftd->FT_SetDataCharacteristics(unknown, 8, 0, 0), ft::INVALID_HANDLE);
        EXPECT_EQ(c.ftd->FT_Purge(unknown, ft::PURGE_RX), ft::INVALID_HANDLE);
        EXPECT_EQ(c.ftd->FT_GetQueueStatus(unknown, &n), ft::INVALID_HANDLE);
        EXPECT_EQ(c.ftd->FT_Read(unknown, buffer, 4, &n), ft::INVALID_HANDLE);
        EXPECT_EQ(n, 0u);
        n = 7;
        EXPECT_EQ(c.ftd->FT_Write(unknown, buffer, 4, &n), ft::INVALID_HANDLE);
        EXPECT_EQ(n, 0u);
    }
    EXPECT_EQ(c.kernel->writes.size(), 1u);
}

TEST(CompositeFtd2xx, AdviceComesFromTheDriverThatFailedAndCallbacksReachEveryDriver)
{
    Composite c;
    c.kernel->devices = {{"K1", "Kernel"}};
    c.virtualBridges->devices = {{"V1", "Virtual"}};
    c.kernel->openStatus = ft::DEVICE_NOT_OPENED;
    c.kernel->advice = "add yourself to the 'dialout' group";
    c.virtualBridges->advice = "not this one";
    c.list();

    FT_HANDLE h = 0;
    EXPECT_EQ(c.open("K1", &h), ft::DEVICE_NOT_OPENED);
    EXPECT_STREQ(c.ftd->lastOpenAdvice(), "add yourself to the 'dialout' group");
    EXPECT_EQ(c.open("V1", &h), ft::OK);
    EXPECT_STREQ(c.ftd->lastOpenAdvice(), "");

    int calls = 0;
    c.ftd->setDataCallback([&] { ++calls; });
    for (FakeDriver *d : {c.kernel, c.library, c.virtualBridges}) {
        ASSERT_TRUE(d->callback);
        d->callback();
    }
    EXPECT_EQ(calls, 3);
}

TEST(LibFtd2xxDriver, WithoutTheLibraryListsNothingAndFindsNothing)
{
    LibFtd2xxDriver driver("libtharnvik-no-such-library.so");
    EXPECT_FALSE(driver.isLoaded());
    DWORD count = 99;
    EXPECT_EQ(driver.FT_ListDevices(&count, nullptr, ft::LIST_NUMBER_ONLY), ft::OK);
    EXPECT_EQ(count, 0u);
    char buffer[ft::kListBufferSize];
    EXPECT_EQ(driver.FT_ListDevices(nullptr, buffer, ft::LIST_BY_INDEX | ft::OPEN_BY_SERIAL_NUMBER),
              ft::DEVICE_NOT_FOUND);
    FT_HANDLE h = 0;
    EXPECT_EQ(driver.FT_OpenEx(const_cast<char *>("X"), ft::OPEN_BY_SERIAL_NUMBER, &h), ft::DEVICE_NOT_FOUND);
    DWORD n = 0;
    EXPECT_EQ(driver.FT_GetQueueStatus(1, &n), ft::DEVICE_NOT_FOUND);
    EXPECT_EQ(driver.FT_Read(1, buffer, 4, &n), ft::DEVICE_NOT_FOUND);
}

TEST(LibFtd2xxDriver, PassesCallsThroughWithOurOwnHandles)
{
    LibFtd2xxDriver driver(FAKE_FTD2XX_PATH);
    ASSERT_TRUE(driver.isLoaded());
    void *fake = ::dlopen(FAKE_FTD2XX_PATH, RTLD_NOW | RTLD_NOLOAD);
    ASSERT_TRUE(fake);
    const auto lastBaud = reinterpret_cast<std::uint32_t (*)()>(::dlsym(fake, "fake_last_baud"));
    const auto openCount = reinterpret_cast<int (*)()>(::dlsym(fake, "fake_open_count"));
    ASSERT_TRUE(lastBaud && openCount);

    DWORD count = 0;
    ASSERT_EQ(driver.FT_ListDevices(&count, nullptr, ft::LIST_NUMBER_ONLY), ft::OK);
    EXPECT_EQ(count, 2u);
    char text[ft::kListBufferSize] = {};
    ASSERT_EQ(driver.FT_ListDevices(reinterpret_cast<void *>(1), text, ft::LIST_BY_INDEX | ft::OPEN_BY_DESCRIPTION),
              ft::OK);
    EXPECT_STREQ(text, "Library Two");

    FT_HANDLE one = 0;
    FT_HANDLE two = 0;
    ASSERT_EQ(driver.FT_OpenEx(const_cast<char *>("LIB1"), ft::OPEN_BY_SERIAL_NUMBER, &one), ft::OK);
    ASSERT_EQ(driver.FT_OpenEx(const_cast<char *>("LIB2"), ft::OPEN_BY_SERIAL_NUMBER, &two), ft::OK);
    EXPECT_NE(one, two);
    EXPECT_EQ(driver.FT_OpenEx(const_cast<char *>("LIB3"), ft::OPEN_BY_SERIAL_NUMBER, &two), ft::DEVICE_NOT_FOUND);

    EXPECT_EQ(driver.FT_SetBaudRate(one, 115200), ft::OK);
    EXPECT_EQ(lastBaud(), 115200u);
    EXPECT_EQ(driver.FT_SetBaudRate(one, 300), ft::INVALID_BAUD_RATE);

    char bytes[] = "echo";
    DWORD n = 0;
    ASSERT_EQ(driver.FT_Write(one, bytes, 4, &n), ft::OK);
    ASSERT_EQ(driver.FT_GetQueueStatus(one, &n), ft::OK);
    EXPECT_EQ(n, 4u);
    ASSERT_EQ(driver.FT_GetQueueStatus(two, &n), ft::OK);
    EXPECT_EQ(n, 0u);
    char back[8] = {};
    ASSERT_EQ(driver.FT_Read(one, back, sizeof back, &n), ft::OK);
    EXPECT_EQ(std::string(back, n), "echo");

    EXPECT_EQ(openCount(), 2);
    EXPECT_EQ(driver.FT_Close(one), ft::OK);
    EXPECT_EQ(openCount(), 1);
    EXPECT_EQ(driver.FT_Close(one), ft::INVALID_HANDLE);
    EXPECT_EQ(driver.FT_Purge(one, ft::PURGE_RX), ft::INVALID_HANDLE);
    ::dlclose(fake);
}

TEST(LibFtd2xxDriver, LatencyTimerThroughTheLibraryAndTheComposite)
{
    std::vector<std::unique_ptr<Ftd2xx>> drivers;
    drivers.push_back(std::make_unique<LibFtd2xxDriver>(FAKE_FTD2XX_PATH));
    CompositeFtd2xx composite(std::move(drivers));
    DWORD count = 0;
    ASSERT_EQ(composite.FT_ListDevices(&count, nullptr, ft::LIST_NUMBER_ONLY), ft::OK);
    FT_HANDLE h = 0;
    ASSERT_EQ(composite.FT_OpenEx(const_cast<char *>("LIB1"), ft::OPEN_BY_SERIAL_NUMBER, &h), ft::OK);

    expectLatencyMoves(composite, h, 16, 4);
    EXPECT_STREQ(composite.lastLatencyAdvice(), "");

    // This chip takes 2 to 255 ms: the library refuses 1, and the advice says what stays.
    EXPECT_EQ(composite.FT_SetLatencyTimer(h, 1), ft::INVALID_PARAMETER);
    const std::string advice = composite.lastLatencyAdvice();
    EXPECT_EQ(advice.rfind("stays at 4 ms", 0), 0u) << advice;
    EXPECT_NE(advice.find("ftdi_sio"), std::string::npos) << advice;

    EXPECT_EQ(composite.FT_SetLatencyTimer(h + 1, 1), ft::INVALID_HANDLE);
    EXPECT_EQ(latencyInForce(composite, h + 1), -1);
    EXPECT_EQ(composite.FT_Close(h), ft::OK);
}

TEST(LibFtd2xxDriver, AFailedOpenSaysWhatThePlayerCanDo)
{
    const std::string held = LibFtd2xxDriver::openAdvice(ft::DEVICE_NOT_OPENED, true);
    EXPECT_NE(held.find("ftdi_sio"), std::string::npos) << held;
    EXPECT_NE(held.find("rmmod"), std::string::npos) << held;
    const std::string other = LibFtd2xxDriver::openAdvice(ft::DEVICE_NOT_OPENED, false);
    EXPECT_NE(other.find("udev rule"), std::string::npos) << other;
    EXPECT_EQ(LibFtd2xxDriver::openAdvice(ft::DEVICE_NOT_FOUND, true), ""); // gone: nothing to fix
}
