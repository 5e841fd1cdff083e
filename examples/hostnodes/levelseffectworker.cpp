#include "levelseffectworker.h"

#include "gpu/glimfilter.h"

#include <cmath>

QString LevelsEffectWorker::doProc(TSFbo& out)
{
    const TSFbo in = inputFbo(decimation(), false, TSFbo::workingFormat());
    if (in.isEmpty())
        return QString();
    GLImFilter levels(QStringLiteral(":/examples/shaders/levels.frag"));
    levels.setUniformValue(QStringLiteral("gain"), std::exp2(paramValue(QStringLiteral("exposure")).toFloat()));
    levels.setUniformValue(QStringLiteral("black"), 0.0f);
    levels.setUniformValue(QStringLiteral("white"), 1.0f);
    levels.setUniformValue(QStringLiteral("gamma"), 1.0f);
    const TSFbo adjusted = levels.filter(in);
    if (adjusted.isEmpty())
        return QStringLiteral("ERROR!!! LevelsEffect: the levels pass failed");
    out = adjusted;
    return QString();
}
