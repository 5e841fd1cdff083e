#pragma once
// Thread: GUI thread, before a QML document using the types is loaded.
// Owns: nothing.
// Errors: none; a second call does nothing.

// The effect base classes as QML types, so documents can use their enumerations (mask and
// selection types, blend modes) and properties; concrete effects are the host's classes.
class EffectQmlTypes
{
public:
    static void registerTypes(const char* uri, int major, int minor);
};
