#pragma once
// Thread: configured on the GUI thread before rendering starts; other threads only copy
//         the statics. Not locked.
// Owns: the process-wide colour management, the current file's metadata and a free-form
//       metadata map (statics, alive while the library is loaded).
// Errors: none.

#include "io/colormanagementsystem.h"
#include "io/fileinfo.h"

#include <QMap>
#include <QObject>
#include <QString>
#include <QVariant>

// The process-wide context of the file layer.
class Workspace : public QObject
{
    Q_OBJECT
public:
    explicit Workspace(QObject* parent = nullptr);

    static ColorManagementSystem& colorManagmentSystem();
    static Ostrel::FileInfo& fileInfo();
    static QMap<QString, QVariant>& metaInfo();

    static void setDeviceColorProfile(const unsigned char* data, unsigned int size);
    static void setWorkingColorProfile(const unsigned char* data, unsigned int size);

    // Empties the metadata map. True.
    bool setMetaInfo();

private:
    static ColorManagementSystem s_colorManagementSystem;
    static Ostrel::FileInfo s_fileInfo;
    static QMap<QString, QVariant> s_metaInfo;
};
