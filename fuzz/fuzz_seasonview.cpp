// Season's keys in view.cfg of any content: each read within its bounds, and a key written over
// the content reads back as written.
#include "core/keyedsettings.h"
#include "season/seasonview.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    const season::SeasonView v = season::seasonViewFrom(bytes);
    if (v.tab < 0 || v.tab > 9 || v.energySpan < 0 || v.energySpan > 2 || v.size.width() < 200 ||
        v.size.height() < 150 || v.size.width() > 10000 || v.size.height() > 10000)
        std::abort();
    const int tab = int(size % 10);
    const QByteArray after = core::withKeys(bytes, QStringLiteral("View Settings"),
                                            {{QStringLiteral("SeasonTab"), QString::number(tab)}});
    if (season::seasonViewFrom(after).tab != tab)
        std::abort();
    return 0;
}
