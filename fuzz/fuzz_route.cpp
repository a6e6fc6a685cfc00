#include "fuzzchecks.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzChecks::route(QByteArray(reinterpret_cast<const char *>(data), int(size)));
    return 0;
}
