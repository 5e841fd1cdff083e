// Heavy headers shared by most translation units; precompiled to keep CI builds short.
#pragma once
#include <QtCore>
#include <QtGui>
#include <QtQuick>
#include <QOpenGLFunctions_3_3_Core>
#include <opencv2/core.hpp>
