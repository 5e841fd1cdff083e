#include "io/workspace.h"

ColorManagementSystem Workspace::s_colorManagementSystem;
Ostrel::FileInfo Workspace::s_fileInfo;
QMap<QString, QVariant> Workspace::s_metaInfo;

Workspace::Workspace(QObject* parent)
    : QObject(parent)
{
}

ColorManagementSystem& Workspace::colorManagmentSystem()
{
    return s_colorManagementSystem;
}

Ostrel::FileInfo& Workspace::fileInfo()
{
    return s_fileInfo;
}

QMap<QString, QVariant>& Workspace::metaInfo()
{
    return s_metaInfo;
}

void Workspace::setDeviceColorProfile(const unsigned char* data, unsigned int size)
{
    s_colorManagementSystem.setDeviceColorProfile(data, int(size));
}

void Workspace::setWorkingColorProfile(const unsigned char* data, unsigned int size)
{
    s_colorManagementSystem.setWorkingColorProfile(data, int(size));
}

bool Workspace::setMetaInfo()
{
    s_metaInfo.clear();
    return true;
}
