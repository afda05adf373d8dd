// storage.cfg of any content: what is read is the default or a period the writer takes and a
// level within its range, and the file written from it reads back without a problem and with the
// same period.
#include "storage/storageconfig.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    QStringList problems;
    const storage::StorageConfig c =
        storage::parseStorageConfig(QString::fromLatin1(bytes), &problems);
    if (c.syncSeconds != 0 &&
        (c.syncSeconds < storage::kLeastSyncSeconds || c.syncSeconds > storage::kMostSyncSeconds))
        std::abort();
    if (c.syncBelowVolts && !(*c.syncBelowVolts >= storage::kLeastBelowVolts &&
                              *c.syncBelowVolts <= storage::kMostBelowVolts))
        std::abort();
    QStringList again;
    const storage::StorageConfig back =
        storage::parseStorageConfig(QString::fromLatin1(storage::storageConfigText(c)), &again);
    if (back.syncSeconds != c.syncSeconds || !again.isEmpty())
        std::abort();
    return 0;
}
