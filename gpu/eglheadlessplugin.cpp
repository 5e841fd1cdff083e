// The headless platform as a plugin compiled into the library: Qt finds it by the name
// "korvane-headless" in QT_QPA_PLATFORM (or -platform) without any plugin file on disk.
// Thread: GUI thread, while QGuiApplication starts.

#include "gpu/eglheadlessintegration.h"

#include <QtPlugin>
#include <qpa/qplatformintegrationplugin.h>

class EglHeadlessPlugin : public QPlatformIntegrationPlugin
{
    Q_OBJECT
    Q_PLUGIN_METADATA(IID QPlatformIntegrationFactoryInterface_iid FILE "eglheadless.json")
public:
    QPlatformIntegration* create(const QString& key, const QStringList&) override
    {
        return key.compare(QLatin1String(EglHeadlessIntegration::platformName()), Qt::CaseInsensitive) == 0
            ? new EglHeadlessIntegration
            : nullptr;
    }
};

#include "eglheadlessplugin.moc"

// Registers the plugin when the library loads, before any QGuiApplication exists.
Q_IMPORT_PLUGIN(EglHeadlessPlugin)
