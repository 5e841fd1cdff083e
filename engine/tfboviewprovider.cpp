#include "engine/tfboviewprovider.h"

#include <QHash>

TFboViewProvider::TFboViewProvider(QObject* parent)
    : QObject(parent)
{
}

TFboViewProvider::~TFboViewProvider() = default;

unsigned int TFboViewProvider::key(const QString& reqTag, int nodeUid, const QString& fboId)
{
    return qHash(reqTag + fboId, uint(nodeUid));
}

void TFboViewProvider::procOutputFbo(QString, int, QString, TSFbo)
{
    // Views subscribe once display framebuffers exist; until then outputs have no audience.
}
