// Configuration files of any content: every value read stands in the file or is the default,
// and every usable divider is a finite number other than 0.
#include "config/configfiles.h"
#include "config/options.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QString text = QString::fromLatin1(reinterpret_cast<const char*>(data), qsizetype(size));
    const config::ProgramConfig prog = config::parseProgramConfig(text);
    const config::ProgramConfig progDefaults;
    for (const auto& key : config::kProgramConfigKeys) {
        if (!text.contains(prog.*key.value) && prog.*key.value != progDefaults.*key.value)
            std::abort();
    }
    const config::CalibrationSettings s = config::parseCalibrationSettings(text);
    const core::Conversion c = config::makeConversion(s);
    for (const auto& divider : {c.voltDivider, c.ampDivider, c.rpmDivider, c.wsDivider}) {
        if (divider && (!std::isfinite(*divider) || *divider == 0))
            std::abort();
    }
    return 0;
}
