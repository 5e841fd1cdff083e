// Presets and parameter maps as JSON text from anywhere: any text reads as a map (empty
// when it is not a JSON object) without crashing, and what was read survives being written
// and read again unchanged, so a preset saved by the editor loads back as it was.

#include "engine/tjson.h"
#include "fuzzsupport.h"

#include <climits>
#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    FuzzSupport::silenceLibraryOutput();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size > size_t(INT_MAX))
        return 0;
    const QString text = QString::fromUtf8(reinterpret_cast<const char*>(data), int(size));
    const QVariantMap first = TJson::stringToQMap(text);
    const QString written = TJson::qmapToString(first);
    const QVariantMap second = TJson::stringToQMap(written);
    if (second != first)
        FuzzSupport::fail("the map changed when written and read again; written text:\n" + written
                          + "\nread again:\n" + TJson::qmapToString(second));
    return 0;
}
