#include "levelslayerworker.h"

#include "gpu/glimfilter.h"

#include <cmath>

QString LevelsLayerWorker::doProc(TSFbo& io)
{
    GLImFilter levels(QStringLiteral(":/examples/shaders/levels.frag"));
    levels.setUniformValue(QStringLiteral("gain"), std::exp2(paramFloat("exposure")));
    levels.setUniformValue(QStringLiteral("black"), paramFloat("black"));
    levels.setUniformValue(QStringLiteral("white"), paramFloat("white"));
    levels.setUniformValue(QStringLiteral("gamma"), paramFloat("gamma"));
    const TSFbo adjusted = levels.filter(io);
    if (adjusted.isEmpty())
        return QStringLiteral("ERROR!!! LevelsLayer: the levels pass failed");
    io = adjusted;
    return QString();
}
