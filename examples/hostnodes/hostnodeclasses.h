#pragma once
// Thread: GUI thread, before the first node exists.
// Owns: nothing (the registries are the library's).
// Errors: none; registering twice is harmless (the first registration of a name wins).

// The example host's node classes: registers the adjust root as "TNodeRoot" and the layers
// FillLayer, ImageLayer, LevelsLayer and BlurLayer with the node factory, and the server,
// the nodes and the layers as QML types under "Korvane 1.0".
class HostNodeClasses
{
public:
    static void registerAll();
};
