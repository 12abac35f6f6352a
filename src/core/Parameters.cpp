#include "Parameters.h"

#include "FunctionsUnit.h"

standard_parameter::standard_parameter(const QString &name, std::uint16_t address_, std::uint8_t numberOfAddresses)
    : num_of_addresses(numberOfAddresses), parameter_name(name), address(address_)
{
}

assignable_parameter::assignable_parameter(const QString &name, std::uint16_t address_, bool assigned)
    : address(address_), is_assigned(assigned), parameter_name(name)
{
}

EffectParameterSet::EffectParameterSet()
{
    using namespace param;
    struct Made {
        int index;
        const char *name;
    };
    // The creation order: the assignable ones first, then the standard ones.
    static constexpr Made order[] = {
        {InputLevel, "Input Level"}, {HarmonicPitch, "1st Harmonic Pitch"}, {WaveClip, "Wave Clip"},
        {DominantNotesCut, "Dominant Notes Cut"}, {HighNotesCut, "High Notes Cut"}, {DryHPF, "Dry HPF"},
        {LimitRangeUp, "Limit Range UP"}, {NoiseGateStatus, "Noise Gate Status"},
        {NoiseGateThreshold, "Noise Gate Threshold"}, {Attack, "Attack"},
        {Dry, "Dry"}, {Minus1Oct, "-1 Oct"}, {SubMix, "Sub Mix"}, {Minus2Oct, "-2 Oct"}, {LowPass, "Low Pass"},
        {HighPass, "High Pass"}, {Range, "Range"}, {FirstHarmonic, "1st Harmonic"}, {Wave, "Wave"}, {Split, "Split"},
    };
    int n = 0;
    for (const Made &m : order) {
        const QString name = QString::fromLatin1(m.name);
        if (m.index >= kFirstAssignable)
            m_assignable[static_cast<std::size_t>(m.index - kFirstAssignable)] =
                std::make_unique<assignable_parameter>(name, 0xFFFF, false);
        else
            m_standard[static_cast<std::size_t>(m.index)] = std::make_unique<standard_parameter>(name, 0x0000, 1);
        m_created[static_cast<std::size_t>(n++)] = name;
    }
}

const QString &EffectParameterSet::name(int i) const
{
    return i >= param::kFirstAssignable ? assignable(i).parameter_name
                                        : m_standard[static_cast<std::size_t>(i)]->parameter_name;
}

std::uint16_t EffectParameterSet::address(int i) const
{
    return i >= param::kFirstAssignable ? assignable(i).address : m_standard[static_cast<std::size_t>(i)]->address;
}

std::uint32_t EffectParameterSet::value(int i) const
{
    return i >= param::kFirstAssignable ? assignable(i).value : m_standard[static_cast<std::size_t>(i)]->value;
}

void EffectParameterSet::setValue(int i, std::uint32_t value)
{
    if (i >= param::kFirstAssignable)
        assignable(i).value = value;
    else
        m_standard[static_cast<std::size_t>(i)]->value = value;
}

void EffectParameterSet::setAddress(int i, std::uint16_t address)
{
    if (i >= param::kFirstAssignable)
        assignable(i).address = address;
    else
        m_standard[static_cast<std::size_t>(i)]->address = address;
}

AddressReading readParameterAddresses(const QString &firstLine, const EffectParameterSet &names)
{
    AddressReading reading;
    try {
        for (int i = 0; i < param::Count; ++i) {
            const int field = param::kAddressField[static_cast<std::size_t>(i)];
            if (field == 0)
                continue;
            const QString digits = firstLine.mid(field - 1, 4);
            if (digits.size() < 4)
                throw HexError(QStringLiteral("The algorithm image is too short for the address of %1")
                                   .arg(names.name(i))
                                   .toStdString());
            const QByteArray b = HexToBytes(digits);
            reading.addresses[static_cast<std::size_t>(i)] =
                static_cast<std::uint16_t>(static_cast<std::uint8_t>(b[0]) * 256 + static_cast<std::uint8_t>(b[1]));
        }
        for (int field : param::kUnusedFields)
            HexToBytes(firstLine.mid(field - 1, 4));
    } catch (const HexError &e) {
        reading.error = QString::fromUtf8(e.what());
        if (reading.error.isEmpty())
            reading.error = QStringLiteral("The algorithm image holds a field that is not hex");
    }
    return reading;
}

int parameterIndexOf(const QString &name, const EffectParameterSet &names)
{
    for (int i = 0; i < param::Count; ++i) {
        if (names.name(i) == name)
            return i;
    }
    return -1;
}
