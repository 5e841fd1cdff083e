#include "effects/maskdab.h"

bool MaskDab::fromCommandName(const QString& name, Type* type)
{
    static const struct
    {
        const char* name;
        Type type;
    } commands[] = {{"undo", Type::Undo}, {"redo", Type::Redo}, {"snapshot", Type::Snapshot}, {"reset", Type::Reset},
                    {"invert", Type::Invert}};
    for (const auto& c : commands) {
        if (name == QLatin1String(c.name)) {
            *type = c.type;
            return true;
        }
    }
    return false;
}
