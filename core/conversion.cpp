#include "core/conversion.h"

#include "core/numbers.h"

namespace core {

double voltsFrom(double rawV, const Conversion& c)
{
    return c.voltDivider ? finiteOrZero(roundTo(rawV / *c.voltDivider, 2)) : 0.0;
}

double ampsFrom(double rawI, const Conversion& c)
{
    return c.ampDivider ? finiteOrZero(roundTo((rawI - c.voltOffset) / *c.ampDivider, 2)) : 0.0;
}

double rpmFrom(double rawR, const Conversion& c)
{
    return c.rpmDivider ? finiteOrZero(roundTo(rawR / *c.rpmDivider * 60.0, 1)) : 0.0;
}

double windFrom(double rawS, const Conversion& c)
{
    return c.wsDivider ? finiteOrZero(roundTo(rawS / *c.wsDivider, 1)) : 0.0;
}

} // namespace core
