#include "ByteQueue.h"
#include "PtyPair.h"
#include "SerialPort.h"

#include <QDir>
#include <QFile>
#include <QSerialPort>
#include <QTemporaryDir>

#include <atomic>
#include <thread>
#include <cerrno>
#include <grp.h>
#include <sys/stat.h>

#include <gtest/gtest.h>

namespace {

std::unique_ptr<SerialPort> openOrFail(const std::string &path)
{
    SerialPort::Opened opened = SerialPort::open(path);
    EXPECT_EQ(opened.status, ft::OK) << opened.advice;
    return std::move(opened.port);
}

DWORD queued(SerialPort &port)
{
    DWORD n = 0;
    EXPECT_EQ(port.queueStatus(&n), ft::OK);
    return n;
}

std::string readAll(SerialPort &port, DWORD max)
{
    std::string out(max, '\0');
    DWORD got = 0;
    EXPECT_EQ(port.read(out.data(), max, &got), ft::OK);
    out.resize(got);
    return out;
}

} // namespace

TEST(ByteQueue, KeepsOrderAndDropsOldestBeyondItsLimit)
{
    ByteQueue queue(10);
    queue.append("abcdef", 6);
    char out[16] = {};
    ASSERT_EQ(queue.take(out, 2), 2u);
    queue.append("ghijklm", 7); // 11 bytes would be live: "c" gives way
    EXPECT_EQ(queue.size(), 10u);
    EXPECT_EQ(queue.dropped(), 1u);
    ASSERT_EQ(queue.take(out, sizeof out), 10u);
    EXPECT_EQ(std::string(out, 10), "defghijklm");

    // A piece larger than the whole queue keeps its own newest bytes.
    queue.append("xy", 2);
    queue.append("0123456789ABCD", 14);
    EXPECT_EQ(queue.dropped(), 1u + 2u + 4u);
    ASSERT_EQ(queue.take(out, sizeof out), 10u);
    EXPECT_EQ(std::string(out, 10), "456789ABCD");
}

TEST(ByteQueue, GrowsPastItsFirstCapacityWithoutLosingBytes)
{
    ByteQueue queue;
    std::string sent;
    std::string got;
    char out[5000];
    // Uneven appends and takes, so the live bytes sit at every offset.
    for (int round = 0; round < 100; ++round) {
        std::string piece(3001 + round, '\0');
        for (std::size_t i = 0; i < piece.size(); ++i)
            piece[i] = static_cast<char>(sent.size() + i);
        sent += piece;
        queue.append(piece.data(), piece.size());
        got.append(out, queue.take(out, 1999));
    }
    while (queue.size() > 0)
        got.append(out, queue.take(out, sizeof out));
    EXPECT_EQ(got, sent);
    EXPECT_EQ(queue.dropped(), 0u);
}

TEST(SerialPort, CarriesEveryByteValueBothWaysAndKeepsALongBurstNobodyReads)
{
    PtyPair pty;
    auto port = openOrFail(pty.path);
    ASSERT_TRUE(port);
    std::atomic<int> wakeUps{0};
    port->setDataCallback([&] { ++wakeUps; });

    // Raw: no translation of CR/LF, no flow-control or signal characters.
    const std::string all = everyByteValue();
    DWORD written = 0;
    ASSERT_EQ(port->write(all.data(), static_cast<DWORD>(all.size()), &written), ft::OK);
    EXPECT_EQ(written, all.size());
    EXPECT_EQ(pty.receive(all.size()), all);

    // An EEPROM dump's worth arrives while the editor reads nothing: the
    // device can only send it all if the port keeps draining.
    std::string burst = all;
    for (int i = 0; burst.size() < 70'000; ++i)
        burst.push_back(static_cast<char>(i * 7));
    ASSERT_TRUE(pty.send(burst));
    ASSERT_TRUE(waitUntil([&] { return queued(*port) == burst.size(); }));
    EXPECT_TRUE(waitUntil([&] { return wakeUps.load() > 0; })); // the wake-up follows the bytes

    std::string got = readAll(*port, 1000);
    got += readAll(*port, 100'000);
    EXPECT_EQ(got, burst);
    EXPECT_EQ(queued(*port), 0u);
    EXPECT_EQ(port->droppedBytes(), 0u);
}

TEST(SerialPort, PurgeRxDropsWhatArrivedAndLaterBytesStillCome)
{
    PtyPair pty;
    auto port = openOrFail(pty.path);
    ASSERT_TRUE(port);
    ASSERT_TRUE(pty.send("stale bytes"));
    ASSERT_TRUE(waitUntil([&] { return queued(*port) == 11; }));

    EXPECT_EQ(port->purge(ft::PURGE_RX), ft::OK);
    EXPECT_EQ(queued(*port), 0u);
    EXPECT_EQ(port->purge(ft::PURGE_TX), ft::OK);
    EXPECT_EQ(port->purge(ft::PURGE_RX | ft::PURGE_TX), ft::OK);

    ASSERT_TRUE(pty.send("new"));
    ASSERT_TRUE(waitUntil([&] { return queued(*port) == 3; }));
    EXPECT_EQ(readAll(*port, 10), "new");
}

TEST(SerialPort, LineSettings)
{
    PtyPair pty;
    auto port = openOrFail(pty.path);
    ASSERT_TRUE(port);
    EXPECT_EQ(port->setBaudRate(115200), ft::OK);
    EXPECT_EQ(port->setBaudRate(9600), ft::OK);
    EXPECT_EQ(port->setBaudRate(115201), ft::INVALID_BAUD_RATE);
    EXPECT_EQ(port->setBaudRate(0), ft::INVALID_BAUD_RATE);

    struct Case {
        UCHAR bits, stop, parity;
        FT_STATUS expected;
    };
    const Case cases[] = {
        {ft::BITS_8, ft::STOP_BITS_1, ft::PARITY_NONE, ft::OK},
        // The bootloader's 8E1; a pseudo-terminal keeps 8N1 but must not fail.
        {ft::BITS_8, ft::STOP_BITS_1, ft::PARITY_EVEN, ft::OK},
        {ft::BITS_7, ft::STOP_BITS_2, ft::PARITY_ODD, ft::OK},
        {9, ft::STOP_BITS_1, ft::PARITY_NONE, ft::INVALID_PARAMETER},
        {ft::BITS_8, 1, ft::PARITY_NONE, ft::INVALID_PARAMETER},
        {ft::BITS_8, ft::STOP_BITS_1, 5, ft::INVALID_PARAMETER},
    };
    for (const Case &c : cases)
        EXPECT_EQ(port->setDataCharacteristics(c.bits, c.stop, c.parity), c.expected)
            << int(c.bits) << "/" << int(c.stop) << "/" << int(c.parity);

    // Still a working line afterwards.
    ASSERT_TRUE(pty.send("ok"));
    ASSERT_TRUE(waitUntil([&] { return queued(*port) == 2; }));
}

TEST(SerialPort, AWriteLongerThanTwoSecondsOnTheLineIsTakenWhole)
{
    // The device takes bytes at 115,200 baud (11,520 a second): an upload
    // that needs three seconds on the line must not be cut short.
    PtyPair pty;
    auto port = openOrFail(pty.path);
    ASSERT_TRUE(port);
    ASSERT_EQ(port->setBaudRate(115200), ft::OK);
    std::string image(18'432 + 3 * 11'520, '\0');
    for (std::size_t i = 0; i < image.size(); ++i)
        image[i] = static_cast<char>(i * 13 + i / 256);

    std::atomic<bool> writing{true};
    std::string received;
    std::thread device([&] {
        // At the line rate while the write runs, then whatever is left.
        while (writing.load()) {
            received += pty.receive(1152, 100);
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        received += pty.receive(image.size() - received.size());
    });
    DWORD written = 0;
    const FT_STATUS status = port->write(image.data(), static_cast<DWORD>(image.size()), &written);
    writing = false;
    device.join();
    EXPECT_EQ(status, ft::OK);
    EXPECT_EQ(written, image.size());
    EXPECT_TRUE(received == image) << received.size() << " of " << image.size() << " bytes arrived";
    EXPECT_EQ(port->writeLimitMs(65'536), 13'377); // 2 s and twice the 5.69 s on the line
}

TEST(SerialPort, AWriteTheDeviceDoesNotTakeEndsAtItsLimitAndLeavesNothingBehind)
{
    // The device reads nothing: the write gives up after 2 s plus twice its
    // 0.5 s on the line, says how much was taken, and nothing of it follows
    // the next write.
    PtyPair pty;
    auto port = openOrFail(pty.path);
    ASSERT_TRUE(port);
    ASSERT_EQ(port->setBaudRate(4000000), ft::OK);
    const std::string image(200'000, 'i');
    ASSERT_EQ(port->writeLimitMs(static_cast<DWORD>(image.size())), 3000);

    const auto start = std::chrono::steady_clock::now();
    DWORD written = 0;
    EXPECT_EQ(port->write(image.data(), static_cast<DWORD>(image.size()), &written), ft::OK);
    const auto tookMs = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
    EXPECT_GE(tookMs.count(), 2900);
    EXPECT_LT(tookMs.count(), 10'000);
    EXPECT_GT(written, 0u);
    EXPECT_LT(written, image.size());

    const std::string before = pty.receive(image.size(), 500);
    EXPECT_LE(before.size(), written);
    EXPECT_EQ(before.find_first_not_of('i'), std::string::npos);
    ASSERT_EQ(port->write("next", 4, &written), ft::OK);
    EXPECT_EQ(written, 4u);
    EXPECT_EQ(pty.receive(4), "next");
}

TEST(SerialPort, AVanishedDeviceFailsEveryLaterCallAndWakesTheWaiter)
{
    PtyPair pty;
    auto port = openOrFail(pty.path);
    ASSERT_TRUE(port);
    std::atomic<int> wakeUps{0};
    port->setDataCallback([&] { ++wakeUps; });

    pty.closeMaster();
    ASSERT_TRUE(waitUntil([&] { return port->isDead(); }));
    EXPECT_TRUE(waitUntil([&] { return wakeUps.load() > 0; }));

    DWORD n = 99;
    EXPECT_EQ(port->queueStatus(&n), ft::IO_ERROR);
    EXPECT_EQ(n, 0u);
    char buffer[8];
    EXPECT_EQ(port->read(buffer, sizeof buffer, &n), ft::IO_ERROR);
    EXPECT_EQ(n, 0u);
    EXPECT_EQ(port->write("x", 1, &n), ft::IO_ERROR);
    EXPECT_EQ(n, 0u);
    EXPECT_EQ(port->purge(ft::PURGE_RX), ft::IO_ERROR);
    EXPECT_EQ(port->setBaudRate(115200), ft::IO_ERROR);
    EXPECT_EQ(port->setDataCharacteristics(8, 0, 0), ft::IO_ERROR);
    port.reset(); // closing a dead port is quiet
}

TEST(SerialPort, IsExclusive)
{
    PtyPair pty;
    auto first = openOrFail(pty.path);
    ASSERT_TRUE(first);
    SerialPort::Opened second = SerialPort::open(pty.path);
    EXPECT_EQ(second.status, ft::DEVICE_NOT_OPENED);
    EXPECT_FALSE(second.port);
    EXPECT_NE(second.advice.find("held by another program"), std::string::npos) << second.advice;

    first.reset();
    EXPECT_TRUE(openOrFail(pty.path));
}

TEST(SerialPort, APortAnotherProgramHoldsThroughQtIsBusy)
{
    // Another program has the port open with its lock file (and, for users
    // other than root, the exclusive mode).
    PtyPair pty;
    QSerialPort other(QString::fromStdString(pty.path));
    ASSERT_TRUE(other.open(QIODevice::ReadWrite)) << other.errorString().toStdString();
    SerialPort::Opened opened = SerialPort::open(pty.path);
    EXPECT_EQ(opened.status, ft::DEVICE_NOT_OPENED);
    EXPECT_FALSE(opened.port);
    EXPECT_EQ(opened.advice, pty.path + " is held by another program; close that program and try again");

    other.close();
    EXPECT_TRUE(openOrFail(pty.path));
}

TEST(SerialPort, OpenFailuresGiveStatusAndAdvice)
{
    QTemporaryDir dir;
    const std::string plainFile = QDir(dir.path()).filePath(QStringLiteral("plain")).toStdString();
    QFile(QString::fromStdString(plainFile)).open(QIODevice::WriteOnly);
    struct stat st {};
    ASSERT_EQ(::stat(plainFile.c_str(), &st), 0);
    const group *owner = ::getgrgid(st.st_gid);
    ASSERT_TRUE(owner);
    const std::string ownerGroup = std::string("'") + owner->gr_name + "'";

    auto failingWith = [](int error) {
        return [error](const char *, int) {
            errno = error;
            return -1;
        };
    };
    struct Case {
        const char *name;
        std::string path;
        SerialPort::OpenFunction open;
        FT_STATUS status;
        std::vector<std::string> adviceParts;
    };
    const Case cases[] = {
        {"missing", plainFile + ".missing", {}, ft::DEVICE_NOT_FOUND, {}},
        {"not a tty", plainFile, {}, ft::DEVICE_NOT_OPENED, {"not a serial port"}},
        {"no permission", plainFile, failingWith(EACCES), ft::DEVICE_NOT_OPENED,
         {ownerGroup, "usermod -aG", "log in again", "udev rule"}},
        {"busy", plainFile, failingWith(EBUSY), ft::DEVICE_NOT_OPENED, {"held by another program"}},
        {"unplugged meanwhile", plainFile, failingWith(ENODEV), ft::DEVICE_NOT_FOUND, {}},
    };
    for (const Case &c : cases) {
        SerialPort::Opened opened = SerialPort::open(c.path, c.open);
        EXPECT_EQ(opened.status, c.status) << c.name;
        EXPECT_FALSE(opened.port) << c.name;
        for (const std::string &part : c.adviceParts)
            EXPECT_NE(opened.advice.find(part), std::string::npos) << c.name << ": " << opened.advice;
        if (c.adviceParts.empty()) {
            EXPECT_EQ(opened.advice, "") << c.name;
        }
    }
}

TEST(SerialPort, RealPermissionDenialIsExplained)
{
    if (::geteuid() == 0)
        GTEST_SKIP() << "root opens any device node";
    PtyPair pty;
    ASSERT_EQ(::chmod(pty.path.c_str(), 0), 0);
    SerialPort::Opened opened = SerialPort::open(pty.path);
    EXPECT_EQ(opened.status, ft::DEVICE_NOT_OPENED);
    EXPECT_NE(opened.advice.find("usermod"), std::string::npos) << opened.advice;
}
