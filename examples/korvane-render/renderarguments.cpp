#include "renderarguments.h"

#include "engine/tjson.h"
#include "nodes/tnodefactory.h"

#include <QCommandLineParser>
#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace {
const QString kChildren = QStringLiteral("_children_");
const QString kClassName = QStringLiteral("className");

const QStringList kQualities = {"Maximum", "High", "Normal", "Medium", "Low"};
const QStringList kColorSpaces = {"DEFAULT", "sRGB IEC61966-2.1", "Adobe RGB(1998)", "ProPhoto RGB", "Apple RGB",
                                  "Wide Gamut RGB"};
const QStringList kTiffCompressions = {"DEFAULT", "NONE", "LZW", "ADOBE_DEFLATE"};

QString formatOf(const QString& path)
{
    const QString suffix = QFileInfo(path).suffix().toLower();
    if (suffix == "jpg" || suffix == "jpeg")
        return QStringLiteral("JPEG");
    if (suffix == "tif" || suffix == "tiff")
        return QStringLiteral("TIFF");
    if (suffix == "png")
        return QStringLiteral("PNG");
    return QString();
}
} // namespace

bool RenderArguments::fail(const QString& message)
{
    m_error = message;
    return false;
}

bool RenderArguments::parse(const QStringList& arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(
        "Renders an image through a Korvane node tree and saves the result.\n\n"
        "The preset is a JSON node tree as TNode::preset() writes it: an object with\n"
        "\"className\": \"TNodeRoot\", the root's parameters, and \"_children_\", a list of layer\n"
        "objects (\"className\" one of the registered classes, their parameters, their own\n"
        "\"_children_\"). The output format follows the output's extension: .jpg, .tif or .png.\n"
        "Errors name the file or key at fault and exit with status 1; an existing output file is\n"
        "replaced only by a complete new one.\n\n"
        "With --output-dir it renders many images in one run, starting the engine once:\n"
        "  korvane-render [INPUT...] PRESET --output-dir DIR [--list FILE] [--output-name PATTERN]\n"
        "The preset comes last; inputs before it and/or one per line in --list. Each image gets\n"
        "a progress line and the run a summary; an image that fails is reported with its reason,\n"
        "the others still render, and the exit status is 1 when any failed.");
    parser.addHelpOption();
    parser.addPositionalArgument("input", "Image to render (JPEG, TIFF, PNG, or any file OpenImageIO reads).");
    parser.addPositionalArgument("preset", "Node tree as JSON.");
    parser.addPositionalArgument("output", "File to write.");
    const QCommandLineOption quality("quality", "JPEG quality: Maximum, High (default), Normal, Medium, Low.", "q", "High");
    const QCommandLineOption progressive("progressive", "Progressive JPEG.");
    const QCommandLineOption depth("bit-depth", "TIFF and PNG sample size: 8 or 16 (default: the input's).", "bits");
    const QCommandLineOption colorSpace("color-space",
                                        "Output profile: DEFAULT (the input's, default), \"sRGB IEC61966-2.1\", "
                                        "\"Adobe RGB(1998)\", \"ProPhoto RGB\", \"Apple RGB\", \"Wide Gamut RGB\".",
                                        "name", "DEFAULT");
    const QCommandLineOption compression("tiff-compression", "TIFF compression: DEFAULT, NONE, LZW, ADOBE_DEFLATE.",
                                         "c", "DEFAULT");
    const QCommandLineOption alpha("alpha", "TIFF and PNG: write an alpha channel even when the input has none\n"
                                            "(an input's own alpha is always kept).");
    const QCommandLineOption chart("make-chart", "Write the default test chart (16-bit PNG) to <file> and stop.", "file");
    const QCommandLineOption chartSize("chart-size", "Size of the chart, WIDTHxHEIGHT (default 3000x2000).", "size",
                                       "3000x2000");
    // Taken out of the arguments before they get here (Korvane::takeVerboseFlag); listed for --help.
    const QCommandLineOption verbose("verbose", "Print the engine's debug and info lines.");
    const QCommandLineOption outputDir("output-dir", "Render every input into <dir> (created if missing).", "dir");
    const QCommandLineOption outputName("output-name",
                                        "With --output-dir: the output's file name; {name} is the input's name "
                                        "without extension, {ext} its extension (default {name}.{ext}).",
                                        "pattern", "{name}.{ext}");
    const QCommandLineOption list("list", "With --output-dir: more inputs, one path per line (- reads stdin).", "file");
    parser.addOptions({quality, progressive, depth, colorSpace, compression, alpha, outputDir, outputName, list, chart,
                       chartSize, verbose});
    m_helpText = parser.helpText()
        + "\nExamples:\n"
          "  korvane-render photo.jpg examples/presets/look.json out.jpg --quality Maximum --progressive\n"
          "  korvane-render photo.tif look.json out.tif --bit-depth 16 --tiff-compression LZW --alpha\n"
          "  korvane-render scan.png look.json out.png --bit-depth 8 --color-space \"Adobe RGB(1998)\"\n"
          "  korvane-render *.tif look.json --output-dir out --output-name \"{name}-look.jpg\"\n"
          "  korvane-render --list photos.txt look.json --output-dir out --bit-depth 16\n"
          "  korvane-render --make-chart chart.png --chart-size 6000x4000\n"
          "  korvane-render --verbose photo.jpg look.json out.jpg   (the engine's debug lines)\n"
          "Without a display (DISPLAY unset) it renders on the headless platform, no X server needed.\n";
    if (!parser.parse(arguments))
        return fail(parser.errorText());
    if (parser.isSet("help")) {
        m_help = true;
        return true;
    }

    if (parser.isSet(chart)) {
        m_chartPath = parser.value(chart);
        const QStringList wh = parser.value(chartSize).split('x');
        m_chartSize = wh.size() == 2 ? QSize(wh[0].toInt(), wh[1].toInt()) : QSize();
        if (m_chartSize.width() < 8 || m_chartSize.height() < 8 || m_chartSize.width() > 30000
            || m_chartSize.height() > 30000)
            return fail(QStringLiteral("--chart-size: \"%1\" is not WIDTHxHEIGHT between 8 and 30000")
                            .arg(parser.value(chartSize)));
        return true;
    }

    m_quality = parser.value(quality);
    m_progressive = parser.isSet(progressive);
    m_bitDepthSet = parser.isSet(depth);
    m_bitDepth = parser.value(depth);
    m_colorSpace = parser.value(colorSpace);
    m_compression = parser.value(compression);
    m_alpha = parser.isSet(alpha);

    const QStringList files = parser.positionalArguments();
    if (parser.isSet(outputDir)) {
        m_outputDir = parser.value(outputDir);
        return readBatch(files, parser.value(list), parser.value(outputName));
    }
    for (const QCommandLineOption& batchOnly : {list, outputName})
        if (parser.isSet(batchOnly))
            return fail(QStringLiteral("--%1 needs --output-dir").arg(batchOnly.names().first()));
    if (files.size() != 3)
        return fail(QStringLiteral("expected INPUT PRESET OUTPUT, got %1 file argument(s); see --help").arg(files.size()));
    m_input = files[0];
    m_presetPath = files[1];
    m_output = files[2];

    const QFileInfo input(m_input);
    if (!input.isFile() || !input.isReadable())
        return fail(QStringLiteral("input \"%1\": no such readable file").arg(m_input));
    if (!readPreset())
        return false;
    const QString problem = outputProblem(m_output);
    if (!problem.isEmpty())
        return fail(problem);
    m_fileParams = fileParamsFor(m_output, &m_error);
    return !m_fileParams.isEmpty();
}

bool RenderArguments::readBatch(const QStringList& files, const QString& list, const QString& pattern)
{
    if (files.isEmpty())
        return fail(QStringLiteral("--output-dir: expected [INPUT...] PRESET, got no file argument; see --help"));
    m_inputs = files.mid(0, files.size() - 1);
    m_presetPath = files.last();
    if (!list.isEmpty()) {
        QFile file(list);
        const bool open = list == QLatin1String("-") ? file.open(stdin, QIODevice::ReadOnly | QIODevice::Text)
                                                      : file.open(QIODevice::ReadOnly | QIODevice::Text);
        if (!open)
            return fail(QStringLiteral("--list \"%1\": %2").arg(list, file.errorString()));
        while (!file.atEnd()) {
            const QString line = QString::fromLocal8Bit(file.readLine()).trimmed();
            if (!line.isEmpty())
                m_inputs << line;
        }
    }
    if (m_inputs.isEmpty())
        return fail(QStringLiteral("--output-dir: no input image given (arguments before the preset, or --list)"));
    if (!readPreset())
        return false;

    QString rest = pattern;
    rest.remove(QLatin1String("{name}")).remove(QLatin1String("{ext}"));
    if (pattern.isEmpty() || rest.contains('{') || rest.contains('}'))
        return fail(QStringLiteral("--output-name: \"%1\" is not a name with {name} and {ext} in it").arg(pattern));
    m_outputName = pattern;
    if (!pattern.endsWith(QLatin1String("{ext}")) && formatOf(pattern).isEmpty())
        return fail(QStringLiteral("--output-name: \"%1\" has an unsupported extension (use .jpg, .tif or .png)").arg(pattern));
    // Outputs may be of any of the formats, so every option is checked now, not at the first
    // image of a format.
    for (const char* sample : {"a.jpg", "a.tif", "a.png"})
        if (fileParamsFor(QString::fromLatin1(sample), &m_error).isEmpty())
            return false;

    if (!QDir().mkpath(m_outputDir) || !QFileInfo(m_outputDir).isWritable())
        return fail(QStringLiteral("--output-dir: \"%1\" is not a writable folder").arg(m_outputDir));
    return true;
}

QString RenderArguments::outputPathFor(const QString& input) const
{
    const QFileInfo info(input);
    QString name = m_outputName;
    name.replace(QLatin1String("{name}"), info.completeBaseName()).replace(QLatin1String("{ext}"), info.suffix());
    return QDir(m_outputDir).filePath(name);
}

QVariantMap RenderArguments::fileParamsFor(const QString& output, QString* error) const
{
    QVariantMap params;
    const QString format = formatOf(output);
    params.insert("IMAGE_FORMAT", format);
    params.insert("FILE_URL", output);
    if (!kColorSpaces.contains(m_colorSpace)) {
        *error = QStringLiteral("--color-space: unknown value \"%1\"").arg(m_colorSpace);
        return {};
    }
    params.insert("COLOR_SPACE", m_colorSpace);
    if (m_bitDepthSet && m_bitDepth != "8" && m_bitDepth != "16") {
        *error = QStringLiteral("--bit-depth: \"%1\" is neither 8 nor 16").arg(m_bitDepth);
        return {};
    }
    const QString sampleSize = m_bitDepthSet ? m_bitDepth + " bit" : QStringLiteral("DEFAULT");
    if (format == "JPEG") {
        if (!kQualities.contains(m_quality)) {
            *error = QStringLiteral("--quality: unknown value \"%1\"").arg(m_quality);
            return {};
        }
        params.insert("JPEG_QUALITY", m_quality);
        params.insert("JPEG_FORMAT", m_progressive ? "Progressive" : "Optimized");
    } else if (format == "TIFF") {
        if (!kTiffCompressions.contains(m_compression)) {
            *error = QStringLiteral("--tiff-compression: unknown value \"%1\"").arg(m_compression);
            return {};
        }
        params.insert("TIFF_COMPRESSION", m_compression);
        params.insert("TIFF_BITDEPTH", sampleSize);
    } else {
        params.insert("PNG_COMPRESSION", "DEFAULT");
        params.insert("PNG_INTERLACE", "NONE");
        params.insert("PNG_BITDEPTH", sampleSize);
    }
    if (format != "JPEG")
        params.insert("SAVE_ALPHA", m_alpha ? "TRUE" : "FALSE");
    return params;
}

bool RenderArguments::readPreset()
{
    QFile file(m_presetPath);
    if (!file.open(QIODevice::ReadOnly))
        return fail(QStringLiteral("preset \"%1\": %2").arg(m_presetPath, file.errorString()));
    m_preset = TJson::stringToQMap(QString::fromUtf8(file.readAll()));
    if (m_preset.isEmpty())
        return fail(QStringLiteral("preset \"%1\": not a JSON object").arg(m_presetPath));
    const QString root = m_preset.value(kClassName).toString();
    if (root != QLatin1String("TNodeRoot"))
        return fail(QStringLiteral("preset \"%1\": key \"className\" is \"%2\", expected \"TNodeRoot\"")
                        .arg(m_presetPath, root));
    const QStringList unknown = unknownClasses(m_preset);
    if (!unknown.isEmpty())
        return fail(QStringLiteral("preset \"%1\": unknown node class \"%2\"").arg(m_presetPath, unknown.first()));
    return true;
}

QStringList RenderArguments::unknownClasses(const QVariantMap& node)
{
    QStringList unknown;
    const QStringList known = TNodeFactory::classNames();
    for (const QVariant& entry : node.value(kChildren).toList()) {
        const QVariantMap child = entry.toMap();
        const QString name = child.value(kClassName).toString();
        if (!known.contains(name))
            unknown << name;
        unknown << unknownClasses(child);
    }
    return unknown;
}

QString RenderArguments::outputProblem(const QString& output)
{
    if (formatOf(output).isEmpty())
        return QStringLiteral("output \"%1\": unsupported extension (use .jpg, .tif or .png)").arg(output);
    const QFileInfo file(output);
    const QFileInfo folder(file.absolutePath());
    if (!folder.isDir() || !folder.isWritable())
        return QStringLiteral("output \"%1\": folder \"%2\" is not writable").arg(output, folder.filePath());
    if (file.exists() && (!file.isFile() || !file.isWritable()))
        return QStringLiteral("output \"%1\": exists and cannot be replaced").arg(output);
    return QString();
}
