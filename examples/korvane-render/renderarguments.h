#pragma once
// Thread: GUI thread, before the engine starts.
// Owns: the parsed values.
// Errors: parse() returns false with a message naming the argument, file or key at fault.

#include <QSize>
#include <QString>
#include <QStringList>
#include <QVariantMap>

// korvane-render's command line: what to read, which preset to apply, where and how to save.
// Everything that can be checked before the engine starts is checked here, so a bad call
// never touches an existing output file.
class RenderArguments
{
public:
    bool parse(const QStringList& arguments);

    QString error() const { return m_error; }
    bool helpRequested() const { return m_help; }
    QString helpText() const { return m_helpText; }

    // --make-chart: write the default input chart to chartPath() and stop.
    bool makeChart() const { return !m_chartPath.isEmpty(); }
    QString chartPath() const { return m_chartPath; }
    QSize chartSize() const { return m_chartSize; }

    QString inputPath() const { return m_input; }
    QString presetPath() const { return m_presetPath; }
    QVariantMap preset() const { return m_preset; }
    QString outputPath() const { return m_output; }
    // The image writer's option table for the output's format.
    QVariantMap fileParams() const { return m_fileParams; }

private:
    bool fail(const QString& message);
    bool readPreset();
    // The node classes named in `node` and its descendants that are not registered.
    static QStringList unknownClasses(const QVariantMap& node);
    bool checkOutput();

    QString m_error;
    bool m_help = false;
    QString m_helpText;
    QString m_chartPath;
    QSize m_chartSize;
    QString m_input;
    QString m_presetPath;
    QVariantMap m_preset;
    QString m_output;
    QVariantMap m_fileParams;
};
