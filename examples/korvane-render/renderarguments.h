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
// never touches an existing output file. With --output-dir it describes a batch: many inputs,
// one preset, each output named from its input; an input or output that turns out bad is
// the batch's business, image by image (outputProblem()).
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

    // --output-dir: several inputs (arguments and --list), outputs named by --output-name.
    bool batch() const { return !m_outputDir.isEmpty(); }
    QStringList inputPaths() const { return m_inputs; }
    QString outputPathFor(const QString& input) const;
    // The writer's table for `output`, or an empty map with the option at fault in `error`.
    QVariantMap fileParamsFor(const QString& output, QString* error) const;
    // Why `output` cannot be written (its extension, folder or an unreplaceable file), or empty.
    static QString outputProblem(const QString& output);

private:
    bool fail(const QString& message);
    bool readPreset();
    // The node classes named in `node` and its descendants that are not registered.
    static QStringList unknownClasses(const QVariantMap& node);
    bool readBatch(const QStringList& files, const QString& list, const QString& pattern);

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
    QString m_outputDir;
    QString m_outputName;
    QStringList m_inputs;
    // Saving options as given, turned into a table per output format by fileParamsFor().
    QString m_quality, m_colorSpace, m_bitDepth, m_compression;
    bool m_bitDepthSet = false;
    bool m_progressive = false;
    bool m_alpha = false;
};
