#pragma once
// What nearly every test file needs: case registration, the render thread, image comparison
// with evidence on failure, QtTest and OpenCV's matrices.

#include "gpufixture.h"
#include "gputest.h"
#include "testregistry.h"

#include "gpu/tsfbo.h"

#include <QOpenGLFunctions_3_3_Core>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <opencv2/core.hpp>

#include <algorithm>
#include <cmath>
#include <functional>
#include <memory>
#include <vector>

// Complete save options for "JPEG", "TIFF" or "PNG", as a save dialog sends them, with
// `changes` over them: the one table every save test starts from.
inline QVariantMap saveOptions(const QString& format, const QVariantMap& changes = {})
{
    static const QMap<QString, QVariantMap> full{
        {"JPEG", {{"JPEG_QUALITY", "Maximum"}, {"JPEG_FORMAT", "Standard"}}},
        {"TIFF", {{"TIFF_COMPRESSION", "LZW"}, {"TIFF_BITDEPTH", "16 bit"}, {"SAVE_ALPHA", "TRUE"}}},
        {"PNG", {{"PNG_COMPRESSION", "DEFAULT"}, {"PNG_INTERLACE", "NONE"}, {"PNG_BITDEPTH", "16 bit"}}}};
    QVariantMap options = full.value(format);
    options.insert({{"COLOR_SPACE", "DEFAULT"}, {"IMAGE_FORMAT", format}});
    options.insert(changes);
    return options;
}
