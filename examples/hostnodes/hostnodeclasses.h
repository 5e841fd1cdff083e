#pragma once
// Thread: GUI thread, before the first node exists.
// Owns: nothing (the registries are the library's).
// Errors: none; registering twice is harmless (the first registration of a name wins).

// The example host's node classes: the library's QML types under "Korvane 1.0" (as the QML
// module registers them, for tools that do not import it), and the layers FillLayer,
// ImageLayer, LevelsLayer and BlurLayer and the LevelsEffect with the factories and as QML types.
class HostNodeClasses
{
public:
    static void registerAll();
};
