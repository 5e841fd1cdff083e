#pragma once
// Thread: GUI thread, before a QML document using the types is loaded.
// Owns: nothing.
// Errors: none; a second call does nothing.

// The engine's and the node model's QML types under one import: the server item, the node
// base classes, the root the server makes (the adjust root, built from presets as
// "TNodeRoot") and the image list, which presets may also name.
class NodeQmlTypes
{
public:
    static void registerTypes(const char* uri, int major, int minor);
};
