#include "SerialPortDriver.h"

#include "ListText.h"
#include "PrivateFiles.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>

SerialPortDriver::SerialPortDriver(SerialPort::OpenFunction openFunction)
    : m_openFunction(std::move(openFunction))
{
}

SerialPortDriver::~SerialPortDriver() = default;

FT_STATUS SerialPortDriver::FT_ListDevices(void *pArg1, void *pArg2, DWORD flags)
{
    if (flags == ft::LIST_NUMBER_ONLY) {
        if (!pArg1)
            return ft::INVALID_PARAMETER;
        m_listed = enumerate();
        m_enumerated = true;
        *static_cast<DWORD *>(pArg1) = static_cast<DWORD>(m_listed.size());
        return ft::OK;
    }
    if (!(flags & ft::LIST_BY_INDEX))
        return ft::INVALID_PARAMETER;
    const listtext::Field field = listtext::fieldOf(flags);
    if (field == listtext::Field::None)
        return ft::INVALID_PARAMETER;
    if (!m_enumerated) {
        m_listed = enumerate();
        m_enumerated = true;
    }
    const std::size_t index = listtext::indexOf(pArg1);
    if (index >= m_listed.size())
        return ft::DEVICE_NOT_FOUND;
    const Bridge &bridge = m_listed[index];
    return listtext::copyTo(pArg2, field == listtext::Field::Serial ? bridge.serial : bridge.description);
}

FT_STATUS SerialPortDriver::FT_OpenEx(void *pArg1, DWORD flags, FT_HANDLE *handle)
{
    m_advice.clear();
    const listtext::Field field = listtext::fieldOf(flags);
    if (!pArg1 || !handle || field == listtext::Field::None)
        return ft::INVALID_PARAMETER;
    const std::string wanted(static_cast<const char *>(pArg1));
    auto find = [&]() -> const Bridge * {
        for (const Bridge &b : m_listed)
            if ((field == listtext::Field::Serial ? b.serial : b.description) == wanted)
                return &b;
        return nullptr;
    };
    const Bridge *bridge = find();
    if (!bridge) {
        m_listed = enumerate();
        m_enumerated = true;
        bridge = find();
    }
    if (!bridge)
        return ft::DEVICE_NOT_FOUND;

    SerialPort::OpenFunction openFunction = m_openFunction;
    SerialPort::Accept accept;
    if (bridge->pseudoTerminalOnly) {
        // Whatever the path names now: anything but a pseudo-terminal of
        // the user's, or a link, is as good as gone.
        openFunction = [inner = m_openFunction](const char *path, int flags) {
            const int fd = inner ? inner(path, flags | O_NOFOLLOW) : ::open(path, flags | O_NOFOLLOW);
            if (fd < 0 && errno == ELOOP)
                errno = ENODEV;
            return fd;
        };
        accept = [](const struct stat &st) { return privatefiles::isOwnPseudoTerminal(st); };
    }
    SerialPort::Opened opened = SerialPort::open(bridge->path, openFunction, ByteQueue::kDefaultLimit, accept);
    if (opened.status != ft::OK) {
        m_advice = opened.advice;
        return opened.status;
    }
    if (m_callback)
        opened.port->setDataCallback(m_callback);
    opened.port->setLatencyControl(bridge->latency);
    const FT_HANDLE h = m_nextHandle++;
    m_ports.emplace(h, std::move(opened.port));
    *handle = h;
    return ft::OK;
}

SerialPort *SerialPortDriver::port(FT_HANDLE handle) const
{
    const auto it = m_ports.find(handle);
    return it == m_ports.end() ? nullptr : it->second.get();
}

FT_STATUS SerialPortDriver::FT_Close(FT_HANDLE handle)
{
    return m_ports.erase(handle) ? ft::OK : ft::INVALID_HANDLE;
}

FT_STATUS SerialPortDriver::FT_SetBaudRate(FT_HANDLE handle, ULONG baudRate)
{
    SerialPort *p = port(handle);
    return p ? p->setBaudRate(baudRate) : ft::INVALID_HANDLE;
}

FT_STATUS SerialPortDriver::FT_SetDataCharacteristics(FT_HANDLE handle, UCHAR wordLength, UCHAR stopBits,
                                                      UCHAR parity)
{
    SerialPort *p = port(handle);
    return p ? p->setDataCharacteristics(wordLength, stopBits, parity) : ft::INVALID_HANDLE;
}

FT_STATUS SerialPortDriver::FT_Purge(FT_HANDLE handle, ULONG mask)
{
    SerialPort *p = port(handle);
    return p ? p->purge(mask) : ft::INVALID_HANDLE;
}

FT_STATUS SerialPortDriver::FT_GetQueueStatus(FT_HANDLE handle, DWORD *rxBytes)
{
    SerialPort *p = port(handle);
    return p ? p->queueStatus(rxBytes) : ft::INVALID_HANDLE;
}

FT_STATUS SerialPortDriver::FT_Read(FT_HANDLE handle, void *buffer, DWORD bytesToRead, DWORD *bytesReturned)
{
    SerialPort *p = port(handle);
    if (!p) {
        if (bytesReturned)
            *bytesReturned = 0;
        return ft::INVALID_HANDLE;
    }
    return p->read(buffer, bytesToRead, bytesReturned);
}

FT_STATUS SerialPortDriver::FT_Write(FT_HANDLE handle, void *buffer, DWORD bytesToWrite, DWORD *bytesWritten)
{
    SerialPort *p = port(handle);
    if (!p) {
        if (bytesWritten)
            *bytesWritten = 0;
        return ft::INVALID_HANDLE;
    }
    return p->write(buffer, bytesToWrite, bytesWritten);
}

FT_STATUS SerialPortDriver::FT_SetLatencyTimer(FT_HANDLE handle, UCHAR ms)
{
    m_latencyAdvice.clear();
    SerialPort *p = port(handle);
    return p ? p->setLatencyTimer(ms, m_latencyAdvice) : ft::INVALID_HANDLE;
}

FT_STATUS SerialPortDriver::FT_GetLatencyTimer(FT_HANDLE handle, UCHAR *ms)
{
    SerialPort *p = port(handle);
    return p ? p->latencyTimer(ms) : ft::INVALID_HANDLE;
}

void SerialPortDriver::setDataCallback(std::function<void()> callback)
{
    m_callback = std::move(callback);
    for (auto &[handle, p] : m_ports)
        p->setDataCallback(m_callback);
}
