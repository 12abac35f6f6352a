// The virtual pedal's command parser: application messages and, from the
// first input byte's choice, its bootloader.
#include "PedalSimulator.h"

#include <cstdint>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size == 0)
        return 0;
    sim::Config config;
    config.startInBootloader = data[0] & 1;
    config.paced = data[0] & 2;
    sim::PedalSimulator pedal(config);
    std::int64_t now = 0;
    std::size_t i = 1;
    while (i < size) {
        const std::size_t n = std::min<std::size_t>(data[i] & 0x7F, size - i - 1);
        pedal.receive(data + i + 1, n, now);
        now += (data[i] & 0x80) ? 1500 : 3;
        (void)pedal.takeOutput(now);
        i += n + 1;
    }
    (void)pedal.takeOutput(now + 60000);
    return 0;
}
