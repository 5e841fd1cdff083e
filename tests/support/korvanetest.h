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
